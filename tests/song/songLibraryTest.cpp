#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/platform/uloSys.h"
#include "song/JLJlsParser.h"
#include "song/JLSamplesMatcher.h"
#include "song/JLSongLibrary.h"
#include "song/JLSongLoading.h"
#include "song/jlSongMessages.h"
#include "songTestSupport.h"

namespace {

std::unique_ptr<JLSongLibrary> fromText(const std::string& text, bool headerOnly = false) {
  auto lib = std::make_unique<JLSongLibrary>();
  lib->headerOnly = headerOnly;
  JLJlsParser p;
  p.openBuffer(text.data(), text.size());
  if (!lib->load_12(&p, ":Library:Song:Abc:")) {
    p.restart();
    lib->load_10(&p, ":Library:Song:Abc:");
  }
  return lib;
}

const std::string kTracks =
    "drums01 100 63 1 Beat\n"
    "bass01 90 60 2 Low\n"
    "bass02 80 50 0\n"
    "bass04 70 40 -3 High\n";

std::string oldFormat() {
  return "JLS old header\n"
         "drums01 Beat 100 63 0 1\n"
         "bass01 Low 90 60 0 2\n"
         "pad01 Air 80 63 0 1\n"
         "*0\n"
         "*118\n"
         "*C3 E3\n"
         "*0\n"
         "*Old Song\n"
         "*Made long ago\n"
         "*0\n"
         "*x\n";
}

}  // namespace

TEST(SongLibrary, Version12HeaderTracksAndVariants) {
  auto lib = fromText(jls12("Night Drive", 125, "drums\nbass\n", "full 2 drums bass\n", kTracks));
  EXPECT_STREQ(lib->parserInfo, "Parser: JLS 1.2");
  EXPECT_STREQ(lib->songLibraryName, "Test Lib");
  EXPECT_STREQ(lib->songTitle, "Night Drive");
  EXPECT_STREQ(lib->songFolderName, "Abc");
  EXPECT_EQ(lib->songBpm, 125);
  EXPECT_EQ(lib->songMix, 3);
  EXPECT_STREQ(lib->arpNote, "C3 E3");
  EXPECT_EQ(lib->trackCount, 4);
  ASSERT_EQ(lib->groupCount, 2);
  const JLSongGroup& bass = lib->groups[1];
  EXPECT_STREQ(bass.name, "bass");
  EXPECT_EQ(bass.count, 4);
  EXPECT_EQ(bass.sampleIndex[0], 1);
  EXPECT_EQ(bass.sampleIndex[1], 2);
  EXPECT_EQ(bass.sampleIndex[2], -1);  // bass03 skipped
  EXPECT_EQ(bass.sampleIndex[3], 3);
  EXPECT_EQ(bass.divisor[1], 1);  // 0 and negative divisors become 1
  EXPECT_EQ(bass.divisor[3], 1);
  EXPECT_EQ(bass.divisor[0], 2);
  EXPECT_STREQ(bass.labels[1], "[002]");  // missing label: the track index
  EXPECT_STREQ(lib->getIndexStr(1, 3), "High");
  EXPECT_STREQ(lib->getIndexStr(-1, 0), " ---");
  EXPECT_STREQ(lib->getIndexStr(1, -1), " ---");
  EXPECT_STREQ(lib->getIndexStr(7, 0), " ---");
  int16_t g = -5, v = -5;
  EXPECT_STREQ(lib->getGroupAndIndex(3, &g, &v), "High");
  EXPECT_EQ(g, 1);
  EXPECT_EQ(v, 3);
  EXPECT_EQ(lib->getGroupAndIndex(9), nullptr);
  ASSERT_EQ(lib->randomSetCount, 1);
  EXPECT_STREQ(lib->randomSets[0].name, "Full");
  EXPECT_EQ(lib->randomSets[0].count, 2);
  EXPECT_EQ(lib->randomSets[0].members[1], 1);
  EXPECT_EQ(lib->getGroupIndex("BASS"), 1);
  EXPECT_EQ(lib->getGroupIndex("lead"), -1);
}

