// Mix documents from the groove panel (save, open, the dialog answers, the
// failures the user is told about) and the disk mix of the sequence.
#include <dirent.h>
#include <sys/stat.h>
#include <sndfile.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/AudioFormat.h"
#include "framework/intl/JLInternational.h"
#include "framework/platform/uloSoundConvert.h"
#include "framework/text/uloFont.h"
#include "core/sys/jlDocumentForward.h"
#include "screens/JLLoadPanel.h"
#include "screens/JLProgressPanel.h"
#include "screens/JLRenderToFile.h"
#include "screens/JLSynthPanel.h"
#include "song/JLDiskMix.h"
#include "song/JLMixDocument.h"
#include "song/jlSongMessages.h"
#include "support/tempFolder.h"
#include "tests/screens/grooveTestSupport.h"

namespace {

using groovetest::GroovePanelTest;

std::string gLastBox;
int gBoxes = 0;
int16_t gLastButtons = -1;
int16_t recordBox(const char*, const char* text, int16_t buttons) {
  gLastBox = text ? text : "";
  gLastButtons = buttons;
  gBoxes++;
  return 1;
}
int16_t answerDefault(const char*, const char*, int16_t b) { return b <= 0 ? 1 : b == 1 ? 2 : 3; }

// The engine's live state the user depends on after a disk mix.
struct LiveEngine {
  std::vector<std::string> loops;
  int32_t songBpm, status, resampled, master, volume[8], pan[8], variant[8];
  bool manualFeed;
  bool operator==(const LiveEngine& o) const {
    return loops == o.loops && songBpm == o.songBpm && status == o.status && resampled == o.resampled &&
           master == o.master && !memcmp(volume, o.volume, sizeof volume) && !memcmp(pan, o.pan, sizeof pan) &&
           !memcmp(variant, o.variant, sizeof variant) && manualFeed == o.manualFeed;
  }
};

LiveEngine liveEngine() {
  LiveEngine e;
  for (int i = 0; i < NumVTracks.load(); i++) e.loops.push_back(VTracks[i].name);
  e.songBpm = SongBPM.load();
  e.status = PlayingStatus.load();
  e.resampled = ResampledBPM.load();
  e.master = MasterVol.load();
  for (int t = 0; t < 8; t++) {
    e.volume[t] = Tracks[t].volume.load();
    e.pan[t] = Tracks[t].pan.load();
    e.variant[t] = Tracks[t].currentVariant.load();
  }
  e.manualFeed = wDBManualFeed();
  return e;
}

std::vector<int16_t> readSound(const std::string& path, SF_INFO& info) {
  memset(&info, 0, sizeof info);
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  EXPECT_NE(f, nullptr) << path;
  std::vector<int16_t> v;
  if (!f) return v;
  v.resize(size_t(info.frames * info.channels));
  sf_readf_short(f, v.data(), info.frames);
  sf_close(f);
  return v;
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d)) names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

// RMS of one channel of interleaved stereo, in dB of full scale.
double rmsDb(const std::vector<int16_t>& s, int channel) {
  double sum = 0;
  for (size_t i = size_t(channel); i < s.size(); i += 2) sum += double(s[i]) * s[i];
  return 10.0 * std::log10(sum / double(s.size() / 2) / (32768.0 * 32768.0) + 1e-30);
}

class GrooveDocs : public GroovePanelTest {
 protected:
  void SetUp() override {
    GroovePanelTest::SetUp();
    jlIntl.startWithLanguage(QXCasts.resFile, 9);
    gLastBox.clear();
    gBoxes = 0;
    ULO_SetMessageBoxHook(recordBox);
  }
  void TearDown() override {
    ULO_SetMessageBoxHook(answerDefault);
    jlPrefs.outputType = ULO_FourCC("JLMX");
    GroovePanelTest::TearDown();
  }
  // A working state worth keeping: two stored grooves, three steps, track 5
  // selected, an odd tempo.
  void buildMix() {
    ASSERT_TRUE(loadDemo());
    gp().randomize(4);
    item(12);
    gp().randomize(0);
    item(12);
    item(70);
    gp().randomize(4);
    item(6);
    player().adjustBpm(131.4f);
  }
  TempFolder tmp;
};

TEST_F(GrooveDocs, ASavedMixReopensIdentically) {
  buildMix();
  // The sequence holds 1, 2 and 1 again.
  gp().sequence.steps[gp().sequence.stepCount++] = 1;
  const std::string path = tmp.ulo() + "mix.jld";
  ASSERT_TRUE(gp().saveDocument(path.c_str()));
  const std::string bytes = tmp.read("mix.jld");
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x67\x73\x46\x41", 4));
  EXPECT_EQ(bytes.size(), 4u + 12 + 8 + kJLIceimageBytes + 8 + kJLSynthBlockBytes);

  const JLSequence seq = gp().sequence;
  const JLGroove groove = gp().groove;
  // Something else entirely meanwhile.
  ASSERT_TRUE(loadDemo("IronPulse"));
  gp().randomize(0);
  item(2);
  EXPECT_NE(gp().sequence.grooveCount, seq.grooveCount);

  EXPECT_TRUE(gp().openDocument(path.c_str()));
  EXPECT_STREQ(gp().songShortName, "NeonBoulevard");
  EXPECT_EQ(gp().library.songBpm, 125);
  EXPECT_EQ(NumVTracks.load(), 36);
  EXPECT_EQ(memcmp(&gp().sequence, &seq, sizeof seq), 0);
  EXPECT_EQ(memcmp(&gp().groove, &groove, sizeof groove), 0);
  EXPECT_EQ(gp().selectedTrack, 5);
  EXPECT_FLOAT_EQ(player().bpm, 131.4f);
  EXPECT_EQ(text(97), "131.4");
  EXPECT_EQ(value(35), 6);
  EXPECT_FALSE(player().playing);
  EXPECT_EQ(value(101), 1);
  EXPECT_EQ(value(111), 1);
  EXPECT_EQ(value(112), -1);
  // Playing it sends the restored groove to the engine.
  item(25);
  for (int t = 0; t < 8; t++) EXPECT_EQ(Tracks[t].currentVariant.load(), gp().tracks[t].sampleNo) << t;
}

TEST_F(GrooveDocs, AReopenedMixShowsAndSoundsItsRandomSetMutesAndSynthAsSaved) {
  groovetest::MountedSynthPanel mounted;
  JLSynthPanel& synth = mounted.panel;
  ASSERT_TRUE(loadDemo());
  ASSERT_GE(gp().library.randomSetCount, 2);
  gp().randomize(1);
  const std::string setName = gp().library.randomSets[1].name;
  ASSERT_EQ(text(86), setName);
  item(28);  // track 3 muted
  ASSERT_FALSE(gp().tracks[2].active);
  // A note starts the synth; the user switches it off again.
  synth.noteHit(0);
  ASSERT_TRUE(synth.synthPlaying());
  synth.currentItem = 41;
  synth.onItem();
  ASSERT_FALSE(synth.synthPlaying());
  ASSERT_EQ(value(124), 0);
  const JLGroove saved = gp().groove;
  const std::string path = tmp.ulo() + "extras.jld";
  ASSERT_TRUE(gp().saveDocument(path.c_str()));

  // Meanwhile: another set, every track on, the synth playing.
  gp().randomize(0);
  item(28);
  synth.currentItem = 41;
  synth.onItem();
  ASSERT_TRUE(synth.synthPlaying());
  ASSERT_EQ(value(124), 1);

  ASSERT_TRUE(gp().openDocument(path.c_str()));
  EXPECT_EQ(text(86), setName);
  EXPECT_EQ(gp().lastRandomStyle, 1);
  EXPECT_FALSE(synth.synthPlaying());
  EXPECT_EQ(value(124), 0) << "the SYNTH lamp is off, as the synth was";
  EXPECT_EQ(player().synthLed, 0);
  EXPECT_EQ(memcmp(&gp().groove, &saved, sizeof saved), 0);
  for (short t = 0; t < 8; t++) EXPECT_EQ(gp().tracks[t].active, t == 2 ? 0 : 1) << t;
  EXPECT_EQ(value(28), gp().tracks[2].sampleNo >= 0 ? 3 : 1) << "track 3's lamp shows it muted";
  // Stopped, as a document opens, and PLAY plays what was heard.
  EXPECT_FALSE(player().playing);
  item(25);
  for (short t = 0; t < 8; t++)
    EXPECT_EQ(Tracks[t].currentVariant.load(), t == 2 ? -1 : gp().tracks[t].sampleNo) << t;

  // A document from before these were kept: every track plays, no set.
  JLIceimage old;
  JL_ReadMixDocument(path.c_str(), old, nullptr);
  memset(old.unused, 0, sizeof old.unused);
  const std::string before = tmp.ulo() + "before.jld";
  ASSERT_TRUE(JL_WriteMixDocument(before.c_str(), old, nullptr));
  ASSERT_TRUE(gp().openDocument(before.c_str()));
  EXPECT_EQ(text(86), "-");
  for (short t = 0; t < 8; t++) EXPECT_EQ(gp().tracks[t].active, 1) << t;
}

