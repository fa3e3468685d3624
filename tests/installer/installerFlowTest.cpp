#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/files/uloFolderOps.h"
#include "installer/jlDemoInstaller.h"
#include "installer/jlLoopDecoder.h"
#include "installerTestSupport.h"
#include "support/treeSnapshot.h"

namespace {

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// An installer folder "pkg/", an application folder "app/" and the main
// program's configuration file, with a scripted user.
class Installer : public ::testing::Test {
 protected:
  void SetUp() override {
    mkdir(t.file("pkg").c_str(), 0755);
    mkdir(t.file("app").c_str(), 0755);
    mkdir(t.file("config").c_str(), 0755);
    ui.chooseFolder = [this](const std::string& title, std::string* folder) {
      chooserTitles.push_back(title);
      *folder = chosen;
      return choice;
    };
    ui.askYesNo = [this](const std::string& text) {
      questions.push_back(text);
      return answerYes;
    };
    ui.showError = [this](const std::string& text) { errors.push_back(text); };
    ui.showInfo = [this](const std::string& text) { infos.push_back(text); };
    ui.progress = [this](int done, int total) { progress.push_back(std::to_string(done) + "/" + std::to_string(total)); };
  }

  void configure(const std::string& content) { t.write("config/path", content); }
  void loop(const std::string& name, int frames, int channels = 2) {
    const std::vector<int16_t> s = sineLoop(frames, channels);
    ASSERT_TRUE(JL_WriteImaAdpcmWav(t.file("pkg/" + name), s.data(), frames, channels, 44100));
  }
  int run() { return JL_RunDemoInstaller(t.sys() + "pkg/", t.file("config/path"), ui); }
  std::string song(const std::string& rel) const { return "app/Library/Song/" + rel; }
  uint32_t loopBytes(const std::string& rel) const { return readPcm(t.read(rel)).dataBytes; }