// The random sets and the group list are optional blocks: a descriptor
// without one still gives every block after it.
TEST(SongLibrary, MissingOptionalBlocksKeepTheBlocksAfterThem) {
  const std::string full = jls12("T", 120, "drums\nbass\n", "full 2 drums bass\n", kTracks);
  auto cut = [&](std::string text, const std::string& from, const std::string& to) {
    size_t a = text.find(from), b = text.find(to, a);
    return text.erase(a, b + to.size() - a);
  };
  std::string noSets = cut(full, "LONGCOMMAND: RANDOMSET:", "ENDCOMMAND:\n");
  auto lib = fromText(noSets);
  EXPECT_EQ(lib->randomSetCount, 0);
  EXPECT_EQ(lib->trackCount, 4);
  EXPECT_EQ(lib->groupCount, 2);

  std::string noLists = cut(noSets, "LONGCOMMAND: CATEGORYLIST:", "ENDCOMMAND:\n");
  lib = fromText(noLists);
  EXPECT_EQ(lib->trackCount, 4);
  EXPECT_EQ(lib->groupCount, 2);  // groups come from the track names
  EXPECT_STREQ(lib->getIndexStr(1, 3), "High");
}

TEST(SongLibrary, VariantOrderAndDescriptionJoin) {
  std::string text = jls12("T", 120, "", "", "bass02 1 2 1 B\nbass01 1 2 1 A\n");
  // Three description lines joined with single blanks.
  size_t at = text.find("SONGDESCRIPTION: About it\n") + strlen("SONGDESCRIPTION: About it\n");
  text.insert(at, "second line\nthird  line\n");
  auto lib = fromText(text);
  EXPECT_STREQ(lib->songDescription, "About it second line third  line");
  EXPECT_EQ(lib->songBpm, 120);
  ASSERT_EQ(lib->groupCount, 1);
  EXPECT_EQ(lib->groups[0].count, 1);  // bass02 listed before bass01
}

TEST(SongLibrary, MissingBlocksGiveZeroCountsAndSlotsAreCleared) {
  auto lib = std::make_unique<JLSongLibrary>();
  std::string full = jls12("First", 100, "", "all 1 bass\n", "bass01 1 2 1 A\nbass02 1 2 1 B\nbass03 1 2 1 C\n",
                           "LONGCOMMAND: SONGVMIX: 1 1 calm\nbass\n0 0 -1 -1 -1 -1 -1 5\nENDCOMMAND:\n");
  JLJlsParser p;
  p.openBuffer(full.data(), full.size());
  ASSERT_TRUE(lib->load_12(&p, ":Library:Song:A:"));
  EXPECT_EQ(lib->styleCount, 1);
  EXPECT_STREQ(lib->styles[0].name, "Calm");
  EXPECT_EQ(lib->styles[0].slots[0], 0);
  EXPECT_EQ(lib->styles[0].rows[0][7], -1);  // a row entry beyond the slots is silence

  // A second song with only a header and a track list that skips bass02.
  std::string second =
      "JAMLOOM-JLS-1.2\nSONGLIBRARY: L\nSONGTITLE: Second\nSONGDESCRIPTION: d\nSONGBPM: 90\nSONGMIX: 0\n"
      "ARPNOTE: \nLONGCOMMAND: CATEGORYLIST: 0\nENDCOMMAND:\nNOT A BLOCK\n"
      "LONGCOMMAND: SONGTRACKS: 9\nbass01 1 2 1 A\nbass03 1 2 1 C\nENDCOMMAND:\n";
  p.openBuffer(second.data(), second.size());
  ASSERT_TRUE(lib->load_12(&p, ":Library:Song:B:"));
  EXPECT_EQ(lib->randomSetCount, 0);
  EXPECT_EQ(lib->styleCount, 0);
  EXPECT_EQ(lib->trackCount, 2);
  ASSERT_EQ(lib->groupCount, 1);
  EXPECT_EQ(lib->groups[0].count, 3);
  EXPECT_EQ(lib->groups[0].sampleIndex[1], -1);  // not the first song's bass02
  EXPECT_STREQ(lib->groups[0].labels[1], "");

  // No track block at all: no tracks.
  std::string third = "JAMLOOM-JLS-1.2\nSONGLIBRARY: L\n";
  p.openBuffer(third.data(), third.size());
  ASSERT_TRUE(lib->load_12(&p, ":Library:Song:C:"));
  EXPECT_EQ(lib->trackCount, 0);
  EXPECT_EQ(lib->groupCount, 0);
  EXPECT_EQ(lib->songBpm, 0);
}

