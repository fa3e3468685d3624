// The sample synth and its arpeggiator: note text, the walks through a
// pattern, the step grid, voice allocation, and the rendered bus checked
// frame by frame against a model built from the step schedule.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "engine/JLEngine.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "engine/engineFixtures.h"
#include "engine/synth/Synth.h"

using namespace enginetest;

namespace {

// Note k of the test sets: value depends on note and frame, so a wrong
// note, a wrong onset or a wrong offset all show.
int16_t noteValue(int k, int i) { return int16_t((k + 1) * 300 + (i % 97) - 48); }

// Writes mono note files for the given indices into `tf`, `frames` long.
void writeNotes(const TempFolder& tf, const std::vector<int>& notes, int frames) {
  static const char* const names[12] = {"c", "c#", "d", "d#", "e", "f", "f#", "g", "g#", "a", "a#", "b"};
  for (int k : notes) {
    std::vector<int16_t> d(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) d[size_t(i)] = noteValue(k, i);
    tf.write(std::string(names[k % 12]) + char('2' + k / 12) + ".wav", wavFrom(d, 1));
  }
}

// A synth on its own set, with the beat of the test fixtures.
struct LocalSynth {
  SYNTHETIZER s;
  SYNTHDATA d = {};
  LocalSynth() {
    // Notes are read at the mixing rate; the files here are at 44100 Hz.
    SetRealtimeFreq(44100);
    InitSynth(&s, &d);
    SetSynthBPM(&s, kBeat);
  }
  ~LocalSynth() { FreeSynth(&d); }
};

// Plays `steps` steps from an arpeggio started at time 0 and returns the
// note of each step (-1 for a rest). Poly 1 keeps the newest note in voice 0.
std::vector<int> walk(int mode, const char* pattern, int steps) {
  LocalSynth ls;
  SetSynthPoly(&ls.s, 1);
  std::vector<int> got;
  ArpeggiatorOn(&ls.s, mode, 4, pattern, 0);
  got.push_back(ls.s.voices[0].note);
  for (int k = 1; k < steps; ++k) {
    ArpeggiatorSync(&ls.s, ls.s.nextStep);
    got.push_back(ls.s.voices[0].note);
  }
  return got;
}

}  // namespace

TEST(SynthNotes, TextToSampleIndex) {
  EXPECT_EQ(0, SynthNoteIndex("c1"));
  EXPECT_EQ(1, SynthNoteIndex("C#1"));
  EXPECT_EQ(35, SynthNoteIndex("b3"));
  EXPECT_EQ(12 + 9 + 1, SynthNoteIndex("a#2"));
  EXPECT_EQ(46, SynthNoteIndex("a#4"));  // beyond the set: plays nothing
  EXPECT_EQ(-12, SynthNoteIndex("c0"));
  EXPECT_EQ(-1, SynthNoteIndex("h1"));
  EXPECT_EQ(-1, SynthNoteIndex("c"));
  EXPECT_EQ(-1, SynthNoteIndex(""));
  EXPECT_EQ(-1, SynthNoteIndex(nullptr));
}

TEST(SynthArpeggio, WalksThroughThePattern) {
  const int c1 = 0, e1 = 4, g1 = 7, r = -1;
  EXPECT_EQ((std::vector<int>{e1, g1, c1, e1, g1, c1, e1}), walk(0, "c1e1g1", 7));
  EXPECT_EQ((std::vector<int>{g1, e1, c1, g1, e1, c1, g1}), walk(1, "c1e1g1", 7));
  // Up-down rests once at the top, turns on the bottom note without a rest.
  EXPECT_EQ((std::vector<int>{e1, g1, r, g1, e1, c1, e1, g1, r, g1}), walk(3, "c1e1g1", 10));
  // Sharps take three characters either way.
  const int cs1 = 1, as2 = 22, c2 = 12;
  EXPECT_EQ((std::vector<int>{as2, c2, cs1, as2}), walk(0, "c#1a#2c2", 4));
  EXPECT_EQ((std::vector<int>{c2, as2, cs1, c2}), walk(1, "c#1a#2c2", 4));
  // Modes beyond the four clamp to up-down; below to up.
  EXPECT_EQ(walk(3, "c1e1g1", 10), walk(9, "c1e1g1", 10));
  EXPECT_EQ(walk(0, "c1e1g1", 5), walk(-4, "c1e1g1", 5));
  // Invalid letters and an empty pattern only rest.
  EXPECT_EQ((std::vector<int>{-1, -1, -1}), walk(0, "x1y1", 3));
  EXPECT_EQ((std::vector<int>{-1, -1, -1, -1}), walk(3, "", 4));
}

