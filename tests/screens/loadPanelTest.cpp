// The song browser: listing and sorting songs, listed titles, information
// lines, previews (file or load-and-randomise), loading, deleting with the
// question, and copying from a disk (with its failure cleaned up).
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "framework/intl/JLInternational.h"
#include "framework/panel/JLHelps.h"
#include "framework/platform/uloQuickTime.h"
#include "screens/JLLoadPanel.h"
#include "song/JLPlayer.h"
#include "support/treeSnapshot.h"
#include "tests/screens/loadTestSupport.h"

namespace {

using loadtest::Answer;
using loadtest::Answers;

struct Browser {
  loadtest::Library lib;
  loadtest::FakeGroove groove;
  JLPlayer player;
  loadtest::Mounted<JLLoadPanel> m{6, -1, 6};
  Browser() {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    player.setEngine(nullptr);
    jlPlayer = &player;
  }
  ~Browser() {
    uloQt_PlaySoundStop();
    jlPlayer = nullptr;
  }
  void open() {
    m.panel.groovePanel = &groove;
    m.connect();
  }
  JLLoadPanel& p() { return m.panel; }
  int picture(int item) {
    auto* c = dynamic_cast<panProImageControl*>(p().control(item));
    return c ? c->picture : -1;
  }
  std::string folderAt(int i) { return p().songs[i].folderName; }
  std::string displayOf(const std::string& folder) {
    for (int i = 0; i < p().songCount; i++)
      if (folder == p().songs[i].folderName) return p().songs[i].display;
    return "<not listed>";
  }
};

TEST(LoadPanelNames, SongNumbersAndTitles) {
  EXPECT_TRUE(JLLoadPanel::songNameCompare("Song9", "Song10"));
  EXPECT_FALSE(JLLoadPanel::songNameCompare("Song10", "Song9"));
  EXPECT_TRUE(JLLoadPanel::songNameCompare("Alpha", "Song2"));
  char out[64];
  JLLoadPanel::truncSongName("Night Drive - Remix", out, sizeof out);
  EXPECT_STREQ(out, "Night Drive ");
  JLLoadPanel::truncSongName("Twenty-five characters ok", out, sizeof out);  // a dash without a blank stays
  EXPECT_STREQ(out, "Twenty-five characters ok");
  JLLoadPanel::truncSongName("ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", out, sizeof out);
  EXPECT_EQ(std::string(out), std::string("ABCDEFGHIJKLMNOPQRSTUVWX") + char(0xC9));
  JLLoadPanel::truncSongName("ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", out, 10);  // a short buffer is never overrun
  EXPECT_EQ(std::string(out).size(), 9u);
  EXPECT_EQ(JLLoadPanel::lightChasePeriod(120), 7);
  EXPECT_EQ(JLLoadPanel::lightChasePeriod(0), 0);
}

TEST(LoadPanelNames, DescriptionLinesBreakAtBlanksWithin75) {
  const std::string a(70, 'a'), b(10, 'b'), longWord(100, 'w');
  const std::string text = a + " " + b + " c " + longWord;
  char out[128];
  JLLoadPanel::getSongDescChunk(text.c_str(), 0, out, sizeof out);
  EXPECT_EQ(std::string(out), a);
  JLLoadPanel::getSongDescChunk(text.c_str(), 1, out, sizeof out);
  EXPECT_EQ(std::string(out), b + " c");
  JLLoadPanel::getSongDescChunk(text.c_str(), 2, out, sizeof out);
  EXPECT_EQ(std::string(out), std::string(75, 'w'));
  JLLoadPanel::getSongDescChunk(text.c_str(), 3, out, sizeof out);
  EXPECT_EQ(std::string(out), std::string(25, 'w'));
  JLLoadPanel::getSongDescChunk(text.c_str(), 4, out, sizeof out);
  EXPECT_STREQ(out, "");
}

TEST(LoadPanel, ListsSortedTitlesAndBrokenSongs) {
  Browser b;
  b.lib.song("Library/Song/Song10", "Ten");
  b.lib.song("Library/Song/Song2", "Two");
  b.lib.song("Library/Song/Alpha", "Night Drive - Remix", 124, "Club", "Late.");
  b.lib.song("Library/Song/Long", "ZABCDEFGHIJKLMNOPQRSTUVWXYZ1234");
  b.lib.mkdirs("Library/Song/ZBroken");  // no descriptor at all
  b.lib.song("Library/Song/Untitled", "");
  b.lib.tmp.write("Library/Song/notafolder.txt", "x");
  b.open();
  ASSERT_EQ(b.p().songCount, 6);
  // Listed in the order of the titles shown ("Ten" before "Two", whatever the folders).
  const char* order[] = {"Alpha", "Song10", "Song2", "Untitled", "Long", "ZBroken"};
  for (int i = 0; i < 6; i++) EXPECT_EQ(b.folderAt(i), order[i]) << i;
  EXPECT_EQ(b.displayOf("Untitled"), "Untitled");
  EXPECT_EQ(b.displayOf("Alpha"), "Night Drive ");
  EXPECT_EQ(b.displayOf("ZBroken"), "ZBroken Load error");
  EXPECT_EQ(b.displayOf("Long"), std::string("ZABCDEFGHIJKLMNOPQRSTUVW") + char(0xC9));
  // The first song is selected and described; rows show " <display>".
  EXPECT_EQ(b.m.text(14), " Night Drive ");
  EXPECT_EQ(b.picture(14), 1);  // the selected row's picture
  EXPECT_EQ(b.picture(15), 0);
  // Cut to the field with the ellipsis rather than drawn past it.
  EXPECT_EQ(b.m.text(19).rfind("Night Drive - Remix (Alpha) 1", 0), 0u) << b.m.text(19);
  EXPECT_EQ(b.m.text(20), "Club");
  EXPECT_EQ(b.m.text(21), "Late.");
  // At start the browser cannot be closed; Home shows Load only.
  EXPECT_FALSE(b.m.enabled(9));
  EXPECT_TRUE(b.m.enabled(8));
  EXPECT_FALSE(b.m.enabled(6));
  EXPECT_FALSE(b.m.enabled(5));
  EXPECT_EQ(QXScreen.modalPanel, 6);
}

TEST(LoadPanel, ACopiedSongSortsByItsTitleAndANewFolderIsListedWhenTheBrowserIsShownAgain) {
  Browser b;
  b.lib.song("Library/Song/RobotFunk", "Robot Funk");
  b.lib.song("Library/Song/BrokenFunk", "Robot Funk");  // a copy of it under another folder
  b.lib.song("Library/Song/IronPulse", "Iron Pulse");
  b.lib.song("Library/Song/Song9", "song9");
  b.lib.song("Library/Song/Song10", "Song10");
  b.open();
  ASSERT_EQ(b.p().songCount, 5);
  const char* order[] = {"IronPulse", "BrokenFunk", "RobotFunk", "Song9", "Song10"};
  for (int i = 0; i < 5; i++) EXPECT_EQ(b.folderAt(i), order[i]) << i;

  b.lib.song("Library/Song/Acid", "Acid Rain");
  QXScreen.hide(6);
  QXScreen.show(6);
  ASSERT_EQ(b.p().songCount, 6);
  EXPECT_EQ(b.folderAt(0), "Acid");
}

TEST(LoadPanel, OnlyBrokenSongsGiveAnEmptyList) {
  Browser b;
  b.lib.mkdirs("Library/Song/A");
  b.lib.mkdirs("Library/Song/B");
  b.open();
  EXPECT_EQ(b.p().songCount, 0);
  EXPECT_EQ(b.m.text(19), b.p().textList.line(24));
  EXPECT_FALSE(b.m.enabled(8));
  b.m.key(uloKeyReturn);  // nothing to load
  EXPECT_TRUE(b.groove.loaded.empty());
}

TEST(LoadPanel, PreviewFilePlaysWithTheLightChase) {
  Browser b;
  b.lib.song("Library/Song/A", "A", 120);
  b.lib.song("Library/Song/B", "B", 140);
  b.lib.wav("Library/Song/A/preview.wav");
  b.open();
  b.m.click(14);
  EXPECT_EQ(b.p().lastPreview, 1);
  EXPECT_TRUE(uloQt_IsPlaying());
  ASSERT_EQ(b.groove.chases.size(), 1u);
  EXPECT_EQ(b.groove.chases[0], 7);
  EXPECT_TRUE(b.groove.loaded.empty());
  // No preview file: the song itself is loaded and randomised.
  b.m.click(15);
  EXPECT_FALSE(uloQt_IsPlaying());
  EXPECT_EQ(b.p().lastPreview, 2);
  ASSERT_EQ(b.groove.loaded.size(), 1u);
  EXPECT_EQ(b.groove.loaded[0], ":Library:Song:B:");
  ASSERT_EQ(b.groove.randomized.size(), 1u);
  EXPECT_EQ(b.groove.randomized[0], 0);
  EXPECT_EQ(b.player.playing, 1);
  // Loading the previewed song loads it afresh (its first groove, not the
  // preview's random one) and closes the browser.
  b.m.key(uloKeyReturn);
  ASSERT_EQ(b.groove.loaded.size(), 2u);
  EXPECT_EQ(b.groove.loaded[1], ":Library:Song:B:");
  EXPECT_FALSE(b.groove.previewing());
  EXPECT_EQ(b.player.playing, 1);
  EXPECT_FALSE(QXScreen.isShown(6));
  EXPECT_FALSE(b.p().firstShow);
  EXPECT_EQ(QXScreen.modalPanel, -1);
}

TEST(LoadPanel, NotAudioPreviewFallsBackAndNoPreviewIsQuiet) {
  Browser b;
  b.lib.song("Library/Song/A", "A");
  b.lib.tmp.write("Library/Song/A/preview.swa", "this is not sound");
  b.open();
  b.m.click(14);
  EXPECT_FALSE(uloQt_IsPlaying());
  EXPECT_EQ(b.groove.loaded.size(), 1u);
  b.m.key('p');
  EXPECT_EQ(b.p().noPreview, 1);
  b.m.click(14);
  EXPECT_EQ(b.groove.loaded.size(), 1u);
  // Return loads for good.
  b.m.key(uloKeyReturn);
  EXPECT_EQ(b.groove.loaded.size(), 2u);
  EXPECT_EQ(b.player.playing, 1);
}

// The light strip along the top of a toggle, as painted in the update
// buffer (RGB 5-5-5).
struct Strip {
  int r, g, b;
  int spread() const { return std::max({r, g, b}) - std::min({r, g, b}); }
};
Strip stripOf(uloPanelControl* c) {
  const uloRect& rc = c->rect;
  QXScreen.update(rc);
  const uint16_t p = uint16_t(QXScreen.updateBuffer.getPixel((rc.left + rc.right) / 2, rc.top + 4));
  return {p >> 10 & 31, p >> 5 & 31, p & 31};
}

TEST(LoadPanel, TheNoPreviewLampIsLitOnlyWhilePreviewsAreOff) {
  Browser b;
  b.lib.song("Library/Song/A", "A");
  b.lib.song("Library/Song/B", "B");
  b.open();
  uloPanelControl* lamp = b.p().control(28);
  ASSERT_NE(lamp, nullptr);
  // Previews on: the lamp is an unlit one, dark and nearly grey (an
  // orange-brown strip reads as lit), and a click previews.
  const Strip off = stripOf(lamp);
  EXPECT_LE(off.spread(), 3) << off.r << " " << off.g << " " << off.b;
  EXPECT_LE(std::max({off.r, off.g, off.b}), 6);
  b.m.click(14);
  EXPECT_EQ(b.groove.loaded.size(), 1u) << "previewed";
  // P switches previews off: the strip glows orange, and a click only
  // selects.
  b.m.key('p');
  const Strip on = stripOf(lamp);
  EXPECT_GE(on.r, 24);
  EXPECT_GE(on.r - on.b, 15);
  b.m.click(15);
  EXPECT_EQ(b.groove.loaded.size(), 1u) << "not previewed";
  // Shown again, the lamp and the behaviour still agree.
  QXScreen.hide(6);
  QXScreen.show(6);
  EXPECT_EQ(stripOf(lamp).r, on.r);
  b.m.click(14);
  EXPECT_EQ(b.groove.loaded.size(), 1u);
  b.m.key('p');
  EXPECT_EQ(stripOf(lamp).r, off.r);
  b.m.click(15);
  EXPECT_EQ(b.groove.loaded.size(), 2u);
}

TEST(LoadPanel, ArrowsMoveTheSelectionAndTheWindow) {
  Browser b;
  for (int i = 0; i < 12; i++) b.lib.song("Library/Song/Song" + std::to_string(i), "S" + std::to_string(i));
  b.open();
  b.m.key('p');  // no previews while stepping
  for (int i = 0; i < 10; i++) b.m.key(uloKeyDown);
  EXPECT_EQ(b.p().listSelected, 10);
  EXPECT_EQ(b.p().listFirst, 2);
  EXPECT_EQ(b.picture(14 /* row 0 */), 0);
  EXPECT_EQ(b.picture(31 /* row 7 */), 0);
  EXPECT_EQ(b.picture(32 /* row 8 */), 1);
  for (int i = 0; i < 20; i++) b.m.key(uloKeyUp);
  EXPECT_EQ(b.p().listSelected, 0);
  EXPECT_EQ(b.p().listFirst, 0);
  EXPECT_FALSE(b.m.enabled(10));
  EXPECT_TRUE(b.m.enabled(11));
}

TEST(LoadPanel, BackspaceDeletesOnlyAfterYes) {
  Browser b;
  b.lib.song("Library/Song/A", "Alpha Run");
  b.lib.song("Library/Song/B", "B");
  b.lib.mkdirs("Library/Song/A/User");
  b.lib.wav("Library/Song/A/User/mine.wav");
  b.lib.wav("Library/Song/A/loop01.wav");
  b.open();
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
  {
    Answer no(2);
    b.m.key(8);
    EXPECT_EQ(Answer::asked(), 1);
    // The question names the song as the list shows it.
    EXPECT_EQ(Answer::text(), "Delete the song \"Alpha Run\" from your library? Its loops are removed from the disk.");
  }
  EXPECT_TRUE(b.lib.exists("Library/Song/A/loop01.wav"));
  {
    Answer yes(1);
    b.m.key(8);
  }
  EXPECT_FALSE(b.lib.exists("Library/Song/A"));
  ASSERT_EQ(b.p().songCount, 1);
  EXPECT_EQ(b.folderAt(0), "B");
}

TEST(LoadPanel, DeletingTheLoadedSongKeepsTheBrowserOpen) {
  Browser b;
  b.lib.song("Library/Song/A", "A");
  b.lib.song("Library/Song/B", "B");
  b.open();
  b.m.key(uloKeyReturn);  // loads A
  QXScreen.show(6);
  EXPECT_TRUE(b.m.enabled(9));
  Answer yes(1);
  b.m.key(8);
  EXPECT_EQ(b.groove.folder, "");
  EXPECT_FALSE(b.m.enabled(9));  // a song must be loaded again first
}

struct DiskBrowser : Browser {
  std::string media;
  DiskBrowser() {
    media = lib.path("media");
    lib.mkdirs("media/stick/Song/Song44/Night");
    lib.tmp.write("mounts", "/dev/sdz1 " + media + "/stick vfat rw 0 0\n");
    uloDisksList::setSystemSources(lib.path("mounts").c_str(), nullptr, media.c_str());
    lib.song("media/stick/Song/Song44/Night", "Night Drive", 100, "Disk Hits");
    lib.wav("media/stick/Song/Song44/Night/loop01.wav");
    lib.wav("media/stick/Song/Song44/Night/Night.gif", 10);  // not a picture: still copied
  }
  ~DiskBrowser() { uloDisksList::setSystemSources(nullptr, nullptr); }
};

TEST(LoadPanel, CopyFromDiskAsksBeforeReplacing) {
  DiskBrowser b;
  b.lib.song("Library/Song/Home", "Home song");
  b.open();
  b.m.click(4);  // next disk
  ASSERT_EQ(b.p().homeMode, 0);
  EXPECT_EQ(b.m.text(1), "stick");
  ASSERT_EQ(b.p().songCount, 1);
  EXPECT_TRUE(b.m.enabled(6));
  EXPECT_FALSE(b.m.enabled(8));
  b.m.click(14);
  EXPECT_TRUE(b.groove.loaded.empty());  // a disk song is never loaded as preview
  b.m.click(6);
  EXPECT_TRUE(b.lib.exists("Library/Song/Night/info.jls"));
  EXPECT_TRUE(b.lib.exists("Library/Song/Night/loop01.wav"));
  EXPECT_EQ(b.m.text(19), "Copy completed");
  EXPECT_EQ(b.p().homeCacheValid, 0);
  b.lib.tmp.write("Library/Song/Night/mark", "kept");
  {
    Answer no(2);
    EXPECT_FALSE(b.p().copyToHD());
    EXPECT_EQ(Answer::asked(), 1);
  }
  EXPECT_TRUE(b.lib.exists("Library/Song/Night/mark"));
  {
    // Replace: Yes; the user's file: No, not kept.
    Answers yesNo({1, 2});
    EXPECT_TRUE(b.p().copyToHD());
    ASSERT_EQ(Answers::texts().size(), 2u);
    EXPECT_NE(Answers::texts()[1].find("\n   mark\n"), std::string::npos) << Answers::texts()[1];
  }
  EXPECT_FALSE(b.lib.exists("Library/Song/Night/mark"));
  b.m.click(5);  // home again, rescanned
  EXPECT_EQ(b.p().songCount, 2);
}

TEST(LoadPanel, FailedCopyLeavesNoHalfSong) {
  DiskBrowser b;
  ASSERT_EQ(symlink("/nonexistent/loop", b.lib.path("media/stick/Song/Song44/Night/loop02.wav").c_str()), 0);
  b.open();
  b.m.click(4);
  Answer ok(1);
  EXPECT_FALSE(b.p().copyToHD());
  EXPECT_FALSE(b.lib.exists("Library/Song/Night"));
  EXPECT_GE(Answer::asked(), 1);  // the failure is told
  b.m.click(5);
  EXPECT_EQ(b.p().songCount, 0);
}

}  // namespace

