#include "tools/demolib/demoLibrary.h"

#include <algorithm>
#include <cstdio>

#include "tools/demolib/files.h"
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

struct MixLevel {
  double peak = 0, rms = 0;
};

// Mixes variant row `row` (each group's variant min(row, count - 1)) of the
// given groups; with `dropOne` the loudest mix of any eight of them.
MixLevel mixLevel(const std::vector<std::vector<Rendered>>& loops, const std::vector<int>& volumes,
                  const std::vector<int>& pans, int row, int groupLimit, bool dropOne) {
  const int groups = std::min((int)loops.size(), groupLimit);
  int frames = 0;
  for (int g = 0; g < groups; ++g) {
    for (const Rendered& r : loops[(size_t)g]) frames = std::max(frames, r.frames);
  }
  std::vector<double> gl((size_t)groups), gr((size_t)groups);
  for (int g = 0; g < groups; ++g) trackGains(volumes[(size_t)g], pans[(size_t)g], &gl[(size_t)g], &gr[(size_t)g]);
  MixLevel m;
  double sum2 = 0;
  std::vector<double> cl((size_t)groups), cr((size_t)groups);
  for (int i = 0; i < frames; ++i) {
    double sl = 0, sr = 0;
    for (int g = 0; g < groups; ++g) {
      const auto& vars = loops[(size_t)g];
      const Rendered& r = vars[(size_t)std::min(row, (int)vars.size() - 1)];
      const int j = i % r.frames;
      cl[(size_t)g] = r.pcm[(size_t)j * 2] * gl[(size_t)g];
      cr[(size_t)g] = r.pcm[(size_t)j * 2 + 1] * gr[(size_t)g];
      sl += cl[(size_t)g];
      sr += cr[(size_t)g];
    }
    sum2 += sl * sl + sr * sr;
    double p = std::max(std::fabs(sl), std::fabs(sr));
    if (dropOne && groups > 8)
      for (int g = 0; g < groups; ++g)
        p = std::max(p, std::max(std::fabs(sl - cl[(size_t)g]), std::fabs(sr - cr[(size_t)g])));
    m.peak = std::max(m.peak, p);
  }
  m.peak /= 32768.0;
  m.rms = std::sqrt(sum2 / (2.0 * frames)) / 32768.0;
  return m;
}

double toDb(double v) { return v > 0 ? 20.0 * std::log10(v) : -200.0; }

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
      finishLoop(loop, def.peakDb);
      Rendered r{toPcm16(loop), loop.frames};
      const std::vector<uint8_t> wav = wavBytes(r.pcm, 2, kRate);
      const std::string path = folder + "/" + fileBase(g.name, (int)v + 1) + ".wav";
      if (!writeFile(path, wav)) {
        *error = "cannot write " + path;
        return false;
      }
      bytes += (double)wav.size();
      ++loopCount;
      rendered.back().push_back(std::move(r));
    }
  }
  // Default volumes: the recipe's, lowered together when any row of
  // variants played on any eight tracks would come closer than 1 dB to full
  // scale.
  std::vector<int> volumes, pans;
  for (const GroupDef& g : song.groups) {
    volumes.push_back(g.volume);
    pans.push_back(g.pan);
  }
  size_t rows = 0;
  for (const GroupDef& g : song.groups) rows = std::max(rows, g.loops.size());
  double worst = 0;
  for (size_t r = 0; r < rows; ++r) worst = std::max(worst, mixLevel(rendered, volumes, pans, (int)r, 32, true).peak);
  const double ceiling = dbToGain(-1.0);
  if (worst > ceiling) {
    for (int& v : volumes) v = (int)std::floor(v * ceiling / worst);
    worst = 0;
    for (size_t r = 0; r < rows; ++r) worst = std::max(worst, mixLevel(rendered, volumes, pans, (int)r, 32, true).peak);
  }
  const MixLevel def = mixLevel(rendered, volumes, pans, 0, 8, false);

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
    report->mixPeakDb = toDb(def.peak);
    report->mixRmsDb = toDb(def.rms);
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
