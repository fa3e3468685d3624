// Helpers shared by the song tests: a temporary program folder made the
// current directory (":Library:..." paths resolve inside it) and builders
// for descriptor text.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/tempFolder.h"

class ProgramFolder {
 public:
  ProgramFolder() {
    if (!getcwd(old_, sizeof old_)) old_[0] = 0;
    if (chdir(tmp.sys().c_str()) != 0) old_[0] = 0;
  }
  ~ProgramFolder() {
    if (!old_[0]) return;
    int back = chdir(old_);
    (void)back;
  }
  // Creates a folder (relative, '/'-separated, parents included).
  void mkdirs(const std::string& rel) const {
    std::string p;
    size_t i = 0;
    while (i <= rel.size()) {
      size_t j = rel.find('/', i);
      if (j == std::string::npos) j = rel.size();
      p = rel.substr(0, j);
      if (!p.empty()) mkdir((tmp.sys() + p).c_str(), 0755);
      i = j + 1;
    }
  }
  void write(const std::string& rel, const std::string& bytes) const { tmp.write(rel, bytes); }
  TempFolder tmp;

 private:
  char old_[4096];
};

// A version-1.2 descriptor with the given blocks (each without its
// LONGCOMMAND/ENDCOMMAND frame unless noted).
inline std::string jls12(const std::string& title, int bpm, const std::string& categories,
                         const std::string& randomSets, const std::string& tracks,
                         const std::string& styles = "") {
  return std::string("JAMLOOM-JLS-1.2 test\n") + "SONGLIBRARY: Test Lib\n" + "SONGTITLE: " + title + "\n" +
         "SONGDESCRIPTION: About it\n" + "SONGBPM: " + std::to_string(bpm) + "\n" + "SONGMIX: 3\n" +
         "ARPNOTE: C3 E3\n" + "LONGCOMMAND: CATEGORYLIST: 0\n" + categories + "ENDCOMMAND:\n" +
         "LONGCOMMAND: RANDOMSET: 1\n" + randomSets + "ENDCOMMAND:\n" + "LONGCOMMAND: SONGTRACKS: 0\n" +
         tracks + "ENDCOMMAND:\n" + styles;
}