namespace {

// A press through the screen at the centre of an item of the browser.
void pressOn(Browser& b, int16_t item, int32_t ticksLater = 100) {
  const uloRect r = b.p().control(item)->rect;
  uloGlo.when += ticksLater;
  uloGlo.what = uloEvtMouseDown;
  uloGlo.mouseX = int16_t((r.left + r.right) / 2);
  uloGlo.mouseY = int16_t((r.top + r.bottom) / 2);
  uloGlo.buttonDown = 0;
  ULO_SetTrackingSource([] { return false; });  // released at once
  QXScreen.events();
  ULO_SetTrackingSource(nullptr);
  uloGlo.what = uloEvtNull;
}

std::map<std::string, std::string> snapshot(const loadtest::Library& lib, const std::string& rel) {
  return TreeSnapshot(lib.path(rel));
}

// The entries of the library's song folder: no temporary is left.
std::vector<std::string> loadtest_names(const loadtest::Library& lib) {
  std::vector<std::string> names;
  for (auto& [k, v] : snapshot(lib, "Library/Song"))
    if (k.find('/') == k.size() - 1) names.push_back(k.substr(0, k.size() - 1));
  return names;
}

// The user's files beside the library, which nothing may change.
void writeOutside(const loadtest::Library& lib) {
  lib.mkdirs("outside/sub");
  lib.tmp.write("outside/thesis.txt", "years of work");
  lib.tmp.write("outside/sub/photo.jpg", "JFIF");
  lib.tmp.write("outside/notes", "my notes");
}

}  // namespace

