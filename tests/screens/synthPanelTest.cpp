// The synth panel: arpeggio texts from notes and patterns, the song's keys
// on the computer keyboard, the automatic start, presets on the balls and
// the block kept in mix documents.
#include <gtest/gtest.h>

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/AudioFormat.h"
#include "engine/JLEngine.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/synth/Synth.h"
#include "framework/platform/uloEvents.h"
#include "screens/JLLoadSynthPanel.h"
#include "screens/JLSynthPanel.h"
#include "song/JLDiskMix.h"
#include "song/JLPlayer.h"
#include "song/uloAtomsFiles.h"
#include "tests/screens/loadTestSupport.h"

namespace {

std::string arp(const SynthSetup& s) {
  char t[4096];
  JLSynthPanel::buildArpText(s, t, sizeof t);
  return t;
}

SynthSetup setupWith(std::initializer_list<int> keys, int prog) {
  SynthSetup s{};
  for (int k : keys) s.notes[k] = 1;
  s.arpProg = int16_t(prog);
  return s;
}

TEST(SynthArp, PatternsAndNames) {
  EXPECT_EQ(arp(setupWith({0, 4, 7}, 0)), "c1e1g1");
  EXPECT_EQ(arp(setupWith({1, 35}, 0)), "c#1b3");
  // x.xxxx..x.xxx.x. over one note: 10 notes and 6 two-blank rests.
  EXPECT_EQ(arp(setupWith({0}, 13)), "c1  c1c1c1c1    c1  c1c1c1  c1  ");
  EXPECT_EQ(arp(setupWith({}, 13)), "");
  // Two notes over pattern 0's rows walk until both counts meet again.
  const std::string two = arp(setupWith({0, 12}, 1));
  EXPECT_EQ(two.substr(0, 8), "c1  c2c1");
  // Every note on with many rests stays within the engine's buffer and ends
  // on a whole step.
  SynthSetup all{};
  for (int16_t& n : all.notes) n = 1;
  for (int p = 1; p < kSynthPatterns; p++) {
    all.arpProg = int16_t(p);
    const std::string t = arp(all);
    EXPECT_LE(t.size(), 2047u) << p;
    EXPECT_NE(t.back(), '#') << p;
  }
}

struct Synth {
  loadtest::Library lib;
  JLPlayer player;
  loadtest::Mounted<JLSynthPanel> m{3, 4, 2};
  // connectNow false: the caller adds files and connects.
  explicit Synth(bool connectNow = true) {
    player.setEngine(nullptr);
    jlPlayer = &player;
    lib.mkdirs("Library/Synth/Zeta");
    lib.mkdirs("Library/Synth/Alpha");
    if (connectNow) m.connect();
  }
  ~Synth() { jlPlayer = nullptr; }
  JLSynthPanel& p() { return m.panel; }
};

TEST(SynthPanel, OpensWithDefaultsAndSortedSynths) {
  Synth s;
  EXPECT_EQ(s.p().setup.volume, 100);
  EXPECT_EQ(s.p().setup.pan, 63);
  EXPECT_EQ(s.p().setup.arpProg, 7);
  EXPECT_EQ(s.p().setup.arpSpeed, 2);
  EXPECT_EQ(s.p().synthCount, 2);
  EXPECT_STREQ(s.p().synthNames[0], "Alpha");
  EXPECT_STREQ(s.p().setup.synthName, "Alpha");
  EXPECT_STREQ(s.p().loadedSynth, "Alpha");
  EXPECT_EQ(s.m.text(45), "Alpha");
  EXPECT_EQ(s.m.text(48), "7");
  EXPECT_EQ(s.m.text(47), "16");
  EXPECT_EQ(s.p().synthOn, 0);
}

TEST(SynthPanel, SongKeysLightAndPlayFromTheKeyboard) {
  Synth s;
  s.p().ledsForArpKeys("C");
  EXPECT_EQ(s.m.value(16), 1);  // key 0
  EXPECT_EQ(s.m.value(23), 1);  // key 12
  EXPECT_EQ(s.m.value(30), 1);  // key 24
  EXPECT_EQ(s.m.value(1), 0);   // key 1
  EXPECT_EQ(s.p().arpKeys[0], 0);
  EXPECT_EQ(s.p().arpKeys[2], 24);
  EXPECT_EQ(s.p().arpKeys[3], 255);
  // With Shift a key latches its note into the arpeggio.
  uloGlo.shift = 1;
  s.m.key('q');
  s.m.key('W');
  s.m.key('e');
  s.m.key('r');  // no fourth song key
  s.m.key('q', uloEvtKeyUp);
  uloGlo.shift = 0;
  EXPECT_EQ(s.p().setup.notes[0], 1);
  EXPECT_EQ(s.p().setup.notes[12], 1);
  EXPECT_EQ(s.p().setup.notes[24], 1);
  int on = 0;
  for (int16_t n : s.p().setup.notes) on += n;
  EXPECT_EQ(on, 3);
  // A flat-named key: "Ad" is A sharp.
  s.p().ledsForArpKeys("AdE");
  EXPECT_EQ(s.p().arpKeys[0], 4);
  EXPECT_EQ(s.p().arpKeys[1], 10);
}

// Shift and a song key latch its note whichever of the two is let go of
// first: the press decides, as the user did it. The keys come as the
// window delivers them, through the program's key translation.
TEST(SynthPanel, ShiftAndAKeyLatchWhicheverIsLetGoOfFirst) {
  Synth s;
  for (auto& k : QXScreen.keyPresses) k = 0;
  ULO_ResetKeyTranslation();
  s.p().ledsForArpKeys("C");  // Q W E: keys 0, 12, 24
  auto send = [&](Uint32 type, SDL_Keycode sym, SDL_Scancode code, Uint16 mod, const char* typed) {
    SDL_Event e;
    SDL_zero(e);
    e.type = type;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = code;
    e.key.keysym.mod = mod;
    if (ULO_TranslateEvent(e, uloGlo, 1, uloGlo.when + 1, nullptr, typed) == uloEventAction::handOver)
      QXScreen.events();
    uloGlo.what = uloEvtNull;
    s.p().onIdle();  // the idle pass after it
  };
  // Shift down, E down, Shift up, E up.
  send(SDL_KEYDOWN, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, KMOD_LSHIFT, nullptr);
  send(SDL_KEYDOWN, SDLK_e, SDL_SCANCODE_E, KMOD_LSHIFT, "E");
  send(SDL_KEYUP, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, 0, nullptr);
  EXPECT_EQ(s.p().setup.notes[24], 1) << "latched at the press";
  send(SDL_KEYUP, SDLK_e, SDL_SCANCODE_E, 0, nullptr);
  EXPECT_EQ(s.p().setup.notes[24], 1) << "and still after the key's release";
  EXPECT_EQ(s.p().heldNote(2), -1);
  // Shift down, W down, W up, Shift up.
  send(SDL_KEYDOWN, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, KMOD_LSHIFT, nullptr);
  send(SDL_KEYDOWN, SDLK_w, SDL_SCANCODE_W, KMOD_LSHIFT, "W");
  send(SDL_KEYUP, SDLK_w, SDL_SCANCODE_W, KMOD_LSHIFT, nullptr);
  send(SDL_KEYUP, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, 0, nullptr);
  EXPECT_EQ(s.p().setup.notes[12], 1);
  EXPECT_EQ(s.p().heldNote(1), -1);
  // Shift first again on E: switched off again, nothing left held.
  send(SDL_KEYDOWN, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, KMOD_LSHIFT, nullptr);
  send(SDL_KEYDOWN, SDLK_e, SDL_SCANCODE_E, KMOD_LSHIFT, "E");
  send(SDL_KEYUP, SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, 0, nullptr);
  send(SDL_KEYUP, SDLK_e, SDL_SCANCODE_E, 0, nullptr);
  EXPECT_EQ(s.p().setup.notes[24], 0);
  EXPECT_EQ(s.p().setup.notes[12], 1);
  for (int i = 0; i < JLSynthPanel::kComputerKeys; i++) EXPECT_EQ(s.p().heldNote(i), -1) << i;
  for (int16_t k : QXScreen.keyPresses) EXPECT_EQ(k, 0);
  ULO_ResetKeyTranslation();
}

TEST(SynthPanel, FirstNoteStartsTheSynthOnce) {
  Synth s;
  s.m.click(51);  // key 0
  EXPECT_EQ(s.p().synthOn, 1);
  EXPECT_EQ(s.p().autoOn, 0);
  EXPECT_EQ(s.m.value(49), 1);
  EXPECT_EQ(s.player.synthLed, 1);
  s.m.click(41);  // off by hand
  EXPECT_EQ(s.p().synthOn, 0);
  EXPECT_EQ(s.player.synthLed, 0);
  s.m.click(72);  // key 1
  EXPECT_EQ(s.p().synthOn, 0);
  EXPECT_EQ(s.p().setup.notes[1], 1);
  s.m.click(51);
  EXPECT_EQ(s.p().setup.notes[0], 0);
  EXPECT_EQ(s.m.value(16), 0);
}

TEST(SynthPanel, LatchedNotesKeepTheirKeysDrawnDown) {
  Synth s;
  s.m.click(51);  // key 0 on
  s.m.click(53);  // key 12 on
  EXPECT_EQ(s.m.value(51), 1);
  EXPECT_EQ(s.m.value(53), 1);
  EXPECT_EQ(s.m.value(72), 0);
  s.m.click(51);  // key 0 off again
  EXPECT_EQ(s.m.value(51), 0);
  EXPECT_EQ(s.m.value(53), 1);
  // A setup applied from elsewhere (a preset, a reopened mix) shows its own.
  s.p().setup.notes[12] = 0;
  s.p().setup.notes[1] = 1;
  s.p().applySetup();
  EXPECT_EQ(s.m.value(53), 0);
  EXPECT_EQ(s.m.value(72), 1);
}

TEST(SynthPanel, PresetsStoreOnlyChangesAndScroll) {
  Synth s;
  s.p().synths_add();  // nothing changed yet
  EXPECT_EQ(s.p().presetCount, 0);
  for (int i = 0; i < 30; i++) {
    s.m.click(short(51 + i % 5));
    s.m.click(40);
  }
  EXPECT_EQ(s.p().presetCount, kSynthPresets);
  EXPECT_EQ(s.p().presetSelected, kSynthPresets - 1);
  EXPECT_EQ(s.p().presetFirst, kSynthPresets - 6);
  EXPECT_EQ(s.m.value(92), kSynthPresets);  // the last ball shows 28
  s.m.click(37);
  EXPECT_EQ(s.p().presetFirst, kSynthPresets - 7);
  for (int i = 0; i < 40; i++) s.m.click(37);
  EXPECT_EQ(s.p().presetFirst, 0);
  EXPECT_EQ(s.m.value(87), 1);
  s.p().presetSelected = 1;
  s.p().synths_remove();
  EXPECT_EQ(s.p().presetCount, kSynthPresets - 1);
  EXPECT_EQ(s.p().presetSelected, 0);
}

TEST(SynthPanel, MixDocumentBlockRoundTrip) {
  Synth s;
  s.m.click(53);  // key 12
  s.p().setup.volume = 90;
  s.p().setup.arpProg = 13;
  std::strcpy(s.p().setup.synthName, "Zeta");
  s.m.click(40);
  uint8_t block[kSynthIcedBytes];
  s.p().iced_save(block);
  EXPECT_EQ(kSynthIcedBytes, 3308);
  EXPECT_EQ(block[72], 90);   // volume, little-endian after the 36 notes
  EXPECT_EQ(block[78], 13);   // pattern
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block + 82)), "Zeta");
  EXPECT_EQ(block[3306], 1);  // preset count
  // Out-of-range values from a foreign document are brought into range.
  block[78] = 99;
  uloAtomsWriter w;
  w.add(ULO_AtomTag("syic"), block, kSynthIcedBytes);
  ASSERT_TRUE(w.save((s.lib.tmp.ulo() + "mix.jld").c_str()));

  Synth t;
  uloAtomsFile f;
  ASSERT_TRUE(f.openForRead((s.lib.tmp.ulo() + "mix.jld").c_str()));
  ASSERT_TRUE(t.p().iced_load(f));
  EXPECT_EQ(t.p().presetCount, 1);
  EXPECT_EQ(t.p().presetSelected, -1);
  EXPECT_EQ(t.p().setup.volume, 90);
  EXPECT_EQ(t.p().setup.arpProg, kSynthPatterns - 1);
  EXPECT_STREQ(t.p().loadedSynth, "Zeta");
  EXPECT_EQ(t.p().setup.notes[12], 1);
  EXPECT_EQ(t.m.value(23), 1);
  // A file without the block changes nothing.
  uloAtomsWriter other;
  other.add(ULO_AtomTag("vers"), 1);
  ASSERT_TRUE(other.save((s.lib.tmp.ulo() + "none.jld").c_str()));
  uloAtomsFile g;
  ASSERT_TRUE(g.openForRead((s.lib.tmp.ulo() + "none.jld").c_str()));
  EXPECT_FALSE(t.p().iced_load(g));
  EXPECT_EQ(t.p().presetCount, 1);
}

