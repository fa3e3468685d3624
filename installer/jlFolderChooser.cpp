#include "installer/jlFolderChooser.h"

#include <sys/stat.h>

#include <vector>

#include "core/sys/uloProcess.h"

JLFolderChoice JL_RunFolderChooser(const std::string& program, const std::string& title,
                                   std::string* folder) {
  folder->clear();
  std::vector<std::string> args = {program, "--file-selection", "--directory", "--title=" + title};
  std::string answer;
  int code = 0;
  switch (ULO_RunCapture(args, &answer, &code)) {
    case uloRunResult::unavailable:
      return JLFolderChoice::unavailable;
    case uloRunResult::crashed:
      return JLFolderChoice::cancelled;
    case uloRunResult::finished:
      break;
  }
  // zenity: 0 chosen, 1 cancelled or closed.
  if (code == 1) return JLFolderChoice::cancelled;
  if (code != 0) return JLFolderChoice::unavailable;
  answer = ULO_StripLineEnds(answer);
  if (answer.empty()) return JLFolderChoice::cancelled;
  struct stat st;
  if (stat(answer.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return JLFolderChoice::notAFolder;
  *folder = answer;
  return JLFolderChoice::chosen;
}