  TempFolder t;
  JLInstallerUi ui;
  JLFolderChoice choice = JLFolderChoice::cancelled;
  std::string chosen;
  bool answerYes = true;
  std::vector<std::string> chooserTitles, questions, errors, progress, infos;
  // Every entry below a folder with its content, for byte-for-byte checks.
  std::map<std::string, std::string> tree(const std::string& rel) const { return TreeSnapshot(t.file(rel)); }
};

TEST_F(Installer, ConfiguredFolderInstallsTheWholeSongWithoutChooser) {
  configure(t.sys() + "app/\n");
  t.write("pkg/Night.jls", "descriptor text");
  t.write("pkg/Night.gif", "GIF89a picture");
  loop("bass01.wav", 5000);
  loop("pad01.wav", 3000, 1);

  EXPECT_EQ(run(), kJLExitDone);
  EXPECT_TRUE(chooserTitles.empty());
  EXPECT_EQ(questions, std::vector<std::string>{"New Jamloom demo song installation.\nDo you want to proceed?"});
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ((std::vector<std::string>{"1/2", "2/2"}), progress);

  EXPECT_EQ(t.read(song("Night/info.jls")), "descriptor text");
  EXPECT_EQ(t.read(song("Night/Night.gif")), "GIF89a picture");
  EXPECT_EQ(t.read("app/Library/Images/Night.gif"), "GIF89a picture");
  EXPECT_EQ(loopBytes(song("Night/bass01.wav")), 5000u * 4);
  EXPECT_EQ(loopBytes(song("Night/pad01.wav")), 3000u * 2);
  EXPECT_FALSE(exists(t.file(song("Night/Night.jls"))));
  EXPECT_EQ(infos, std::vector<std::string>{"The demo song is installed completely: Night"});
  EXPECT_EQ((std::vector<std::string>{"Night"}), [&] {
    std::vector<std::string> names;
    for (auto& [k, v] : tree("app/Library/Song")) names.push_back(k.substr(0, k.find('/')));
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
  }()) << "no temporary is left beside the song";
}

TEST_F(Installer, ApplicationFolderWithoutTrailingSeparatorStillHoldsTheLibrary) {
  t.write("pkg/Night.jls", "d");
  configure(t.sys() + "app");  // no separator, no newline
  EXPECT_EQ(run(), kJLExitDone);
  EXPECT_EQ(t.read(song("Night/info.jls")), "d");

  // The same for a folder that comes from the chooser.
  unlink(t.file("config/path").c_str());
  mkdir(t.file("other").c_str(), 0755);
  choice = JLFolderChoice::chosen;
  chosen = t.sys() + "other";
  EXPECT_EQ(run(), kJLExitDone);
  EXPECT_EQ(chooserTitles, std::vector<std::string>{"Select the folder with Jamloom executable:"});
  EXPECT_EQ(t.read("other/Library/Song/Night/info.jls"), "d");
}

TEST_F(Installer, ChooserOutcomesWhenNoFolderIsConfigured) {
  t.write("pkg/Night.jls", "d");
  // A folder that has gone since Jamloom last ran is as good as none.
  configure(t.sys() + "moved-away/\n");
  choice = JLFolderChoice::cancelled;
  EXPECT_EQ(run(), kJLExitFailed);
  EXPECT_EQ(chooserTitles.size(), 1u);
  EXPECT_TRUE(questions.empty());

  choice = JLFolderChoice::notAFolder;
  EXPECT_EQ(run(), kJLExitDone);
  choice = JLFolderChoice::chosen;
  chosen = t.sys() + "no-such-folder";
  EXPECT_EQ(run(), kJLExitDone);
  EXPECT_TRUE(questions.empty());
  EXPECT_TRUE(errors.empty());

  choice = JLFolderChoice::unavailable;
  EXPECT_EQ(run(), kJLExitDone);
  EXPECT_EQ(errors, std::vector<std::string>{kJLNoChooserMessage});
  EXPECT_FALSE(exists(t.file("app/Library")));
}

TEST_F(Installer, DeclinedOrMissingDescriptorWritesNothing) {
  configure(t.sys() + "app/\n");
  loop("bass01.wav", 1000);
  mkdir(t.file("pkg/Folder.jls").c_str(), 0755);  // a folder is no descriptor
  t.write("pkg/.Hidden.jls", "d");

  EXPECT_EQ(run(), kJLExitFailed);
  EXPECT_EQ(errors, std::vector<std::string>{"Demo Song Corrupted: cannot find .jls file."});

  t.write("pkg/Night.jls", "d");
  answerYes = false;
  errors.clear();
  EXPECT_EQ(run(), kJLExitDeclined);
  EXPECT_TRUE(errors.empty());
  EXPECT_FALSE(exists(t.file("app/Library")));
}

TEST_F(Installer, OnlyTheFirstDescriptorIsInstalled) {
  configure(t.sys() + "app/\n");
  t.write("pkg/Beta.jls", "second");
  t.write("pkg/Alpha.JLS", "first");
  EXPECT_EQ(run(), kJLExitDone);
  EXPECT_EQ(t.read(song("Alpha/info.jls")), "first");
  EXPECT_FALSE(exists(t.file(song("Beta"))));
}

TEST_F(Installer, SongWithoutPictureInstalls) {
  configure(t.sys() + "app/\n");
  t.write("pkg/Night.jls", "d");
  loop("bass01.wav", 1000);
  EXPECT_EQ(run(), kJLExitDone);
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(loopBytes(song("Night/bass01.wav")), 4000u);
  EXPECT_FALSE(exists(t.file("app/Library/Images")));
}

TEST_F(Installer, SecondRunOverwritesEveryFile) {
  configure(t.sys() + "app/\n");
  t.write("pkg/Night.jls", "old descriptor");
  t.write("pkg/Night.gif", "old picture");
  loop("bass01.wav", 4000);
  ASSERT_EQ(run(), kJLExitDone);

  t.write("pkg/Night.jls", "new");
  t.write("pkg/Night.gif", "new");
  loop("bass01.wav", 1500);
  EXPECT_EQ(run(), kJLExitDone);
  EXPECT_EQ(t.read(song("Night/info.jls")), "new");
  EXPECT_EQ(t.read(song("Night/Night.gif")), "new");
  EXPECT_EQ(t.read("app/Library/Images/Night.gif"), "new");
  EXPECT_EQ(loopBytes(song("Night/bass01.wav")), 1500u * 4);
  EXPECT_EQ(t.read(song("Night/bass01.wav")).size(), 44u + 1500 * 4);
}

TEST_F(Installer, ABrokenLoopInstallsNothingAndSaysSo) {
  configure(t.sys() + "app/\n");
  t.write("pkg/Night.jls", "d");
  t.write("pkg/Night.gif", "picture");
  loop("good01.wav", 2000);
  t.write("pkg/bad01.wav", "not a sound");
  loop("cut01.wav", 20000);
  std::string whole = t.read("pkg/cut01.wav");
  t.write("pkg/cut01.wav", whole.substr(0, whole.size() / 3));

  EXPECT_EQ(run(), kJLExitIncomplete);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], std::string(kJLIncompleteMessage) + "\nbad01.wav\ncut01.wav");
  EXPECT_TRUE(infos.empty());
  EXPECT_EQ(progress.size(), 3u);  // every loop was tried
  EXPECT_TRUE(tree("app/Library/Song").empty()) << "no half song, no temporary";
  EXPECT_TRUE(tree("app/Library/Images").empty());
}