TEST(MixExtras, KeptInTheSpareBytesAndAbsentInOlderDocuments) {
  JLIceimage image;
  memset(image.unused, 0, sizeof image.unused);
  EXPECT_FALSE(JL_GetMixExtras(image).kept);
  EXPECT_EQ(JL_GetMixExtras(image).randomSet, -1);
  JLMixExtras e;
  e.synthOn = true;
  e.mutedTracks = 0x84;
  e.randomSet = 3;
  JL_PutMixExtras(image, e);
  EXPECT_EQ(image.unused[0], 3);
  EXPECT_EQ(image.unused[1], 0x84);
  EXPECT_EQ(image.unused[2], 4);
  EXPECT_EQ(image.unused[3], 0);
  uint8_t raw[kJLIceimageBytes];
  JL_PutIceimage(image, raw);
  EXPECT_EQ(raw[8728], 3);
  JLIceimage back;
  JL_GetIceimage(raw, back);
  const JLMixExtras r = JL_GetMixExtras(back);
  EXPECT_TRUE(r.kept);
  EXPECT_TRUE(r.synthOn);
  EXPECT_EQ(r.mutedTracks, 0x84);
  EXPECT_EQ(r.randomSet, 3);
  EXPECT_EQ(r.masterVolume, -1) << "kept extras without a master volume";
  // Foreign bytes: a set number beyond the byte's range reads as none.
  back.unused[2] = 200;
  EXPECT_EQ(JL_GetMixExtras(back).randomSet, -1);
  // The master volume in byte 3, plus one; out of range reads as not kept.
  for (int16_t v : {0, 80, 127}) {
    e.masterVolume = v;
    JL_PutMixExtras(image, e);
    EXPECT_EQ(image.unused[3], v + 1);
    EXPECT_EQ(JL_GetMixExtras(image).masterVolume, v);
  }
  image.unused[3] = 129;
  EXPECT_EQ(JL_GetMixExtras(image).masterVolume, -1);
}

TEST_F(GrooveDocs, AReopenedMixComesBackAtItsMasterVolumeAndAnOlderOneLeavesItAlone) {
  ASSERT_TRUE(loadDemo());
  player().setMainVolume(80);
  ASSERT_EQ(text(120), "80");
  const std::string path = tmp.ulo() + "master.jld";
  ASSERT_TRUE(gp().saveDocument(path.c_str()));
  player().setMainVolume(63);
  ASSERT_TRUE(gp().openDocument(path.c_str()));
  EXPECT_EQ(player().mainVolume, 80);
  EXPECT_EQ(text(120), "80") << "MASTER shows it";
  EXPECT_EQ(MasterVol.load(), 80) << "and the engine plays at it";

  // A document saved before the master volume was kept.
  JLIceimage old;
  ASSERT_EQ(JL_ReadMixDocument(path.c_str(), old, nullptr), JLMixReadResult::ok);
  old.unused[3] = 0;
  const std::string before = tmp.ulo() + "before.jld";
  ASSERT_TRUE(JL_WriteMixDocument(before.c_str(), old, nullptr));
  player().setMainVolume(92);
  ASSERT_TRUE(gp().openDocument(before.c_str()));
  EXPECT_EQ(player().mainVolume, 92);
  EXPECT_EQ(text(120), "92");
}

// The status line under PLAY says what the player does after every way of
// opening a mix: on the command line at start (nothing played yet), and
// through OPEN while the groove or the sequence plays.
TEST_F(GrooveDocs, AnOpenedMixShowsThePlayersStateInTheStatusLine) {
  buildMix();
  const std::string path = tmp.ulo() + "state.jld";
  ASSERT_TRUE(gp().saveDocument(path.c_str()));
  // The program at start: a panel that has not played yet.
  player().stop();
  gp().common_setLabel(0, "");
  JLPath commandLine;
  commandLine.set(path.c_str());
  commandLine.ready = true;
  gp().asyncDialogMessage(&commandLine);
  EXPECT_FALSE(player().playing);
  EXPECT_EQ(text(99), "Stop");
  item(25);
  ASSERT_EQ(text(99), "Groove play");
  ASSERT_TRUE(gp().openDocument(path.c_str()));
  EXPECT_EQ(text(99), "Stop");
  player().playSequence();
  ASSERT_EQ(text(99), "Sequence play");
  ASSERT_TRUE(gp().openDocument(path.c_str()));
  EXPECT_EQ(text(99), "Stop");
  EXPECT_FALSE(player().playing);
}

TEST_F(GrooveDocs, TheDialogAnswersLoadSaveAndCancel) {
  buildMix();
  const std::string path = tmp.ulo() + "answer";
  // A save answer without the extension gets it.
  gp().dialogPath.set(path.c_str());
  gp().dialogPath.ready = true;
  gp().dialogPath.request[0] = 0;
  gp().dialogPath.request[1] = 1;
  gp().asyncDialogMessage(&gp().dialogPath);
  EXPECT_FALSE(tmp.read("answer.jld").empty());
  EXPECT_EQ(std::string(gp().docPath.path), path + ".jld");
  // A cancelled open changes nothing.
  const JLSequence seq = gp().sequence;
  gp().randomize(1);
  const JLGroove groove = gp().groove;
  gp().dialogPath.ready = false;
  gp().dialogPath.request[1] = 0;
  gp().asyncDialogMessage(&gp().dialogPath);
  EXPECT_EQ(memcmp(&gp().groove, &groove, sizeof groove), 0);
  // The command line's document arrives on another path, as an open,
  // asking first: the groove changed since the save (the box says Yes).
  JLPath commandLine;
  commandLine.set((path + ".jld").c_str());
  commandLine.ready = true;
  gp().asyncDialogMessage(&commandLine);
  EXPECT_EQ(memcmp(&gp().sequence, &seq, sizeof seq), 0);
  EXPECT_EQ(memcmp(&gp().groove, &gp().iceimage.groove, sizeof groove), 0) << "the saved groove is back";
  EXPECT_EQ(std::string(gp().docPath.path), path + ".jld");
  EXPECT_EQ(gBoxes, 1);
  EXPECT_EQ(gLastBox,
            "Your changes (groove) are not saved in a mix document. Open the mix document \"answer.jld\" and lose "
            "them?");
}

// The header and the window's title name the mix document the work belongs
// to (saved as, opened, given on the command line) beside the song; another
// song loaded for good is work of no document, and they name the song alone.
TEST_F(GrooveDocs, TheTitlesNameTheOpenMixDocumentUntilAnotherSongIsLoaded) {
  buildMix();
  const std::string song = text(89);
  ASSERT_FALSE(song.empty());
  EXPECT_STREQ(ULO_WindowTitle(), "Jamloom 2.0");
  // SAVE AS a name with a character beyond ASCII: the header is Latin-1,
  // the window's title UTF-8.
  const std::string path = tmp.ulo() + "Nuit d\xc3\xa9t\xc3\xa9";
  gp().dialogPath.set(path.c_str());
  gp().dialogPath.ready = true;
  gp().dialogPath.request[1] = 1;
  gp().asyncDialogMessage(&gp().dialogPath);
  ASSERT_FALSE(tmp.read("Nuit d\xc3\xa9t\xc3\xa9.jld").empty());
  EXPECT_EQ(text(89), "Nuit d\xe9t\xe9 - " + song);
  EXPECT_STREQ(ULO_WindowTitle(), "Nuit d\xc3\xa9t\xc3\xa9 - Jamloom");
  // Another song loaded for good: the titles go back.
  ASSERT_TRUE(loadDemo("IronPulse"));
  const std::string other = text(89);
  EXPECT_EQ(other.find("Nuit"), std::string::npos) << other;
  EXPECT_NE(other, song);
  EXPECT_STREQ(ULO_WindowTitle(), "Jamloom 2.0");
  // Opened (as from the command line), the document names itself again.
  JLPath commandLine;
  commandLine.set((path + ".jld").c_str());
  commandLine.ready = true;
  gp().asyncDialogMessage(&commandLine);
  EXPECT_EQ(text(89), "Nuit d\xe9t\xe9 - " + song);
  EXPECT_STREQ(ULO_WindowTitle(), "Nuit d\xc3\xa9t\xc3\xa9 - Jamloom");
  // A preview borrows the panel and leaves both as they are; so does its
  // end.
  gp().beginPreview();
  ASSERT_TRUE(loadDemo("RobotFunk"));
  EXPECT_EQ(text(89), "Nuit d\xe9t\xe9 - " + song);
  EXPECT_STREQ(ULO_WindowTitle(), "Nuit d\xc3\xa9t\xc3\xa9 - Jamloom");
  ASSERT_TRUE(gp().endPreview(false));
  EXPECT_EQ(text(89), "Nuit d\xe9t\xe9 - " + song);
  // A previewed song kept instead is work of no document.
  gp().beginPreview();
  ASSERT_TRUE(loadDemo("RobotFunk"));
  gp().keepPreview();
  EXPECT_EQ(text(89).find("Nuit"), std::string::npos);
  EXPECT_STREQ(ULO_WindowTitle(), "Jamloom 2.0");
  // Without a song there is nothing to name.
  ASSERT_TRUE(gp().openDocument((path + ".jld").c_str()));
  gp().forgetSong();
  EXPECT_EQ(text(89), "");
  EXPECT_STREQ(ULO_WindowTitle(), "Jamloom 2.0");
}

