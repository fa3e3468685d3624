#include "tools/demolib/demoLibrary.h"

#include <algorithm>
#include <cstdio>

#include "tools/demolib/files.h"
#include "tools/demolib/loudness.h"
#include "tools/demolib/songs.h"

namespace demolib {

namespace {

std::string fileBase(const std::string& group, int variant) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s%02d", group.c_str(), variant);
  return buf;
}

// 32 / divisor beats: one bar is 8, two bars 4, four bars 2.
int divisorOf(int bars) { return 8 / bars; }

struct Rendered {
  std::vector<int16_t> pcm;  // interleaved stereo
  int frames;
};

// Gains of a track as the engine mixes it: descriptor pan P (0..126) is
// track pan P - 63, engine pan 126 - P (127 left, 0 right), linear law.
void trackGains(int volume, int pan, double* left, double* right) {
  const double v = volume / 128.0;
  const int p = 126 - pan;
  if (p > 63) {
    *left = v;
    *right = (127 - p) / 63.0 * v;
  } else {
    *left = v * p / 63.0;
    *right = v;
  }
}

double toDb(double v) { return v > 0 ? 20.0 * std::log10(v) : -200.0; }

// The master volume the program starts with (63 of 128): the library is
// levelled for what a new user hears.
constexpr double kDefaultMaster = 63.0 / 128.0;
// Loudness of the default groove there (a finished dance track's), and the
// highest peak any random groove may reach.
constexpr double kTargetLufs = -12.0;
const double kCeiling = dbToGain(-0.1);
// The highest peak a loop file may be lifted to.
const double kLoopCeiling = dbToGain(-1.0);
// Bands for the spectral balance; band 3 (2-6 kHz: hats, claps, the bite
// of leads) must not sit far below the loudest one.
const std::vector<double> kBandEdges = {20, 150, 500, 2000, 6000, 20000};
constexpr size_t kBrightBand = 3;

// The groups each of the eight tracks can get from one random set (the
// first eight groups when the song has none).
std::vector<std::vector<int>> randomFamilies(const SongDef& song) {
  std::vector<std::vector<int>> families;
  auto groupOf = [&song](const std::string& name) {
    int g = -1;
    for (size_t i = 0; i < song.groups.size(); ++i)
      if (song.groups[i].name == name) g = (int)i;
    return g;
  };
  for (const RandomSetDef& set : song.randomSets) {
    std::vector<int> f;
    for (const std::string& name : set.groups) f.push_back(groupOf(name));
    families.push_back(f);
  }
  // The virtual mixer's grooves: every row of every style, its tracks
  // playing any loop of their slot's group, together with what the row
  // before left on a track it changes (the old loop fades out while the new
  // one starts; the sequence repeats, so the last row comes before the first).
  auto groupAt = [&](const StyleDef& style, const std::vector<int>& row, size_t t) {
    const int slot = t < row.size() ? row[t] : -1;
    return slot >= 0 && slot < (int)style.slots.size() ? groupOf(style.slots[(size_t)slot]) : -1;
  };
  for (const StyleDef& style : song.styles)
    for (size_t r = 0; r < style.rows.size(); ++r) {
      const std::vector<int>& row = style.rows[r];
      const std::vector<int>& before = style.rows[(r + style.rows.size() - 1) % style.rows.size()];
      std::vector<int> f;
      for (size_t t = 0; t < 8; ++t) {
        const int now = groupAt(style, row, t), was = groupAt(style, before, t);
        if (now >= 0) f.push_back(now);
        if (was >= 0 && was != now) f.push_back(was);
      }
      families.push_back(f);
    }
  if (families.empty()) {
    std::vector<int> f;
    for (int g = 0; g < (int)song.groups.size() && g < 8; ++g) f.push_back(g);
    families.push_back(f);
  }
  return families;
}

// The loudest sample any groove of a family can reach at the default
// master volume: at every frame of the common period, each track adds the
// most any of its candidate loops adds there (and likewise downwards), so
// no choice of variants can go beyond it.
double familyWorstPeak(const std::vector<std::vector<Rendered>>& loops, const std::vector<int>& volumes,
                       const std::vector<int>& pans, const std::vector<int>& family) {
  int period = 0;
  for (int g : family)
    if (g >= 0)
      for (const Rendered& r : loops[(size_t)g]) period = std::max(period, r.frames);
  double worst = 0;
  for (int i = 0; i < period; ++i) {
    double up[2] = {0, 0}, down[2] = {0, 0};
    for (int g : family) {
      if (g < 0) continue;
      double gl, gr;
      trackGains(volumes[(size_t)g], pans[(size_t)g], &gl, &gr);
      double hi[2] = {0, 0}, lo[2] = {0, 0};
      for (const Rendered& r : loops[(size_t)g]) {
        const int j = i % r.frames;
        const double l = r.pcm[(size_t)j * 2] * gl, rr = r.pcm[(size_t)j * 2 + 1] * gr;
        hi[0] = std::max(hi[0], l), lo[0] = std::min(lo[0], l);
        hi[1] = std::max(hi[1], rr), lo[1] = std::min(lo[1], rr);
      }
      for (int c = 0; c < 2; ++c) up[c] += hi[c], down[c] += lo[c];
    }
    for (int c = 0; c < 2; ++c) worst = std::max(worst, std::max(up[c], -down[c]));
  }
  return worst * kDefaultMaster / 32768.0;
}

// The default groove (first variant of the first eight groups) at the
// default master volume, one period of it per channel, in -1..1.
std::vector<std::vector<double>> defaultMix(const std::vector<std::vector<Rendered>>& loops,
                                            const std::vector<int>& volumes, const std::vector<int>& pans) {
  const int groups = std::min((int)loops.size(), 8);
  int frames = 0;
  for (int g = 0; g < groups; ++g) frames = std::max(frames, loops[(size_t)g][0].frames);
  std::vector<std::vector<double>> mix(2, std::vector<double>((size_t)frames, 0.0));
  for (int g = 0; g < groups; ++g) {
    double gl, gr;
    trackGains(volumes[(size_t)g], pans[(size_t)g], &gl, &gr);
    const Rendered& r = loops[(size_t)g][0];
    for (int i = 0; i < frames; ++i) {
      const int j = i % r.frames;
      mix[0][(size_t)i] += r.pcm[(size_t)j * 2] * gl * kDefaultMaster / 32768.0;
      mix[1][(size_t)i] += r.pcm[(size_t)j * 2 + 1] * gr * kDefaultMaster / 32768.0;
    }
  }
  return mix;
}

std::string descriptor10(const SongDef& song, const std::vector<int>& volumes) {
  // Loop lines: file, label, volume, pan, (unused), divisor; then the tempo
  // and six '*' lines: arpeggio keys, -, title, description, -, -.
  std::string t = "JLS 1.0 Jamloom demo song\n";
  for (size_t g = 0; g < song.groups.size(); ++g) {
    const GroupDef& gr = song.groups[g];
    for (size_t v = 0; v < gr.loops.size(); ++v)
      t += fileBase(gr.name, (int)v + 1) + " " + gr.loops[v].label + " " + std::to_string(volumes[g]) + " " +
           std::to_string(gr.pan) + " 0 " + std::to_string(divisorOf(gr.loops[v].bars)) + "\n";
  }
  std::string description;
  for (const std::string& line : song.description) description += (description.empty() ? "" : " ") + line;
  t += "*" + std::to_string(song.bpm) + "\n*" + song.arpNote + "\n*0\n*" + song.title + "\n*" + description +
       "\n*0\n*0\n";
  return t;
}

// How each instrument is finished before it is levelled: a high shelf
// that gives hats, claps and leads the presence of a finished mix, and a
// soft saturation that gives the drums and basses their body against
// their attack (so a groove can play loud without its peaks clipping).
// `balanceDb` moves the group's default volume against the recipe's: the
// low end gives way to the presence range, as in a mastered mix.
struct Finish {
  double shelfHz = 3000, shelfDb = 0, drive = 0, balanceDb = 0, limitDb = 0;
};

Finish finishOf(const std::string& group) {
  if (group == "kick") return {3000, 0, 1.2, -2, 0};
  if (group == "clap" || group == "snare") return {2500, 8, 2.0, 0, 9};
  if (group == "hats") return {3000, 8, 1.6, 2, 9};
  if (group == "perc") return {2500, 6, 1.8, 0, 8};
  if (group == "bass") return {3000, 2, 2.0, -3, 6};
  if (group == "chords") return {2500, 4, 1.6, 0, 6};
  if (group == "lead") return {2500, 8, 1.8, 1, 6};
  if (group == "arp") return {2500, 6, 1.8, 0, 7};
  return {3000, 0, 1.0, 0, 3};
}

}  // namespace