// The real engine as the synth's sound: what it has loaded and plays.
struct EngineOn {
  JLEngine engine;
  EngineOn() {
    gep = &engine;
    engine.init();
    wDBSetManualFeed(true);
  }
  ~EngineOn() {
    engine.stop();
    wDBSetManualFeed(false);
    engine.exit();
    gep = nullptr;
  }
};

// Synth sounds told apart by the length of their lowest note.
struct Sounds : Synth {
  EngineOn on;
  Sounds() : Synth(false) {
    lib.wav("Library/Synth/Alpha/c2.wav", 1000);
    lib.wav("Library/Synth/Zeta/c2.wav", 3000);
    lib.mkdirs("Library/Synth/Mid");
    lib.wav("Library/Synth/Mid/c2.wav", 2000);
    m.connect();
  }
  int loadedFrames() const { return SynthSamps.notes[0].frames; }
};

TEST(SynthBrowser, DoneMakesTheClickedSoundTheSynthsSoundAndXKeepsIt) {
  Sounds s;
  ASSERT_EQ(s.loadedFrames(), 1000) << "the first sound, Alpha, is loaded at opening";
  loadtest::Mounted<JLLoadSynthPanel> browser{12, -1, 7};
  browser.connect(false);
  s.m.click(39);  // LOAD opens the browser
  ASSERT_TRUE(QXScreen.isShown(7));
  ASSERT_EQ(browser.panel.synthCount, 3);
  ASSERT_STREQ(browser.panel.names[2], "Zeta");
  browser.click(12);  // Zeta
  browser.click(6);   // DONE
  EXPECT_FALSE(QXScreen.isShown(7));
  EXPECT_STREQ(s.p().setup.synthName, "Zeta");
  EXPECT_STREQ(s.p().loadedSynth, "Zeta");
  EXPECT_EQ(s.m.text(45), "Zeta");
  EXPECT_EQ(s.loadedFrames(), 3000);

  // X after previewing another sound: the synth keeps (and plays) its own.
  s.m.click(39);
  browser.panel.control(20)->set(short(0));
  browser.click(20);  // previews on
  ASSERT_EQ(browser.panel.preview, 1);
  browser.click(11);  // Mid, heard
  EXPECT_EQ(s.loadedFrames(), 2000);
  browser.click(5);
  EXPECT_STREQ(s.p().setup.synthName, "Zeta");
  EXPECT_EQ(s.m.text(45), "Zeta");
  EXPECT_EQ(s.loadedFrames(), 3000);

  // DONE without a click changes nothing.
  s.m.click(39);
  browser.click(6);
  EXPECT_STREQ(s.p().setup.synthName, "Zeta");
  EXPECT_EQ(s.loadedFrames(), 3000);
}

