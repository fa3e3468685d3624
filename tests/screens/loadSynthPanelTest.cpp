// The synth browser: Shift-click marking, copying marked synths from a
// disk (the question before replacing, library.ref, cleanup after a failed
// copy) and deleting after the question.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "framework/intl/JLInternational.h"
#include "screens/JLLoadSynthPanel.h"
#include "tests/screens/loadTestSupport.h"

namespace {

using loadtest::Answer;
using loadtest::Answers;

struct SynthBrowser {
  loadtest::Library lib;
  loadtest::Mounted<JLLoadSynthPanel> m{12, -1, 7};
  SynthBrowser() {
    const std::string media = lib.path("media");
    for (const char* s : {"Bell", "Organ", "Pluck", "Saw"}) {
      lib.mkdirs(std::string("media/disk/Library/Synth/") + s);
      lib.tmp.write(std::string("media/disk/Library/Synth/") + s + "/c2.wav", "note");
    }
    lib.tmp.write("media/disk/Library/Synth/Organ/library.ref", "Vintage");
    lib.mkdirs("Library/Synth/Home1");
    lib.tmp.write("mounts", "/dev/sdz1 " + media + "/disk vfat rw 0 0\n");
    uloDisksList::setSystemSources(lib.path("mounts").c_str(), nullptr, media.c_str());
    m.connect();
  }
  ~SynthBrowser() { uloDisksList::setSystemSources(nullptr, nullptr); }
  JLLoadSynthPanel& p() { return m.panel; }
  void click(int row, bool shift) {
    uloGlo.shift = shift;
    m.click(short(10 + row));
    uloGlo.shift = 0;
  }
  int markedCount() {
    int n = 0;
    for (int i = 0; i < p().synthCount; i++) n += p().marked[i];
    return n;
  }
};

TEST(LoadSynthPanel, ShiftClickMarksSeveral) {
  SynthBrowser b;
  EXPECT_EQ(QXScreen.modalPanel, 7);
  EXPECT_FALSE(b.m.enabled(1));  // Home only from a disk
  b.m.click(2);
  ASSERT_EQ(b.p().homeMode, 0);
  EXPECT_EQ(b.m.text(21), "disk");
  ASSERT_EQ(b.p().synthCount, 4);
  EXPECT_STREQ(b.p().names[0], "Bell");
  b.click(0, false);
  b.click(1, true);
  b.click(3, true);
  EXPECT_EQ(b.markedCount(), 3);
  EXPECT_EQ(b.p().current, 3);
  b.click(2, false);
  EXPECT_EQ(b.markedCount(), 1);
  EXPECT_EQ(b.p().marked[2], 1);
}

TEST(LoadSynthPanel, CopiesMarkedSynthsAndAsksBeforeReplacing) {
  SynthBrowser b;
  b.m.click(2);
  b.click(0, false);  // Bell
  b.click(1, true);   // Organ
  ASSERT_TRUE(b.p().copyListToHD());
  EXPECT_TRUE(b.lib.exists("Library/Synth/Bell/c2.wav"));
  EXPECT_EQ(b.lib.tmp.read("Library/Synth/Bell/library.ref"), "disk");
  EXPECT_EQ(b.lib.tmp.read("Library/Synth/Organ/library.ref"), "Vintage");  // kept as it came
  b.lib.tmp.write("Library/Synth/Bell/mine.wav", "x");
  b.click(0, false);
  {
    Answer no(2);
    EXPECT_FALSE(b.p().copyListToHD());
    EXPECT_EQ(Answer::asked(), 1);
  }
  EXPECT_TRUE(b.lib.exists("Library/Synth/Bell/mine.wav"));
  {
    // Replace: Yes; the user's file: No, not kept.
    Answers yesNo({1, 2});
    EXPECT_TRUE(b.p().copyListToHD());
    ASSERT_EQ(Answers::texts().size(), 2u);
    EXPECT_NE(Answers::texts()[1].find("\n   mine.wav\n"), std::string::npos) << Answers::texts()[1];
  }
  EXPECT_FALSE(b.lib.exists("Library/Synth/Bell/mine.wav"));
}

TEST(LoadSynthPanel, FailedCopyIsRemovedAndStopsTheRest) {
  SynthBrowser b;
  ASSERT_EQ(symlink("/nonexistent", b.lib.path("media/disk/Library/Synth/Bell/d2.wav").c_str()), 0);
  b.m.click(2);
  b.click(0, false);
  b.click(2, true);
  EXPECT_FALSE(b.p().copyListToHD());
  EXPECT_FALSE(b.lib.exists("Library/Synth/Bell"));
  EXPECT_FALSE(b.lib.exists("Library/Synth/Pluck"));  // not tried after the failure
}

TEST(LoadSynthPanel, BackspaceDeletesMarkedAfterYes) {
  SynthBrowser b;
  b.lib.mkdirs("Library/Synth/Home2");
  b.lib.tmp.write("Library/Synth/Home2/c2.wav", "x");
  b.m.click(1);  // rescan Home
  ASSERT_EQ(b.p().synthCount, 2);
  b.click(0, false);
  b.click(1, true);
  {
    Answer no(2);
    b.m.key(8);
  }
  EXPECT_TRUE(b.lib.exists("Library/Synth/Home2"));
  {
    Answer yes(1);
    b.m.key(8);
  }
  EXPECT_FALSE(b.lib.exists("Library/Synth/Home1"));
  EXPECT_FALSE(b.lib.exists("Library/Synth/Home2"));
  EXPECT_EQ(b.p().synthCount, 0);
  EXPECT_EQ(b.m.text(22), "No synths in folder");
}

TEST(LoadSynthPanel, NextDiskSaysWhenNoDiskIsThereAndComesHomeQuietlyFromTheLastDisk) {
  SynthBrowser b;
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
  loadtest::nextDiskThereAndHomeQuietly(b.m, 2, 21, "disk");
  b.lib.tmp.write("mounts", "/dev/sda1 / ext4 rw 0 0\n");  // the disk is gone
  Answers ok({1});
  b.m.click(1);
  b.m.click(2);
  EXPECT_EQ(Answers::texts(), std::vector<std::string>{loadtest::kNoDiskMessage});
  EXPECT_EQ(b.p().homeMode, 1);
}

}  // namespace