TEST(SongLibrary, HeaderOnlyStopsAfterArpNote) {
  auto lib = fromText(jls12("Head", 128, "drums\n", "", "drums01 1 2 1 A\n"), true);
  EXPECT_STREQ(lib->songTitle, "Head");
  EXPECT_EQ(lib->songBpm, 128);
  EXPECT_STREQ(lib->arpNote, "C3 E3");
  EXPECT_EQ(lib->groupCount, 0);
  EXPECT_EQ(lib->trackCount, 0);
}

TEST(SongLibrary, Version10Fallback) {
  ULO_SeedRandom(7);
  auto lib = fromText(oldFormat());
  EXPECT_STREQ(lib->parserInfo, "Parser: JLS 1.0");
  EXPECT_EQ(lib->trackCount, 3);
  EXPECT_EQ(lib->songBpm, 118);  // the zero tempo line is passed over
  EXPECT_STREQ(lib->arpNote, "C3 E3");
  EXPECT_STREQ(lib->songTitle, "Old Song");
  EXPECT_STREQ(lib->songDescription, "Made long ago");
  ASSERT_EQ(lib->groupCount, 3);
  EXPECT_STREQ(lib->groups[1].labels[0], "Low");
  EXPECT_EQ(lib->groups[1].divisor[0], 2);
  ASSERT_EQ(lib->randomSetCount, 4);
  ASSERT_EQ(lib->styleCount, 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(std::string(lib->randomSets[i].name), "Rnd" + std::to_string(i + 1));
    EXPECT_EQ(lib->randomSets[i].count, 3);
    EXPECT_EQ(lib->randomSets[i].members[2], 2);
    EXPECT_EQ(lib->randomSets[i].members[3], -1);
    EXPECT_EQ(std::string(lib->styles[i].name), "Style" + std::to_string(i + 1));
    EXPECT_EQ(lib->styles[i].slotCount, 16);
    EXPECT_EQ(lib->styles[i].rowCount, 32);
    for (int r = 0; r < 32; ++r)
      for (int t = 0; t < 8; ++t) {
        EXPECT_GE(lib->styles[i].rows[r][t], -1);
        EXPECT_LT(lib->styles[i].rows[r][t], 16);
      }
    for (int s = 0; s < 16; ++s) EXPECT_LT(lib->styles[i].slots[s], 3);
  }
}