// A reopened mix selects the bank ball the user had: the one holding the
// groove heard (its muted tracks aside), else the one the groove was taken
// from and then changed, else the first; none in an empty bank.
TEST_F(GrooveDocs, AReopenedMixSelectsTheBankBallThatGoesWithItsGroove) {
  buildMix();
  ASSERT_EQ(gp().sequence.grooveCount, 2);
  const std::string path = tmp.ulo() + "balls.jld";
  auto reopened = [&] {
    EXPECT_TRUE(gp().saveDocument(path.c_str()));
    gp().grooveRow.select(-1);
    EXPECT_TRUE(gp().openDocument(path.c_str()));
    return gp().grooveRow.selected;
  };
  auto takeBall = [&](short p) {
    gp().grooveRow.select(p);
    gp().groove = gp().sequence.grooves[p];
    gp().groove_restore();
  };
  // The second ball, as taken.
  takeBall(1);
  EXPECT_EQ(reopened(), 1);
  // The second ball's content and a muted track it holds empty, taken from
  // no ball: still it.
  short empty = -1;
  for (short t = 0; t < 8 && empty < 0; t++)
    if (gp().sequence.grooves[1].tracks[t].group < 0 && gp().sequence.grooves[0].tracks[t].group >= 0) empty = t;
  ASSERT_GE(empty, 0) << "the second ball leaves a track empty that the first fills";
  gp().groove.tracks[empty] = gp().sequence.grooves[0].tracks[empty];
  gp().groove.id = 0;
  gp().groove_restore();
  gp().onItem_trackLed(empty);
  ASSERT_EQ(gp().tracks[empty].active, 0);
  EXPECT_EQ(reopened(), 1);
  gp().onItem_trackLed(empty);
  // The second ball, changed since: the ball it came from.
  takeBall(1);
  gp().randomize(3);
  ASSERT_EQ(gp().groove.id, gp().sequence.grooves[1].id) << "a changed groove remembers its ball";
  ASSERT_NE(memcmp(gp().groove.tracks, gp().sequence.grooves[1].tracks, sizeof gp().groove.tracks), 0);
  EXPECT_EQ(reopened(), 1);
  // The first ball's content under the second ball's id (STORE found it
  // there): the ball that holds it.
  gp().groove = gp().sequence.grooves[0];
  gp().groove.id = gp().sequence.grooves[1].id;
  gp().groove_restore();
  EXPECT_EQ(reopened(), 0);
  // A groove of no ball: the first.
  gp().groove.id = 0;
  gp().randomize(2);
  gp().groove.id = 0;
  EXPECT_EQ(reopened(), 0);
  // An empty bank selects nothing.
  gp().sequence = JLSequence();
  EXPECT_EQ(reopened(), -1);
}

// The first-start song browser holds the screen; a mix another start hands
// over must not wait behind it (it would open later over the song the user
// picks there).
TEST_F(GrooveDocs, AMixHandedOverWhileTheSongBrowserIsUpOpensAtOnceAndClosesIt) {
  ASSERT_TRUE(loadDemo());
  const std::string song = gp().songFolder;
  ASSERT_TRUE(gp().saveDocument((tmp.ulo() + "handed.jld").c_str()));
  ASSERT_TRUE(loadDemo("IronPulse"));
  ASSERT_NE(std::string(gp().songFolder), song);
  JLLoadPanel browser;
  browser.attachLayouts(6, -1, -1, &QXCasts, uloRect(0, 0, 640, 480));
  QXScreen.connect(&browser, 6, 1);
  QXScreen.setProps(6, 0, 0, false, 0);
  QXScreen.show(6);
  ASSERT_EQ(QXScreen.modalPanel, 6);
  ASSERT_EQ(mkdir(tmp.file("run").c_str(), 0700), 0);
  const std::string socket = tmp.file("run/forward.sock");
  ASSERT_TRUE(JL_StartDocumentListener(socket));
  struct Undo {
    ~Undo() {
      JL_StopDocumentListener();
      QXScreen.windowOpen = false;
      QXScreen.hide(6);
      QXScreen.disconnect(6);
      QXScreen.modalPanel = -1;
    }
  } undo;
  ASSERT_TRUE(JL_ForwardDocument(socket, tmp.file("handed.jld")));
  QXScreen.windowOpen = true;
  QXScreen.openForwardedDocument();
  EXPECT_FALSE(QXScreen.isShown(6));
  EXPECT_EQ(QXScreen.modalPanel, -1);
  EXPECT_EQ(std::string(gp().songFolder), song) << "the handed-over mix is on screen";
  std::string left;
  EXPECT_FALSE(JL_TakeForwardedDocument(&left)) << "nothing kept waiting: " << left;
}

TEST_F(GrooveDocs, ASaveSaysSoInTheStatusLineAndAFailedOneOnlyInItsBox) {
  buildMix();
  player().stop();
  gp().common_setLabel(0, "Stop");
  const auto answerSave = [&](const std::string& path) {
    gp().dialogPath.set(path.c_str());
    gp().dialogPath.ready = true;
    gp().dialogPath.request[0] = 0;
    gp().dialogPath.request[1] = 1;
    gp().asyncDialogMessage(&gp().dialogPath);
  };
  // Into a "folder" that is a file: the box tells, the line stays.
  tmp.write("plain", "not a folder");
  answerSave(tmp.ulo() + "plain:mix.jld");
  EXPECT_EQ(gBoxes, 1);
  EXPECT_EQ(gLastBox.rfind("The mix could not be saved as ", 0), 0u) << gLastBox;
  EXPECT_EQ(text(99), "Stop");
  answerSave(tmp.ulo() + "kept.jld");
  EXPECT_FALSE(tmp.read("kept.jld").empty());
  EXPECT_EQ(gBoxes, 1);
  EXPECT_EQ(text(99), "Mix saved");
  // The player's own line comes back with the next thing it does.
  item(25);
  EXPECT_EQ(text(99), "Groove play");
  // Every language's note fits the status line.
  const int room = gp().control(99)->rect.width() - 4;
  for (int16_t language : {9, 7, 12, 16}) {
    jlIntl.startWithLanguage(QXCasts.resFile, language);
    const std::string saved = jlIntl.message(kJLMsgMixSaved).c_str();
    EXPECT_FALSE(saved.empty()) << language;
    EXPECT_LE(QXFont.stringWidth(saved.c_str()), room) << saved;
  }
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
}

TEST_F(GrooveDocs, AMixOfAMissingSongNamesItAndKeepsTheCurrentMix) {
  buildMix();
  JLIceimage image;
  image.valid = 1;
  strcpy(image.songName, "Gone Song");
  image.bpm = 100.0f;
  image.sequence.grooveCount = 1;
  const std::string path = tmp.ulo() + "gone.jld";
  ASSERT_TRUE(JL_WriteMixDocument(path.c_str(), image, nullptr));
  const JLSequence seq = gp().sequence;
  // Opened through the dialog, as OPEN does: the box only tells (OK, no
  // Yes/No to choose from), and SAVE still offers the mix that was saved,
  // not the document that failed.
  const std::string saved = tmp.ulo() + "kept.jld";
  ASSERT_TRUE(gp().saveDocument(saved.c_str()));
  gp().docPath.set(saved.c_str());
  gp().dialogPath.set(path.c_str());
  gp().dialogPath.ready = true;
  gp().dialogPath.request[1] = 0;
  gp().asyncDialogMessage(&gp().dialogPath);
  EXPECT_EQ(gBoxes, 1);
  EXPECT_NE(gLastBox.find("\"Gone Song\""), std::string::npos) << gLastBox;
  EXPECT_EQ(gLastButtons, jlNotifyOK);
  EXPECT_EQ(std::string(gp().docPath.path), saved);
  EXPECT_EQ(memcmp(&gp().sequence, &seq, sizeof seq), 0);
  EXPECT_STREQ(gp().songShortName, "NeonBoulevard");
  EXPECT_FLOAT_EQ(player().bpm, 131.4f);
}

TEST_F(GrooveDocs, UnreadableAndOtherVersionDocumentsChangeNothing) {
  buildMix();
  const JLSequence seq = gp().sequence;
  tmp.write("junk.jld", "not a mix at all");
  EXPECT_FALSE(gp().openDocument((tmp.ulo() + "junk.jld").c_str()));
  EXPECT_EQ(gBoxes, 1);
  EXPECT_NE(gLastBox.find("cannot be opened"), std::string::npos) << gLastBox;
  // Version 2: the player stops, nothing else happens, nothing is said.
  uloAtomsWriter w;
  w.add(kJLAtomVersion, int32_t(2));
  const std::string v2 = tmp.ulo() + "v2.jld";
  ASSERT_TRUE(w.save(v2.c_str()));
  item(25);
  ASSERT_TRUE(player().playing);
  EXPECT_FALSE(gp().openDocument(v2.c_str()));
  EXPECT_FALSE(player().playing);
  EXPECT_EQ(gBoxes, 1);
  EXPECT_EQ(memcmp(&gp().sequence, &seq, sizeof seq), 0);
}

