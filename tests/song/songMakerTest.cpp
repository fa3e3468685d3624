// Songs made from a folder of the user's own sound files: the tempo the
// loop lengths agree on, the beat count of each loop, the instruments, and
// the written song as the real song loader reads it back.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "song/JLSongLibrary.h"
#include "song/JLSongMaker.h"
#include "songTestSupport.h"

namespace {

// A sound file of `seconds` of a 440 Hz tone in the given libsndfile format.
void writeSound(const std::string& path, double seconds, int rate, int channels,
                int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << path << ": " << sf_strerror(nullptr);
  const sf_count_t frames = sf_count_t(std::llround(seconds * rate));
  std::vector<float> v(size_t(frames) * size_t(channels));
  for (sf_count_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c) v[size_t(i * channels + c)] = 0.5f * float(std::sin(2 * M_PI * 440.0 * i / rate));
  sf_writef_float(f, v.data(), frames);
  sf_close(f);
}

SF_INFO soundInfo(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (f) sf_close(f);
  return info;
}

double beatSeconds(int bpm) { return 60.0 / bpm; }

std::vector<std::string> entriesOf(const std::string& folder) {
  std::vector<std::string> out;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") out.push_back(e->d_name);
    closedir(d);
  }
  return out;
}

}  // namespace

TEST(SongMakerTempo, LoopsOfOneToEightBeatsWithHalfPercentErrorGiveTheirTempo) {
  const double errors[] = {0.005, -0.005, 0.003, -0.004};
  for (int bpm : {90, 97, 105, 120, 128, 140, 150, 165, 174, 180}) {
    std::vector<double> secs;
    int k = 0;
    for (int beats : {1, 2, 4, 8}) secs.push_back(beats * beatSeconds(bpm) * (1 + errors[k++]));
    const JLTempoGuess g = JL_DetectTempo(secs);
    EXPECT_EQ(g.bpm, bpm) << "loops made at " << bpm;
    EXPECT_EQ(g.fitting, 4) << bpm;
    k = 0;
    for (int beats : {1, 2, 4, 8}) {
      const JLBeatFit f = JL_FitBeats(secs[size_t(k++)], bpm);
      EXPECT_EQ(f.beats, beats) << bpm;
      EXPECT_TRUE(f.fits) << bpm << " " << beats;
    }
  }
}

TEST(SongMakerTempo, TheTempoMostLoopsFitWinsAndMisfitsAreTold) {
  // Three loops at 126 BPM and one at 100: 126 fits three.
  std::vector<double> secs = {4 * beatSeconds(126), 2 * beatSeconds(126), 8 * beatSeconds(126),
                              4 * beatSeconds(100) * 1.013};
  const JLTempoGuess g = JL_DetectTempo(secs);
  EXPECT_EQ(g.bpm, 126);
  EXPECT_EQ(g.fitting, 3);
  const JLBeatFit f = JL_FitBeats(secs[3], 126);
  EXPECT_FALSE(f.fits);
  EXPECT_EQ(f.beats, 5);  // 5.103 beats: the nearest count, trimmed when asked
  // 7 beats cannot be played exactly (32 / 4 = 8), so it is fitted to 6 or 8.
  EXPECT_FALSE(JL_FitBeats(7 * beatSeconds(120), 120).fits);
  EXPECT_EQ(JL_FitBeats(3 * beatSeconds(120), 120).beats, 3);
  EXPECT_EQ(JL_DetectTempo({}).bpm, 0);
}

TEST(SongMakerTempo, AMisfitGoesToTheAllowedCountNearestInBeatsAndATiePads) {
  // Cutting or padding changes the loop by the distance in beats, so the
  // nearest allowed count is the one fewest beats away: 21.6 beats is cut
  // to 16 (5.6 away) rather than padded to 32 (10.4 away).
  struct Case {
    double beats;
    int expected;
  } cases[] = {{21.6, 16}, {12.9, 10}, {13.0, 16}, {24.0, 32}, {7.0, 8}, {9.2, 10}, {28.0, 32}, {0.6, 1}};
  for (const Case& c : cases) {
    const JLBeatFit f = JL_FitBeats(c.beats * beatSeconds(135), 135);
    EXPECT_EQ(f.beats, c.expected) << c.beats << " beats";
    EXPECT_NEAR(f.error, (c.beats - c.expected) / c.expected, 1e-9) << c.beats;
  }
  EXPECT_EQ(JL_BeatCountsText(), "1, 2, 3, 4, 5, 6, 8, 10, 16 or 32");
}