TEST(SongLibrary, BadInputIsBounded) {
  // Names without a variant 01..64 or with a path in them enter nothing.
  std::string tracks = "bass65 1 2 1\nbass00 1 2 1\nb 1 2 1\nbassx1 1 2 1\n../../etc/x01 1 2 1\na:b01 1 2 1\n";
  for (int i = 0; i < 40; ++i) tracks += "g" + std::to_string(i) + "_01 1 2 1\n";  // 40 groups: 32 fit
  tracks += std::string(300, 'n') + "01 1 2 1 " + std::string(300, 'L') + "\n";
  std::string sets = "one 12 g0_ g1_ nosuch g3_ g4_ g5_ g6_ g7_ g8_ g9_ g10_ g11_\ntwo 1 x\nthree 0\nfour 0\nfive 0\n";
  std::string styles = "LONGCOMMAND: SONGVMIX: 40 70 big\n";
  for (int i = 0; i < 40; ++i) styles += "g0_\n";
  for (int i = 0; i < 70; ++i) styles += "1 2 3 40 -2 30000 0 -1\n";
  styles += "ENDCOMMAND:\n";
  auto lib = fromText(jls12(std::string(500, 'T'), 100, "", sets, tracks, styles));
  EXPECT_EQ(strlen(lib->songTitle), 63u);
  EXPECT_EQ(lib->groupCount, kJLMaxGroups);
  EXPECT_EQ(lib->trackCount, 32);  // the refused lines take no track index
  EXPECT_STREQ(lib->groups[0].name, "g0_");
  EXPECT_EQ(lib->randomSetCount, 1);
  EXPECT_EQ(lib->randomSets[0].count, 8);
  EXPECT_EQ(lib->randomSets[0].members[2], -1);
  EXPECT_EQ(lib->randomSets[3].count, 0);
  ASSERT_EQ(lib->styleCount, 1);
  EXPECT_EQ(lib->styles[0].slotCount, kJLStyleSlots);
  EXPECT_EQ(lib->styles[0].rowCount, kJLStyleRows);
  EXPECT_EQ(lib->styles[0].rows[63][3], -1);
  EXPECT_EQ(lib->styles[0].rows[63][2], 3);
}

TEST(SongLibrary, LoadFindsDescriptorsInOrder) {
  ProgramFolder pf;
  pf.mkdirs("Library/Song/Abc/User");
  pf.mkdirs("Library/Jls");
  pf.write("Library/Song/Abc/info.jls", oldFormat());
  auto lib = std::make_unique<JLSongLibrary>();
  ASSERT_TRUE(lib->load(":Library:Song:Abc:"));
  EXPECT_STREQ(lib->parserInfo, "Parser: JLS 1.0");

  pf.write("Library/Song/Abc/zz.jls", jls12("Own", 101, "", "", ""));
  pf.write("Library/Song/Abc/Mine.JLS", jls12("Mine", 102, "", "", ""));
  ASSERT_TRUE(lib->load(":Library:Song:Abc:"));
  EXPECT_STREQ(lib->songTitle, "Mine");
  EXPECT_STREQ(lib->parserInfo, "Parser: JLS 1.2");

  pf.write("Library/Jls/Abc.jls", jls12("Embedded", 103, "", "", ""));
  ASSERT_TRUE(lib->load(":Library:Song:Abc:"));
  EXPECT_STREQ(lib->songTitle, "Embedded");
  EXPECT_STREQ(lib->parserInfo, "Parser: JLS 1.2 (embedded)");

  // Nothing anywhere: false. Then the medium's root beside the library.
  EXPECT_FALSE(lib->load(":Library:Song:Other:"));
  pf.mkdirs("JLS/JLS44");
  pf.write("JLS/JLS44/Other.jls", jls12("Root", 104, "", "", ""));
  ASSERT_TRUE(lib->load(":Library:Song:Other:"));
  EXPECT_STREQ(lib->songTitle, "Root");
}

TEST(SongLibrary, AFailedLoadLeavesTheLoadedSongUntouched) {
  ProgramFolder pf;
  pf.mkdirs("Library/Song/Abc");
  pf.write("Library/Song/Abc/info.jls", jls12("Kept", 121, "drums\nbass\n", "", kTracks));
  auto lib = std::make_unique<JLSongLibrary>();
  ASSERT_TRUE(lib->load(":Library:Song:Abc:"));
  ASSERT_EQ(lib->trackCount, 4);
  // The last place looked at holds something that is not a 1.2 descriptor.
  pf.mkdirs("JLS/JLS44");
  pf.write("JLS/JLS44/Broken.jls", "not a song\n");
  EXPECT_FALSE(lib->load(":Library:Song:Broken:"));
  EXPECT_FALSE(lib->load(":Library:Song:Missing:"));
  EXPECT_STREQ(lib->songTitle, "Kept");
  EXPECT_STREQ(lib->songFolderName, "Abc");
  EXPECT_EQ(lib->songBpm, 121);
  EXPECT_EQ(lib->trackCount, 4);
  EXPECT_EQ(lib->groupCount, 2);
}