TEST_F(GrooveDocs, DiskMixWritesTheSequenceInThePreferredFormat) {
  buildMix();
  jlPrefs.outputType = SF_FORMAT_FLAC;
  // The disk mix stops the player first (the output is the render's until
  // it ends); from there on the engine must not change.
  player().stop();
  const LiveEngine before = liveEngine();
  const std::string out = tmp.sys() + "render.mix";  // not a sound extension: the format's wins
  ASSERT_TRUE(gp().diskMixTo(out.c_str()));
  SF_INFO info;
  memset(&info, 0, sizeof info);
  SNDFILE* f = sf_open((tmp.sys() + "render.flac").c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr);
  sf_close(f);
  EXPECT_EQ((info.format & SF_FORMAT_TYPEMASK), SF_FORMAT_FLAC);
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.samplerate, 44100);
  EXPECT_EQ(info.frames, JL_DiskMixFrames(2, 131.4f)) << "two steps at the playing tempo";
  EXPECT_EQ(gBoxes, 1);
  EXPECT_NE(gLastBox.find("written"), std::string::npos) << gLastBox;
  EXPECT_NE(gLastBox.find(tmp.sys() + "render.flac"), std::string::npos) << gLastBox;
  // The live engine is as it was, output included, and plays.
  EXPECT_TRUE(liveEngine() == before);
  EXPECT_EQ(NumVTracks.load(), 36);
  item(25);
  EXPECT_EQ(Tracks[0].currentVariant.load(), gp().tracks[0].sampleNo);
}

TEST_F(GrooveDocs, DiskMixPlaysAgainWhatPlayedBeforeAndLeavesAStoppedPlayerStopped) {
  buildMix();
  auto engineMatchesPanel = [&] {
    for (short t = 0; t < 8; t++) {
      const int want = gp().tracks[t].active && gp().groove.tracks[t].variant >= 0 ? gp().tracks[t].sampleNo : -1;
      EXPECT_EQ(Tracks[t].currentVariant.load(), want) << "track " << t;
    }
  };
  item(25);  // groove play
  ASSERT_TRUE(player().playing);
  const JLGroove working = gp().groove;
  ASSERT_TRUE(gp().diskMixTo((tmp.sys() + "groove.wav").c_str()));
  EXPECT_TRUE(player().playing);
  EXPECT_FALSE(player().sequenceMode);
  EXPECT_EQ(memcmp(&gp().groove, &working, sizeof working), 0);
  EXPECT_EQ(PlayingStatus.load(), 2) << "the engine sounds again";
  engineMatchesPanel();

  player().stop();
  player().playSequence();
  ASSERT_TRUE(player().sequenceMode);
  const short step = gp().sequenceRow.selected;
  const JLGroove stepGroove = gp().groove;
  ASSERT_TRUE(gp().diskMixTo((tmp.sys() + "sequence.wav").c_str()));
  EXPECT_TRUE(player().playing);
  EXPECT_TRUE(player().sequenceMode) << "the sequence plays on";
  EXPECT_EQ(gp().sequenceRow.selected, step);
  EXPECT_EQ(memcmp(&gp().groove, &stepGroove, sizeof stepGroove), 0);
  engineMatchesPanel();

  player().stop();
  ASSERT_TRUE(gp().diskMixTo((tmp.sys() + "stopped.wav").c_str()));
  EXPECT_FALSE(player().playing);
  EXPECT_NE(PlayingStatus.load(), 2);
}

TEST_F(GrooveDocs, AfterADiskMixPlayGoesOnWhereItWasHeard) {
  buildMix();
  // At the song's own tempo output frames are mixer frames, one for one.
  player().adjustBpm(float(gp().library.songBpm));
  item(25);
  runToBeat(13);
  const int64_t heard = gep->heardFrame();
  ASSERT_GT(heard, 13 * BPM.load());
  ASSERT_EQ(gep->getMixerBeat(), 13);
  ASSERT_TRUE(gp().diskMixTo((tmp.sys() + "groove.wav").c_str()));
  ASSERT_TRUE(player().playing);
  EXPECT_EQ(TimeLine.load(), heard) << "the timeline goes on where it was heard, not from 0";
  EXPECT_EQ(gep->getMixerBeat(), 13);
  // What is heard next is what play from the top heard there: each loop at
  // its own phase. The output runs up to a mixing block behind the mixer's
  // position and the tempo filter starts afresh, so the resumed block is
  // looked for near that point of a run from the top.
  // Resuming starts the loader thread again: this thread takes its place
  // before reading the rings itself.
  auto visitAll = [] {
    if (dowldproc.load()) PauseLoader();
    LoaderVisitAll();
  };
  std::vector<int16_t> resumed(2 * 2048);
  visitAll();
  GetResampled(resumed.data(), 2048);
  item(24);
  item(25);
  EXPECT_EQ(TimeLine.load(), 0) << "a start after STOP begins at the top";
  std::vector<int16_t> block(2 * 2048), reference;
  for (int guard = 0; guard < 10000 && TimeLine.load() < heard + 4 * 2048; guard++) {
    visitAll();
    GetResampled(block.data(), 2048);
    if (TimeLine.load() > heard - 4 * 2048) reference.insert(reference.end(), block.begin(), block.end());
  }
  ASSERT_GT(reference.size(), resumed.size());
  int best = 1 << 20;
  for (size_t lag = 0; lag + resumed.size() <= reference.size(); lag += 2) {
    int worst = 0;
    for (size_t i = 512; i < resumed.size() && worst < best; i++)
      worst = std::max(worst, std::abs(resumed[i] - reference[lag + i]));
    best = std::min(best, worst);
  }
  long energy = 0;
  for (int16_t v : resumed) energy += std::abs(v);
  EXPECT_GT(energy / long(resumed.size()), 100) << "the groove sounds at once";
  EXPECT_LE(best, 64) << "the resumed block is the groove at the frame heard";
}

TEST_F(GrooveDocs, AfterADiskMixTheSequenceGoesOnWithoutSkippingAStep) {
  buildMix();
  gp().sequence.steps[gp().sequence.stepCount++] = 1;  // steps 1, 2, 1
  player().stop();
  player().playSequence();
  ASSERT_TRUE(player().sequenceMode);
  const short first = gp().sequenceRow.selected;
  // Past beat 23 the next step is already chosen for the coming cycle.
  runToBeat(26);
  const short next = gp().sequenceRow.selected;
  ASSERT_EQ(next, (first + 1) % gp().sequence.stepCount);
  const int64_t heard = gep->heardFrame();
  ASSERT_TRUE(gp().diskMixTo((tmp.sys() + "sequence.wav").c_str()));
  ASSERT_TRUE(player().sequenceMode);
  EXPECT_EQ(TimeLine.load(), heard);
  EXPECT_EQ(gp().sequenceRow.selected, first) << "the step heard plays on to the cycle's end";
  runToBeat(4, 1);
  EXPECT_EQ(gp().sequenceRow.selected, next) << "then the step that was next, not the one after";
}

TEST_F(GrooveDocs, DiskMixWritesEachOfferedExportFormatAsItIsNamed) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  for (int i = 0; i < uloQt_soundConvert_formatCount(); i++) {
    int32_t code = 0;
    char name[64] = "";
    ASSERT_TRUE(uloQt_soundConvert_getFormat(i, &code, name, sizeof name));
    jlPrefs.outputType = code;
    const std::string base = tmp.sys() + "format" + std::to_string(i);
    ASSERT_TRUE(gp().diskMixTo(base.c_str())) << name;
    int format = 0;
    const char* extension = nullptr;
    ASSERT_TRUE(uloQt_soundConvert_fileFormat(code, &format, &extension));
    SF_INFO info;
    memset(&info, 0, sizeof info);
    SNDFILE* f = sf_open((base + "." + extension).c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr) << name;
    sf_close(f);
    EXPECT_EQ(info.format, code) << name;
    EXPECT_EQ(info.channels, 2) << name;
  }
}

TEST_F(GrooveDocs, AnMp3DiskMixPeaksWhereTheWavOfTheSameGrooveDoes) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  auto peakDb = [](const std::string& path) {
    SF_INFO info;
    memset(&info, 0, sizeof info);
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << path;
    if (!f) return 99.0;
    std::vector<float> v(size_t(info.frames * info.channels));
    sf_readf_float(f, v.data(), info.frames);
    sf_close(f);
    float peak = 0;
    for (float x : v) peak = std::max(peak, std::fabs(x));
    return 20.0 * std::log10(double(peak) + 1e-12);
  };
  jlPrefs.outputType = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  ASSERT_TRUE(gp().diskMixTo((tmp.sys() + "mix.wav").c_str()));
  jlPrefs.outputType = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
  int format = 0;
  const char* extension = nullptr;
  if (!uloQt_soundConvert_fileFormat(jlPrefs.outputType, &format, &extension)) GTEST_SKIP() << "no MP3 encoder";
  ASSERT_TRUE(gp().diskMixTo((tmp.sys() + "mix.mp3").c_str()));
  const double wav = peakDb(tmp.sys() + "mix.wav"), mp3 = peakDb(tmp.sys() + "mix.mp3");
  EXPECT_LT(wav, -1.0) << "the groove leaves headroom";
  EXPECT_NEAR(mp3, wav, 0.5);
}