TEST(LoadPanel, TheCloseButtonSaysWhyItIsOffUntilASongIsLoaded) {
  Browser b;
  b.lib.song("Library/Song/A", "A");
  b.open();
  ASSERT_FALSE(b.m.enabled(9));
  pressOn(b, 9);
  EXPECT_TRUE(QXScreen.isShown(6));
  EXPECT_EQ(b.m.text(27), "Load a song first, then X closes.");
  // A song previewed by loading it is a song loaded: X closes.
  b.m.click(14);
  ASSERT_EQ(b.groove.loaded.size(), 1u);
  EXPECT_TRUE(b.m.enabled(9));
  pressOn(b, 9);
  EXPECT_FALSE(QXScreen.isShown(6));
}

TEST(LoadPanel, LoadingAsksBeforeAnUnsavedBankIsLost) {
  Browser b;
  b.lib.song("Library/Song/A", "A");
  b.lib.song("Library/Song/B", "B");
  b.open();
  b.groove.bankMayGo = false;  // the user answers No
  b.p().noPreview = 1;
  b.m.click(15);
  EXPECT_EQ(b.p().listSelected, 1) << "the row is selected";
  b.m.key(uloKeyReturn);
  EXPECT_EQ(b.groove.bankQuestions, 1);
  EXPECT_EQ(b.groove.bankQuestionSongs, std::vector<std::string>{":Library:Song:B:"}) << "asked about that song";
  EXPECT_TRUE(b.groove.loaded.empty());
  EXPECT_TRUE(QXScreen.isShown(6)) << "nothing loaded, the browser stays";
  b.groove.bankMayGo = true;  // Yes
  b.m.key(uloKeyReturn);
  ASSERT_EQ(b.groove.loaded.size(), 1u);
  EXPECT_EQ(b.groove.loaded[0], ":Library:Song:B:");
  EXPECT_FALSE(QXScreen.isShown(6));
}