TEST(SynthArpeggio, RandomWalkMovesOneNoteAndGoesUpTwoTimesInFive) {
  const std::vector<int> notes = {0, 2, 4, 5, 7};  // c1 d1 e1 f1 g1
  const std::vector<int> got = walk(2, "c1d1e1f1g1", 3000);
  int up = 0;
  int prev = 0;  // the walk starts at index 0 (c1)
  for (int n : got) {
    const auto it = std::find(notes.begin(), notes.end(), n);
    ASSERT_NE(it, notes.end()) << n;
    const int at = int(it - notes.begin());
    const int d = (at - prev + 5) % 5;
    ASSERT_TRUE(d == 1 || d == 4) << prev << " -> " << at;
    up += d == 1;
    prev = at;
  }
  EXPECT_NEAR(0.4, up / 3000.0, 0.04);
}

TEST(SynthArpeggio, StepsFallOnTheBeatGrid) {
  LocalSynth ls;
  // Started between two grid positions: the first note sounds at once,
  // the next ones on the grid.
  ArpeggiatorOn(&ls.s, 0, 4, "c1e1g1", 100);
  std::vector<int32_t> steps;
  for (int k = 0; k < 9; ++k) {
    steps.push_back(ls.s.nextStep);
    ArpeggiatorSync(&ls.s, ls.s.nextStep);
  }
  EXPECT_EQ((std::vector<int32_t>{5512, 11025, 16537, 22050, 27562, 33075, 38587, 44100, 49612}),
            steps);
  // An arpeggio already on keeps its next step through a change.
  const int32_t next = ls.s.nextStep;
  ArpeggiatorOn(&ls.s, 1, 8, "c1d1", next - 3);
  EXPECT_EQ(next, ls.s.nextStep);
  EXPECT_EQ(2, ls.s.arpMode);
  ArpeggiatorOff(&ls.s);
  EXPECT_EQ(0, ls.s.arpMode);
}

TEST(SynthVoices, OldestVoiceIsStolenWithinPoly) {
  LocalSynth ls;
  SetSynthPoly(&ls.s, 3);
  SynthSetNote(&ls.s, "c1", 10);
  SynthSetNote(&ls.s, "d1", 20);
  SynthSetNote(&ls.s, "e1", 30);
  SynthSetNote(&ls.s, "f1", 40);  // steals c1 (voice 0)
  EXPECT_EQ(40, ls.s.voices[0].start);
  EXPECT_EQ(5, ls.s.voices[0].note);
  SynthSetNote(&ls.s, "g1", 50);  // steals d1 (voice 1)
  EXPECT_EQ(7, ls.s.voices[1].note);
  EXPECT_EQ(-1, ls.s.voices[3].start);  // beyond poly: never used
  SetSynthPoly(&ls.s, 36);
  EXPECT_EQ(16, ls.s.poly);
  SetSynthPoly(&ls.s, 0);
  EXPECT_EQ(1, ls.s.poly);
}

// Renders an "up" arpeggio over c1 e1 g1 from time 0 block by block and
// compares every frame with a model: each step's note starts exactly on
// its grid position, plays its sample from frame 0, and with poly 1 is cut
// by the next step.
TEST(SynthRender, NotesStartExactlyOnStepsAndPolyOneCuts) {
  TempFolder tf;
  const int noteFrames = 8000;  // longer than a step of 5512
  writeNotes(tf, {0, 4, 7}, noteFrames);
  for (int poly : {1, 4}) {
    LocalSynth ls;
    SetSynth(&ls.d, tf.sys().c_str());
    SetSynthPoly(&ls.s, poly);
    SetSynthPan(&ls.s, 80);
    SetSynthVolume(&ls.s, 100);
    ArpeggiatorOn(&ls.s, 0, 4, "c1e1g1", 0);
    const int total = 3 * kBeat;
    std::vector<float> L(size_t(total), 0.0f), R(size_t(total), 0.0f);
    for (int at = 0; at < total; at += kMixBlock)
      SynthFloatRender(&ls.s, L.data() + at, R.data() + at, at, 128.0f, std::min(kMixBlock, total - at));

    // The model: onsets on the grid, notes e1 g1 c1 e1 ...
    std::vector<int32_t> onsets;
    for (int b = 0; b < 3; ++b)
      for (int j = 0; j < 4; ++j) onsets.push_back(b * kBeat + j * kBeat / 4);
    const int order[3] = {4, 7, 0};
    const double full = 100 * 1.5 / 256 * 128 / 128;
    const double gl = full, gr = full * (127 - 80) / 64.0;
    for (int x = 0; x < total; ++x) {
      double want = 0;
      for (size_t k = 0; k < onsets.size(); ++k) {
        const int64_t off = x - onsets[k];
        if (off < 0 || off >= noteFrames) continue;
        // poly 1: the next onset cuts; poly 4: at most 2 notes overlap here.
        if (poly == 1 && k + 1 < onsets.size() && x >= onsets[k + 1]) continue;
        want += noteValue(order[k % 3], int(off));
      }
      ASSERT_NEAR(want * gl, L[size_t(x)], 1e-3 * std::fabs(want * gl) + 1e-3) << "poly " << poly << " x " << x;
      ASSERT_NEAR(want * gr, R[size_t(x)], 1e-3 * std::fabs(want * gr) + 1e-3) << "poly " << poly << " x " << x;
    }
  }
}

