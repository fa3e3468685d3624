// Bringing a folder from a disk into the library (songs and synth sounds
// share it): a failure at any file leaves the library's folder byte for
// byte as it was, and no temporary behind; the user's files are asked
// about; deletion of a synth sound never follows its links.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>

#include "core/files/uloFiles.h"
#include "core/files/uloFolderOps.h"
#include "screens/JLLoadSynthPanel.h"
#include "screens/loadCommon.h"
#include "support/treeSnapshot.h"
#include "tests/screens/loadTestSupport.h"

namespace {

using loadtest::Answers;

std::map<std::string, std::string> snapshot(const loadtest::Library& lib, const std::string& rel) {
  return TreeSnapshot(lib.path(rel));
}


// A disk folder of five files and a library folder of the same name.
struct Disk {
  loadtest::Library lib;
  int copied = 0;
  int failAt = -1;  // the copy of this file (counted from 0) fails
  Disk(const char* kind) {
    const std::string base = std::string("Library/") + kind + "/Set";
    lib.mkdirs("disk/Set");
    lib.mkdirs(base + "/User");
    for (int i = 1; i <= 5; i++) lib.tmp.write("disk/Set/n" + std::to_string(i) + ".wav", std::string(100 * i, 'n'));
    lib.tmp.write(base + "/n1.wav", "old one");
    lib.tmp.write(base + "/n2.wav", "old two");
    lib.tmp.write(base + "/User/take.wav", "the user's take");
  }
  jlload::CopyOutcome copy(const char* kind, const std::function<bool(const std::string&)>& own = nullptr) {
    auto copyOne = [this](const char* src, const char* dst) {
      if (copied++ == failAt) {
        // Half a file, as a full disk leaves it.
        uloFile f;
        return ULO_FileCreateAndOpen(dst, &f) && ULO_FileWrite(&f, "hal", 3) && false;
      }
      return ULO_FileCopy(src, dst);
    };
    const std::string folder = std::string(":Library:") + kind + ":";
    return jlload::copyIntoLibrary((lib.tmp.ulo() + "disk:Set:").c_str(), folder.c_str(), "Set", "synth sound", copyOne,
                                   nullptr, nullptr, own);
  }
};

TEST(LibraryCopy, AFailureAtAnyFileLeavesTheOldSetByteForByte) {
  for (int failAt = 0; failAt < 5; failAt++) {
    SCOPED_TRACE(failAt);
    Disk d("Synth");
    const auto before = snapshot(d.lib, "Library");
    d.failAt = failAt;
    Answers keep({1});
    const jlload::CopyOutcome out = d.copy("Synth");
    EXPECT_EQ(out.result, jlload::CopyOutcome::failed);
    EXPECT_EQ(out.message.rfind("The synth sound could not be copied into the library: The file \"", 0), 0u)
        << out.message;
    EXPECT_TRUE(Answers::texts().empty()) << "nothing asked before the copy is complete";
    EXPECT_EQ(snapshot(d.lib, "Library"), before);
  }
}

TEST(LibraryCopy, AFailedFirstCopyLeavesNoFolderAndNoTemporary) {
  Disk d("Song");
  d.lib.tmp.write("Library/Song/Other", "a file of the library");
  ASSERT_TRUE(ULO_DeleteTree(":Library:Song:Set:"));
  const auto before = snapshot(d.lib, "Library");
  d.failAt = 3;
  EXPECT_EQ(d.copy("Song").result, jlload::CopyOutcome::failed);
  EXPECT_EQ(snapshot(d.lib, "Library"), before);
  d.failAt = -1;
  EXPECT_EQ(d.copy("Song").result, jlload::CopyOutcome::copied);
  EXPECT_EQ(snapshot(d.lib, "Library/Song").size(), 7u) << "Set/, five files, Other";
}

TEST(LibraryCopy, AShortCopyIsCaughtByItsSize) {
  Disk d("Synth");
  const auto before = snapshot(d.lib, "Library");
  auto shortCopy = [](const char* src, const char* dst) {
    if (!ULO_FileCopy(src, dst)) return false;
    uloFileRec f;
    // A copy that says it worked but lost its end.
    return ULO_FileOpen(dst, &f) && ULO_FileSetPos(&f, 10) && ULO_FileClose(&f);
  };
  const auto out = jlload::copyIntoLibrary((d.lib.tmp.ulo() + "disk:Set:").c_str(), ":Library:Synth:", "Set", "synth sound",
                                           shortCopy, nullptr, nullptr, nullptr);
  EXPECT_EQ(out.result, jlload::CopyOutcome::failed);
  EXPECT_NE(out.message.find("is incomplete (10 of "), std::string::npos) << out.message;
  EXPECT_EQ(snapshot(d.lib, "Library"), before);
}

TEST(LibraryCopy, ReplaceSwapsAndAsksAboutTheUsersFiles) {
  {
    // Kept: the take moves into the new set.
    Disk d("Synth");
    Answers keep({1});
    const auto out = d.copy("Synth", [](const std::string& rel) { return rel == "n2.wav"; });
    EXPECT_EQ(out.result, jlload::CopyOutcome::replaced);
    EXPECT_EQ(out.kept, std::vector<std::string>{"User:take.wav"});
    EXPECT_EQ(d.lib.tmp.read("Library/Synth/Set/User/take.wav"), "the user's take");
    EXPECT_EQ(d.lib.tmp.read("Library/Synth/Set/n3.wav"), std::string(300, 'n'));
    EXPECT_EQ(snapshot(d.lib, "Library/Synth").size(), 8u) << "Set/, five notes, User/, the take: nothing else";
  }
  {
    // Not kept: the new set alone.
    Disk d("Song");
    Answers drop({2});
    EXPECT_EQ(d.copy("Song").result, jlload::CopyOutcome::replaced);
    EXPECT_FALSE(d.lib.exists("Library/Song/Set/User"));
    EXPECT_EQ(snapshot(d.lib, "Library/Song").size(), 6u);
  }
  {
    // Cancelled: the old one exactly as it was.
    Disk d("Song");
    const auto before = snapshot(d.lib, "Library");
    Answers cancel({3});
    EXPECT_EQ(d.copy("Song").result, jlload::CopyOutcome::cancelled);
    EXPECT_EQ(snapshot(d.lib, "Library"), before);
  }
}

TEST(LibraryCopy, NamesThatAreNoPlainFolderNameAreRefused) {
  Disk d("Synth");
  const auto before = snapshot(d.lib, "");
  for (const char* bad : {"..", "../../disk", "Set:..", "", "Set:Sub"}) {
    const auto out = jlload::copyIntoLibrary((d.lib.tmp.ulo() + "disk:Set:").c_str(), ":Library:Synth:", bad, "synth sound",
                                             ULO_FileCopy, nullptr, nullptr, nullptr);
    EXPECT_EQ(out.result, jlload::CopyOutcome::failed) << bad;
    EXPECT_EQ(out.message.rfind("The name \"", 0), 0u) << out.message;
  }
  EXPECT_EQ(snapshot(d.lib, ""), before);
}

TEST(LibraryCopy, DeletingASynthSoundNeverFollowsItsLinks) {
  loadtest::Library lib;
  lib.mkdirs("outside");
  lib.tmp.write("outside/keep.wav", "not the library's");
  lib.mkdirs("Library/Synth/Bell");
  lib.mkdirs("Library/Synth/Other");
  lib.tmp.write("Library/Synth/Other/c2.wav", "other");
  ASSERT_EQ(symlink("..", lib.path("Library/Synth/Bell/x").c_str()), 0);
  ASSERT_EQ(symlink(lib.path("outside").c_str(), lib.path("Library/Synth/Bell/shared").c_str()), 0);
  loadtest::Mounted<JLLoadSynthPanel> m{12, -1, 7};
  m.connect();
  ASSERT_EQ(m.panel.synthCount, 2);
  m.panel.marked[0] = 1;
  m.panel.current = 0;
  Answers yes({1});
  EXPECT_TRUE(m.panel.deleteMarked());
  EXPECT_FALSE(lib.exists("Library/Synth/Bell"));
  EXPECT_EQ(lib.tmp.read("Library/Synth/Other/c2.wav"), "other");
  EXPECT_EQ(lib.tmp.read("outside/keep.wav"), "not the library's");
}

}  // namespace
