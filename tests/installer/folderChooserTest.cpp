#include <gtest/gtest.h>
#include <sys/stat.h>

#include "installer/jlFolderChooser.h"
#include "support/tempFolder.h"

namespace {

// A stand-in for zenity: records its arguments, prints `answer`, exits with `code`.
std::string fakeChooser(const TempFolder& t, const std::string& answer, int code) {
  const std::string path = t.file("chooser.sh");
  t.write("chooser.sh", "#!/bin/sh\necho \"$@\" > '" + t.file("args") + "'\nprintf '%s' '" + answer + "'\nexit " +
                            std::to_string(code) + "\n");
  chmod(path.c_str(), 0755);
  return path;
}

TEST(FolderChooser, MapsTheChoosersAnswer) {
  TempFolder t;
  std::string folder;
  EXPECT_EQ(JL_RunFolderChooser(fakeChooser(t, t.sys() + "\n", 0), "Pick one:", &folder), JLFolderChoice::chosen);
  EXPECT_EQ(folder, t.sys());
  EXPECT_EQ(t.read("args"), "--file-selection --directory --title=Pick one:\n");

  EXPECT_EQ(JL_RunFolderChooser(fakeChooser(t, "", 1), "x", &folder), JLFolderChoice::cancelled);
  EXPECT_EQ(folder, "");
  EXPECT_EQ(JL_RunFolderChooser(fakeChooser(t, t.file("args"), 0), "x", &folder), JLFolderChoice::notAFolder);
  EXPECT_EQ(JL_RunFolderChooser(fakeChooser(t, "", 5), "x", &folder), JLFolderChoice::unavailable);
  EXPECT_EQ(JL_RunFolderChooser(t.file("no-such-chooser"), "x", &folder), JLFolderChoice::unavailable);
}

}  // namespace