TEST_F(GrooveDocs, ADiskMixAsksBeforeReplacingTheFileItsFormatRenamedTheChoiceTo) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  jlPrefs.outputType = SF_FORMAT_FLAC;
  ASSERT_STREQ(jlrender::exportKind(jlPrefs.outputType).extension, "flac");
  const std::string chosen = tmp.sys() + "mine.take";  // what the user typed
  const std::string written = tmp.sys() + "mine.flac";
  { std::ofstream(written) << "the user's own file"; }
  static int asked;
  static int16_t reply;
  asked = 0;
  ULO_SetMessageBoxHook([](const char*, const char* text, int16_t buttons) -> int16_t {
    if (!strstr(text, "already exists")) return 1;  // what the mix then tells
    asked++;
    EXPECT_EQ(buttons, 1);
    EXPECT_STREQ(text, "The file \"mine.flac\" already exists. Replace it?");
    return reply;
  });
  reply = 2;  // No
  item(25);
  ASSERT_TRUE(player().playing);
  EXPECT_FALSE(gp().diskMixTo(chosen.c_str()));
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(player().playing) << "a mix not made leaves the music playing";
  player().stop();
  std::stringstream kept;
  kept << std::ifstream(written).rdbuf();
  EXPECT_EQ(kept.str(), "the user's own file");
  reply = 1;  // Yes
  EXPECT_TRUE(gp().diskMixTo(chosen.c_str()));
  EXPECT_EQ(asked, 2);
  SF_INFO info;
  memset(&info, 0, sizeof info);
  SNDFILE* f = sf_open(written.c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr);
  sf_close(f);
  EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
  // A name the dialog already asked about is not asked about again.
  EXPECT_TRUE(gp().diskMixTo(written.c_str()));
  EXPECT_EQ(asked, 2);
}

// A name typed with another offered format's extension is written in that
// format; any other extension gets the preferred one's.
TEST(DiskMixName, TheTypedExtensionPicksAnOfferedFormat) {
  const int32_t wav = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  EXPECT_STREQ(jlrender::exportKindForName("/m/beats.wav", wav).extension, "wav");
  EXPECT_EQ(jlrender::exportKindForName("/m/beats.flac", wav).major, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  EXPECT_STREQ(jlrender::exportKindForName("/m/beats.AIF", wav).extension, "aiff");
  EXPECT_STREQ(jlrender::exportKindForName("/m/beats.ogg", SF_FORMAT_FLAC).extension, "ogg");
  EXPECT_STREQ(jlrender::exportKindForName("/m/beats.take", SF_FORMAT_FLAC).extension, "flac");
  EXPECT_STREQ(jlrender::exportKindForName("/m.d/beats", SF_FORMAT_FLAC).extension, "flac");
  // WAV 24-bit preferred: a typed .wav keeps the 24 bits.
  EXPECT_EQ(jlrender::exportKindForName("/m/beats.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24).major,
            SF_FORMAT_WAV | SF_FORMAT_PCM_24);
  EXPECT_EQ(jlrender::prepareExport("/m/beats.flac").path, "/m/beats.flac");
}

TEST_F(GrooveDocs, DiskMixLeavesMutedTracksOut) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  for (short t = 0; t < 8; t++) gp().enableTrack(t, false);
  const std::string out = tmp.sys() + "muted.wav";
  ASSERT_TRUE(gp().diskMixTo(out.c_str()));
  SF_INFO info;
  const std::vector<int16_t> s = readSound(out, info);
  ASSERT_EQ(info.frames, JL_DiskMixFrames(1, 125.0f));
  for (size_t i = 0; i < s.size(); i++) ASSERT_EQ(s[i], 0) << "sample " << i;
}

// With stems chosen in the preferences, the disk mix writes the mix where
// the user named it and a folder beside it holding each playing track alone
// and the master, which is the mix, byte for byte.
TEST_F(GrooveDocs, DiskMixWithStemsWritesTheStemsFolderBesideTheMix) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  gp().enableTrack(2, false);
  jlPrefs.diskMixStems = 1;
  const std::string out = tmp.sys() + "with stems.wav";
  const bool ok = gp().diskMixTo(out.c_str());
  jlPrefs.diskMixStems = 0;
  ASSERT_TRUE(ok) << gLastBox;
  EXPECT_NE(gLastBox.find(tmp.sys() + "with stems-stems"), std::string::npos) << gLastBox;
  SF_INFO info, minfo;
  const std::vector<int16_t> mix = readSound(out, info);
  const std::vector<int16_t> master = readSound(tmp.sys() + "with stems-stems/master.wav", minfo);
  ASSERT_EQ(info.frames, JL_DiskMixFrames(1, 125.0f));
  EXPECT_TRUE(mix == master);
  std::vector<int64_t> sum(mix.size(), 0);
  int tracks = 0;
  for (short t = 0; t < 8; t++) {
    if (gp().tracks[t].sampleNo < 0) continue;
    const std::string prefix = "track" + std::to_string(t + 1);
    std::string found;
    for (const std::string& name : namesIn(tmp.sys() + "with stems-stems"))
      if (name.compare(0, prefix.size() + 1, prefix + "-") == 0) found = name;
    if (t == 2) {
      EXPECT_EQ(found, "") << "a muted track has no stem";
      continue;
    }
    ASSERT_NE(found, "") << prefix;
    ++tracks;
    SF_INFO sinfo;
    const std::vector<int16_t> stem = readSound(tmp.sys() + "with stems-stems/" + found, sinfo);
    ASSERT_EQ(stem.size(), mix.size()) << found;
    for (size_t i = 0; i < stem.size(); i++) sum[i] += stem[i];
  }
  ASSERT_GE(tracks, 2);
  int64_t worst = 0;
  for (size_t i = 0; i < mix.size(); i++) worst = std::max<int64_t>(worst, std::llabs(sum[i] - mix[i]));
  EXPECT_LE(worst, tracks) << "within one step of the last bit per stem";
}

// A track muted on screen is the working groove's: the player starts each
// sequence step with every track of its groove on, so the sequence's disk
// mix, stems and all, has that track in every step where the player plays
// it.
TEST_F(GrooveDocs, ASequencesDiskMixHasATrackMutedOnScreenWhereverThePlayerPlaysIt) {
  buildMix();
  const JLSequence seq = gp().sequence;
  ASSERT_EQ(seq.stepCount, 2);
  auto sampleIn = [&](short step, short t) -> int16_t {
    const int16_t at = seq.findGroove(seq.steps[step]);
    if (at < 0) return -1;
    const JLTrack& tr = seq.grooves[at].tracks[t];
    if (tr.group < 0 || tr.variant < 0 || tr.volume <= 0) return -1;
    return gp().library.groups[tr.group].sampleIndex[tr.variant];
  };
  short muted = -1;
  for (short t = 0; t < 8 && muted < 0; t++)
    if (gp().tracks[t].sampleNo >= 0 && sampleIn(0, t) >= 0 && sampleIn(1, t) >= 0) muted = t;
  ASSERT_GE(muted, 0);
  gp().onItem_trackLed(muted);
  ASSERT_EQ(gp().tracks[muted].active, 0);
  player().stop();
  jlPrefs.diskMixStems = 1;
  const std::string out = tmp.sys() + "seq.wav";
  const bool ok = gp().diskMixTo(out.c_str());
  jlPrefs.diskMixStems = 0;
  ASSERT_TRUE(ok) << gLastBox;
  // One stem per track that plays in some step of the sequence.
  size_t playing = 0;
  for (short t = 0; t < 8; t++) playing += (sampleIn(0, t) >= 0 || sampleIn(1, t) >= 0) ? 1 : 0;
  size_t stems = 0;
  std::string mutedStem;
  const std::string prefix = "track" + std::to_string(muted + 1) + "-";
  for (const std::string& name : namesIn(tmp.sys() + "seq-stems")) {
    if (name.compare(0, 5, "track") == 0) ++stems;
    if (name.compare(0, prefix.size(), prefix) == 0) mutedStem = name;
  }
  EXPECT_EQ(stems, playing);
  ASSERT_NE(mutedStem, "") << "the track muted on screen has its stem";
  SF_INFO info;
  const std::vector<int16_t> stem = readSound(tmp.sys() + "seq-stems/" + mutedStem, info);
  const int64_t step = JL_DiskMixFrames(1, 131.4f);
  ASSERT_EQ(info.frames, JL_DiskMixFrames(2, 131.4f));
  for (int64_t k = 0; k < 2; k++) {
    int peak = 0;
    for (int64_t i = 2 * k * step; i < 2 * std::min((k + 1) * step, int64_t(info.frames)); i++) peak = std::max(peak, std::abs(int(stem[size_t(i)])));
    EXPECT_GT(peak, 0) << "the track sounds in step " << k + 1;
  }
  // What the player does: each step it plays that track's loop.
  player().playSequence();
  ASSERT_TRUE(player().sequenceMode);
  const short first = gp().sequenceRow.selected;
  ASSERT_TRUE(first == 0 || first == 1);
  EXPECT_EQ(Tracks[muted].currentVariant.load(), sampleIn(first, muted));
  runToBeat(4, 1);
  ASSERT_EQ(gp().sequenceRow.selected, 1 - first);
  EXPECT_EQ(Tracks[muted].currentVariant.load(), sampleIn(short(1 - first), muted));
}