TEST(SynthBrowser, EscapeClosesItAsItsXDoes) {
  Sounds s;
  loadtest::Mounted<JLLoadSynthPanel> browser{12, -1, 7};
  browser.connect(false);
  s.m.click(39);
  ASSERT_TRUE(QXScreen.isShown(7));
  browser.panel.control(20)->set(short(0));
  browser.click(20);  // previews on
  browser.click(12);  // Zeta, heard
  ASSERT_EQ(s.loadedFrames(), 3000);
  // Escape pressed and let go, through the screen.
  uloGlo.what = uloEvtKeyDown;
  uloGlo.keyCode = uloKeyEscape;
  uloGlo.character = uloKeyEscape;
  uloGlo.specialKey = 20;
  QXScreen.events();
  uloGlo.what = uloEvtKeyUp;
  uloGlo.specialKey = 0;
  QXScreen.events();
  EXPECT_FALSE(QXScreen.isShown(7));
  EXPECT_EQ(QXScreen.modalPanel, -1);
  EXPECT_TRUE(QXScreen.isShown(2)) << "only the browser closes";
  EXPECT_STREQ(s.p().setup.synthName, "Alpha") << "nothing chosen";
  EXPECT_EQ(s.m.text(45), "Alpha");
  EXPECT_EQ(s.loadedFrames(), 1000) << "the synth's own sound again";
}

