#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "core/sys/jlDesktopIntegration.h"
#include "support/tempFolder.h"

namespace {

class Xdg : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_DATA_HOME", (t.sys() + "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (t.sys() + "config").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
  }
  TempFolder t;
};

TEST_F(Xdg, RegistersDocumentTypeAndDesktopEntry) {
  ASSERT_TRUE(Register_JLDataIcon());
  std::string entry = t.read("data/applications/jamloom.desktop");
  EXPECT_NE(entry.find("MimeType=application/x-jamloom-document;"), std::string::npos);
  EXPECT_NE(entry.find("Exec=\"" + JL_ProgramFolder() + "jamloom\" %f"), std::string::npos);
  std::string mime = t.read("data/mime/packages/jamloom.xml");
  EXPECT_NE(mime.find("<glob pattern=\"*.jld\"/>"), std::string::npos);
}

TEST_F(Xdg, ApplicationFolderFileHoldsOneLine) {
  ASSERT_TRUE(JL_WriteApplicationFolder());
  EXPECT_EQ(t.read("config/jamloom/path"), JL_ProgramFolder() + "\n");
  struct stat before, after;
  ASSERT_EQ(stat((t.sys() + "config/jamloom/path").c_str(), &before), 0);
  // A second start with the same content leaves the file alone.
  ASSERT_TRUE(JL_WriteApplicationFolder());
  ASSERT_EQ(stat((t.sys() + "config/jamloom/path").c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(Xdg, AtomicWriteReplacesWholeFile) {
  ASSERT_TRUE(JL_WriteFileAtomically(t.sys() + "deep/er/file.txt", "long old content"));
  ASSERT_TRUE(JL_WriteFileAtomically(t.sys() + "deep/er/file.txt", "new"));
  EXPECT_EQ(t.read("deep/er/file.txt"), "new");
}

TEST(XdgFallback, UsesHomeWhenVariablesAreUnset) {
  unsetenv("XDG_DATA_HOME");
  const char* home = getenv("HOME");
  if (!home) GTEST_SKIP();
  EXPECT_EQ(JL_XdgDataHome(), std::string(home) + "/.local/share");
}

}  // namespace