TEST(SongMakerPlan, InstrumentNamesAreOneEditableLineAndEmptyFieldsKeepTheirName) {
  JLSongPlan plan;
  plan.groups = {{"drums", {}}, {"bass", {}}, {"perc", {}}};
  EXPECT_EQ(JL_InstrumentNamesLine(plan), "drums, bass, perc");
  JL_RenameInstruments("  Kick Drums ,, shaker!, extra\n", &plan);
  EXPECT_EQ(plan.groups[0].name, "KickDrums");
  EXPECT_EQ(plan.groups[1].name, "bass");
  EXPECT_EQ(plan.groups[2].name, "shaker");
  JL_RenameInstruments("Low", &plan);  // fewer fields: the rest keep theirs
  EXPECT_EQ(JL_InstrumentNamesLine(plan), "Low, bass, shaker");
  JL_RenameInstruments("", &plan);
  EXPECT_EQ(JL_InstrumentNamesLine(plan), "Low, bass, shaker");
}

TEST(SongMakerPlan, GroupsBySubFolderAndNamePrefixAndSkipsObviousNonSound) {
  TempFolder t;
  mkdir((t.sys() + "fx").c_str(), 0755);
  const double s = 4 * beatSeconds(120);
  writeSound(t.file("Drums_01.wav"), s, 44100, 2);
  writeSound(t.file("drums-02.flac"), s, 48000, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  writeSound(t.file("bass1.aiff"), s, 44100, 1, SF_FORMAT_AIFF | SF_FORMAT_PCM_16);
  writeSound(t.file("pad loop.wav"), s, 22050, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
  writeSound(t.file("fx/rise.wav"), s, 96000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  writeSound(t.file("fx/Rise.wav"), s, 44100, 2);
  t.write("readme.txt", "loops by me\n");
  ASSERT_EQ(mkfifo(t.file("pipe.wav").c_str(), 0644), 0);
  JLSongPlan plan;
  std::string error;
  ASSERT_TRUE(JL_PlanSong(t.sys(), &plan, &error)) << error;
  ASSERT_EQ(plan.loops.size(), 6u);
  std::vector<std::string> names;
  std::vector<size_t> sizes;
  for (const JLSongGroupPlan& g : plan.groups) {
    names.push_back(g.name);
    sizes.push_back(g.loops.size());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"drums", "bass", "fx", "pad"}));
  EXPECT_EQ(sizes, (std::vector<size_t>{2, 1, 2, 1}));
  // The same name twice in one group gets two labels.
  EXPECT_EQ(plan.loops[size_t(plan.groups[2].loops[0])].label, "Rise");
  EXPECT_EQ(plan.loops[size_t(plan.groups[2].loops[1])].label, "rise-2");
  EXPECT_EQ(plan.skipped, (std::vector<std::string>{"pipe.wav: not a plain file", "readme.txt: not a sound file"}));
  EXPECT_EQ(plan.detected.bpm, 120);
}

TEST(SongMakerPlan, FoldsNineInstrumentsIntoEightAndSplitsAGroupOfSeventy) {
  TempFolder t;
  const double s = beatSeconds(120);
  const char* prefixes[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i"};
  for (int i = 0; i < 9; ++i)
    for (int k = 0; k <= (i < 7 ? 2 : 0); ++k) writeSound(t.file(std::string(prefixes[i]) + std::to_string(k) + ".wav"), s, 8000, 1);
  JLSongPlan plan;
  std::string error;
  ASSERT_TRUE(JL_PlanSong(t.sys(), &plan, &error)) << error;
  ASSERT_EQ(plan.groups.size(), 8u);
  EXPECT_EQ(plan.groups[7].name, "other");
  EXPECT_EQ(plan.groups[7].loops.size(), 2u);  // h and i, one loop each

  TempFolder many;
  for (int k = 0; k < 70; ++k) writeSound(many.file("kick" + std::to_string(100 + k) + ".wav"), s, 8000, 1);
  ASSERT_TRUE(JL_PlanSong(many.sys(), &plan, &error)) << error;
  ASSERT_EQ(plan.groups.size(), 2u);
  EXPECT_EQ(plan.groups[0].loops.size(), 64u);
  EXPECT_EQ(plan.groups[1].loops.size(), 6u);
  EXPECT_NE(plan.groups[0].name, plan.groups[1].name);
}

TEST(SongMakerPlan, BadFilesAreRefusedByName) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
    const char* why;
  } cases[] = {
      {"empty.wav", [](const std::string& p) { FILE* f = fopen(p.c_str(), "w"); fclose(f); }, "empty.wav: it is empty"},
      {"noise.wav", [](const std::string& p) { FILE* f = fopen(p.c_str(), "w"); fputs("not a sound at all", f); fclose(f); },
       "noise.wav: it is not a sound file"},
      {"click.wav", [](const std::string& p) { writeSound(p, 0.001, 44100, 2); }, "click.wav: it lasts 0.001 s, too short"},
      {"long.flac", [](const std::string& p) { writeSound(p, 20 * 60, 8000, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16); },
       "long.flac: it lasts 20:00, too long"},
  };
  for (const Case& c : cases) {
    TempFolder t;
    writeSound(t.file("good.wav"), 2.0, 44100, 2);
    c.make(t.file(c.name));
    JLSongPlan plan;
    std::string error;
    EXPECT_FALSE(JL_PlanSong(t.sys(), &plan, &error)) << c.name;
    EXPECT_EQ(error.rfind(c.why, 0), 0u) << error;
  }
}

