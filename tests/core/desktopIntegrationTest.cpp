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
  JL_WaitDesktopRegistration();
  std::string entry = t.read("data/applications/jamloom.desktop");
  EXPECT_NE(entry.find("MimeType=application/x-jamloom-mix;"), std::string::npos);
  EXPECT_NE(entry.find("Exec=\"" + JL_ProgramFolder() + "jamloom\" %f"), std::string::npos);
  std::string mime = t.read("data/mime/packages/jamloom.xml");
  EXPECT_NE(mime.find("<glob pattern=\"*.jld\"/>"), std::string::npos);
}

void put(const TempFolder& t, const std::string& name, const std::string& bytes) {
  for (size_t i = name.find('/'); i != std::string::npos; i = name.find('/', i + 1))
    mkdir(t.file(name.substr(0, i)).c_str(), 0755);
  t.write(name, bytes);
}

TEST_F(Xdg, RegistrationCopiesIconsAndReportsOnlyWhatChanged) {
  put(t, "prog/icons/hicolor/48x48/apps/jamloom.png", "png48");
  put(t, "prog/icons/hicolor/scalable/mimetypes/application-x-jamloom-mix.svg", "<svg/>");
  const std::string data = t.sys() + "data";
  JLRegistration first = JL_RegisterDesktop(t.sys() + "prog/", data);
  EXPECT_TRUE(first.ok);
  EXPECT_TRUE(first.desktopChanged && first.mimeChanged && first.iconsChanged);
  EXPECT_EQ(t.read("data/icons/hicolor/48x48/apps/jamloom.png"), "png48");
  EXPECT_EQ(t.read("data/icons/hicolor/scalable/mimetypes/application-x-jamloom-mix.svg"), "<svg/>");
  EXPECT_EQ(t.read("data/mime/packages/jamloom.xml"), JL_MimePackage());

  // A second start with nothing new rebuilds no desktop database.
  JLRegistration second = JL_RegisterDesktop(t.sys() + "prog/", data);
  EXPECT_TRUE(second.ok);
  EXPECT_FALSE(second.desktopChanged || second.mimeChanged || second.iconsChanged);

  // The program moved: only the desktop entry changes.
  put(t, "moved/icons/hicolor/48x48/apps/jamloom.png", "png48");
  put(t, "moved/icons/hicolor/scalable/mimetypes/application-x-jamloom-mix.svg", "<svg/>");
  JLRegistration third = JL_RegisterDesktop(t.sys() + "moved/", data);
  EXPECT_TRUE(third.desktopChanged);
  EXPECT_FALSE(third.mimeChanged || third.iconsChanged);
  EXPECT_NE(t.read("data/applications/jamloom.desktop").find("Exec=\"" + t.sys() + "moved/jamloom\" %f\n"),
            std::string::npos);
}

TEST(DesktopEntry, QuotesProgramPathsForTheExecLine) {
  EXPECT_NE(JL_DesktopEntry("/opt/a b/jamloom").find("Exec=\"/opt/a b/jamloom\" %f\n"), std::string::npos);
  EXPECT_NE(JL_DesktopEntry("/opt/$x\"/jamloom").find("Exec=\"/opt/\\\\$x\\\\\"/jamloom\" %f\n"),
            std::string::npos);
  EXPECT_NE(JL_DesktopEntry("").find("Exec=jamloom %f\n"), std::string::npos);
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