TEST(LoadPanel, TheHighlightedRowFollowsTheLoadedSong) {
  Browser b;
  const std::string names = "ABCDEFGHIJK";
  for (char c : names) b.lib.song(std::string("Library/Song/") + c, std::string(1, c));
  b.open();
  b.p().noPreview = 1;
  // Down to K (the last of eleven), loaded with Return.
  for (int i = 0; i < 10; i++) b.m.key(uloKeyDown);
  ASSERT_EQ(b.folderAt(b.p().listSelected), "K");
  b.m.key(uloKeyReturn);
  ASSERT_EQ(b.groove.folder, ":Library:Song:K:");
  ASSERT_FALSE(QXScreen.isShown(6));
  // Shown again, the browser stands on K, scrolled so that its row shows.
  QXScreen.show(6);
  EXPECT_EQ(b.folderAt(b.p().listSelected), "K");
  EXPECT_EQ(b.p().listFirst, 2);
  EXPECT_EQ(b.picture(32), b.picture(14) + 1) << "the last row is highlighted, the first not";
  EXPECT_EQ(b.m.text(19).substr(0, 1), "K");
  // A song the groove panel got elsewhere (a mix document) is the one shown.
  QXScreen.hide(6);
  b.groove.folder = ":Library:Song:C:";
  QXScreen.show(6);
  EXPECT_EQ(b.folderAt(b.p().listSelected), "C");
  EXPECT_EQ(b.p().listFirst, 2);
  EXPECT_EQ(b.picture(14), b.picture(32) + 1) << "C's row (the first shown) is highlighted";
}