// The synth's voice sounding note k as a held key, or null.
const SYNTHVOICE* keyVoice(int k) {
  for (const SYNTHVOICE& v : RealtimeSynth.voices)
    if (v.key && v.note == k && v.start != -1) return &v;
  return nullptr;
}

TEST(SynthPanel, AComputerKeySoundsFromItsPressToItsRelease) {
  Sounds s;
  for (SYNTHVOICE& v : RealtimeSynth.voices) v = SYNTHVOICE{-1, 0};
  for (auto& k : QXScreen.keyPresses) k = 0;
  s.p().ledsForArpKeys("C");  // Q W E play keys 0, 12, 24
  // Pressed (the screen's table holds it): the note sounds and its key is
  // drawn down; the arpeggio is left alone.
  QXScreen.keyPresses['w'] = 1;
  s.m.key('w');
  const SYNTHVOICE* v = keyVoice(12);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->releaseAt, INT64_MAX) << "held";
  EXPECT_EQ(s.p().heldNote(1), 12);
  EXPECT_EQ(s.m.value(53), 1) << "key 12 drawn down";
  EXPECT_EQ(s.p().setup.notes[12], 0);
  EXPECT_EQ(s.p().synthOn, 0);
  // Auto-repeats while held start nothing more.
  QXScreen.keyPresses['w'] = 5;
  s.m.key('w', uloEvtAutoKey);
  int sounding = 0;
  for (const SYNTHVOICE& x : RealtimeSynth.voices) sounding += x.key && x.start != -1;
  EXPECT_EQ(sounding, 1);
  // Still held on the next pass: nothing changes.
  uloGlo.what = uloEvtNull;
  s.p().onIdle();
  EXPECT_EQ(keyVoice(12)->releaseAt, INT64_MAX);
  // Let go (the table's entry cleared by the key-up): the note is released
  // and the key drawn up.
  QXScreen.keyPresses['w'] = 0;
  s.p().onIdle();
  ASSERT_NE(keyVoice(12), nullptr);
  EXPECT_NE(keyVoice(12)->releaseAt, INT64_MAX) << "released";
  EXPECT_EQ(s.p().heldNote(1), -1);
  EXPECT_EQ(s.m.value(53), 0);

  // Upper case (Shift let go before the key, Caps Lock) is the same key.
  QXScreen.keyPresses['Q'] = 1;
  s.m.key('Q');
  ASSERT_NE(keyVoice(0), nullptr);
  // Hiding the panel lets go of what it holds: no release reaches it then.
  QXScreen.hide(s.m.entry);
  EXPECT_NE(keyVoice(0)->releaseAt, INT64_MAX);
  EXPECT_EQ(s.p().heldNote(0), -1);
  QXScreen.keyPresses['Q'] = 0;
}