TEST(SamplesMatcher, LooseNames) {
  EXPECT_TRUE(jlSamplesMatcher::similar("bass01", "BASS01.WAV"));
  EXPECT_TRUE(jlSamplesMatcher::similar("bass01", "Bass01"));
  EXPECT_TRUE(jlSamplesMatcher::similar("bass01.wav", "BASS01.WAV"));
  EXPECT_FALSE(jlSamplesMatcher::similar("bass01.wav", "bass01"));
  EXPECT_FALSE(jlSamplesMatcher::similar("bass1", "bass01.wav"));
  EXPECT_FALSE(jlSamplesMatcher::similar(nullptr, "a"));

  TempFolder dir;
  jlSamplesMatcher m(dir.ulo().c_str());
  m.readNames();
  EXPECT_EQ(m.count, 0);
  char name[256] = "kick03";
  EXPECT_FALSE(m.findSample(name, sizeof name));

  dir.write("Kick03.WAV", "x");
  dir.write("a_rather_long_loop_name07.wav", "x");
  m.readNames();
  EXPECT_EQ(m.count, 2);
  ASSERT_TRUE(m.findSample(name, sizeof name));
  EXPECT_STREQ(name, "Kick03.WAV");
  char longName[256] = "A_RATHER_LONG_LOOP_NAME07";
  ASSERT_TRUE(m.findSample(longName, sizeof longName));
  char small[8] = "kick03";  // the found name would not fit: no match
  EXPECT_FALSE(m.findSample(small, sizeof small));
}

namespace {

// Records the facade calls of a song load.
struct FakeEngine {
  std::vector<std::string> calls;
  std::vector<std::pair<std::string, int>> samples;
  void stop() { calls.push_back("stop"); }
  void setMixerFrequency(long hz) { calls.push_back("freq " + std::to_string(hz)); }
  void samplesListReset() { calls.push_back("reset"); }
  void samplesBpm(float bpm) { calls.push_back("bpm " + std::to_string((int)bpm)); }
  short samplesListAdd(const char* path, short divisor) {
    samples.emplace_back(path, divisor);
    return 0;
  }
};

}  // namespace