TEST(SongMaker, WrittenSongIsReadBackByTheSongLoader) {
  ProgramFolder pf;
  pf.mkdirs("Library/Song");
  TempFolder src;
  mkdir((src.sys() + "Bass Line").c_str(), 0755);
  const int bpm = 132;
  writeSound(src.file("beat_a.wav"), 4 * beatSeconds(bpm) * 1.004, 96000, 6, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
  writeSound(src.file("beat_b.ogg"), 2 * beatSeconds(bpm), 48000, 2, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
  writeSound(src.file("Bass Line/low \xff.wav"), 8 * beatSeconds(bpm) * 0.996, 22050, 1,
             SF_FORMAT_WAV | SF_FORMAT_PCM_U8);
  JLSongPlan plan;
  std::string error;
  ASSERT_TRUE(JL_PlanSong(src.sys(), &plan, &error)) << error;
  EXPECT_EQ(plan.detected.bpm, bpm);
  JLMakeSongOptions options;
  JLMakeSongResult result;
  ASSERT_TRUE(JL_MakeSong(plan, "My Song", options, &result, &error)) << error;
  EXPECT_EQ(result.songFolder, ":Library:Song:My Song:");
  EXPECT_EQ(result.loops, 3);

  JLSongLibrary lib;
  ASSERT_TRUE(lib.load(":Library:Song:My Song:"));
  EXPECT_STREQ(lib.parserInfo, "Parser: JLS 1.2");
  EXPECT_STREQ(lib.songTitle, "My Song");
  EXPECT_EQ(lib.songBpm, bpm);
  ASSERT_EQ(lib.groupCount, 2);
  EXPECT_STREQ(lib.groups[0].name, "BassLine");
  EXPECT_STREQ(lib.groups[1].name, "beat");
  EXPECT_EQ(lib.trackCount, 3);
  EXPECT_EQ(lib.groups[1].count, 2);
  EXPECT_STREQ(lib.groups[1].files[1], "beat02");
  EXPECT_STREQ(lib.groups[1].labels[1], "beat_b");
  EXPECT_EQ(lib.groups[1].divisor[0], 8);   // 4 beats
  EXPECT_EQ(lib.groups[1].divisor[1], 16);  // 2 beats
  EXPECT_EQ(lib.groups[0].divisor[0], 4);   // 8 beats
  EXPECT_STREQ(lib.groups[0].labels[0], "low");
  EXPECT_EQ(lib.randomSetCount, 1);
  EXPECT_EQ(lib.randomSets[0].count, 2);
  EXPECT_EQ(lib.styleCount, 1);

  // Each loop is 16-bit at 44.1 kHz, exactly its beats long, mono kept mono.
  const std::string song = pf.tmp.sys() + "Library/Song/My Song/";
  const int64_t beat = 2646000 / bpm;
  const struct {
    const char* file;
    int beats, channels;
  } loops[] = {{"beat01.wav", 4, 2}, {"beat02.wav", 2, 2}, {"BassLine01.wav", 8, 1}};
  for (const auto& l : loops) {
    const SF_INFO info = soundInfo(song + l.file);
    EXPECT_EQ(info.samplerate, 44100) << l.file;
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16) << l.file;
    EXPECT_EQ(info.channels, l.channels) << l.file;
    EXPECT_EQ(info.frames, l.beats * beat) << l.file;
  }
  EXPECT_EQ(soundInfo(song + "My Song.gif").frames, 0);  // not a sound
  struct stat st {};
  EXPECT_EQ(stat((song + "My Song.gif").c_str(), &st), 0);
  // Only the song is left in the library: no temporary beside it.
  EXPECT_EQ(entriesOf(pf.tmp.sys() + "Library/Song"), std::vector<std::string>{"My Song"});
  // The same name a second time is refused.
  EXPECT_FALSE(JL_MakeSong(plan, "My Song", options, &result, &error));
  EXPECT_EQ(error, "a song named \"My Song\" exists already");
}

TEST(SongMaker, MisfitsAreNamedAndNothingIsWrittenUnlessTrimmedOrStretched) {
  ProgramFolder pf;
  pf.mkdirs("Library/Song");
  TempFolder src;
  writeSound(src.file("drum1.wav"), 4 * beatSeconds(120), 44100, 2);
  writeSound(src.file("drum2.wav"), 4 * beatSeconds(120), 44100, 2);
  writeSound(src.file("odd.wav"), 3.4 * beatSeconds(120), 44100, 2);
  JLSongPlan plan;
  std::string error;
  ASSERT_TRUE(JL_PlanSong(src.sys(), &plan, &error)) << error;
  JLMakeSongOptions options;
  JLMakeSongResult result;
  EXPECT_FALSE(JL_MakeSong(plan, "Odd", options, &result, &error));
  EXPECT_EQ(error,
            "1 loop(s) do not last a whole number of beats at 120 BPM: odd.wav (3.40 beats); trim or stretch them, "
            "or give another tempo");
  EXPECT_TRUE(entriesOf(pf.tmp.sys() + "Library/Song").empty());

  for (JLBeatFitMode mode : {JLBeatFitMode::trim, JLBeatFitMode::stretch}) {
    options.fit = mode;
    const std::string name = mode == JLBeatFitMode::trim ? "Trimmed" : "Stretched";
    ASSERT_TRUE(JL_MakeSong(plan, name, options, &result, &error)) << error;
    const SF_INFO info = soundInfo(pf.tmp.sys() + "Library/Song/" + name + "/odd01.wav");
    EXPECT_EQ(info.frames, 3 * 22050) << name;
    ASSERT_EQ(result.notes.size(), 1u);
    EXPECT_EQ(result.notes[0], std::string("odd.wav: ") + (mode == JLBeatFitMode::trim ? "trimmed" : "stretched") +
                                   " from 1.700 s to 3 beats");
  }
}

TEST(SongMaker, TrimmingCutsALoopToTheNearestAllowedLengthInsteadOfPaddingIt) {
  ProgramFolder pf;
  pf.mkdirs("Library/Song");
  TempFolder src;
  writeSound(src.file("drum1.wav"), 4 * beatSeconds(135), 44100, 2);
  writeSound(src.file("arp1.wav"), 9.6, 44100, 2);  // 21.6 beats at 135 BPM
  JLSongPlan plan;
  std::string error;
  ASSERT_TRUE(JL_PlanSong(src.sys(), &plan, &error)) << error;
  JLMakeSongOptions options;
  options.bpm = 135;
  options.fit = JLBeatFitMode::trim;
  JLMakeSongResult result;
  ASSERT_TRUE(JL_MakeSong(plan, "Cut", options, &result, &error)) << error;
  const SF_INFO info = soundInfo(pf.tmp.sys() + "Library/Song/Cut/arp01.wav");
  EXPECT_EQ(info.frames, 16 * (2646000 / 135));  // 7.11 s, not 32 beats of 14.22 s
  ASSERT_EQ(result.notes.size(), 1u);
  EXPECT_EQ(result.notes[0], "arp1.wav: trimmed from 9.600 s to 16 beats");
}

TEST(SongMaker, AReadOnlyLibraryOrABadNameLeavesNothing) {
  ProgramFolder pf;
  pf.mkdirs("Library/Song");
  TempFolder src;
  writeSound(src.file("a.wav"), 2.0, 44100, 2);
  JLSongPlan plan;
  std::string error;
  ASSERT_TRUE(JL_PlanSong(src.sys(), &plan, &error)) << error;
  JLMakeSongOptions options;
  JLMakeSongResult result;
  EXPECT_FALSE(JL_MakeSong(plan, std::string(300, 'x'), options, &result, &error));
  EXPECT_EQ(error.rfind("\"xxxx", 0), 0u) << error;
  EXPECT_FALSE(JL_MakeSong(plan, "a:b", options, &result, &error));
  EXPECT_FALSE(JL_MakeSong(plan, "bad\xff", options, &result, &error));
  EXPECT_EQ(error, "\"bad?\" cannot name a song (at most 60 bytes, no ':' or '/')");
  if (geteuid() != 0) {  // root writes anywhere
    chmod((pf.tmp.sys() + "Library/Song").c_str(), 0555);
    EXPECT_FALSE(JL_MakeSong(plan, "Locked", options, &result, &error));
    EXPECT_NE(error.find("cannot write in the library's song folder"), std::string::npos) << error;
    chmod((pf.tmp.sys() + "Library/Song").c_str(), 0755);
  }
  EXPECT_TRUE(entriesOf(pf.tmp.sys() + "Library/Song").empty());
}

TEST(SongMaker, AddedLoopJoinsItsGroupAndTheLoaderFindsIt) {
  ProgramFolder pf;
  pf.mkdirs("Library/Song");
  TempFolder src;
  writeSound(src.file("keys1.wav"), 2.0, 44100, 2);
  writeSound(src.file("hat1.wav"), 1.0, 44100, 2);
  JLSongPlan plan;
  std::string error;
  ASSERT_TRUE(JL_PlanSong(src.sys(), &plan, &error)) << error;
  JLMakeSongOptions options;
  JLMakeSongResult result;
  ASSERT_TRUE(JL_MakeSong(plan, "Grow", options, &result, &error)) << error;
  ASSERT_EQ(result.bpm, 120);
  TempFolder drop;
  writeSound(drop.file("new keys.flac"), 8 * 0.5 * 1.02, 48000, 1, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  std::string file;
  int beats = 0;
  ASSERT_TRUE(JL_AddLoopToSong(":Library:Song:Grow:", "keys", drop.file("new keys.flac"), false, &file, &beats, &error))
      << error;
  EXPECT_EQ(file, "keys02");
  EXPECT_EQ(beats, 8);
  JLSongLibrary lib;
  ASSERT_TRUE(lib.load(":Library:Song:Grow:"));
  const int16_t g = lib.getGroupIndex("keys");
  ASSERT_GE(g, 0);
  EXPECT_EQ(lib.groups[g].count, 2);
  EXPECT_EQ(lib.groups[g].sampleIndex[1], 2);  // after the two loops made first
  EXPECT_EQ(lib.groups[g].divisor[1], 4);
  EXPECT_STREQ(lib.groups[g].labels[1], "newkeys");
  EXPECT_EQ(soundInfo(pf.tmp.sys() + "Library/Song/Grow/keys02.wav").frames, 8 * 22050);
  // A file that is no sound changes nothing.
  drop.write("fake.wav", "RIFF nothing");
  EXPECT_FALSE(JL_AddLoopToSong(":Library:Song:Grow:", "keys", drop.file("fake.wav"), false, &file, &beats, &error));
  EXPECT_EQ(error, "fake.wav: it is not a sound file this program reads");
  ASSERT_TRUE(lib.load(":Library:Song:Grow:"));
  EXPECT_EQ(lib.groups[g].count, 2);
}