TEST(SynthPanel, AReopenedMixWithoutPresetsIsShownAndHeard) {
  Sounds s;
  SynthSetup doc{};
  for (int k : {0, 4, 7}) doc.notes[k] = 1;
  doc.volume = 77;
  doc.pan = 20;
  doc.arpMode = 1;
  doc.arpProg = 0;
  doc.arpSpeed = 3;
  std::strcpy(doc.synthName, "Zeta");
  uint8_t block[kSynthIcedBytes];
  JLSynthPanel writer;  // never opened: it only lays out the block
  writer.setup = doc;
  writer.iced_save(block);
  ASSERT_EQ(block[kSynthIcedBytes - 2], 0) << "the document keeps no presets";

  ASSERT_TRUE(s.p().iced_loadBlock(block, kSynthIcedBytes));
  // Shown: sound, knobs, pop-ups and the notes' lamps.
  EXPECT_EQ(s.m.text(45), "Zeta");
  EXPECT_EQ(s.m.value(43), 77);
  EXPECT_EQ(s.m.value(42), 20);
  EXPECT_EQ(s.m.text(46), "Dn");
  EXPECT_EQ(s.m.text(47), "32");
  EXPECT_EQ(s.m.text(48), "0");
  EXPECT_EQ(s.m.value(16), 1);  // key 0
  EXPECT_EQ(s.m.value(18), 1);  // key 4
  EXPECT_EQ(s.m.value(1), 0);   // key 1
  // Heard: the sound, the volume and the arpeggio of the document.
  EXPECT_EQ(s.loadedFrames(), 3000);
  EXPECT_EQ(RealtimeSynth.volume, 77);
  EXPECT_EQ(s.p().synthOn, 1);
  EXPECT_STREQ(RealtimeSynth.pattern, "c1e1g1");
  EXPECT_EQ(RealtimeSynth.stepsPerBeat, 8);

  // The song loaded after the document lights its keys beside the notes.
  s.p().ledsForArpKeys("D");
  EXPECT_EQ(s.m.value(16), 1);  // key 0: a note
  EXPECT_EQ(s.m.value(17), 1);  // key 2: the song's D
  EXPECT_EQ(s.m.value(1), 0);

  // A sound the library lacks leaves the loaded one playing.
  std::strcpy(writer.setup.synthName, "Gone");
  writer.iced_save(block);
  ASSERT_TRUE(s.p().iced_loadBlock(block, kSynthIcedBytes));
  EXPECT_STREQ(s.p().setup.synthName, "Zeta");
  EXPECT_EQ(s.m.text(45), "Zeta");
  EXPECT_EQ(s.loadedFrames(), 3000);
}

}  // namespace