// An empty track's light is grey whatever its switch says: a click there
// changes nothing, so no invisible mute reaches a document or a render.
TEST_F(GrooveDocs, ClickingAnEmptyTracksLightSetsNoMute) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  gp().groove.tracks[6].reset();
  gp().groove_show();
  ASSERT_EQ(gp().tracks[6].sampleNo, -1);
  EXPECT_EQ(value(short(26 + 6)), 1) << "grey";
  gp().iced_capture();
  const JLIceimage before = gp().iceimage;
  gp().onItem_trackLed(6);
  EXPECT_EQ(gp().tracks[6].on, 1);
  EXPECT_EQ(gp().tracks[6].active, 1);
  EXPECT_EQ(value(short(26 + 6)), 1);
  gp().iced_capture();
  EXPECT_EQ(JL_GetMixExtras(gp().iceimage).mutedTracks, 0);
  EXPECT_EQ(memcmp(&gp().iceimage, &before, sizeof before), 0);
  // A track with a loop still mutes and shows it.
  short filled = 0;
  while (filled < 8 && gp().tracks[filled].sampleNo < 0) filled++;
  ASSERT_LT(filled, 6);
  gp().onItem_trackLed(filled);
  EXPECT_EQ(gp().tracks[filled].active, 0);
  EXPECT_EQ(value(short(26 + filled)), 3);
}

TEST_F(GrooveDocs, ARenderIsAsLoudAsTheProgramPlaysAtItsDefaultVolume) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  item(25);
  ASSERT_TRUE(player().playing);
  // One 32-beat cycle of what the program plays, pulled from its output.
  const int64_t frames = JL_DiskMixFrames(1, 125.0f);
  std::vector<int16_t> live(size_t(2 * frames));
  PauseLoader();
  for (int64_t at = 0; at < frames; at += 2048) {
    LoaderVisitAll();
    int16_t block[2 * 2048];
    GetResampled(block, 2048);
    const int64_t n = std::min<int64_t>(2048, frames - at);
    std::copy(block, block + 2 * n, live.begin() + 2 * at);
  }
  player().stop();
  gp().iced_capture();
  const std::string out = tmp.sys() + "level.wav";
  JLDiskMixReport report;
  ASSERT_TRUE(JL_DiskMix(gp().iceimage, out.c_str(), JLDiskMixOptions(), report)) << report.error;
  SF_INFO info;
  const std::vector<int16_t> file = readSound(out, info);
  ASSERT_EQ(file.size(), live.size());
  for (int ch = 0; ch < 2; ch++) {
    const double a = rmsDb(live, ch), b = rmsDb(file, ch);
    ASSERT_GT(a, -60.0) << "the live groove sounds";
    EXPECT_NEAR(a, b, 0.1) << "channel " << ch;
  }
}

TEST_F(GrooveDocs, TheProgressPanelCountsTheDiskMixAndItsStopLeavesNoFile) {
  mixtest::Mounted<JLProgressPanel> progress(16, 10, false);
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  gp().iced_capture();
  JLDiskMixOptions options;
  options.cycles = 500;  // minutes of music: the stop arrives long before the end
  const std::string out = tmp.sys() + "long.wav";
  JLDiskMixJob job;
  ASSERT_TRUE(job.startMix(gp().iceimage, out.c_str(), options));
  std::vector<std::string> shown;
  JLDiskMixReport report;
  const bool ok = jlrender::runWithProgress(job, "Disk mix", report, [&] {
    shown.push_back(progress.text(JLProgressPanel::kItemMessage));
    if (job.fraction() > 0.0f) progress.click(JLProgressPanel::kItemStop);
  });
  EXPECT_FALSE(ok);
  EXPECT_STREQ(report.error, "stopped");
  ASSERT_FALSE(shown.empty());
  for (const std::string& s : shown) {
    int percent = -1;
    ASSERT_EQ(sscanf(s.c_str(), "Disk mix: %d%%", &percent), 1) << s;
    EXPECT_GE(percent, 0);
    EXPECT_LT(percent, 100);
  }
  EXPECT_FALSE(QXScreen.isShown(10)) << "the panel goes when the render ends";
  EXPECT_TRUE(tmp.read("long.wav").empty());
  EXPECT_TRUE(tmp.read("long.wav.part").empty());
  EXPECT_EQ(gBoxes, 0) << "a stop the user asked for needs no message";
}

TEST_F(GrooveDocs, DiskMixOfAnEmptySequenceIsOneCycleOfTheGroove) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  const std::string out = tmp.sys() + "one";
  ASSERT_TRUE(gp().diskMixTo(out.c_str()));
  SF_INFO info;
  memset(&info, 0, sizeof info);
  SNDFILE* f = sf_open((out + ".wav").c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr);
  sf_close(f);
  EXPECT_EQ(info.frames, JL_DiskMixFrames(1, 125.0f));
}

TEST_F(GrooveDocs, DiskMixReportsProgressAndCanBeStopped) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  gp().iced_capture();
  struct Seen {
    std::vector<float> done;
    float stopAt = 2.0f;
  } seen;
  JLDiskMixOptions options;
  options.cycles = 2;
  options.progressContext = &seen;
  options.progress = [](void* c, float done) {
    auto* s = static_cast<Seen*>(c);
    s->done.push_back(done);
    return done < s->stopAt;
  };
  JLDiskMixReport report;
  const std::string out = tmp.sys() + "p.wav";
  ASSERT_TRUE(JL_DiskMix(gp().iceimage, out.c_str(), options, report)) << report.error;
  ASSERT_GE(seen.done.size(), 50u);
  EXPECT_EQ(seen.done.front(), 0.0f);
  EXPECT_EQ(seen.done.back(), 1.0f);
  for (size_t i = 1; i < seen.done.size(); i++) EXPECT_GT(seen.done[i], seen.done[i - 1]);
  // Stopped half way: no file, and the reason.
  seen.done.clear();
  seen.stopAt = 0.5f;
  const std::string stopped = tmp.sys() + "stopped.wav";
  EXPECT_FALSE(JL_DiskMix(gp().iceimage, stopped.c_str(), options, report));
  EXPECT_STREQ(report.error, "stopped");
  EXPECT_TRUE(tmp.read("stopped.wav").empty());
  EXPECT_TRUE(tmp.read("stopped.wav.part").empty());
}

// Boxes that name files, folders and songs show the names as they are on
// the disk (UTF-8) in the boxes' Latin-1: a failed save, a song a mix needs,
// a refused name, a file a disk mix would replace, the written mix; a
// character Latin-1 lacks shows as '?'.
TEST_F(GrooveDocs, BoxesThatNameFilesShowTheirNamesInTheBoxesCharacters) {
  buildMix();
  // Save into a "folder" that is a file.
  tmp.write("Dossier \xc3\xa9t\xc3\xa9", "not a folder");
  gp().dialogPath.set((tmp.ulo() + "Dossier \xc3\xa9t\xc3\xa9:mix").c_str());
  gp().dialogPath.ready = true;
  gp().dialogPath.request[1] = 1;
  gp().asyncDialogMessage(&gp().dialogPath);
  EXPECT_EQ(gLastBox, "The mix could not be saved as " + tmp.sys() + "Dossier \xe9t\xe9/mix.jld.");
  // A mix's song that is not installed, and a refused name.
  JL_ShowSongMessage(kJLMsgSongNotInstalled, "F\xc3\xaa" "te \xe6\x97\xa5");
  EXPECT_EQ(gLastBox, "The song \"F\xea" "te ?\" used by this mix is not installed in your library.");
  JL_ShowSongMessage(kJLMsgNameRefused, "The name \"\xc3\x9c" "ber\" was refused.");
  EXPECT_EQ(gLastBox, "The name \"\xdc" "ber\" was refused.");
  // A disk mix whose format renamed the file onto one that is there.
  tmp.write("\xc3\x89t\xc3\xa9.wav", "RIFF");
  jlrender::Export e;
  e.path = tmp.sys() + "\xc3\x89t\xc3\xa9.wav";
  EXPECT_TRUE(jlrender::mayWriteExport(e, (tmp.sys() + "\xc3\x89t\xc3\xa9.flac").c_str()));
  EXPECT_EQ(gLastBox, "The file \"\xc9t\xe9.wav\" already exists. Replace it?");
  EXPECT_TRUE(jlrender::tellResult(true, "Disk mix", e.path, JLDiskMixReport()));
  EXPECT_EQ(gLastBox, "Disk mix written: " + tmp.sys() + "\xc9t\xe9.wav");
  EXPECT_EQ(gBoxes, 5);
}