TEST(LoadPanel, ADoubleClickOnASongRowLoadsItAndASingleClickPreviews) {
  Browser b;
  b.lib.song("Library/Song/A", "A");
  b.lib.song("Library/Song/B", "B");
  b.groove.folder = ":Library:Song:A:";
  b.open();
  pressOn(b, 15);  // B, previewed by loading it
  ASSERT_EQ(b.groove.loaded, std::vector<std::string>{":Library:Song:B:"});
  EXPECT_TRUE(b.groove.borrowed);
  EXPECT_TRUE(QXScreen.isShown(6));
  // A press on another row soon after is no double click of B.
  pressOn(b, 14, 10);
  ASSERT_EQ(b.groove.loaded.size(), 2u);
  EXPECT_TRUE(QXScreen.isShown(6)) << "A only previews";
  // The second press of a double click on B loads B for good, and a tour
  // waiting for LOAD SONG takes that as its step done.
  JLHelps tour(true);
  tour.count = 1;
  tour.elements[0].panel = b.p().screenIndex;
  tour.elements[0].control = 8;
  tour.current = 0;
  tour.active = 1;
  jlHelpp = &tour;
  pressOn(b, 15, 100);
  EXPECT_EQ(tour.timer, 0) << "a preview is not the step";
  pressOn(b, 15, 10);
  jlHelpp = nullptr;
  EXPECT_NE(tour.timer, 0) << "the tour's LOAD SONG step stays open";
  ASSERT_EQ(b.groove.loaded.size(), 4u);
  EXPECT_EQ(b.groove.loaded.back(), ":Library:Song:B:");
  EXPECT_FALSE(QXScreen.isShown(6));
  EXPECT_FALSE(b.groove.borrowed) << "the song stays: no preview to end";
  EXPECT_EQ(b.groove.folder, ":Library:Song:B:");
  EXPECT_TRUE(b.groove.restored.empty());

  // A preview that took longer than a double click (loading a big song):
  // the second press, queued meanwhile, comes right after it ends.
  QXScreen.show(6);
  pressOn(b, 14, 100);
  ASSERT_EQ(b.folderAt(b.p().listSelected), "A");
  b.p().slowRow = b.p().listSelected;
  b.p().slowRowDoneAt = uloGlo.when + 40;  // the preview ended 40 ticks on
  pressOn(b, 14, 45);
  EXPECT_FALSE(QXScreen.isShown(6)) << "loaded";
  EXPECT_EQ(b.groove.folder, ":Library:Song:A:");
  // Well after such a preview a press is a single click again.
  QXScreen.show(6);
  pressOn(b, 15, 100);
  b.p().slowRow = b.p().listSelected;
  b.p().slowRowDoneAt = uloGlo.when + 40;
  pressOn(b, 15, 100);
  EXPECT_TRUE(QXScreen.isShown(6)) << "only previewed";
}