namespace {

// ARP TO FILE: the panel's arpeggio through the engine's offline render,
// as long as one turn made up to whole 16-step patterns at the panel's
// speed and the playing tempo.
TEST(SynthPanel, ArpToFileRendersTheArpeggioTheLengthOfItsPatterns) {
  JLEngine engine;
  gep = &engine;
  engine.init();
  {
    Synth s;
    s.lib.wav("Library/Synth/Alpha/c2.wav", 1000);  // note c1; the others stay silent
    engine.synth_SetFolder(":Library:Synth:Alpha:");
    s.p().setup.arpProg = 0;
    s.p().noteHit(0);  // c1 alone: one step, made up to 16
    ASSERT_EQ(s.p().synthOn, 1);
    s.player.bpm = 120.0f;
    loadtest::Answer ok(1);
    const std::string out = s.lib.path("arp.take");  // not a sound extension: the preferred format's wins
    ASSERT_TRUE(s.p().arpToFile(out.c_str()));
    EXPECT_EQ(loadtest::Answer::asked(), 1) << "the user is told where the file went";
    SF_INFO info{};
    SNDFILE* f = sf_open(s.lib.path("arp.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(f, nullptr);
    std::vector<short> d(size_t(info.frames) * 2);
    sf_readf_short(f, d.data(), info.frames);
    sf_close(f);
    // 16 sixteenths at 120 BPM: one bar of 88200 frames; c1 on every step
    // (every 5512.5 frames), each sounding for its 1000 frames.
    ASSERT_EQ(info.frames, 88200);
    EXPECT_EQ(JL_ArpRenderFrames(JL_ArpRenderSteps("c1"), 4, 120.0f), 88200);
    for (int step = 0; step < 16; step++) {
      const int at = step * 22050 / 4;
      bool sounds = false;
      for (int i = at; i < at + 1000; i++) sounds = sounds || d[2 * size_t(i)] != 0;
      EXPECT_TRUE(sounds) << "step " << step;
      for (int i = at + 1001; i < (step + 1) * 22050 / 4; i++) ASSERT_EQ(d[2 * size_t(i)], 0) << "frame " << i;
    }
    EXPECT_EQ(access(s.lib.path("arp.wav.part").c_str(), F_OK), -1);

    // What played before the render plays again after it, as it played.
    s.player.play();
    ASSERT_TRUE(s.p().arpToFile(out.c_str()));
    EXPECT_TRUE(s.player.playing);
    EXPECT_FALSE(s.player.sequenceMode);
    s.player.stop();
    s.player.playSequence();
    ASSERT_TRUE(s.p().arpToFile(out.c_str()));
    EXPECT_TRUE(s.player.playing);
    EXPECT_TRUE(s.player.sequenceMode);
    s.player.stop();
    ASSERT_TRUE(s.p().arpToFile(out.c_str()));
    EXPECT_FALSE(s.player.playing);
  }
  engine.exit();
  gep = nullptr;
}

}  // namespace

namespace {

// A mouse press held for a few polls of the tracking loop; what the panel
// had done by the first poll (the finger still down) is kept.
JLSynthPanel* gHeldPanel = nullptr;
int gHeldPolls = 0;
int16_t gNoteWhileHeld = -1;
bool gSlideOff = false;
bool heldKey() {
  if (gNoteWhileHeld < 0 && gHeldPanel) gNoteWhileHeld = gHeldPanel->setup.notes[0];
  if (gSlideOff) uloGlo.mouseX = -100;
  uloGlo.when++;
  uloGlo.buttonDown = gHeldPolls-- > 0;
  return uloGlo.buttonDown != 0;
}

void pressKey(const uloRect& r) {
  uloGlo.when += 100;  // never a double click
  uloGlo.what = uloEvtMouseDown;
  uloGlo.mouseX = int16_t((r.left + r.right) / 2);
  uloGlo.mouseY = int16_t((r.top + r.bottom) / 2);
  uloGlo.buttonDown = 1;
  gHeldPolls = 5;
  gNoteWhileHeld = -1;
  QXScreen.events();
  uloGlo.what = uloEvtNull;
}

}  // namespace

TEST(SynthPanel, AKeyPressedWithTheMouseActsOnThePressAndOnlyOnce) {
  Synth s;
  ASSERT_NE(s.p().control(51), nullptr);
  const uloRect key0 = s.p().control(51)->rect;
  gHeldPanel = &s.p();
  ULO_SetTrackingSource(heldKey);
  pressKey(key0);
  EXPECT_EQ(gNoteWhileHeld, 1);  // on while the key is still held
  EXPECT_EQ(s.p().setup.notes[0], 1);  // the release does not switch it back
  EXPECT_EQ(s.p().synthOn, 1);
  EXPECT_EQ(s.m.value(16), 1);
  pressKey(key0);
  EXPECT_EQ(gNoteWhileHeld, 0);
  EXPECT_EQ(s.p().setup.notes[0], 0);
  // A press that slides off the key before the release still played it.
  gSlideOff = true;
  pressKey(key0);
  gSlideOff = false;
  EXPECT_EQ(gNoteWhileHeld, 1);
  EXPECT_EQ(s.p().setup.notes[0], 1);
  ULO_SetTrackingSource(nullptr);
  gHeldPanel = nullptr;
}

namespace {

// Whether key 0's own voice sounded (not yet let go) while the mouse
// button was still down.
bool gVoiceWhileHeld = false;
bool heldKeyWatchingVoice() {
  const SYNTHVOICE* v = keyVoice(0);
  gVoiceWhileHeld = gVoiceWhileHeld || (v && v->releaseAt == INT64_MAX);
  uloGlo.when++;
  uloGlo.buttonDown = gHeldPolls-- > 0;
  return uloGlo.buttonDown != 0;
}

}  // namespace

// A drawn key clicked while the arpeggio is off sounds its note from the
// press to the release, as a computer key does, and still switches the
// note in the arpeggio as its balloon says; with the arpeggio on the
// arpeggio plays it and the click adds no voice.
TEST(SynthPanel, AClickedKeySoundsItsNoteWhileTheArpeggioIsOff) {
  Sounds s;  // Alpha: c2, key 0
  const uloRect key0 = s.p().control(51)->rect;
  s.p().noteHit(5);  // the first note starts the synth; the user stops it
  s.p().noteHit(5);
  s.p().switchSynth(false);
  for (SYNTHVOICE& v : RealtimeSynth.voices) v = SYNTHVOICE{-1, 0};
  ULO_SetTrackingSource(heldKeyWatchingVoice);
  gVoiceWhileHeld = false;
  pressKey(key0);
  EXPECT_TRUE(gVoiceWhileHeld) << "heard while the key is held";
  ASSERT_NE(keyVoice(0), nullptr);
  EXPECT_NE(keyVoice(0)->releaseAt, INT64_MAX) << "let go with the button";
  EXPECT_EQ(s.p().clickVoice, -1);
  EXPECT_EQ(s.p().setup.notes[0], 1) << "latched";
  EXPECT_EQ(s.p().synthOn, 0) << "the arpeggio stays off";
  // Clicked again: it sounds again, and the note is switched off.
  for (SYNTHVOICE& v : RealtimeSynth.voices) v = SYNTHVOICE{-1, 0};
  gVoiceWhileHeld = false;
  pressKey(key0);
  EXPECT_TRUE(gVoiceWhileHeld);
  EXPECT_EQ(s.p().setup.notes[0], 0);
  // The arpeggio on: the latched note is its to play.
  s.p().switchSynth(true);
  for (SYNTHVOICE& v : RealtimeSynth.voices) v = SYNTHVOICE{-1, 0};
  gVoiceWhileHeld = false;
  pressKey(key0);
  EXPECT_FALSE(gVoiceWhileHeld);
  EXPECT_EQ(keyVoice(0), nullptr);
  EXPECT_EQ(s.p().setup.notes[0], 1);
  const std::string pattern = RealtimeSynth.pattern;
  EXPECT_FALSE(pattern.empty());
  EXPECT_EQ(pattern.find_first_not_of("c1 "), std::string::npos) << pattern;
  ULO_SetTrackingSource(nullptr);
}

namespace {

// The engine rendering offline on this thread (no device, no loader thread)
// at 120 BPM: a beat is 22050 frames, a sixteenth step 22050 / 4.
struct OfflineKeys {
  JLEngine engine;
  std::set<int64_t> starts;  // where the watched note's voices began
  int16_t block[512 * 2];
  OfflineKeys() {
    gep = &engine;
    engine.init();
  }
  ~OfflineKeys() {
    engine.offlineEnd();
    engine.exit();
    gep = nullptr;
  }
  void start() {
    ASSERT_TRUE(engine.offlineBegin());
    engine.samplesBpm(120.0f);
    engine.play();
    for (short t = 0; t < 8; ++t) engine.setTrackSample(t, -1);
    engine.offlineStart();
    engine.setMixerBpm(120.0f);
  }
  // Renders blocks until the synth has mixed past `until` (timeline
  // frames), noting every voice of `note` seen after each block.
  void renderTo(int64_t until, int note, const std::function<void()>& eachBlock = {}) {
    while (RealtimeSynth.renderedTo == kNoBlockYet || RealtimeSynth.renderedTo < until) {
      engine.offlinePull(block, 512);
      for (const SYNTHVOICE& v : RealtimeSynth.voices)
        if (v.start != -1 && v.note == note) starts.insert(v.start);
      if (eachBlock) eachBlock();
    }
  }
  static int64_t now() { return RealtimeSynth.renderedTo; }
};

// The sixteenth steps of the arpeggiator's grid in (from, to].
std::set<int64_t> gridSteps(int64_t from, int64_t to) {
  std::set<int64_t> out;
  for (int64_t beat = from / 22050; beat * 22050 <= to; beat++)
    for (int j = 1; j <= 4; j++) {
      const int64_t at = beat * 22050 + j * 22050 / 4;
      if (at > from && at <= to) out.insert(at);
    }
  return out;
}

void press(Synth& s, char key) {
  uloGlo.shift = 0;
  QXScreen.keyPresses[uint8_t(key)] = 1;
  s.m.key(key);
}

void release(Synth& s, char key) {
  QXScreen.keyPresses[uint8_t(key)] = 0;
  uloGlo.what = uloEvtNull;
  s.p().onIdle();
}

}  // namespace

TEST(SynthPanel, AHeldKeyFeedsTheRunningArpeggioUntilItsRelease) {
  OfflineKeys r;
  Synth s(false);
  s.lib.wav("Library/Synth/Alpha/c3.wav", 2000);  // note 12, longer than a block
  s.m.connect();
  for (auto& k : QXScreen.keyPresses) k = 0;
  s.p().ledsForArpKeys("C");  // W plays key 12
  s.p().setup.arpProg = 0;    // a note on every step
  s.p().switchSynth(true);    // the arpeggio runs, with no note latched
  r.start();
  r.renderTo(3 * 22050, 12);
  EXPECT_TRUE(r.starts.empty()) << "nothing plays before a key";

  press(s, 'w');
  const int64_t pressedAt = OfflineKeys::now();
  EXPECT_STREQ(RealtimeSynth.pattern, "c2") << "the held note is the arpeggio";
  EXPECT_EQ(s.p().setup.notes[12], 0) << "and is not latched";
  r.renderTo(pressedAt + 2 * 22050 + 100, 12);
  const int64_t releasedAt = OfflineKeys::now();
  // The first note at the press, then one on every sixteenth while held.
  std::set<int64_t> want = gridSteps(pressedAt, releasedAt);
  want.insert(pressedAt);
  EXPECT_EQ(r.starts, want);
  EXPECT_GE(want.size(), 9u);

  release(s, 'w');
  EXPECT_EQ(RealtimeSynth.arpMode, 0) << "no note left: the arpeggio stops";
  r.renderTo(releasedAt + 2 * 22050, 12);
  EXPECT_EQ(r.starts, want) << "no note after the release";
  EXPECT_EQ(s.p().heldNote(1), -1);

  // A latched note keeps playing; a held one joins it and leaves it again.
  s.p().ledsForArpKeys("CD");  // Q W E R T Y = keys 0, 2, 12, 14, 24, 26
  s.p().noteHit(0);
  EXPECT_STREQ(RealtimeSynth.pattern, "c1");
  press(s, 'e');  // key 12
  EXPECT_STREQ(RealtimeSynth.pattern, "c1c2");
  release(s, 'e');
  EXPECT_STREQ(RealtimeSynth.pattern, "c1");
  EXPECT_NE(RealtimeSynth.arpMode, 0);
  EXPECT_EQ(s.p().setup.notes[0], 1);
  EXPECT_EQ(s.p().setup.notes[12], 0);
}

TEST(SynthPanel, WithTheArpeggioOffAHeldKeyRingsToItsSamplesEnd) {
  OfflineKeys r;
  Synth s(false);
  s.lib.wav("Library/Synth/Alpha/c3.wav", 3000);
  s.m.connect();
  for (auto& k : QXScreen.keyPresses) k = 0;
  s.p().ledsForArpKeys("C");
  ASSERT_EQ(s.p().synthOn, 0);
  r.start();
  r.renderTo(22050, 12);
  press(s, 'w');
  const int64_t pressedAt = OfflineKeys::now();
  // Held for longer than its sample: it plays whole, once, and ends there.
  const SYNTHVOICE* v = keyVoice(12);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->start, pressedAt);
  int cut = 0, lingered = 0;
  r.renderTo(pressedAt + 3000 + 2048, 12, [&] {
    const bool sounding = keyVoice(12) != nullptr;
    if (OfflineKeys::now() < pressedAt + 3000) cut += !sounding;
    else lingered += sounding;
  });
  EXPECT_EQ(cut, 0) << "not cut while held";
  EXPECT_EQ(lingered, 0) << "over at the sample's end";
  EXPECT_EQ(r.starts, std::set<int64_t>{pressedAt});
  release(s, 'w');
  EXPECT_EQ(RealtimeSynth.arpMode, 0);
  r.renderTo(OfflineKeys::now() + 22050, 12);
  EXPECT_EQ(r.starts, std::set<int64_t>{pressedAt});
}

namespace {

// The groove panel's transport with every track of the groove muted or
// empty: play arms the engine and sends eight "no loop" selections.
struct AllTracksSilent : JLPlayerTransport {
  void setPlayMode(bool on) override {
    if (!on) {
      gep->stop();
      return;
    }
    gep->play();
    gep->changesBegin();
    for (short t = 0; t < 8; ++t) gep->setTrackSample(t, -1);
    gep->changesEnd();
  }
  void onItem_seq_Play() override {
    setPlayMode(false);
    setPlayMode(true);
  }
};

// The loudest output value in `blocks` blocks of 512 frames mixed live.
int loudestLive(int blocks) {
  int16_t out[512 * 2];
  int peak = 0;
  for (int b = 0; b < blocks; ++b) {
    GetResampled(out, 512);
    for (int16_t v : out) peak = std::max(peak, std::abs(int(v)));
  }
  return peak;
}

}  // namespace

// Nothing in the groove plays: Play must still run the timeline, or a key
// held (arpeggio off or on) is drawn down and never heard.
TEST(SynthPanel, WithEveryTrackSilentPlayStillLetsTheSynthSound) {
  EngineOn on;
  Synth s(false);
  s.lib.wav("Library/Synth/Alpha/c3.wav", 3000);  // note 12, key W
  s.m.connect();
  AllTracksSilent transport;
  s.player.setEngine(&on.engine);
  s.player.connectPanels(nullptr, &transport, nullptr,
                         [](void* panel) { static_cast<JLSynthPanel*>(panel)->playerSaidPlay(); }, &s.p());
  on.engine.samplesBpm(120.0f);
  for (auto& k : QXScreen.keyPresses) k = 0;
  s.p().ledsForArpKeys("C");
  // As a user does it: Play, Stop, Play.
  s.player.play();
  s.player.stop();
  s.player.play();
  ASSERT_EQ(PlayingStatus.load(), 2) << "the timeline does not run";
  EXPECT_EQ(on.engine.getMixerBeat(), 0);
  PauseLoader();  // this thread mixes; no loader visits are needed
  EXPECT_EQ(loudestLive(4), 0) << "nothing sounds before a key";
  EXPECT_EQ(TimeLine.load(), 4 * 512) << "the timeline follows the frames mixed";

  press(s, 'w');
  ASSERT_NE(keyVoice(12), nullptr);
  EXPECT_EQ(keyVoice(12)->start, 4 * 512) << "the note starts where the timeline is";
  EXPECT_GT(loudestLive(2), 1000) << "arpeggio off: the held key is heard";
  release(s, 'w');

  // The arpeggio switched on: the held key is its note, heard at once.
  s.p().setup.arpProg = 0;
  s.p().switchSynth(true);
  for (SYNTHVOICE& v : RealtimeSynth.voices) v.start = -1;
  press(s, 'w');
  EXPECT_STREQ(RealtimeSynth.pattern, "c2");
  EXPECT_GT(loudestLive(2), 1000) << "arpeggio on: the held key is heard";
  release(s, 'w');

  // Sequence play of grooves that are all silent runs the timeline too.
  s.player.stop();
  ASSERT_EQ(PlayingStatus.load(), 0);
  s.player.playSequence();
  EXPECT_EQ(PlayingStatus.load(), 2);
  s.player.stop();
}