TEST(SynthRender, StereoNotesPanAndSilentNotes) {
  TempFolder tf;
  std::vector<int16_t> st;
  for (int i = 0; i < 500; ++i) {
    st.push_back(int16_t(1000 + i));
    st.push_back(int16_t(-2000 - i));
  }
  tf.write("a2.wav", wavFrom(st, 2));         // a1: index 9, stereo
  tf.write("b2.wav", "RIFF garbage, not a wave");  // b1: opens, holds nothing
  tf.write("c2.wav", wavBytes(1, 300, 0));    // no channel count: no sound file
  LocalSynth ls;
  SetSynth(&ls.d, tf.sys().c_str());
  EXPECT_NE(nullptr, ls.d.notes[9].data);
  EXPECT_EQ(nullptr, ls.d.notes[11].data);
  EXPECT_EQ(nullptr, ls.d.notes[4].data);    // missing file
  EXPECT_EQ(nullptr, ls.d.notes[0].data);
  SetSynthPoly(&ls.s, 8);
  SetSynthPan(&ls.s, 32);  // right of centre: left at half
  SynthSetNote(&ls.s, "a1", 100);
  SynthSetNote(&ls.s, "b1", 0);
  SynthSetNote(&ls.s, "e1", 0);
  SynthSetNote(&ls.s, "a#4", 0);
  SynthSetNote(&ls.s, "z1", 0);
  std::vector<float> L(2048, 0.0f), R(2048, 0.0f);
  SynthFloatRender(&ls.s, L.data(), R.data(), 0, 64.0f, 2048);
  const double full = 128 * 1.5 / 256 * 64 / 128;
  for (int x = 0; x < 2048; ++x) {
    const int off = x - 100;
    const double l = off >= 0 && off < 500 ? 1000 + off : 0;
    const double r = off >= 0 && off < 500 ? -2000 - off : 0;
    ASSERT_NEAR(l * full * 32 / 64, L[size_t(x)], 1e-2) << x;
    ASSERT_NEAR(r * full, R[size_t(x)], 1e-2) << x;
  }
  // The stereo note ended and freed its voice; the silent ones hold theirs.
  int busy = 0;
  for (const SYNTHVOICE& v : ls.s.voices) busy += v.start != -1;
  EXPECT_EQ(4, busy);
}

TEST(SynthRender, ArpeggioOnFromTheFacadeStartsAtTheTimeline) {
  TempFolder tf;
  writeNotes(tf, {0, 4, 7}, 3000);
  Harness h;
  InitSynth(&RealtimeSynth, &SynthSamps);
  SetSynthBPM(&RealtimeSynth, kBeat);
  MasterVolume(128);
  JLEngine e;
  e.synth_SetFolder((tf.ulo()).c_str());
  e.synth_SetPoly(2);
  ASSERT_NE(nullptr, SynthSamps.notes[4].data);
  // Nothing plays on the tracks: only the synth sounds.
  TimeLine.store(0);
  std::vector<int16_t> out;
  h.blocks(10, out);
  const int32_t t0 = TimeLine.load();
  ASSERT_EQ(10 * kMixBlock, t0);
  e.synth_Arp(0, 4, "c1e1g1");
  EXPECT_EQ(kBeat, RealtimeSynth.nextStep);
  out.clear();
  h.blocks(2, out);
  // e1 from the first frame of the next block, g1 at the grid step 22050.
  const double full = 128 * 1.5 / 256;
  for (int i = 0; i < 2 * kMixBlock; ++i) {
    const int x = t0 + i;
    double want = 0;
    if (x - t0 < 3000) want += noteValue(4, x - t0);
    if (x >= kBeat) want += noteValue(7, x - kBeat);
    ASSERT_NEAR(want * full, out[size_t(2 * i)], 1.0) << x;
    ASSERT_NEAR(want * full * 63 / 64, out[size_t(2 * i + 1)], 1.0) << x;
  }
  e.synth_Arp(0, 4, "");
  EXPECT_EQ(0, RealtimeSynth.arpMode);
  FreeSynth(&SynthSamps);
}

TEST(SynthNotes, ANoteFileLinkedOutOfTheSetIsNotRead) {
  TempFolder outside, tf;
  writeNotes(outside, {0}, 200);          // c2.wav of another folder
  writeNotes(tf, {2, 4}, 200);            // d2.wav, e2.wav of the set
  ASSERT_EQ(symlink((outside.sys() + "c2.wav").c_str(), (tf.sys() + "c2.wav").c_str()), 0);
  ASSERT_EQ(symlink("d2.wav", (tf.sys() + "c#2.wav").c_str()), 0);
  LocalSynth ls;
  SetSynth(&ls.d, tf.sys().c_str());
  EXPECT_EQ(nullptr, ls.d.notes[0].data) << "the link out stays silent";
  ASSERT_NE(nullptr, ls.d.notes[1].data) << "a link inside the set is read";
  EXPECT_EQ(noteValue(2, 5), ls.d.notes[1].data[5]);
  EXPECT_NE(nullptr, ls.d.notes[2].data);
}