TEST(LoadPanel, APreviewOnlyBorrowsTheGroovePanelUntilXOrEscape) {
  Browser b;
  b.lib.song("Library/Song/A", "A");
  b.lib.song("Library/Song/B", "B");
  b.lib.song("Library/Song/C", "C");
  b.groove.folder = ":Library:Song:A:";
  b.player.play();
  b.open();
  EXPECT_EQ(b.player.playing, 1) << "opening the browser leaves the music playing";
  b.m.click(11);  // scrolling is no preview either
  EXPECT_EQ(b.player.playing, 1);
  b.groove.bankMayGo = false;
  b.m.click(15);  // previews B without asking about the bank
  EXPECT_EQ(b.groove.bankQuestions, 0);
  EXPECT_EQ(b.groove.folder, ":Library:Song:B:");
  b.m.click(16);  // then C: still A comes back
  EXPECT_EQ(b.groove.folder, ":Library:Song:C:");
  b.m.click(9);
  EXPECT_FALSE(QXScreen.isShown(6));
  ASSERT_EQ(b.groove.restored, std::vector<std::string>{":Library:Song:A:"});
  EXPECT_EQ(b.groove.folder, ":Library:Song:A:");
  // Escape closes as X does, ending the preview the same way.
  QXScreen.show(6);
  b.m.click(15);
  b.m.key(27);
  EXPECT_FALSE(QXScreen.isShown(6));
  EXPECT_EQ(b.groove.restored.size(), 2u);
  EXPECT_EQ(b.groove.folder, ":Library:Song:A:");
}

TEST(LoadPanel, DeletingASongDuringAPreviewBringsBackTheSongFromBefore) {
  Browser b;
  b.lib.song("Library/Song/A", "A");
  b.lib.song("Library/Song/B", "B");
  b.lib.song("Library/Song/C", "C");
  b.groove.folder = ":Library:Song:A:";
  b.open();
  b.m.click(15);  // preview B
  b.m.click(16);  // select C (a preview too) and delete it
  Answer yes(1);
  b.m.key(8);
  EXPECT_FALSE(b.lib.exists("Library/Song/C"));
  EXPECT_EQ(b.groove.folder, ":Library:Song:A:");
  EXPECT_FALSE(b.groove.previewing());
  EXPECT_TRUE(b.m.enabled(9));
  b.m.click(9);
  EXPECT_FALSE(QXScreen.isShown(6));
  EXPECT_EQ(b.groove.folder, ":Library:Song:A:");
}