TEST(SongLoading, RegistersLoopsThenUserLoopsInSampleOrder) {
  ProgramFolder pf;
  pf.mkdirs("Library/Song/Abc/User");
  pf.write("Library/Song/Abc/info.jls",
           jls12("S", 126, "", "",
                 "drums01 1 2 1 A\nbass01 1 2 4 B\ndrums02 1 2 1 C\nlead01 1 2 1 D\n" +
                     std::string(40, 'q') + "01 1 2 1\n"));
  pf.write("Library/Song/Abc/drums01", "exact");
  pf.write("Library/Song/Abc/bass01.wav", "with extension");
  pf.write("Library/Song/Abc/DRUMS02.Wav", "loose");
  pf.write("Library/Song/Abc/User/b take.wav", "u");
  pf.write("Library/Song/Abc/User/A take.wav", "u");
  pf.mkdirs("Library/Song/Abc/User/folder");

  FakeEngine e;
  auto lib = std::make_unique<JLSongLibrary>();
  ASSERT_TRUE(JL_LoadSong(e, *lib, ":Library:Song:Abc:"));
  ASSERT_EQ(e.calls.size(), 4u);
  EXPECT_EQ(e.calls[0], "stop");
  EXPECT_EQ(e.calls[1], "freq 44100");
  EXPECT_EQ(e.calls[2], "reset");
  EXPECT_EQ(e.calls[3], "bpm 126");
  ASSERT_EQ(e.samples.size(), 7u);
  const std::string f = ":Library:Song:Abc:";
  EXPECT_EQ(e.samples[0].first, f + "drums01");
  EXPECT_EQ(e.samples[1], std::make_pair(f + "bass01.wav", 4));
  EXPECT_EQ(e.samples[2].first, f + "DRUMS02.Wav");
  EXPECT_EQ(e.samples[3].first, f + "lead01");  // missing: still registered
  EXPECT_EQ(e.samples[4].first, f + std::string(31, 'q'));  // name cut to its field
  EXPECT_EQ(e.samples[5], std::make_pair(f + "User:A take.wav", 0));
  EXPECT_EQ(e.samples[6], std::make_pair(f + "User:b take.wav", 0));

  ASSERT_EQ(lib->groupCount, 5);
  const JLSongGroup& user = lib->groups[4];
  EXPECT_STREQ(user.name, "User");
  EXPECT_EQ(user.count, 2);
  EXPECT_EQ(user.sampleIndex[1], 6);
  EXPECT_EQ(user.volume[0], 100);
  EXPECT_EQ(user.pan[0], 60);
  EXPECT_STREQ(user.labels[0], "A take.wav");
  EXPECT_EQ(lib->trackCount, 7);

  FakeEngine none;
  EXPECT_FALSE(JL_LoadSong(none, *lib, ":Library:Song:Missing:"));
  EXPECT_EQ(none.calls.size(), 2u);
  EXPECT_TRUE(none.samples.empty());
}

namespace {
std::vector<std::string> gRefused;
void recordRefusal(int number, const char* text) {
  if (number == kJLMsgNameRefused) gRefused.push_back(text);
}
}  // namespace

TEST(SongLoading, LoopsThatAreLinksOutOfTheSongAreNotRead) {
  ProgramFolder pf;
  pf.mkdirs("Library/Song/Abc/User");
  pf.mkdirs("outside");
  pf.write("outside/secret.wav", "not the song's");
  pf.write("Library/Song/Abc/info.jls", jls12("S", 120, "", "", "drums01 1 2 1 A\nbass01 1 2 1 B\nlead01 1 2 1 C\n"));
  ASSERT_EQ(symlink(pf.tmp.file("outside/secret.wav").c_str(), pf.tmp.file("Library/Song/Abc/drums01.wav").c_str()), 0);
  ASSERT_EQ(symlink("../../../outside/secret.wav", pf.tmp.file("Library/Song/Abc/User/take.wav").c_str()), 0);
  ASSERT_EQ(symlink("lead01.wav", pf.tmp.file("Library/Song/Abc/bass01.wav").c_str()), 0);
  pf.write("Library/Song/Abc/lead01.wav", "inside");
  gRefused.clear();
  JL_SetSongMessageHook(recordRefusal);
  FakeEngine e;
  auto lib = std::make_unique<JLSongLibrary>();
  ASSERT_TRUE(JL_LoadSong(e, *lib, ":Library:Song:Abc:"));
  JL_SetSongMessageHook(nullptr);
  const std::string f = ":Library:Song:Abc:";
  ASSERT_EQ(e.samples.size(), 4u);
  // Refused: registered as the folder (a silent entry), numbers in place.
  EXPECT_EQ(e.samples[0].first, f);
  EXPECT_EQ(e.samples[1].first, f + "bass01.wav") << "a link inside the song is followed";
  EXPECT_EQ(e.samples[2].first, f + "lead01.wav");
  EXPECT_EQ(e.samples[3].first, f + "User:");
  EXPECT_EQ(gRefused, std::vector<std::string>{"The name \"drums01.wav\" was refused: it leads outside its folder."});
}