std::string descriptorText(const SongDef& song, const std::vector<int>& volumes) {
  if (song.version10) return descriptor10(song, volumes);
  std::string t = "JAMLOOM-JLS-1.2 Jamloom demo song\n";
  t += "SONGLIBRARY: " + song.collection + "\n";
  t += "SONGTITLE: " + song.title + "\n";
  for (size_t i = 0; i < song.description.size(); ++i)
    t += (i == 0 ? "SONGDESCRIPTION: " : "") + song.description[i] + "\n";
  t += "SONGBPM: " + std::to_string(song.bpm) + "\n";
  t += "SONGMIX: 0\n";
  t += "ARPNOTE: " + song.arpNote + "\n";
  t += "LONGCOMMAND: CATEGORYLIST: " + std::to_string(song.groups.size()) + "\n";
  for (const GroupDef& g : song.groups) t += g.name + "\n";
  t += "ENDCOMMAND:\n";
  t += "LONGCOMMAND: RANDOMSET: " + std::to_string(song.randomSets.size()) + "\n";
  for (const RandomSetDef& r : song.randomSets) {
    t += r.name + " " + std::to_string(r.groups.size());
    for (const std::string& g : r.groups) t += " " + g;
    t += "\n";
  }
  t += "ENDCOMMAND:\n";
  int loops = 0;
  for (const GroupDef& g : song.groups) loops += (int)g.loops.size();
  t += "LONGCOMMAND: SONGTRACKS: " + std::to_string(loops) + "\n";
  for (size_t g = 0; g < song.groups.size(); ++g) {
    const GroupDef& gr = song.groups[g];
    for (size_t v = 0; v < gr.loops.size(); ++v)
      t += fileBase(gr.name, (int)v + 1) + " " + std::to_string(volumes[g]) + " " + std::to_string(gr.pan) + " " +
           std::to_string(divisorOf(gr.loops[v].bars)) + " " + gr.loops[v].label + "\n";
  }
  t += "ENDCOMMAND:\n";
  for (const StyleDef& s : song.styles) {
    t += "LONGCOMMAND: SONGVMIX: " + std::to_string(s.slots.size()) + " " + std::to_string(s.rows.size()) + " " +
         s.name + "\n";
    for (const std::string& slot : s.slots) t += slot + "\n";
    for (const std::vector<int>& r : s.rows) {
      for (size_t i = 0; i < r.size(); ++i) t += (i ? " " : "") + std::to_string(r[i]);
      t += "\n";
    }
    t += "ENDCOMMAND:\n";
  }
  return t;
}