TEST_F(GrooveDocs, SongMessagesUseTheLocalisedTexts) {
  JL_ShowSongMessage(17, "Abc %d");
  EXPECT_EQ(gBoxes, 1);
  EXPECT_NE(gLastBox.find("Abc %d"), std::string::npos) << "the name is never a format";
}

}  // namespace

namespace {

int16_t gAnswer = 2;
int gQuestions = 0;
int16_t answerWith(const char*, const char*, int16_t) {
  gQuestions++;
  return gAnswer;
}

TEST_F(GrooveDocs, ABankNotSavedInADocumentIsLostOnlyAfterYes) {
  ASSERT_TRUE(loadDemo());
  ULO_SetMessageBoxHook(answerWith);
  gQuestions = 0;
  gAnswer = 2;
  EXPECT_FALSE(gp().bankUnsaved()) << "an empty bank has nothing to lose";
  EXPECT_TRUE(gp().mayReplaceBank());
  EXPECT_EQ(gQuestions, 0);
  item(12);  // store the first groove
  ASSERT_EQ(gp().sequence.grooveCount, 1);
  EXPECT_TRUE(gp().bankUnsaved());
  EXPECT_FALSE(gp().mayReplaceBank()) << "No keeps the bank";
  EXPECT_EQ(gQuestions, 1);
  // Opening a document through the dialog asks first; No changes nothing.
  const std::string path = tmp.ulo() + "mix.jld";
  gp().dialogPath.set(path.c_str());
  gp().dialogPath.ready = 1;
  gp().loadResult();
  EXPECT_EQ(gQuestions, 2);
  EXPECT_EQ(gp().sequence.grooveCount, 1);
  // Saved, the same bank asks nothing; a change makes it unsaved again.
  ASSERT_TRUE(gp().saveDocument(path.c_str()));
  EXPECT_FALSE(gp().bankUnsaved());
  EXPECT_TRUE(gp().mayReplaceBank());
  EXPECT_EQ(gQuestions, 2);
  item(70);  // add all to the sequence
  EXPECT_TRUE(gp().bankUnsaved());
  gAnswer = 1;
  EXPECT_TRUE(gp().mayReplaceBank());
  EXPECT_EQ(gQuestions, 3);
  // Reopened, the document's bank counts as saved.
  ASSERT_TRUE(gp().openDocument(path.c_str()));
  EXPECT_FALSE(gp().bankUnsaved());
}

}  // namespace

namespace {

using groovetest::GroovePanelTest;

class GroovePreview : public GrooveDocs {};



TEST_F(GroovePreview, EndingAPreviewBringsBackSongGroovesBankSequenceTempoAndPlay) {
  buildMix();
  gp().onItem_trackLed(3);  // mute track 4
  player().play();
  const std::string song = gp().songFolder;
  const JLGroove groove = gp().groove;
  const JLSequence bank = gp().sequence;
  const float bpm = player().bpm;
  const std::string style = text(86);
  ULO_SetMessageBoxHook(answerWith);
  gQuestions = 0;
  gp().beginPreview();
  ASSERT_TRUE(loadDemo("IronPulse"));
  gp().randomize(0);
  gp().beginPreview();  // a second preview keeps the first state
  ASSERT_TRUE(loadDemo("RobotFunk"));
  EXPECT_EQ(gp().sequence.grooveCount, 0);
  EXPECT_TRUE(gp().bankUnsaved()) << "the user's bank, kept aside, is still unsaved";
  ASSERT_TRUE(gp().endPreview(true));
  EXPECT_EQ(gQuestions, 0);
  EXPECT_EQ(std::string(gp().songFolder), song);
  EXPECT_EQ(memcmp(&gp().groove, &groove, sizeof groove), 0);
  ASSERT_EQ(gp().sequence.grooveCount, bank.grooveCount);
  ASSERT_EQ(gp().sequence.stepCount, bank.stepCount);
  EXPECT_EQ(memcmp(gp().sequence.grooves, bank.grooves, sizeof(JLGroove) * size_t(bank.grooveCount)), 0);
  EXPECT_EQ(memcmp(gp().sequence.steps, bank.steps, sizeof(int16_t) * size_t(bank.stepCount)), 0);
  EXPECT_FLOAT_EQ(player().bpm, bpm);
  EXPECT_EQ(gp().tracks[3].active, 0);
  EXPECT_EQ(text(86), style) << "the random set's name as it was";
  EXPECT_EQ(player().playing, 1);
  EXPECT_FALSE(gp().previewing());
  EXPECT_FALSE(gp().endPreview(true)) << "nothing left to restore";
}

int gQuitQuestions = 0;
int16_t noToQuit(const char*, const char* text, int16_t) {
  gQuitQuestions++;
  gLastBox = text ? text : "";
  return 2;
}

TEST_F(GroovePreview, QuittingAsksOnlyWhenWorkWouldBeLost) {
  ULO_SetMessageBoxHook(noToQuit);
  gQuitQuestions = 0;
  // Asked: 2 (No, the program stays); not asked: 1 (it ends at once).
  auto quit = [] {
    const int before = gQuitQuestions;
    const int16_t answer = QXScreen.askClose();
    EXPECT_EQ(gQuitQuestions - before, answer == 2 ? 1 : 0);
    return answer;
  };
  EXPECT_EQ(quit(), 1) << "a fresh start has nothing to lose";
  ASSERT_TRUE(loadDemo());
  EXPECT_EQ(quit(), 1) << "a song just loaded";
  player().hitBpmUp(0.2f);
  EXPECT_EQ(quit(), 2) << "a changed tempo";
  EXPECT_NE(gLastBox.find("Quit Jamloom and lose them?"), std::string::npos) << "[" << gLastBox << "]";
  const std::string path = tmp.ulo() + "kept.jld";
  ASSERT_TRUE(gp().saveDocument(path.c_str()));
  EXPECT_EQ(quit(), 1) << "saved";
  gp().randomize(4);
  EXPECT_EQ(quit(), 2) << "another groove";
  ASSERT_TRUE(gp().openDocument(path.c_str()));
  EXPECT_EQ(quit(), 1) << "the document reopened as it was saved";
  gp().onItem_trackLed(3);
  EXPECT_EQ(quit(), 2) << "a muted track in the reopened document";
  gp().onItem_trackLed(3);
  EXPECT_EQ(quit(), 1) << "back as saved";
  player().addMainVolume(17);
  EXPECT_EQ(quit(), 1) << "MASTER moved: the preferences keep it for the next start";
  EXPECT_FALSE(gp().mayOpenDocument(path.c_str())) << "the document keeps it: opening one replaces it";
  player().addMainVolume(-17);
  EXPECT_EQ(quit(), 1) << "MASTER back as saved";

  // Grooves put to work from the bank are kept there.
  item(12);  // store the working groove
  gp().randomize(4);
  item(12);
  item(70);  // both into the sequence
  ASSERT_EQ(gp().sequence.stepCount, 2);
  EXPECT_EQ(quit(), 2) << "an unsaved bank";
  ASSERT_TRUE(gp().saveDocument(path.c_str()));
  // To the step whose groove is not the one saved as the working groove.
  gp().seqActivateNext();
  if (memcmp(gp().groove.tracks, gp().iceimage.groove.tracks, sizeof gp().groove.tracks) == 0) gp().seqActivateNext();
  const int16_t step = gp().grooveRow.selected;
  ASSERT_TRUE(step == 0 || step == 1);
  ASSERT_EQ(memcmp(&gp().groove, &gp().sequence.grooves[step], sizeof gp().groove), 0);
  ASSERT_NE(memcmp(gp().groove.tracks, gp().iceimage.groove.tracks, sizeof gp().groove.tracks), 0)
      << "not the groove saved as the working one";
  EXPECT_EQ(quit(), 1) << "a sequence step's groove is in the saved bank";

  // A preview of another song borrows the panel: the user's own work counts.
  gp().beginPreview();
  ASSERT_TRUE(loadDemo("IronPulse"));
  gp().randomize(0);
  EXPECT_EQ(quit(), 1);
  ASSERT_TRUE(gp().endPreview(false));
  EXPECT_EQ(quit(), 1) << "the preview's end reloads the song, not the work";
  player().hitBpmUp(0.2f);
  gp().beginPreview();
  ASSERT_TRUE(loadDemo("IronPulse"));
  EXPECT_EQ(quit(), 2) << "the tempo changed before the preview";
  ASSERT_TRUE(gp().endPreview(false));
  EXPECT_EQ(quit(), 2);
  // Loading the previewed song for good starts afresh.
  gp().beginPreview();
  ASSERT_TRUE(loadDemo("IronPulse"));
  gp().keepPreview();
  EXPECT_EQ(quit(), 1);
  EXPECT_EQ(gQuitQuestions, 7);  // six quits and the open
}

TEST_F(GroovePreview, QuittingAsksAfterTheSynthChanged) {
  groovetest::MountedSynthPanel mounted;
  JLSynthPanel& synth = mounted.panel;
  ASSERT_TRUE(loadDemo());
  ULO_SetMessageBoxHook(noToQuit);
  gQuitQuestions = 0;
  EXPECT_EQ(QXScreen.askClose(), 1);
  synth.noteHit(0);  // a note on starts the synth
  ASSERT_EQ(synth.synthOn, 1);
  EXPECT_EQ(QXScreen.askClose(), 2);
  EXPECT_EQ(gQuitQuestions, 1);
}

// The questions' text between "Your changes (" and ")".
std::string namedChanges(const std::string& box) {
  const size_t open = box.find('('), close = box.find(')');
  return open == std::string::npos || close == std::string::npos ? "?" : box.substr(open + 1, close - open - 1);
}

TEST_F(GroovePreview, QuittingNamesWhatChangedButNotTheMasterVolumeThePreferencesKeep) {
  groovetest::MountedSynthPanel mounted;
  ASSERT_TRUE(loadDemo());
  ULO_SetMessageBoxHook(noToQuit);
  gQuitQuestions = 0;
  player().addMainVolume(-9);
  // The next start comes up with it: nothing is lost by quitting.
  EXPECT_EQ(QXScreen.askClose(), 1);
  EXPECT_EQ(gQuitQuestions, 0);
  // A mix document brings its own master volume: opening one loses it.
  EXPECT_FALSE(gp().mayOpenDocument("other.jld"));
  EXPECT_EQ(namedChanges(gLastBox), "master volume");
  gp().onItem_trackLed(2);
  player().hitBpmUp(0.2f);
  mounted.panel.noteHit(0);
  ASSERT_EQ(QXScreen.askClose(), 2);
  EXPECT_EQ(namedChanges(gLastBox), "tempo, muted tracks, synth");
  item(12);  // stored
  ASSERT_EQ(QXScreen.askClose(), 2);
  EXPECT_EQ(namedChanges(gLastBox), "tempo, muted tracks, synth, groove bank");
  item(70);  // and put in the sequence
  set(79, 5);  // track 2 plays the bass group instead
  item(79);
  ASSERT_EQ(QXScreen.askClose(), 2);
  EXPECT_EQ(namedChanges(gLastBox), "groove, tempo, muted tracks, synth, groove bank, sequence");
  EXPECT_FALSE(gp().mayOpenDocument("other.jld"));
  EXPECT_EQ(namedChanges(gLastBox), "groove, tempo, muted tracks, synth, master volume, groove bank, sequence");
  // Each language names them in its own words.
  jlIntl.startWithLanguage(QXCasts.resFile, 7);
  EXPECT_FALSE(gp().mayOpenDocument("other.jld"));
  EXPECT_EQ(namedChanges(gLastBox),
            "Groove, Tempo, stummgeschaltete Spuren, Synth, Gesamtlautst\xE4rke, Groove-Bank, Sequenz");
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
}

TEST_F(GroovePreview, OpeningOrTakingOverAMixAsksAsQuittingDoesAndNamesTheMix) {
  groovetest::MountedSynthPanel mounted;
  JLSynthPanel& synth = mounted.panel;
  ASSERT_TRUE(loadDemo());
  const std::string path = tmp.ulo() + "kept.jld";
  ASSERT_TRUE(gp().saveDocument(path.c_str()));
  ULO_SetMessageBoxHook(noToQuit);
  gQuitQuestions = 0;
  // As another start hands a mix over: on its own path, to the panel's entry.
  auto handOver = [&] {
    JLPath doc;
    doc.set(path.c_str());
    doc.ready = true;
    QXScreen.asyncDialogMessage(&doc);
  };
  auto openThroughTheDialog = [&] {
    gp().dialogPath.set(path.c_str());
    gp().dialogPath.ready = true;
    gp().dialogPath.request[0] = 0;
    gp().dialogPath.request[1] = 0;
    gp().asyncDialogMessage(&gp().dialogPath);
  };
  handOver();
  EXPECT_EQ(gQuitQuestions, 0) << "nothing changed since the save";

  gp().onItem_trackLed(3);
  handOver();
  ASSERT_EQ(gQuitQuestions, 1);
  EXPECT_EQ(gLastBox,
            "Your changes (muted tracks) are not saved in a mix document. Open the mix document \"kept.jld\" and "
            "lose them?");
  EXPECT_EQ(gp().tracks[3].active, 0) << "No keeps the mute";
  gp().onItem_trackLed(3);

  synth.noteHit(0);
  ASSERT_EQ(synth.synthOn, 1);
  openThroughTheDialog();
  ASSERT_EQ(gQuitQuestions, 2);
  EXPECT_EQ(namedChanges(gLastBox), "synth");
  EXPECT_EQ(synth.synthOn, 1) << "No keeps the synth playing";
  EXPECT_EQ(synth.setup.notes[0], 1);

  // Yes: the mix as saved, and nothing left to ask about.
  gp().onItem_trackLed(5);
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t) -> int16_t {
    gQuitQuestions++;
    return 1;
  });
  handOver();
  EXPECT_EQ(gQuitQuestions, 3);
  EXPECT_EQ(gp().tracks[5].active, 1);
  EXPECT_EQ(synth.synthOn, 0);
  EXPECT_EQ(synth.setup.notes[0], 0);
  EXPECT_EQ(QXScreen.askClose(), 1) << "the program ends without a question";
  EXPECT_EQ(gQuitQuestions, 3);
}