TEST(LoadPanelSafety, DeletingASongNeverFollowsItsLinks) {
  Browser b;
  writeOutside(b.lib);
  b.lib.song("Library/Song/AAEvil", "Evil");
  b.lib.song("Library/Song/Other", "Other");
  b.lib.wav("Library/Song/Other/loop01.wav");
  b.lib.mkdirs("Library/Song/AAEvil/User");
  b.lib.tmp.write("Library/Song/AAEvil/User/take.wav", "take");
  ASSERT_EQ(symlink(b.lib.path("outside").c_str(), b.lib.path("Library/Song/AAEvil/shared").c_str()), 0);
  ASSERT_EQ(symlink("..", b.lib.path("Library/Song/AAEvil/x").c_str()), 0);
  ASSERT_EQ(symlink("../../..", b.lib.path("Library/Song/AAEvil/User/up").c_str()), 0);
  const auto outside = snapshot(b.lib, "outside");
  const auto other = snapshot(b.lib, "Library/Song/Other");
  b.open();
  ASSERT_EQ(b.folderAt(0), "AAEvil");
  {
    Answer yes(1);
    EXPECT_TRUE(b.p().removeSong());
    EXPECT_EQ(Answer::asked(), 1) << "the question only: no failure to report";
  }
  EXPECT_FALSE(b.lib.exists("Library/Song/AAEvil"));
  EXPECT_EQ(snapshot(b.lib, "outside"), outside);
  EXPECT_EQ(snapshot(b.lib, "Library/Song/Other"), other);
  ASSERT_EQ(b.p().songCount, 1);
}

TEST(LoadPanelSafety, ADiskDescriptorCannotWriteOutsideTheLibrary) {
  DiskBrowser b;
  writeOutside(b.lib);
  const std::string disk = "media/stick/Song/Song44/Night";
  // The collection names a path out of the library's picture folder.
  b.lib.song(disk, "Night Drive", 100, "../../../outside/notes");
  // A real picture, so that the browser shows it and copies it.
  const unsigned char gif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 1, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 0xff, 0xff,
                               0xff, 0x21, 0xf9, 4, 1, 0, 0, 0, 0, 0x2c, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0, 0x3b};
  b.lib.tmp.write(disk + "/Night.gif", std::string(reinterpret_cast<const char*>(gif), sizeof gif));
  const auto outside = snapshot(b.lib, "outside");
  b.open();
  b.m.click(4);
  ASSERT_EQ(b.p().songCount, 1);
  {
    Answers ok({1});
    EXPECT_TRUE(b.p().copyToHD());
    ASSERT_EQ(Answers::texts().size(), 1u);
    EXPECT_EQ(Answers::texts()[0],
              "The name \"../../../outside/notes\" was refused: it is not a plain collection name. The song was "
              "copied without its collection picture.");
  }
  EXPECT_EQ(snapshot(b.lib, "outside"), outside);
  EXPECT_TRUE(b.lib.exists("Library/Song/Night/loop01.wav"));
  EXPECT_TRUE(snapshot(b.lib, "Library/Images").empty());
  // A plain collection whose picture in the library is a link out: the
  // link is refused as well, nothing is written through it.
  ASSERT_EQ(symlink(b.lib.path("outside/notes").c_str(), b.lib.path("Library/Images/Hits.gif").c_str()), 0);
  b.lib.song(disk, "Night Drive", 100, "Hits");
  b.m.click(14);
  {
    Answers yes({1});
    EXPECT_TRUE(b.p().copyToHD());
    ASSERT_EQ(Answers::texts().size(), 2u);  // replace, then the refusal
    EXPECT_EQ(Answers::texts()[1].rfind("The name \"Hits.gif\" was refused: it leads outside its folder.", 0), 0u);
  }
  EXPECT_EQ(snapshot(b.lib, "outside"), outside);
}

// A library song with a descriptor naming its loops, the user's take and a
// user loop; the disk holds a newer version without loop02.
struct ReplaceBrowser : DiskBrowser {
  ReplaceBrowser() {
    const std::string descriptor =
        "JAMLOOM-JLS-1.2 test\nSONGLIBRARY: Demo\nSONGTITLE: Night\nSONGBPM: 100\nSONGMIX: 0\nARPNOTE: C\n"
        "LONGCOMMAND: CATEGORYLIST: 1\nloop\nENDCOMMAND:\n"
        "LONGCOMMAND: RANDOMSET: 1\nall 1 loop\nENDCOMMAND:\n"
        "LONGCOMMAND: SONGTRACKS: 2\nloop01 100 63 1 A\nloop02 100 63 1 B\nENDCOMMAND:\n";
    lib.mkdirs("Library/Song/Night/User");
    lib.tmp.write("Library/Song/Night/info.jls", descriptor);
    lib.tmp.write("Library/Song/Night/loop01.wav", "old loop 1");
    lib.tmp.write("Library/Song/Night/loop02.wav", "old loop 2");
    lib.tmp.write("Library/Song/Night/my take.wav", "the user's recording");
    lib.tmp.write("Library/Song/Night/User/saved01.wav", "a saved user loop");
  }
};