namespace {

std::vector<std::string> titleLines(const std::string& title) {
  // The part before " - " (the style) on up to two lines of 13 characters.
  std::string name = title.substr(0, title.find(" - "));
  std::vector<std::string> lines;
  std::string cur;
  size_t pos = 0;
  while (pos <= name.size()) {
    size_t sp = name.find(' ', pos);
    if (sp == std::string::npos) sp = name.size();
    const std::string word = name.substr(pos, sp - pos);
    if (!cur.empty() && cur.size() + 1 + word.size() > 13) {
      lines.push_back(cur);
      cur.clear();
    }
    cur += (cur.empty() ? "" : " ") + word;
    pos = sp + 1;
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

PictureSpec songPicture(const SongDef& song) {
  PictureSpec p;
  p.titleLines = titleLines(song.title);
  const size_t dash = song.title.find(" - ");
  p.caption = (dash == std::string::npos ? "" : song.title.substr(dash + 3)) + " " + std::to_string(song.bpm);
  std::copy(song.accent, song.accent + 3, p.accent);
  p.motif = song.motif;
  p.seed = (uint32_t)song.bpm * 31u + (uint32_t)song.folder.size();
  return p;
}

}  // namespace

bool writeSong(const SongDef& song, const std::string& folder, const std::string& descriptorName,
               SongReport* report, std::string* error) {
  if (!makeFolders(folder)) {
    *error = "cannot create " + folder;
    return false;
  }
  const long barFrames = kRate * 60L / song.bpm * 4;
  std::vector<std::vector<Rendered>> rendered;
  double bytes = 0;
  int loopCount = 0;
  for (const GroupDef& g : song.groups) {
    rendered.emplace_back();
    for (size_t v = 0; v < g.loops.size(); ++v) {
      const LoopDef& def = g.loops[v];
      Loop loop((int)(barFrames * def.bars));
      def.render(loop);
      const Finish f = finishOf(g.name);
      if (f.shelfDb != 0) loopShelf(loop, f.shelfHz, f.shelfDb);
      loopSaturate(loop, f.drive);
      loopLimit(loop, f.limitDb);
      finishLoop(loop, def.peakDb);
      rendered.back().push_back(Rendered{toPcm16(loop), loop.frames});
      ++loopCount;
    }
  }
  // Default volumes: the recipe's balance, scaled together so that the
  // default groove plays at the target loudness at the program's starting
  // master volume, but never so far that a groove of any random set could
  // reach full scale, and never beyond the volume range.
  std::vector<int> volumes, pans;
  for (const GroupDef& g : song.groups) {
    volumes.push_back((int)std::lround(g.volume * dbToGain(finishOf(g.name).balanceDb)));
    pans.push_back(g.pan);
  }
  const std::vector<std::vector<int>> families = randomFamilies(song);
  auto worstOf = [&](const std::vector<int>& v) {
    double w = 0;
    for (const std::vector<int>& f : families) w = std::max(w, familyWorstPeak(rendered, v, pans, f));
    return w;
  };
  double k = dbToGain(kTargetLufs - integratedLoudness(defaultMix(rendered, volumes, pans), kRate));
  k = std::min(k, kCeiling / worstOf(volumes));
  const double kVolumes = std::min(k, 127.0 / *std::max_element(volumes.begin(), volumes.end()));
  for (int& v : volumes) v = std::max(1, (int)std::floor(v * kVolumes));
  // What the volume range cannot give, the loops carry themselves, as far
  // as their own peaks allow.
  if (k > kVolumes) {
    int loopPeak = 1;
    for (const std::vector<Rendered>& group : rendered)
      for (const Rendered& r : group)
        for (int16_t x : r.pcm) loopPeak = std::max(loopPeak, std::abs((int)x));
    const double lift = std::min(k / kVolumes, kLoopCeiling * 32767.0 / loopPeak);
    if (lift > 1.0)
      for (std::vector<Rendered>& group : rendered)
        for (Rendered& r : group)
          for (int16_t& x : r.pcm) x = (int16_t)std::lround(x * lift);
  }
  for (size_t g = 0; g < song.groups.size(); ++g) {
    for (size_t v = 0; v < rendered[g].size(); ++v) {
      const std::vector<uint8_t> wav = wavBytes(rendered[g][v].pcm, 2, kRate);
      const std::string path = folder + "/" + fileBase(song.groups[g].name, (int)v + 1) + ".wav";
      if (!writeFile(path, wav)) {
        *error = "cannot write " + path;
        return false;
      }
      bytes += (double)wav.size();
    }
  }
  const double worst = worstOf(volumes);
  const std::vector<std::vector<double>> mix = defaultMix(rendered, volumes, pans);
  double peak = 0, sum2 = 0;
  for (const std::vector<double>& ch : mix)
    for (double x : ch) {
      peak = std::max(peak, std::fabs(x));
      sum2 += x * x;
    }
  const std::vector<double> bands = bandLevels(mix, kRate, kBandEdges);


  if (!writeFile(folder + "/" + descriptorName, descriptorText(song, volumes))) {
    *error = "cannot write the descriptor of " + song.folder;
    return false;
  }
  const std::vector<uint8_t> gif = paintPicture(songPicture(song));
  if (!writeFile(folder + "/" + song.folder + ".gif", gif)) {
    *error = "cannot write the picture of " + song.folder;
    return false;
  }
  bytes += (double)gif.size();
  if (report) {
    report->folder = song.folder;
    report->bpm = song.bpm;
    report->groups = (int)song.groups.size();
    report->loops = loopCount;
    report->mixPeakDb = toDb(peak);
    report->mixRmsDb = toDb(std::sqrt(sum2 / (2.0 * mix[0].size())));
    report->loudnessLufs = integratedLoudness(mix, kRate);
    report->brightDb = bands[kBrightBand] - *std::max_element(bands.begin(), bands.end());
    report->worstPeakDb = toDb(worst);
    report->megabytes = bytes / 1e6;
  }
  return true;
}

bool writeLibrary(const std::string& library, std::vector<SongReport>* reports, std::string* error) {
  std::vector<std::string> collections;
  for (const SongDef& song : librarySongs()) {
    SongReport r;
    if (!writeSong(song, library + "/Song/" + song.folder, "info.jls", &r, error)) return false;
    if (reports) reports->push_back(r);
    if (!song.collection.empty() &&
        std::find(collections.begin(), collections.end(), song.collection) == collections.end())
      collections.push_back(song.collection);
  }
  // One picture per collection, found by the song browser by its name.
  if (!makeFolders(library + "/Images")) {
    *error = "cannot create " + library + "/Images";
    return false;
  }
  for (size_t i = 0; i < collections.size(); ++i) {
    PictureSpec p;
    p.titleLines = titleLines(collections[i]);
    p.caption = "COLLECTION";
    p.motif = i == 0 ? 3 : 2;
    p.accent[0] = i == 0 ? 255 : 110;
    p.accent[1] = i == 0 ? 190 : 160;
    p.accent[2] = i == 0 ? 60 : 255;
    p.seed = 7 + (uint32_t)i;
    const std::string path = library + "/Images/" + collections[i] + ".gif";
    if (!writeFile(path, paintPicture(p))) {
      *error = "cannot write " + path;
      return false;
    }
  }
  for (const SynthSetDef& set : synthSets())
    if (!writeSynthSet(set, library + "/Synth/" + set.name, error)) return false;
  return true;
}

}  // namespace demolib