TEST_F(GroovePreview, AnotherSongAsksAboutWhatItReplacesAndLeavesTheRestToTheQuitQuestion) {
  groovetest::MountedSynthPanel mounted;
  ASSERT_TRUE(loadDemo());
  ULO_SetMessageBoxHook(noToQuit);
  gQuitQuestions = 0;
  // As the song browser loads a song: the row's click previews it, LOAD
  // asks, then loads it for good.
  auto loadAnother = [&](const char* song) {
    gp().beginPreview();
    EXPECT_TRUE(loadDemo(song));
    if (!gp().mayReplaceBank()) {
      EXPECT_TRUE(gp().endPreview(false));
      return false;
    }
    EXPECT_TRUE(loadDemo(song));
    gp().keepPreview();
    return true;
  };
  // A song keeps the synth and the master volume: nothing to ask.
  player().addMainVolume(-9);
  mounted.panel.noteHit(0);
  ASSERT_TRUE(loadAnother("IronPulse"));
  EXPECT_EQ(gQuitQuestions, 0);
  // They are still not saved; the preferences keep the master volume.
  ASSERT_EQ(QXScreen.askClose(), 2);
  EXPECT_EQ(namedChanges(gLastBox), "synth");
  // A mute is lost with the song: asked, naming it; No keeps everything.
  gp().onItem_trackLed(1);
  EXPECT_FALSE(loadAnother("RobotFunk"));
  ASSERT_EQ(gQuitQuestions, 2);
  EXPECT_EQ(gLastBox,
            "Your changes (muted tracks) are not saved in a mix document. Load another song and lose them?");
  EXPECT_NE(std::string(gp().songFolder).find("IronPulse"), std::string::npos);
  EXPECT_EQ(gp().tracks[1].active, 0);
}

}  // namespace

namespace {

// The question before a load names what it would do: loading the song that
// is loaded (the one loaded for good, also while another is previewed) is a
// reload, any other song another song.
TEST_F(GrooveDocs, LoadingTheLoadedSongAgainAsksAboutAReload) {
  ASSERT_TRUE(loadDemo());
  ULO_SetMessageBoxHook(noToQuit);
  gQuitQuestions = 0;
  item(12);
  const std::string mine = gp().songFolder;
  const std::string reload =
      "Your changes (groove bank) are not saved in a mix document. Reload the song and lose them?";
  const std::string another =
      "Your changes (groove bank) are not saved in a mix document. Load another song and lose them?";
  EXPECT_FALSE(gp().mayReplaceBank(mine.c_str()));
  EXPECT_EQ(gLastBox, reload);
  EXPECT_FALSE(gp().mayReplaceBank(":Library:Song:IronPulse:"));
  EXPECT_EQ(gLastBox, another);
  gp().beginPreview();
  ASSERT_TRUE(loadDemo("IronPulse"));
  EXPECT_FALSE(gp().mayReplaceBank(":Library:Song:IronPulse:"));
  EXPECT_EQ(gLastBox, another) << "the previewed song is not the loaded one";
  EXPECT_FALSE(gp().mayReplaceBank(mine.c_str()));
  EXPECT_EQ(gLastBox, reload);
  EXPECT_EQ(gQuitQuestions, 4);
  ASSERT_TRUE(gp().endPreview(false));
  // Every language words the reload apart from another song's load.
  for (int16_t language : {7, 12, 16}) {
    jlIntl.startWithLanguage(QXCasts.resFile, language);
    const std::string r = jlIntl.message(kJLMsgReloadLosesWork).c_str();
    EXPECT_NE(r.find("%s"), std::string::npos) << language;
    EXPECT_NE(r, jlIntl.message(kJLMsgLoseBank).c_str()) << language;
  }
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
}

}  // namespace
