#include "tools/demolib/songs.h"

namespace demolib {

namespace {

using Render = std::function<void(Loop&)>;

// ---------------------------------------------------------------- patches

Patch bassPatch() {
  Patch p;
  p.saw = 1.0;
  p.sub = 0.6;
  p.cutoff = 220;
  p.envOctaves = 2.6;
  p.filterDecay = 0.09;
  p.q = 1.3;
  p.decay = 0.25;
  p.sustain = 0.55;
  p.release = 0.03;
  p.drive = 0.6;
  return p;
}

Patch subPatch() {
  Patch p = bassPatch();
  p.saw = 0.25;
  p.sub = 1.2;
  p.cutoff = 160;
  p.envOctaves = 1.2;
  p.sustain = 0.85;
  p.release = 0.06;
  p.drive = 0.3;
  return p;
}

Patch acidPatch() {
  Patch p;
  p.saw = 1.0;
  p.cutoff = 260;
  p.envOctaves = 3.2;
  p.filterDecay = 0.16;
  p.q = 7.0;
  p.decay = 0.3;
  p.sustain = 0.5;
  p.release = 0.02;
  p.drive = 1.2;
  return p;
}

Patch rollPatch() {
  Patch p = bassPatch();
  p.pulse = 0.5;
  p.pulseWidth = 0.3;
  p.sub = 0.8;
  p.cutoff = 300;
  p.envOctaves = 2.0;
  p.filterDecay = 0.06;
  p.decay = 0.1;
  p.sustain = 0.3;
  return p;
}

Patch padPatch(double cutoff = 1400) {
  Patch p;
  p.voices = 5;
  p.detuneCents = 18;
  p.cutoff = cutoff;
  p.envOctaves = 0.6;
  p.filterDecay = 1.2;
  p.q = 0.8;
  p.attack = 0.25;
  p.decay = 1.0;
  p.sustain = 0.8;
  p.release = 0.45;
  p.width = 0.9;
  p.keyTrack = false;
  return p;
}

Patch supersawPatch() {
  Patch p = padPatch(3200);
  p.voices = 7;
  p.detuneCents = 26;
  p.attack = 0.005;
  p.decay = 0.4;
  p.sustain = 0.6;
  p.release = 0.12;
  return p;
}

Patch stabPatch() {
  Patch p;
  p.voices = 3;
  p.detuneCents = 9;
  p.saw = 0.8;
  p.pulse = 0.4;
  p.cutoff = 700;
  p.envOctaves = 2.6;
  p.filterDecay = 0.1;
  p.q = 1.4;
  p.decay = 0.14;
  p.sustain = 0.15;
  p.release = 0.09;
  p.width = 0.6;
  p.keyTrack = false;
  return p;
}

Patch keysPatch() {
  Patch p;
  p.voices = 2;
  p.detuneCents = 5;
  p.saw = 0.3;
  p.pulse = 0.7;
  p.pulseWidth = 0.45;
  p.cutoff = 900;
  p.envOctaves = 1.8;
  p.filterDecay = 0.25;
  p.decay = 0.45;
  p.sustain = 0.25;
  p.release = 0.2;
  p.width = 0.4;
  p.keyTrack = false;
  return p;
}

Patch pluckPatch() {
  Patch p;
  p.voices = 2;
  p.detuneCents = 8;
  p.saw = 0.8;
  p.pulse = 0.5;
  p.cutoff = 500;
  p.envOctaves = 3.4;
  p.filterDecay = 0.11;
  p.q = 1.5;
  p.decay = 0.22;
  p.sustain = 0.12;
  p.release = 0.12;
  p.width = 0.5;
  return p;
}

Patch leadPatch() {
  Patch p;
  p.voices = 3;
  p.detuneCents = 12;
  p.cutoff = 1800;
  p.envOctaves = 1.2;
  p.filterDecay = 0.2;
  p.q = 1.1;
  p.attack = 0.01;
  p.decay = 0.3;
  p.sustain = 0.7;
  p.release = 0.1;
  p.width = 0.5;
  p.keyTrack = false;
  return p;
}

Patch arpPatch() {
  Patch p;
  p.saw = 1.0;
  p.pulse = 0.3;
  p.cutoff = 700;
  p.envOctaves = 3.0;
  p.filterDecay = 0.07;
  p.q = 2.0;
  p.decay = 0.1;
  p.sustain = 0.0;
  p.release = 0.05;
  return p;
}

// ---------------------------------------------------------------- loop makers

LoopDef loopDef(const std::string& label, int bars, double peakDb, Render r) {
  return LoopDef{label, bars, peakDb, std::move(r)};
}

Render kicks(const Grid& g, KickTone tone, const std::string& pattern, double rumble = 0.0) {
  return [=](Loop& loop) {
    Rng rng(11);
    playSteps(g, pattern, 1, 0.0, rng, [&](long at, double v, int) { kick(loop, at, tone, v); });
    if (rumble > 0) {
      // The techno rumble: the kick's own reverb, low-passed and ducked.
      Loop tail = loop;
      loopReverb(tail, 1.0, 0.9, 180.0);
      for (int i = 0; i < tail.frames; ++i) {
        tail.l[i] -= loop.l[i];
        tail.r[i] -= loop.r[i];
      }
      loopPump(tail, g.beatFrames(), 0.95, 0.09);
      loop.mixIn(tail, rumble);
    }
  };
}

// Claps ('X', 'x', 'g') and snares (same characters in a second pattern).
Render claps(const Grid& g, const std::string& clapPattern, const std::string& snarePattern, double room,
             double snareTone = 195.0, double swing = 0.0) {
  return [=](Loop& loop) {
    Rng rng(23);
    if (!clapPattern.empty())
      playSteps(g, clapPattern, 1, swing, rng, [&](long at, double v, int) { clap(loop, at, rng, v, 0.05); });
    if (!snarePattern.empty())
      playSteps(g, snarePattern, 1, swing, rng,
                [&](long at, double v, int) { snare(loop, at, rng, snareTone, 16.0, v * 0.9, -0.05); });
    if (room > 0) loopReverb(loop, room, 0.45, 5000);
  };
}

// A snare roll that rises in level over the bar.
Render snareRoll(const Grid& g) {
  return [=](Loop& loop) {
    Rng rng(29);
    for (int s = 0; s < 16; ++s) {
      const double v = 0.25 + 0.75 * s / 15.0;
      snare(loop, g.step(s), rng, 210.0, 22.0, v, 0.0);
      if (s >= 8) snare(loop, g.step(s) + g.stepFrames() / 2, rng, 210.0, 22.0, v * 0.8, 0.0);
    }
    loopReverb(loop, 0.12, 0.4, 6000);
  };
}

Render hats(const Grid& g, const std::string& closed, const std::string& open, double swing,
            const std::string& rides = "", double brightness = 1.0) {
  return [=](Loop& loop) {
    Rng rng(37);
    if (!closed.empty())
      playSteps(g, closed, 1, swing, rng,
                [&](long at, double v, int s) { hat(loop, at, rng, 0.035 + 0.01 * (s % 4 == 2), v * 0.8, 0.25, brightness); });
    if (!open.empty())
      playSteps(g, open, 1, swing, rng, [&](long at, double v, int) { hat(loop, at, rng, 0.2, v, -0.2, brightness); });
    if (!rides.empty())
      playSteps(g, rides, 1, swing, rng, [&](long at, double v, int) { ride(loop, at, rng, v, 0.35); });
  };
}

// Percussion: a pattern per voice, in the order conga high, conga low, rim,
// clave, shaker, cowbell; empty patterns play nothing.
Render percs(const Grid& g, const std::vector<std::string>& p, double swing, double tuning = 1.0) {
  return [=](Loop& loop) {
    Rng rng(41);
    auto voice = [&](size_t i, const std::function<void(long, double)>& f) {
      if (i < p.size() && !p[i].empty()) playSteps(g, p[i], 1, swing, rng, [&](long at, double v, int) { f(at, v); });
    };
    voice(0, [&](long at, double v) { tom(loop, at, 330.0 * tuning, 0.09, v * 0.8, 0.45); });
    voice(1, [&](long at, double v) { tom(loop, at, 215.0 * tuning, 0.13, v * 0.9, -0.35); });
    voice(2, [&](long at, double v) { rim(loop, at, rng, v * 0.8, 0.2); });
    voice(3, [&](long at, double v) { clave(loop, at, 2500.0 * tuning, v * 0.6, -0.3); });
    voice(4, [&](long at, double v) { shaker(loop, at, rng, v * 0.7, 0.5); });
    voice(5, [&](long at, double v) { cowbell(loop, at, v * 0.5, -0.25); });
    loopReverb(loop, 0.1, 0.3, 7000);
  };
}

Render toms(const Grid& g, const std::string& pattern, double baseHz) {
  return [=](Loop& loop) {
    Rng rng(43);
    playSteps(g, pattern, 1, 0.0, rng, [&](long at, double v, int s) {
      const double hz = baseHz * (s < 8 ? 1.5 : s < 12 ? 1.2 : 1.0);
      tom(loop, at, hz, 0.22, v, (s % 3 - 1) * 0.4);
    });
    loopReverb(loop, 0.2, 0.5, 4000);
  };
}

// A bass line in the bass pitch language; 'accents' marks accented steps
// with 'a' (filter opens further).
Render bassLine(const Grid& g, const std::string& pattern, int bars, Patch patch, double swing = 0.0,
                const std::string& accents = "", int transpose = 0) {
  return [=](Loop& loop) {
    playNotes(g, pattern, bars, swing, [&](char c, int s) { return bassPitch(g, c, s); },
              [&](long at, long gate, int note, int s) {
                const bool acc = !accents.empty() && accents[(size_t)s % accents.size()] == 'a';
                synthNote(loop, at, gate, note + transpose, patch, acc ? 1.0 : 0.75, 0.0, (uint32_t)s, acc ? 1.2 : 0.0);
              });
  };
}

Render chords(const Grid& g, const std::string& pattern, Patch patch, int transpose, double pump = 0.0,
              double delay = 0.0, double room = 0.0) {
  return [=](Loop& loop) {
    playChords(g, loop, pattern, 2, patch, 0.6, transpose, 101);
    if (pump > 0) loopPump(loop, g.beatFrames(), pump, 0.16);
    if (delay > 0) loopDelay(loop, (int)(g.stepFrames() * 3), 0.45, delay, true, 2500);
    if (room > 0) loopReverb(loop, room, 0.7, 5000);
  };
}

// 16th gating of a held pad, the trance gate.
Render gatedPad(const Grid& g, const std::string& gate, Patch patch, int transpose) {
  return [=](Loop& loop) {
    playChords(g, loop, "x-------", 2, patch, 0.6, transpose, 131);
    const long step = g.stepFrames();
    for (int i = 0; i < loop.frames; ++i) {
      const int s = (int)(i / step);
      const double pos = (double)(i % step) / step;
      const bool on = gate[(size_t)s % gate.size()] != '.';
      const double shape = on ? std::min(1.0, pos * 40.0) * (pos > 0.8 ? (1.0 - pos) / 0.2 : 1.0) : 0.0;
      loop.l[i] *= shape;
      loop.r[i] *= shape;
    }
    loopDelay(loop, (int)(step * 3), 0.3, 0.25, true, 4000);
  };
}

Render melody(const Grid& g, const std::string& pattern, int bars, Patch patch, int octaveBase, double delay,
              double room = 0.0, double swing = 0.0) {
  return [=](Loop& loop) {
    playNotes(g, pattern, bars, swing, [&](char c, int) { return melodyPitch(g, c, octaveBase); },
              [&](long at, long gate, int note, int s) { synthNote(loop, at, gate, note, patch, 0.7, 0.0, (uint32_t)s + 7); });
    if (delay > 0) loopDelay(loop, (int)(g.stepFrames() * 3), 0.4, delay, true, 3500);
    if (room > 0) loopReverb(loop, room, 0.6, 6000);
  };
}

Render arp(const Grid& g, const std::string& pattern, int bars, Patch patch, int transpose, double delay,
           double swing = 0.0) {
  return [=](Loop& loop) {
    playNotes(g, pattern, bars, swing, [&](char c, int s) { return arpPitch(g, c, s, transpose); },
              [&](long at, long gate, int note, int s) {
                const double pan = (s % 4 - 1.5) * 0.25;
                synthNote(loop, at, gate, note, patch, s % 4 == 0 ? 0.8 : 0.6, pan, (uint32_t)s + 3, s % 4 == 0 ? 0.5 : 0.0);
              });
    if (delay > 0) loopDelay(loop, (int)(g.stepFrames() * 3), 0.42, delay, true, 4000);
  };
}

Render fxRiser(uint32_t seed) {
  return [=](Loop& loop) {
    Rng rng(seed);
    riser(loop, 0, loop.frames, rng, 1.0);
  };
}
Render fxDown(uint32_t seed) {
  return [=](Loop& loop) {
    Rng rng(seed);
    downlifter(loop, 0, loop.frames, rng, 1.0);
    loopReverb(loop, 0.3, 0.7, 5000);
  };
}
Render fxImpact(uint32_t seed) {
  return [=](Loop& loop) {
    Rng rng(seed);
    impact(loop, 0, rng, 1.0);
    loopReverb(loop, 0.35, 0.85, 4000);
  };
}
Render fxSweep(uint32_t seed, double cycles) {
  return [=](Loop& loop) {
    Rng rng(seed);
    noiseSweep(loop, 0, loop.frames, rng, 1.0, cycles);
  };
}

// Eight tracks: the slot numbers of a style row.
std::vector<int> row(std::initializer_list<int> v) { return std::vector<int>(v); }

std::vector<std::string> nineGroups(const std::vector<GroupDef>& groups) {
  std::vector<std::string> names;
  for (const GroupDef& gr : groups) names.push_back(gr.name);
  return names;
}

// Arrangements over the nine groups kick, clap, hats, perc, bass,
// chords, lead, arp, fx (slots in that order).
std::vector<StyleDef> arrangements(const std::vector<GroupDef>& groups) {
  const std::vector<std::string> slots = nineGroups(groups);
  StyleDef club{"Club", slots,
                {row({0, -1, 2, -1, -1, -1, -1, 8}), row({0, -1, 2, 3, -1, -1, -1, -1}),
                 row({0, 1, 2, 3, 4, -1, -1, -1}), row({0, 1, 2, 3, 4, 5, -1, -1}),
                 row({0, 1, 2, 3, 4, 5, -1, 7}), row({0, 1, 2, 3, 4, 5, 6, 7}),
                 row({-1, -1, 2, -1, -1, 5, 6, 8}), row({-1, -1, -1, 3, -1, 5, 6, 7}),
                 row({0, 1, 2, 3, 4, 5, 6, 8}), row({0, 1, 2, 3, 4, 5, 6, 7}),
                 row({0, 1, 2, -1, 4, -1, -1, 7}), row({0, -1, 2, -1, 4, -1, -1, -1})}};
  StyleDef deep{"Deep", slots,
                {row({-1, -1, -1, -1, -1, 5, -1, -1}), row({-1, -1, 2, -1, -1, 5, -1, -1}),
                 row({0, -1, 2, -1, -1, 5, -1, 7}), row({0, -1, 2, 3, 4, 5, -1, 7}),
                 row({0, 1, 2, 3, 4, 5, -1, 7}), row({0, 1, 2, 3, 4, -1, 6, 7}),
                 row({-1, 1, 2, 3, -1, 5, 6, -1}), row({0, 1, 2, 3, 4, 5, 6, 7})}};
  StyleDef tool{"Tool", slots,
                {row({0, -1, -1, -1, 4, -1, -1, -1}), row({0, -1, 2, -1, 4, -1, -1, -1}),
                 row({0, 1, 2, -1, 4, -1, -1, 7}), row({0, 1, 2, 3, 4, -1, -1, 7}),
                 row({0, 1, 2, 3, 4, -1, 6, -1}), row({0, 1, 2, 3, 4, 5, 6, 8})}};
  // A long build that holds the drums back, and a stripped tool with the
  // lead and arp trading over the beat.
  StyleDef peak{"Peak", slots,
                {row({-1, -1, 2, -1, -1, 5, -1, 8}), row({-1, -1, 2, -1, 4, 5, -1, 7}),
                 row({0, -1, 2, -1, 4, 5, -1, 7}), row({0, 1, 2, -1, 4, 5, 6, -1}),
                 row({0, 1, 2, 3, 4, 5, 6, -1}), row({-1, -1, 2, 3, -1, 5, 6, 8}),
                 row({0, 1, 2, 3, 4, -1, 6, 7}), row({0, 1, 2, 3, 4, 5, 6, 7}),
                 row({0, 1, 2, -1, 4, 5, -1, 7}), row({0, -1, 2, -1, 4, -1, -1, 8})}};
  StyleDef dub{"Dub", slots,
               {row({0, -1, -1, 3, 4, -1, -1, -1}), row({0, -1, 2, 3, 4, -1, -1, -1}),
                row({0, -1, 2, 3, 4, -1, 6, -1}), row({0, 1, 2, -1, 4, -1, -1, 7}),
                row({0, 1, 2, 3, 4, -1, 6, -1}), row({0, 1, 2, 3, 4, 5, -1, 7}),
                row({-1, -1, 2, 3, 4, 5, -1, 8}), row({0, 1, 2, 3, 4, -1, 6, 7})}};
  return {club, deep, tool, peak, dub};
}

std::vector<RandomSetDef> randomSets(const std::vector<GroupDef>& groups) {
  const std::vector<std::string> n = nineGroups(groups);
  // Sparse to full: the random mixer cuts set k to the preference limit
  // of set k, 4, 5, 6 and 7 tracks by default, so the fullest set is the
  // last one and the first still brings beat, bass and harmony.
  return {
      {"Groove", {n[0], n[2], n[4], n[5]}},
      {"Rhythm", {n[0], n[1], n[2], n[3], n[4]}},
      {"Melodic", {n[4], n[5], n[6], n[7], n[8]}},
      {"Full", {n[0], n[1], n[2], n[3], n[4], n[5], n[6], n[7]}},
  };
}

// ---------------------------------------------------------------- house

SongDef neonBoulevard() {
  // A minor: Am7, Fmaj7, Cadd9, G, a half bar each.
  const Grid g(125, {{45, {57, 60, 64, 67}}, {41, {53, 57, 60, 64}}, {48, {55, 60, 62, 64}}, {43, {55, 59, 62, 67}}},
               57);
  const double sw = 0.16;  // a gentle shuffle
  SongDef s;
  s.folder = "NeonBoulevard";
  s.title = "Neon Boulevard - House";
  s.collection = "Jamloom Club";
  s.description = {"Warm late-night house in A minor at 125 BPM: shuffled hats, offbeat",
                   "bass and a four-chord progression that moves every half bar."};
  s.arpNote = "A C D E G";
  s.bpm = g.bpm();
  s.motif = 0;
  s.accent[0] = 255, s.accent[1] = 90, s.accent[2] = 200;
  KickTone k;
  KickTone deep = k;
  deep.startHz = 140, deep.endHz = 44, deep.ampDecay = 4.5, deep.click = 0.2, deep.drive = 1.2, deep.seconds = 0.7;
  s.groups = {
      {"kick", 110, 63,
       {loopDef("Four", 1, -3.5, kicks(g, k, "X...X...X...X...")),
        loopDef("Deep", 1, -3.5, kicks(g, deep, "X...X...X...X...")),
        loopDef("Skip", 1, -3.5, kicks(g, k, "X...X...X...X.g.")),
        loopDef("Fill", 1, -3.5, kicks(g, k, "X...X...X...XgXg"))}},
      {"clap", 100, 66,
       {loopDef("Clap", 1, -5, claps(g, "....X.......X...", "", 0.18)),
        loopDef("Snap", 1, -5, claps(g, "....X.......X...", "....x.......x...", 0.12)),
        loopDef("Ghost", 1, -5, claps(g, "....X..g....X...", "...........g...g", 0.15, 195, sw)),
        loopDef("Roll", 1, -5, claps(g, "....X.......X...", "..........g..gxX", 0.12))}},
      {"hats", 92, 70,
       {loopDef("Offbeat", 1, -7, hats(g, "", "..X...X...X...X.", sw)),
        loopDef("Shuffle", 1, -8, hats(g, "xgXgxgXgxgXgxgXg", "", 0.33)),
        loopDef("Mixed", 1, -7, hats(g, "xg.gxg.gxg.gxg.g", "..X...X...X...X.", sw)),
        loopDef("Ride", 1, -8, hats(g, "g.g.g.g.g.g.g.g.", "", sw, "X.x.X.x.X.x.X.x."))}},
      {"perc", 88, 58,
       {loopDef("Conga", 1, -8, percs(g, {"..x..x......x...", "x.....x...x...x."}, sw)),
        loopDef("Shaker", 1, -9, percs(g, {"", "", "", "", "xgXgxgXgxgXgxgXg"}, 0.3)),
        loopDef("Clave", 1, -8, percs(g, {"", "", "x..x..x...x.x...", "", ""}, sw)),
        loopDef("Bell", 1, -9, percs(g, {"", "", "", "..x.......x.x...", "", "......x.......x."}, sw))}},
      {"bass", 104, 63,
       {loopDef("Offbeat", 2, -4.5, bassLine(g, "..r-..r-..r-..R-", 2, bassPatch())),
        loopDef("Funky", 2, -4.5, bassLine(g, "r..rR.r..rR.m.r.", 2, bassPatch(), sw)),
        loopDef("Sub", 2, -4.5, bassLine(g, "r-----.r-----.f.", 2, subPatch())),
        loopDef("Jack", 2, -5, bassLine(g, "r.rR.rr.r.Rr.rRf", 2, acidPatch(), sw, "a...a..a..a...a.", -12))}},
      {"chords", 92, 63,
       {loopDef("Stabs", 2, -6, chords(g, "...x..x....x..x.", stabPatch(), 0, 0, 0.3, 0.1)),
        loopDef("Pad", 2, -7, chords(g, "x-------", padPatch(), 0, 0, 0, 0.25)),
        loopDef("Keys", 2, -6, chords(g, "x..x..x.x..x..x.", keysPatch(), 12, 0, 0, 0.15)),
        loopDef("Pump", 2, -7, chords(g, "x-------", padPatch(2200), 0, 0.75, 0, 0.1))}},
      {"lead", 86, 60,
       {loopDef("Hook", 2, -6, melody(g, "4--2--4-7--5--4-6--4--2-3--1--3-", 2, pluckPatch(), 60, 0.35, 0.1)),
        loopDef("Answer", 2, -6, melody(g, "7-6-4-2-..4-5-4-2-4-6-7-..6-5-3-", 2, leadPatch(), 60, 0.25, 0.15)),
        loopDef("Riff", 1, -7, melody(g, "7.4.7.7-4.2.4.7.", 1, pluckPatch(), 60, 0.3)),
        loopDef("Chops", 1, -7, melody(g, "4.4..7.4..4.2-0.", 1, keysPatch(), 72, 0.3, 0.0, sw))}},
      {"arp", 82, 68,
       {loopDef("Up", 2, -8, arp(g, "1234567887654321", 2, arpPatch(), 12, 0.3)),
        loopDef("Eighths", 2, -8, arp(g, "1-3-5-3-2-4-6-4-", 2, arpPatch(), 0, 0.35)),
        loopDef("Pulse", 1, -8, melody(g, "7.7.0.7.7.7.0.4.", 1, arpPatch(), 72, 0.4)),
        loopDef("Sparkle", 2, -9, arp(g, "5.7.6.8.5.7.6.9.", 2, arpPatch(), 12, 0.45))}},
      {"fx", 80, 63,
       {loopDef("Riser", 1, -7, fxRiser(101)), loopDef("Down", 1, -7, fxDown(102)),
        loopDef("Impact", 1, -5, fxImpact(103)), loopDef("Sweep", 1, -8, fxSweep(104, 2))}},
  };
  s.randomSets = randomSets(s.groups);
  std::vector<StyleDef> st = arrangements(s.groups);
  s.styles = {st[0], st[1], st[3], st[2]};
  return s;
}

// ---------------------------------------------------------------- techno

SongDef ironPulse() {
  // F minor: Fm7, Fm7, Dbmaj7, Eb, half a bar each; dark and steady.
  const Grid g(135, {{41, {53, 56, 60, 63}}, {41, {53, 56, 60, 63}}, {37, {49, 53, 56, 60}}, {39, {51, 55, 58, 63}}},
               53);
  SongDef s;
  s.folder = "IronPulse";
  s.title = "Iron Pulse - Techno";
  s.collection = "Jamloom Club";
  s.description = {"Driving warehouse techno in F minor at 135 BPM: rumbling kicks, rolling",
                   "sixteenth bass, acid lines and dub chords with long echoes."};
  s.arpNote = "F Gd C Dd";
  s.bpm = g.bpm();
  s.motif = 3;
  s.accent[0] = 255, s.accent[1] = 150, s.accent[2] = 40;
  KickTone punch;
  punch.startHz = 210, punch.endHz = 48, punch.pitchDecay = 38, punch.ampDecay = 8, punch.drive = 2.5, punch.click = 0.45;
  KickTone hard = punch;
  hard.drive = 4.0, hard.ampDecay = 11, hard.seconds = 0.35;
  s.groups = {
      {"kick", 112, 63,
       {loopDef("Punch", 1, -3.5, kicks(g, punch, "X...X...X...X...")),
        loopDef("Rumble", 1, -3.5, kicks(g, punch, "X...X...X...X...", 0.9)),
        loopDef("Hard", 1, -3.5, kicks(g, hard, "X...X...X...X...")),
        loopDef("Double", 1, -3.5, kicks(g, punch, "X...X...X...X.x.", 0.6))}},
      {"clap", 96, 63,
       {loopDef("Clap", 1, -5, claps(g, "....X.......X...", "", 0.3)),
        loopDef("Snare", 1, -5, claps(g, "", "....X.......X...", 0.15, 180)),
        loopDef("Offbeat", 1, -6, claps(g, "..x...x...x...x.", "", 0.35)),
        loopDef("Roll", 1, -5, snareRoll(g))}},
      {"hats", 90, 68,
       {loopDef("Sixteen", 1, -8, hats(g, "xgxgXgxgxgxgXgxg", "", 0.0, "", 1.1)),
        loopDef("Open", 1, -7, hats(g, "", "..X...X...X...X.", 0.0, "", 1.1)),
        loopDef("Ride", 1, -8, hats(g, "", "", 0.0, "x.X.x.X.x.X.x.X.")),
        loopDef("Metal", 1, -8, hats(g, "x.xx.x.xx.xx.x.x", "......X.......X.", 0.0, "", 0.9))}},
      {"perc", 86, 56,
       {loopDef("Rim", 1, -8, percs(g, {"", "", "..x..x.x..x..x..", "", ""}, 0.0)),
        loopDef("Toms", 1, -7, toms(g, "x..x..x.....x...", 110)),
        loopDef("Clave", 1, -8, percs(g, {"", "", "", "x..x..x...x.x...", ""}, 0.0, 0.8)),
        loopDef("Conga", 1, -8, percs(g, {"...x..x....x..x.", "x.......x.x.....", "", "", ""}, 0.0, 0.9))}},
      {"bass", 104, 63,
       {loopDef("Rolling", 2, -4.5, bassLine(g, ".rrr.rrr.rrr.rrr", 2, rollPatch())),
        loopDef("Pulse", 2, -4.5, bassLine(g, "..r-..r-..r-..r-", 2, subPatch())),
        loopDef("Acid", 2, -5, bassLine(g, "rRr.rfRrr.Rmr.sR", 2, acidPatch(), 0.0, "a..a...a.a..a..a")),
        loopDef("Drone", 2, -5, bassLine(g, "r-------r-----r-", 2, bassPatch()))}},
      {"chords", 88, 63,
       {loopDef("Dub", 2, -7, chords(g, "...x......x.....", stabPatch(), 0, 0, 0.6, 0.2)),
        loopDef("Pad", 2, -8, chords(g, "x-------", padPatch(900), 0, 0, 0, 0.3)),
        loopDef("Stab", 2, -6, chords(g, "x..x..x.........", stabPatch(), 12, 0, 0.3, 0.1)),
        loopDef("Drift", 2, -8, chords(g, "x-------", padPatch(1600), -12, 0.6, 0.3, 0.2))}},
      {"lead", 84, 66,
       {loopDef("Acid", 2, -7, melody(g, "0.07.0.35.0.7.3.0.07.0.3b.0.7.5.", 2, acidPatch(), 48, 0.25)),
        loopDef("Hook", 2, -7, melody(g, "4---3-2-0---2-3-4---6-7-6---4---", 2, leadPatch(), 60, 0.35, 0.15)),
        loopDef("Ping", 1, -8, melody(g, "0..0..7...0..3..", 1, pluckPatch(), 60, 0.45)),
        loopDef("Siren", 1, -8, melody(g, "7---6---7---4---", 1, leadPatch(), 60, 0.3, 0.2))}},
      {"arp", 80, 58,
       {loopDef("Seq", 2, -8, arp(g, "1315131513151315", 2, arpPatch(), 0, 0.3)),
        loopDef("Up", 2, -8, arp(g, "1234567812345678", 2, arpPatch(), 12, 0.25)),
        loopDef("Echo", 1, -8, melody(g, "0..7..0..7..3...", 1, arpPatch(), 72, 0.5)),
        loopDef("Blip", 2, -9, arp(g, "5..8..7..5..6...", 2, arpPatch(), 12, 0.45))}},
      {"fx", 78, 63,
       {loopDef("Riser", 1, -7, fxRiser(201)), loopDef("Down", 1, -7, fxDown(202)),
        loopDef("Impact", 1, -5, fxImpact(203)), loopDef("Sweep", 1, -8, fxSweep(204, 4))}},
  };
  s.randomSets = randomSets(s.groups);
  std::vector<StyleDef> st = arrangements(s.groups);
  s.styles = {st[2], st[0], st[3], st[4]};
  return s;
}

// ---------------------------------------------------------------- trance

SongDef starlightRun() {
  // E minor: Em, C, G, D, half a bar each.
  const Grid g(140, {{40, {52, 55, 59, 64}}, {48, {52, 55, 60, 64}}, {43, {50, 55, 59, 62}}, {38, {50, 54, 57, 62}}},
               52);
  SongDef s;
  s.folder = "StarlightRun";
  s.title = "Starlight Run - Trance";
  s.collection = "Jamloom Horizons";
  s.description = {"Uplifting trance in E minor at 140 BPM: rolling bass, supersaw chords,",
                   "gated pads and a singing lead over Em, C, G and D."};
  s.arpNote = "E Fd G A B D";
  s.bpm = g.bpm();
  s.motif = 2;
  s.accent[0] = 90, s.accent[1] = 210, s.accent[2] = 255;
  KickTone k;
  k.startHz = 190, k.endHz = 52, k.pitchDecay = 32, k.ampDecay = 7.5, k.drive = 1.8;
  KickTone longK = k;
  longK.ampDecay = 4.0, longK.seconds = 0.6;
  s.groups = {
      {"kick", 110, 63,
       {loopDef("Trance", 1, -3.5, kicks(g, k, "X...X...X...X...")),
        loopDef("Long", 1, -3.5, kicks(g, longK, "X...X...X...X...")),
        loopDef("Fill", 1, -3.5, kicks(g, k, "X...X...X...XxXx")),
        loopDef("Half", 1, -3.5, kicks(g, k, "X.......X.......", 0.3))}},
      {"clap", 96, 63,
       {loopDef("Clap", 1, -5, claps(g, "....X.......X...", "", 0.25)),
        loopDef("Snare", 1, -5, claps(g, "....X.......X...", "....X.......X...", 0.2, 200)),
        loopDef("Roll", 1, -5, snareRoll(g)),
        loopDef("Offbeat", 1, -6, claps(g, "..g...g...g...X.", "", 0.3))}},
      {"hats", 92, 66,
       {loopDef("Open", 1, -7, hats(g, "", "..X...X...X...X.", 0.0, "", 1.15)),
        loopDef("Closed", 1, -8, hats(g, "xgXgxgXgxgXgxgXg", "", 0.0, "", 1.15)),
        loopDef("Both", 1, -7, hats(g, "xg.gxg.gxg.gxg.g", "..X...X...X...X.", 0.0, "", 1.15)),
        loopDef("Ride", 1, -8, hats(g, "", "..X...X...X...X.", 0.0, "X.x.X.x.X.x.X.x."))}},
      {"perc", 84, 60,
       {loopDef("Shaker", 1, -9, percs(g, {"", "", "", "", "xgXgxgXgxgXgxgXg"}, 0.0)),
        loopDef("Toms", 1, -7, toms(g, "............x.x.", 120)),
        loopDef("Clave", 1, -8, percs(g, {"", "", "", "..x..x..x..x..x.", ""}, 0.0, 1.1)),
        loopDef("Rim", 1, -8, percs(g, {"", "", "....x..x....x...", "", "x.x.x.x.x.x.x.x."}, 0.0))}},
      {"bass", 104, 63,
       {loopDef("Rolling", 2, -4.5, bassLine(g, ".rrr.rrr.rrr.rrr", 2, rollPatch())),
        loopDef("Offbeat", 2, -4.5, bassLine(g, "..r-..r-..r-..r-", 2, bassPatch())),
        loopDef("Gallop", 2, -4.5, bassLine(g, ".rR.rR.rR.rR.rRf", 2, rollPatch())),
        loopDef("Sub", 2, -4.5, bassLine(g, "r-------", 2, subPatch()))}},
      {"chords", 90, 63,
       {loopDef("Supersaw", 2, -6, chords(g, "x-.x-.x-.x-.x-x-", supersawPatch(), 12, 0.5, 0, 0.15)),
        loopDef("Pad", 2, -7, chords(g, "x-------", padPatch(2400), 0, 0, 0, 0.3)),
        loopDef("Gated", 2, -7, gatedPad(g, "xx.xx.x.xx.xx.x.", supersawPatch(), 0)),
        loopDef("Pluck", 2, -6, chords(g, "x.xx.xx.x.xx.xx.", pluckPatch(), 12, 0, 0.3, 0.1))}},
      {"lead", 86, 63,
       {loopDef("Anthem", 2, -6, melody(g, "7-6-4---4-5-4-2-2-4-7---6-5-4-3-", 2, leadPatch(), 60, 0.3, 0.2)),
        loopDef("Soar", 2, -6, melody(g, "b---9---a---9-7-9---7-6-8---6---", 2, supersawPatch(), 48, 0.3, 0.2)),
        loopDef("Hook", 1, -7, melody(g, "7.7.9.7.4.7.5.4.", 1, pluckPatch(), 60, 0.35)),
        loopDef("Call", 1, -7, melody(g, "4-7-b-9-7---4---", 1, leadPatch(), 60, 0.3, 0.15))}},
      {"arp", 82, 60,
       {loopDef("Up", 2, -8, arp(g, "1234567812345678", 2, arpPatch(), 12, 0.3)),
        loopDef("Roll", 2, -8, arp(g, "1515252535354545", 2, arpPatch(), 12, 0.25)),
        loopDef("Octave", 1, -8, melody(g, "0707070707070707", 1, arpPatch(), 60, 0.3)),
        loopDef("Spark", 2, -9, arp(g, "9.8.7.6.5.6.7.8.", 2, arpPatch(), 0, 0.45))}},
      {"fx", 78, 63,
       {loopDef("Riser", 1, -7, fxRiser(301)), loopDef("Down", 1, -7, fxDown(302)),
        loopDef("Impact", 1, -5, fxImpact(303)), loopDef("Sweep", 1, -8, fxSweep(304, 1))}},
  };
  s.randomSets = randomSets(s.groups);
  std::vector<StyleDef> st = arrangements(s.groups);
  s.styles = {st[0], st[1], st[2], st[3]};
  return s;
}

// ---------------------------------------------------------------- electro (version 1.0)

SongDef robotFunk() {
  // D minor: Dm7, Bbmaj7, Gm7, A7sus, half a bar each.
  const Grid g(120, {{38, {53, 57, 60, 62}}, {46, {53, 57, 58, 62}}, {43, {53, 55, 58, 62}}, {45, {52, 55, 57, 62}}},
               50);
  const double sw = 0.2;
  SongDef s;
  s.folder = "RobotFunk";
  s.title = "Robot Funk - Electro";
  s.version10 = true;
  s.description = {"Broken-beat electro funk in D minor at 120 BPM."};
  s.arpNote = "D F G A C";
  s.bpm = g.bpm();
  s.motif = 1;
  s.accent[0] = 120, s.accent[1] = 255, s.accent[2] = 120;
  KickTone k;
  k.startHz = 150, k.endHz = 48, k.ampDecay = 6, k.drive = 2.0;
  s.groups = {
      {"kick", 108, 63,
       {loopDef("Break", 1, -3.5, kicks(g, k, "X.....X...X..g..")),
        loopDef("Electro", 1, -3.5, kicks(g, k, "X..X......X..X.."))}},
      {"snare", 98, 63, {loopDef("Back", 1, -5, claps(g, "", "....X.......X..g", 0.15, 220, sw))}},
      {"hats", 90, 70,
       {loopDef("Swing", 1, -5, hats(g, "xgXgxgXgxgXgxgXg", "......X.......X.", sw)),
        loopDef("Tight", 1, -5, hats(g, "X.x.X.x.X.x.X.xx", "", sw))}},
      {"perc", 86, 56, {loopDef("Cowbell", 1, -9, percs(g, {"", "", "..x.....", "", "", "x..x..x...x....."}, sw))}},
      {"bass", 102, 63, {loopDef("Funk", 2, -4.5, bassLine(g, "r..R..r.m.r.f.R.", 2, bassPatch(), sw, "a.....a...a....."))}},
      {"chords", 90, 63, {loopDef("Clav", 2, -6, chords(g, ".x..x.x..x..x.x.", keysPatch(), 0, 0, 0.2, 0.1))}},
      {"lead", 96, 66, {loopDef("Talk", 2, -7, melody(g, "0-3-4-3-0...7-6-4-3-0...2-3-0...", 2, leadPatch(), 60, 0.25, 0.1, sw))}},
      {"fx", 78, 63, {loopDef("Zap", 1, -8, fxSweep(401, 8))}},
  };
  return s;
}

}  // namespace

std::vector<SongDef> librarySongs() { return {neonBoulevard(), ironPulse(), starlightRun(), robotFunk()}; }

SongDef packageSong() {
  // G minor: Gm9, Ebmaj7, Cm7, Dm7, half a bar each.
  const Grid g(126, {{43, {58, 62, 65, 69}}, {39, {55, 58, 62, 65}}, {48, {55, 58, 60, 63}}, {50, {57, 60, 62, 65}}},
               55);
  const double sw = 0.2;
  SongDef s;
  s.folder = "DeepTide";
  s.title = "Deep Tide - Deep House";
  s.collection = "Jamloom Club";
  s.description = {"Deep house in G minor at 126 BPM: soft kicks, swung hats and warm minor ninth chords."};
  s.arpNote = "G Ad C D F";
  s.bpm = g.bpm();
  s.motif = 1;
  s.accent[0] = 80, s.accent[1] = 160, s.accent[2] = 255;
  KickTone k;
  k.startHz = 130, k.endHz = 46, k.ampDecay = 5.5, k.click = 0.2, k.drive = 1.3;
  s.groups = {
      {"kick", 108, 63,
       {loopDef("Soft", 1, -3.5, kicks(g, k, "X...X...X...X...")), loopDef("Skip", 1, -3.5, kicks(g, k, "X...X...X..gX..."))}},
      {"clap", 96, 66,
       {loopDef("Clap", 1, -5, claps(g, "....X.......X...", "", 0.25, 195, sw)),
        loopDef("Rim", 1, -6, claps(g, "", "....x..g....x...", 0.2, 240, sw))}},
      {"hats", 90, 70,
       {loopDef("Swing", 1, -8, hats(g, "xgxgxgxgxgxgxgxg", "..X...X...X...X.", sw)),
        loopDef("Open", 1, -7, hats(g, "", "..X...X...X...X.", sw))}},
      {"perc", 86, 56,
       {loopDef("Conga", 1, -8, percs(g, {"...x..x.....x...", "x.....x...x....."}, sw)),
        loopDef("Shaker", 1, -9, percs(g, {"", "", "", "", "xgxgxgxgxgxgxgxg"}, sw))}},
      {"bass", 102, 63,
       {loopDef("Deep", 2, -4.5, bassLine(g, "r-..r-.fr-..R-.r", 2, subPatch(), sw)),
        loopDef("Walk", 2, -4.5, bassLine(g, "r..r..m.f..r..R.", 2, bassPatch(), sw))}},
      {"chords", 92, 63,
       {loopDef("Ninths", 2, -6, chords(g, "..x-..x-..x-..x.", keysPatch(), 0, 0, 0.25, 0.2)),
        loopDef("Pad", 2, -7, chords(g, "x-------", padPatch(1200), 0, 0.4, 0, 0.3))}},
      {"lead", 84, 60,
       {loopDef("Sigh", 2, -7, melody(g, "4---2-0-..3-2---0---2-4-..3-1---", 2, leadPatch(), 60, 0.3, 0.2, sw)),
        loopDef("Drops", 1, -8, melody(g, "7..4..2.7..4.2..", 1, pluckPatch(), 60, 0.4))}},
      {"arp", 80, 68,
       {loopDef("Glass", 2, -8, arp(g, "1.3.5.3.2.4.6.4.", 2, arpPatch(), 12, 0.4, sw)),
        loopDef("Bubbles", 2, -9, arp(g, "15263748", 2, arpPatch(), 0, 0.3, sw))}},
  };
  s.randomSets = {{"Groove", {"kick", "hats", "bass", "chords"}},
                  {"Rhythm", {"kick", "clap", "hats", "perc", "bass"}},
                  {"Mellow", {"hats", "chords", "lead", "arp", "bass"}},
                  {"Full", {"kick", "clap", "hats", "perc", "bass", "chords", "lead", "arp"}}};
  const std::vector<std::string> slots = {"kick", "clap", "hats", "perc", "bass", "chords", "lead", "arp"};
  s.styles = {{"Night", slots,
               {row({-1, -1, 2, -1, -1, 5, -1, -1}), row({0, -1, 2, -1, 4, 5, -1, -1}),
                row({0, 1, 2, 3, 4, 5, -1, 7}), row({0, 1, 2, 3, 4, 5, 6, 7})}},
              {"Dawn", slots,
               {row({-1, -1, -1, -1, -1, 5, 6, -1}), row({0, -1, 2, -1, 4, 5, 6, -1}),
                row({0, 1, 2, 3, 4, -1, 6, 7})}}};
  return s;
}

}  // namespace demolib