TEST(LoadPanelSafety, ReplacingAsksAboutTheUsersFilesAndKeepsThem) {
  ReplaceBrowser b;
  b.open();
  b.m.click(4);
  {
    Answers yes({1, 1});
    EXPECT_TRUE(b.p().copyToHD());
    ASSERT_EQ(Answers::texts().size(), 2u);
    EXPECT_EQ(Answers::texts()[1],
              "The song \"Night\" in your library holds files that the new copy has not:\n   User:saved01.wav\n"
              "   my take.wav\n\nKeep them in the new copy? (No deletes them; Cancel keeps the old song as it is.)");
  }
  EXPECT_EQ(b.lib.tmp.read("Library/Song/Night/my take.wav"), "the user's recording");
  EXPECT_EQ(b.lib.tmp.read("Library/Song/Night/User/saved01.wav"), "a saved user loop");
  EXPECT_FALSE(b.lib.exists("Library/Song/Night/loop02.wav")) << "the old song's own loop goes with it";
  EXPECT_EQ(b.lib.tmp.read("Library/Song/Night/loop01.wav"), b.lib.tmp.read("media/stick/Song/Song44/Night/loop01.wav"));
  EXPECT_EQ((std::vector<std::string>{"Night"}), loadtest_names(b.lib));
}

TEST(LoadPanelSafety, CancelledOrFailedReplaceLeavesTheOldSongByteForByte) {
  ReplaceBrowser b;
  const auto before = snapshot(b.lib, "Library");
  b.open();
  b.m.click(4);
  {
    Answers yesCancel({1, 3});
    EXPECT_FALSE(b.p().copyToHD());
  }
  EXPECT_EQ(snapshot(b.lib, "Library"), before);
  // A file of the disk that cannot be read, found after others were copied.
  ASSERT_EQ(symlink("/nonexistent/loop", b.lib.path("media/stick/Song/Song44/Night/zz09.wav").c_str()), 0);
  {
    Answers yes({1});
    EXPECT_FALSE(b.p().copyToHD());
    ASSERT_EQ(Answers::texts().size(), 2u);
    EXPECT_EQ(Answers::texts()[1],
              "The song could not be copied into the library: The name \"zz09.wav\" was refused: it is a symbolic "
              "link to nothing. Nothing was changed.");
  }
  EXPECT_EQ(snapshot(b.lib, "Library"), before);
}


namespace {

TEST(LoadPanel, NextDiskSaysWhenNoDiskIsThereAndComesHomeQuietlyFromTheLastDisk) {
  {
    Browser b;
    jlIntl.startWithLanguage(QXCasts.resFile, 9);
    b.lib.tmp.write("mounts", "/dev/sda1 / ext4 rw 0 0\n");  // no removable disk
    uloDisksList::setSystemSources(b.lib.path("mounts").c_str(), nullptr, b.lib.path("media").c_str());
    b.open();
    Answers ok({1});
    b.m.click(4);
    EXPECT_EQ(Answers::texts(), std::vector<std::string>{loadtest::kNoDiskMessage});
    EXPECT_EQ(b.p().homeMode, 1);
    EXPECT_EQ(b.m.text(1), "Home");
    uloDisksList::setSystemSources(nullptr, nullptr);
  }
  DiskBrowser b;
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
  b.open();
  loadtest::nextDiskThereAndHomeQuietly(b.m, 4, 1, "stick");
}

// WEB hands the address to xdg-open; when that finds no browser (its exit
// code says so) the user is told on screen, not only in its output.
TEST(LoadPanel, WebTellsOnScreenWhenNoBrowserCouldShowThePage) {
  Browser b;
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
  b.open();
  b.lib.mkdirs("bin");
  const std::string opener = b.lib.path("bin/xdg-open");
  const std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (b.lib.path("bin") + ":" + oldPath).c_str(), 1);
  auto openWith = [&](int exitCode) {
    b.lib.tmp.write("bin/xdg-open", "#!/bin/sh\necho \"$@\" >>\"" + b.lib.path("asked") + "\"\nexit " +
                                        std::to_string(exitCode) + "\n");
    chmod(opener.c_str(), 0755);
    b.m.click(2);
    const uint32_t until = ULO_Ticks() + 60 * 30;
    while (ULO_WebPageOpening() && ULO_Ticks() < until) usleep(10000);
    uloGlo.what = uloEvtNull;
    QXScreen.events();
  };
  Answers ok({1});
  openWith(3);  // xdg-open: "no method available"
  EXPECT_EQ(Answers::texts(), std::vector<std::string>{"No web browser could show https://jamloom.org/songs. Open the "
                                                       "address in a web browser yourself."});
  openWith(0);  // a browser showed it
  EXPECT_EQ(Answers::texts().size(), 1u);
  EXPECT_EQ(b.lib.tmp.read("asked"), "https://jamloom.org/songs\nhttps://jamloom.org/songs\n");
  setenv("PATH", oldPath.c_str(), 1);
}

}  // namespace