TEST_F(Installer, FailedReinstallLeavesTheInstalledSongByteForByte) {
  configure(t.sys() + "app/\n");
  t.write("pkg/Night.jls", "old descriptor");
  t.write("pkg/Night.gif", "old picture");
  loop("a01.wav", 3000);
  loop("b01.wav", 2000);
  ASSERT_EQ(run(), kJLExitDone);
  t.write(song("Night/my take.wav"), "the user's own recording");
  const auto before = tree("app/Library");

  // The new package fails at its third loop, after the descriptor, the
  // picture and two loops were written.
  t.write("pkg/Night.jls", "new descriptor");
  t.write("pkg/Night.gif", "new picture");
  loop("a01.wav", 1000);
  loop("b01.wav", 1000);
  t.write("pkg/c01.wav", "broken");
  EXPECT_EQ(run(), kJLExitIncomplete);
  EXPECT_EQ(tree("app/Library"), before);

  // Complete, it replaces the song and keeps the user's take.
  ASSERT_EQ(unlink(t.file("pkg/c01.wav").c_str()), 0);
  EXPECT_EQ(run(), kJLExitDone);
  EXPECT_EQ(t.read(song("Night/info.jls")), "new descriptor");
  EXPECT_EQ(t.read("app/Library/Images/Night.gif"), "new picture");
  EXPECT_EQ(loopBytes(song("Night/a01.wav")), 1000u * 4);
  EXPECT_EQ(t.read(song("Night/my take.wav")), "the user's own recording");
  EXPECT_EQ(tree("app/Library/Song").size(), 6u) << "the folder, info.jls, picture, two loops, the take";
}

TEST_F(Installer, TooLittleFreeSpaceSaysHowMuchAndWritesNothing) {
  configure(t.sys() + "app/\n");
  t.write("pkg/Night.jls", std::string(1000, 'd'));
  t.write("pkg/Night.gif", std::string(500, 'g'));
  loop("a01.wav", 500000);  // 44 + 500000 * 4 bytes once decoded
  JL_SetFreeSpaceProbe([](const std::string&) -> int64_t { return 1400000; });
  const int result = run();
  JL_SetFreeSpaceProbe(nullptr);
  EXPECT_EQ(result, kJLExitIncomplete);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], std::string(kJLIncompleteMessage) + "\nThe demo song needs 2.0 MB, but the disk of " + t.sys() +
                           "app/Library/Song/ has only 1.4 MB free.");
  JL_SetFreeSpaceProbe([](const std::string&) -> int64_t { return 900000; });
  EXPECT_EQ(run(), kJLExitIncomplete);
  JL_SetFreeSpaceProbe(nullptr);
  EXPECT_NE(errors.back().find("needs 2.0 MB, but the disk of"), std::string::npos);
  EXPECT_NE(errors.back().find("has only 900 KB free."), std::string::npos) << errors.back();
  EXPECT_TRUE(progress.empty()) << "nothing was decoded";
  EXPECT_TRUE(tree("app/Library/Song").empty());
}

TEST_F(Installer, RefusesADescriptorNameThatIsNoPlainName) {
  configure(t.sys() + "app/\n");
  // A name the library cannot hold as one folder: control characters.
  t.write("pkg/Ni\tght.jls", "d");
  loop("a01.wav", 100);
  EXPECT_EQ(run(), kJLExitIncomplete);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("The name \"Ni?ght\" was refused"), std::string::npos) << errors[0];
  EXPECT_TRUE(tree("app/Library/Song").empty());
}

}  // namespace
