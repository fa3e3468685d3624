#include "song/JLSongMaker.h"

#include <dirent.h>
#include <fcntl.h>
#include <gif_lib.h>
#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <map>
#include <memory>

#include "core/files/uloFolderOps.h"
#include "core/files/uloPathNames.h"
#include "core/files/uloPathPolicy.h"
#include "engine/JLEngine.h"
#include "song/JLMixDocument.h"
#include "song/JLSongLibrary.h"

namespace {

constexpr int kRate = 44100;
constexpr const char* kSongs = ":Library:Song:";
constexpr const char* kDescriptorName = "song.jls";
constexpr int kPictureSize = 84;

bool isPowerOfTwo(int n) { return n > 0 && (n & (n - 1)) == 0; }

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

std::string extensionOf(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? "" : lower(name.substr(dot + 1));
}

// Files a loop folder often holds beside its sounds; they are left out
// with a note instead of failing the song.
bool obviouslyNotSound(const std::string& name) {
  static const char* const kinds[] = {"txt", "nfo", "md", "pdf", "rtf", "doc", "jpg", "jpeg", "png", "gif",
                                      "bmp", "svg", "jls", "ini", "db", "url", "html", "htm", "asd", "reapeaks",
                                      "pk", "sfk", "json", "xml", "zip"};
  const std::string ext = extensionOf(name);
  for (const char* k : kinds)
    if (ext == k) return true;
  return false;
}

// Decodes one UTF-8 sequence at s[i]; its length, or 0 when invalid.
int utf8Length(const std::string& s, size_t i) {
  const unsigned char c = (unsigned char)s[i];
  int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + size_t(n) > s.size()) return 0;
  for (int k = 1; k < n; ++k)
    if (((unsigned char)s[i + size_t(k)] >> 6) != 2) return 0;
  if (n == 2 && c < 0xC2) return 0;  // overlong
  return n;
}

bool validUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const int n = utf8Length(s, i);
    if (n == 0) return false;
    i += size_t(n);
  }
  return true;
}

std::string errnoText(int e) { return e ? std::string(strerror(e)) : std::string("unknown error"); }

// The name a loop is grouped by: the letters its file name starts with.
std::string prefixOf(const std::string& fileName) {
  std::string stem = fileName.substr(0, fileName.rfind('.') == 0 ? fileName.size() : fileName.rfind('.'));
  std::string p;
  for (char c : stem) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter) break;
    p += c;
  }
  return lower(p);
}

std::string stemOf(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

struct Entry {
  std::string name;
  std::string path;
  bool folder;
  bool plain = false;
};

// Regular files and real sub-folders (no link to a folder, so no loop),
// sorted by name so songs come out the same on every file system.
bool listFolder(const std::string& folder, std::vector<Entry>* out, std::string* why) {
  DIR* d = opendir(folder.c_str());
  if (!d) {
    *why = errnoText(errno);
    return false;
  }
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    struct stat ls {}, st {};
    if (lstat(path.c_str(), &ls) != 0) continue;
    if (S_ISDIR(ls.st_mode)) {
      out->push_back({name, path, true, false});
      continue;
    }
    // A link to a sound file is the user's choice; whatever it names must
    // still be a plain file (a FIFO or device is never opened).
    out->push_back({name, path, false, stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)});
  }
  closedir(d);
  std::sort(out->begin(), out->end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return true;
}

// Measures one file; false with *why when it is no usable loop.
bool measure(const std::string& path, JLSongLoopSource* src, std::string* why) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    *why = errnoText(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *why = "it is not a plain file";
    return false;
  }
  if (st.st_size == 0) {
    *why = "it is empty (0 bytes)";
    return false;
  }
  JLSoundFileFacts info;
  if (!JL_ProbeSoundFile(path.c_str(), &info)) {
    *why = "it is not a sound file this program reads";
    return false;
  }
  if (info.frames <= 0) {
    *why = "it holds no sound";
    return false;
  }
  if (info.rate < kLoopMinRate || info.rate > kLoopMaxRate) {
    char b[96];
    snprintf(b, sizeof b, "its sample rate (%d Hz) cannot be converted", info.rate);
    *why = b;
    return false;
  }
  src->path = path;
  src->rate = info.rate;
  src->channels = info.channels;
  src->frames = info.frames;
  src->seconds = double(info.frames) / info.rate;
  char b[128];
  if (src->seconds < kJLMakerMinSeconds) {
    snprintf(b, sizeof b, "it lasts %.3f s, too short for a loop (at least %.2f s)", src->seconds,
             kJLMakerMinSeconds);
    *why = b;
    return false;
  }
  if (src->seconds > kJLMakerMaxSeconds) {
    snprintf(b, sizeof b, "it lasts %d:%02d, too long for a loop (at most %.0f s, 32 beats)",
             int(src->seconds) / 60, int(src->seconds) % 60, kJLMakerMaxSeconds);
    *why = b;
    return false;
  }
  return true;
}

// Labels are one word of at most 31 bytes and told apart within a group.
void uniqueLabels(JLSongPlan* plan) {
  for (JLSongGroupPlan& g : plan->groups) {
    std::map<std::string, int> seen;
    for (int i : g.loops) {
      std::string& l = plan->loops[size_t(i)].label;
      const int n = ++seen[lower(l)];
      if (n > 1) {
        const std::string tail = "-" + std::to_string(n);
        l = l.substr(0, 31 - tail.size()) + tail;
      }
    }
  }
}

std::string groupWord(const std::string& name) {
  std::string w = JL_DescriptorWord(name, 29, "loops");
  // Each file of a group is the group name plus a two-digit number; a name
  // that ends in digits itself stays readable after them, and "User" is
  // the program's own group for recorded loops.
  if (lower(w) == "user") w = "userloops";
  return w;
}

// Folds the groups into at most eight: big groups are split while there
// is room, the smallest beyond the eighth go into "other".
bool foldGroups(JLSongPlan* plan, std::string* error) {
  std::vector<JLSongGroupPlan>& gs = plan->groups;
  if (gs.size() > size_t(kJLMakerMaxGroups)) {
    std::stable_sort(gs.begin(), gs.end(),
                     [](const JLSongGroupPlan& a, const JLSongGroupPlan& b) { return a.loops.size() > b.loops.size(); });
    JLSongGroupPlan other{"other", {}};
    for (size_t i = kJLMakerMaxGroups - 1; i < gs.size(); ++i)
      other.loops.insert(other.loops.end(), gs[i].loops.begin(), gs[i].loops.end());
    std::sort(other.loops.begin(), other.loops.end());
    gs.resize(kJLMakerMaxGroups - 1);
    gs.push_back(other);
  }
  for (size_t i = 0; i < gs.size(); ++i) {
    if (gs[i].loops.size() <= size_t(kJLMakerMaxLoopsPerGroup)) continue;
    if (gs.size() >= size_t(kJLMakerMaxGroups)) {
      char b[200];
      snprintf(b, sizeof b, "%zu sound files are more than a song holds (%d instruments of %d loops)",
               plan->loops.size(), kJLMakerMaxGroups, kJLMakerMaxLoopsPerGroup);
      *error = b;
      return false;
    }
    JLSongGroupPlan rest{groupWord(gs[i].name.substr(0, 27) + std::to_string(i + 2)), {}};
    rest.loops.assign(gs[i].loops.begin() + kJLMakerMaxLoopsPerGroup, gs[i].loops.end());
    gs[i].loops.resize(kJLMakerMaxLoopsPerGroup);
    gs.insert(gs.begin() + long(i) + 1, rest);
  }
  // Two groups must never share a name: the descriptor names them.
  std::map<std::string, int> seen;
  for (JLSongGroupPlan& g : gs) {
    const int n = ++seen[lower(g.name)];
    if (n > 1) g.name = g.name.substr(0, 27) + "x" + std::to_string(n);
  }
  return true;
}

// ---------------------------------------------------------------- writing

// A loop at 44.1 kHz converted from its file, as 16-bit frames.
struct Converted {
  std::vector<int16_t> samples;
  int channels = 0;
  int64_t frames() const { return channels ? int64_t(samples.size()) / channels : 0; }
};

bool convertLoop(const JLSongLoopSource& src, Converted* out, std::string* why) {
  int channels = 0;
  int32_t frames = 0, fault = 0;
  const int64_t maxFrames = int64_t(kJLMakerMaxSeconds * kRate) + kRate;
  int16_t* data = JL_ReadLoopWhole(src.path.c_str(), kRate, maxFrames, maxFrames * 4, true, &channels, &frames, &fault);
  if (!data) {
    *why = fault == kWaveEmpty     ? "it holds no sound"
           : fault == kWaveRate    ? "its sample rate cannot be converted"
           : fault == kWaveFine    ? "the memory ran out while converting it"
                                   : "it could not be read as sound";
    return false;
  }
  out->channels = channels;
  out->samples.assign(data, data + size_t(frames) * size_t(channels));
  JL_FreeLoopWhole(data);
  return frames > 0;
}

// Cuts or pads (with silence) to exactly `target` frames.
void trimTo(Converted* c, int64_t target) { c->samples.resize(size_t(target) * size_t(c->channels), 0); }

// Resamples to exactly `target` frames (the pitch moves with the length),
// reading the loop as it sounds repeated so its ends still join.
bool stretchTo(Converted* c, int64_t target, std::string* why) {
  const int64_t n = c->frames();
  const int ch = c->channels;
  if (n == target) return true;
  const int64_t lead = std::min<int64_t>(n, 2048);
  std::vector<float> in(size_t(n + 2 * lead) * size_t(ch));
  for (int64_t i = 0; i < n + 2 * lead; ++i) {
    const int64_t from = ((i - lead) % n + n) % n;
    for (int k = 0; k < ch; ++k) in[size_t(i * ch + k)] = c->samples[size_t(from * ch + k)] / 32768.0f;
  }
  const double ratio = double(target) / double(n);
  const int64_t outLen = int64_t(std::ceil(double(n + 2 * lead) * ratio)) + 16;
  std::vector<float> out(size_t(outLen) * size_t(ch));
  size_t odone = 0;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t q = soxr_quality_spec(SOXR_VHQ, 0);
  soxr_error_t err = soxr_oneshot(1.0, ratio, unsigned(ch), in.data(), size_t(n + 2 * lead), nullptr, out.data(),
                                  size_t(outLen), &odone, &io, &q, nullptr);
  if (err) {
    *why = std::string("it could not be stretched: ") + err;
    return false;
  }
  const int64_t skip = int64_t(std::llround(double(lead) * ratio));
  c->samples.assign(size_t(target) * size_t(ch), 0);
  for (int64_t i = 0; i < target && skip + i < int64_t(odone); ++i)
    for (int k = 0; k < ch; ++k) c->samples[size_t(i * ch + k)] = ToSample16(out[size_t((skip + i) * ch + k)]);
  return true;
}

bool writeWav(const std::string& path, const Converted& c, std::string* why) {
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = c.channels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) {
    *why = std::string("cannot write ") + JL_ShownName(path) + ": " + sf_strerror(nullptr);
    return false;
  }
  const sf_count_t n = sf_writef_short(f, c.samples.data(), c.frames());
  const bool ok = n == c.frames() && sf_error(f) == SF_ERR_NO_ERROR;
  if (!ok) *why = std::string("cannot write ") + JL_ShownName(path) + ": " + sf_strerror(f);
  if (sf_close(f) != 0 && ok) {
    *why = "cannot finish " + JL_ShownName(path);
    return false;
  }
  return ok;
}

bool writeText(const std::string& path, const std::string& text, std::string* why) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  bool ok = fd >= 0;
  for (size_t at = 0; ok && at < text.size();) {
    const ssize_t n = write(fd, text.data() + at, text.size() - at);
    if (n <= 0) ok = false;
    else at += size_t(n);
  }
  if (ok && fsync(fd) != 0) ok = false;
  const int e = errno;
  if (fd >= 0 && close(fd) != 0) ok = false;
  if (!ok) *why = "cannot write " + JL_ShownName(path) + ": " + errnoText(e);
  return ok;
}

std::string fileOf(const std::string& group, int variant) {
  char b[48];
  snprintf(b, sizeof b, "%s%02d", group.c_str(), variant);
  return b;
}

struct WrittenLoop {
  std::string file;
  std::string label;
  int beats;
  double level;  // RMS of full scale 1, drawn in the picture
};

std::string descriptorText(const std::string& title, const std::string& collection, const std::string& description,
                           int bpm, const std::vector<std::string>& groups,
                           const std::vector<std::vector<WrittenLoop>>& loops) {
  std::string t = std::string(kJlsVersion12Marker) + " made from the user's own loops\n";
  t += "SONGLIBRARY: " + collection + "\n";
  t += "SONGTITLE: " + title + "\n";
  t += "SONGDESCRIPTION: " + description + "\n";
  t += "SONGBPM: " + std::to_string(bpm) + "\n";
  t += "SONGMIX: 0\n";
  t += "ARPNOTE: C D Dd F G Gd Ad\n";
  t += "LONGCOMMAND: CATEGORYLIST: " + std::to_string(groups.size()) + "\n";
  for (const std::string& g : groups) t += g + "\n";
  t += "ENDCOMMAND:\n";
  t += "LONGCOMMAND: RANDOMSET: 1\nAll " + std::to_string(groups.size());
  for (const std::string& g : groups) t += " " + g;
  t += "\nENDCOMMAND:\n";
  size_t count = 0;
  for (const auto& g : loops) count += g.size();
  t += "LONGCOMMAND: SONGTRACKS: " + std::to_string(count) + "\n";
  for (size_t g = 0; g < groups.size(); ++g)
    for (const WrittenLoop& l : loops[g])
      t += l.file + " 100 63 " + std::to_string(32 / l.beats) + " " + l.label + "\n";
  t += "ENDCOMMAND:\n";
  // One style that brings the instruments in one after the other.
  const int n = int(groups.size());
  t += "LONGCOMMAND: SONGVMIX: " + std::to_string(n) + " " + std::to_string(n) + " Build\n";
  for (const std::string& g : groups) t += g + "\n";
  for (int r = 0; r < n; ++r) {
    for (int k = 0; k < kJLStyleTracks; ++k) t += (k ? " " : "") + std::to_string(k < n && k <= r ? k : -1);
    t += "\n";
  }
  t += "ENDCOMMAND:\n";
  return t;
}

// An 84 x 84 picture: a dark ground with one column per instrument whose
// bars stand for its loops' levels, in a colour of the song's own.
bool writePicture(const std::string& path, const std::string& name, const std::vector<std::vector<WrittenLoop>>& loops,
                  std::string* why) {
  uint32_t h = 2166136261u;
  for (unsigned char c : name) h = (h ^ c) * 16777619u;
  const int hue = int(h % 6);
  static const int base[6][3] = {{255, 120, 60}, {80, 200, 255}, {140, 255, 120}, {255, 90, 200}, {250, 220, 80},
                                 {170, 130, 255}};
  ColorMapObject* map = GifMakeMapObject(256, nullptr);
  if (!map) {
    *why = "out of memory";
    return false;
  }
  for (int i = 0; i < 128; ++i) {  // the ground, dark blue to black
    map->Colors[i] = {GifByteType(8 + i / 12), GifByteType(10 + i / 10), GifByteType(24 + i / 4)};
  }
  for (int i = 128; i < 256; ++i) {  // the colour from dim to full
    const double f = 0.25 + 0.75 * (i - 128) / 127.0;
    map->Colors[i] = {GifByteType(base[hue][0] * f), GifByteType(base[hue][1] * f), GifByteType(base[hue][2] * f)};
  }
  std::vector<GifByteType> px(size_t(kPictureSize * kPictureSize));
  for (int y = 0; y < kPictureSize; ++y)
    for (int x = 0; x < kPictureSize; ++x) px[size_t(y * kPictureSize + x)] = GifByteType(127 - (y * 127) / kPictureSize);
  const int cols = std::max<int>(1, int(loops.size()));
  const int colW = (kPictureSize - 8) / cols;
  for (int g = 0; g < int(loops.size()); ++g) {
    const auto& ls = loops[size_t(g)];
    const int bars = std::max<int>(1, int(ls.size()));
    for (int b = 0; b < bars && b < colW; ++b) {
      const double level = b < int(ls.size()) ? ls[size_t(b)].level : 0;
      const int height = 6 + int(std::min(1.0, level * 3.0) * (kPictureSize - 20));
      const int x0 = 4 + g * colW + (b * colW) / bars;
      const int x1 = std::max(x0 + 1, 4 + g * colW + ((b + 1) * colW) / bars - 1);
      for (int y = kPictureSize - 6; y > kPictureSize - 6 - height; --y)
        for (int x = x0; x < x1 && x < kPictureSize; ++x)
          px[size_t(y * kPictureSize + x)] = GifByteType(160 + (95 * (kPictureSize - y)) / kPictureSize);
    }
  }
  int err = 0;
  // giflib would make the file private to its writer; a song's files are
  // readable like the rest of the library.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  GifFileType* gif = fd >= 0 ? EGifOpenFileHandle(fd, &err) : nullptr;
  if (fd >= 0 && !gif) close(fd);
  bool ok = gif != nullptr;
  if (ok) {
    EGifSetGifVersion(gif, true);
    ok = EGifPutScreenDesc(gif, kPictureSize, kPictureSize, 8, 0, map) == GIF_OK &&
         EGifPutImageDesc(gif, 0, 0, kPictureSize, kPictureSize, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < kPictureSize; ++y)
      ok = EGifPutLine(gif, px.data() + y * kPictureSize, kPictureSize) == GIF_OK;
    if (EGifCloseFile(gif, &err) != GIF_OK) ok = false;
  }
  GifFreeMapObject(map);
  if (!ok) *why = "cannot write the picture " + JL_ShownName(path) + ": " + GifErrorString(err);
  return ok;
}

double rmsOf(const Converted& c) {
  double s = 0;
  for (int16_t v : c.samples) s += double(v) * v;
  return c.samples.empty() ? 0 : std::sqrt(s / double(c.samples.size())) / 32768.0;
}

std::string sysOf(const char* ulo) {
  char sys[kUloPathMax];
  if (!ULO_UloPathToSystemPath(ulo, sys, sizeof sys)) return "";
  return sys;
}

std::string describeFormat(const JLSongLoopSource& s) {
  char b[160];
  snprintf(b, sizeof b, "%d Hz, %d channel%s", s.rate, s.channels, s.channels == 1 ? "" : "s");
  return b;
}

// Converts and fits one loop to `beats` at `bpm`; notes what changed.
bool prepareLoop(const JLSongLoopSource& src, int bpm, int beats, bool stretch, Converted* c,
                 std::vector<std::string>* notes, std::string* why) {
  if (!convertLoop(src, c, why)) return false;
  const int64_t target = int64_t(beats) * JL_FramesPerBeat(bpm);
  const JLBeatFit fit = JL_FitBeats(src.seconds, bpm);
  if (!fit.fits && stretch) {
    if (!stretchTo(c, target, why)) return false;
  } else {
    trimTo(c, target);
  }
  if (!fit.fits) {
    char b[200];
    snprintf(b, sizeof b, "%s: %s from %.3f s to %d beat%s", src.shown.c_str(), stretch ? "stretched" : "trimmed",
             src.seconds, beats, beats == 1 ? "" : "s");
    notes->push_back(b);
  }
  if (src.rate != kRate || src.channels > 2)
    notes->push_back(src.shown + ": converted from " + describeFormat(src) +
                     (src.channels > 2 ? " (its first two channels kept)" : ""));
  return true;
}

}  // namespace

// ---------------------------------------------------------------- public

std::string JL_ShownName(const std::string& name) {
  std::string out;
  int chars = 0;
  for (size_t i = 0; i < name.size() && chars < 80; ++chars) {
    const int n = utf8Length(name, i);
    const unsigned char c = (unsigned char)name[i];
    if (n == 0 || c < 0x20 || c == 0x7F) {
      out += '?';
      i += 1;
    } else {
      out.append(name, i, size_t(n));
      i += size_t(n);
    }
  }
  if (chars >= 80 && out.size() < name.size()) out += "...";
  return out;
}

std::string JL_DescriptorWord(const std::string& name, size_t maxBytes, const char* fallback) {
  std::string w;
  for (char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    if (ok && w.size() < maxBytes) w += c;
  }
  return w.empty() ? fallback : w;
}

JLBeatFit JL_FitBeats(double seconds, int bpm) {
  JLBeatFit best;
  if (!(seconds > 0) || bpm <= 0) return best;
  const double measured = seconds * bpm / 60.0;
  // Nearest in beats, not in ratio: a loop is cut or padded by the
  // difference, so this keeps the least audio change (21.6 beats becomes 16,
  // not 32 with 10 beats of silence). A tie pads, which loses no sound.
  double bestDist = 1e9;
  for (int n : kJLSongBeatCounts) {
    const double d = std::fabs(measured - n);
    if (d <= bestDist + 1e-9) {  // a tie within rounding takes the longer count
      bestDist = d;
      best.beats = n;
    }
  }
  const double bestErr = (measured - best.beats) / best.beats;
  best.error = bestErr;
  best.fits = std::fabs(bestErr) <= kJLBeatTolerance;
  return best;
}

std::string JL_InstrumentNamesLine(const JLSongPlan& plan) {
  std::string line;
  for (const JLSongGroupPlan& g : plan.groups) line += (line.empty() ? "" : ", ") + g.name;
  return line;
}

void JL_RenameInstruments(const std::string& line, JLSongPlan* plan) {
  size_t start = 0;
  for (JLSongGroupPlan& g : plan->groups) {
    if (start > line.size()) break;
    size_t end = line.find(',', start);
    if (end == std::string::npos) end = line.size();
    std::string field = line.substr(start, end - start);
    start = end + 1;
    const size_t a = field.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) continue;
    field = field.substr(a, field.find_last_not_of(" \t\r\n") - a + 1);
    g.name = JL_DescriptorWord(field, 29, g.name.c_str());
  }
}

std::string JL_BeatCountsText() {
  std::string t;
  const size_t n = sizeof kJLSongBeatCounts / sizeof kJLSongBeatCounts[0];
  for (size_t i = 0; i < n; ++i)
    t += (i == 0 ? "" : i + 1 == n ? " or " : ", ") + std::to_string(kJLSongBeatCounts[i]);
  return t;
}

JLTempoGuess JL_DetectTempo(const std::vector<double>& seconds, int minBpm, int maxBpm) {
  JLTempoGuess best;
  if (seconds.empty()) return best;
  int bestPow2 = -1;
  double bestErr = 0, bestDist = 0;
  for (int bpm = minBpm; bpm <= maxBpm; ++bpm) {
    int fitting = 0, pow2 = 0;
    double err = 0;
    for (double s : seconds) {
      const JLBeatFit f = JL_FitBeats(s, bpm);
      if (!f.fits) continue;
      ++fitting;
      if (isPowerOfTwo(f.beats)) ++pow2;
      err += f.error * f.error;
    }
    const double dist = std::fabs(std::log(bpm / 120.0));
    const bool better = fitting > best.fitting ||
                        (fitting == best.fitting &&
                         (pow2 > bestPow2 || (pow2 == bestPow2 && (err < bestErr - 1e-12 ||
                                                                   (std::fabs(err - bestErr) <= 1e-12 && dist < bestDist)))));
    if (best.bpm == 0 || better) {
      best.bpm = bpm;
      best.fitting = fitting;
      bestPow2 = pow2;
      bestErr = err;
      bestDist = dist;
    }
  }
  return best;
}

bool JL_PlanSong(const std::string& folderIn, JLSongPlan* plan, std::string* error) {
  *plan = JLSongPlan{};
  std::string folder = folderIn;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  plan->folder = folder;
  struct stat st {};
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = JL_ShownName(folder) + " is not a folder";
    return false;
  }
  std::vector<Entry> top;
  std::string why;
  if (!listFolder(folder, &top, &why)) {
    *error = "cannot read the folder " + JL_ShownName(folder) + ": " + why;
    return false;
  }
  // Each candidate with the group it belongs to.
  std::vector<std::pair<Entry, std::string>> files;
  std::vector<std::string> groupOrder;
  auto note = [&](const std::string& group) {
    if (std::find(groupOrder.begin(), groupOrder.end(), group) == groupOrder.end()) groupOrder.push_back(group);
  };
  for (const Entry& e : top) {
    if (e.name[0] == '.') continue;
    if (e.folder) {
      std::vector<Entry> sub;
      if (!listFolder(e.path, &sub, &why)) {
        plan->skipped.push_back(JL_ShownName(e.name) + ": cannot read this folder (" + why + ")");
        continue;
      }
      const std::string g = groupWord(e.name);
      for (const Entry& s : sub) {
        if (s.folder || s.name[0] == '.') continue;
        files.push_back({Entry{e.name + "/" + s.name, s.path, false, s.plain}, g});
      }
      continue;
    }
    files.push_back({e, ""});
  }
  if (files.size() > size_t(kJLMakerMaxGroups * kJLMakerMaxLoopsPerGroup) * 2) {
    char b[200];
    snprintf(b, sizeof b, "holds %zu files, more than a song can take (%d loops)", files.size(),
             kJLMakerMaxGroups * kJLMakerMaxLoopsPerGroup);
    *error = JL_ShownName(folder) + " " + b;
    return false;
  }
  std::map<std::string, size_t> groupOf;
  for (auto& f : files) {
    const std::string base = f.first.name.substr(f.first.name.rfind('/') == std::string::npos ? 0 : f.first.name.rfind('/') + 1);
    if (!f.first.plain) {
      plan->skipped.push_back(JL_ShownName(f.first.name) + ": not a plain file");
      continue;
    }
    if (obviouslyNotSound(base)) {
      plan->skipped.push_back(JL_ShownName(f.first.name) + ": not a sound file");
      continue;
    }
    JLSongLoopSource src;
    if (!measure(f.first.path, &src, &why)) {
      *error = JL_ShownName(f.first.name) + ": " + why;
      return false;
    }
    src.shown = JL_ShownName(f.first.name);
    src.label = JL_DescriptorWord(stemOf(base), 31, "loop");
    std::string g = f.second.empty() ? groupWord(prefixOf(base)) : f.second;
    plan->loops.push_back(src);
    note(g);
    auto it = groupOf.find(lower(g));
    if (it == groupOf.end()) {
      groupOf[lower(g)] = plan->groups.size();
      plan->groups.push_back({g, {}});
      it = groupOf.find(lower(g));
    }
    plan->groups[it->second].loops.push_back(int(plan->loops.size()) - 1);
  }
  if (plan->loops.empty()) {
    *error = JL_ShownName(folder) + " holds no sound files";
    return false;
  }
  if (plan->loops.size() > size_t(kJLMakerMaxGroups * kJLMakerMaxLoopsPerGroup)) {
    char b[200];
    snprintf(b, sizeof b, "holds %zu sound files, more than a song can take (%d loops)", plan->loops.size(),
             kJLMakerMaxGroups * kJLMakerMaxLoopsPerGroup);
    *error = JL_ShownName(folder) + " " + b;
    return false;
  }
  if (!foldGroups(plan, error)) return false;
  uniqueLabels(plan);
  std::vector<double> secs;
  for (const JLSongLoopSource& s : plan->loops) secs.push_back(s.seconds);
  plan->detected = JL_DetectTempo(secs);
  return true;
}

bool JL_SongNameUsable(const std::string& name, std::string* why) {
  if (name.empty() || name.size() > size_t(kJLMakerMaxNameBytes) || !validUtf8(name) || name[0] == '.' ||
      !JL_IsSafeSongName(name.c_str())) {
    char b[64];
    snprintf(b, sizeof b, "(at most %d bytes, no ':' or '/')", kJLMakerMaxNameBytes);
    *why = "\"" + JL_ShownName(name) + "\" cannot name a song " + b;
    return false;
  }
  for (char c : name)
    if ((unsigned char)c < 0x20 || c == 0x7F) {
      *why = "\"" + JL_ShownName(name) + "\" cannot name a song (no control characters)";
      return false;
    }
  const std::string target = sysOf((std::string(kSongs) + name).c_str());
  struct stat st {};
  if (!target.empty() && lstat(target.c_str(), &st) == 0) {
    *why = "a song named \"" + JL_ShownName(name) + "\" exists already";
    return false;
  }
  return true;
}

int JL_MisfitLoops(const JLSongPlan& plan, int bpm, int most, std::string* names) {
  int count = 0;
  names->clear();
  for (const JLSongLoopSource& s : plan.loops) {
    if (JL_FitBeats(s.seconds, bpm).fits) continue;
    if (++count <= most) {
      char b[64];
      snprintf(b, sizeof b, " (%.2f beats)", s.seconds * bpm / 60.0);
      *names += (names->empty() ? "" : ", ") + s.shown + b;
    } else if (count == most + 1) {
      *names += ", ...";
    }
  }
  return count;
}

bool JL_MakeSong(const JLSongPlan& plan, const std::string& name, const JLMakeSongOptions& options,
                 JLMakeSongResult* result, std::string* error) {
  *result = JLMakeSongResult{};
  if (!JL_SongNameUsable(name, error)) return false;
  if (plan.loops.empty() || plan.groups.empty()) {
    *error = "there are no loops to make a song of";
    return false;
  }
  const int bpm = options.bpm > 0 ? options.bpm : plan.detected.bpm;
  if (bpm < 30 || bpm > 400) {
    *error = "the tempo " + std::to_string(bpm) + " is out of range (30 to 400 BPM)";
    return false;
  }
  // Every loop that does not fit, named, before anything is written.
  std::string misfits;
  const int count = options.fit == JLBeatFitMode::refuse ? JL_MisfitLoops(plan, bpm, 8, &misfits) : 0;
  if (count) {
    *error = std::to_string(count) + " loop(s) do not last a whole number of beats at " + std::to_string(bpm) +
             " BPM: " + misfits + "; trim or stretch them, or give another tempo";
    return false;
  }
  char songUlo[kUloPathMax];
  std::string refused;
  if (!ULO_PathInside(kSongs, name.c_str(), songUlo, sizeof songUlo, &refused)) {
    *error = refused;
    return false;
  }
  const std::string songsSys = sysOf(kSongs);
  const std::string target = sysOf(songUlo);
  if (songsSys.empty() || target.empty()) {
    *error = "the song's path is too long";
    return false;
  }
  struct stat st {};
  if (stat(songsSys.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = "the library has no song folder (" + JL_ShownName(songsSys) + ")";
    return false;
  }
  const std::string temp = ULO_FreshTempPathSys(target);
  if (temp.empty() || mkdir(temp.c_str(), 0755) != 0) {
    *error = "cannot write in the library's song folder " + JL_ShownName(songsSys) + ": " + errnoText(errno);
    return false;
  }
  auto fail = [&](const std::string& why) {
    ULO_DeleteTreeSys(temp);
    *error = why;
    return false;
  };

  std::vector<std::string> groupNames;
  std::vector<std::vector<WrittenLoop>> written(plan.groups.size());
  const int total = int(plan.loops.size());
  int done = 0;
  for (size_t g = 0; g < plan.groups.size(); ++g) {
    const JLSongGroupPlan& gp = plan.groups[g];
    // Names the user gave may meet: two groups of one name would merge.
    std::string word = groupWord(gp.name);
    for (int n = 2; std::any_of(groupNames.begin(), groupNames.end(),
                                [&](const std::string& o) { return lower(o) == lower(word); });
         ++n)
      word = groupWord(gp.name).substr(0, 26) + "x" + std::to_string(n);
    groupNames.push_back(word);
    int variant = 0;
    for (int li : gp.loops) {
      if (variant >= kJLMakerMaxLoopsPerGroup) break;
      if (options.progress && !options.progress(done, total)) return fail("the new song was cancelled");
      const JLSongLoopSource& src = plan.loops[size_t(li)];
      const JLBeatFit fit = JL_FitBeats(src.seconds, bpm);
      Converted c;
      std::string why;
      if (!prepareLoop(src, bpm, fit.beats, options.fit == JLBeatFitMode::stretch, &c, &result->notes, &why))
        return fail(src.shown + ": " + why);
      const std::string file = fileOf(groupNames.back(), ++variant);
      if (!writeWav(temp + "/" + file + ".wav", c, &why)) return fail(src.shown + ": " + why);
      written[g].push_back({file, src.label, fit.beats, rmsOf(c)});
      ++done;
    }
  }
  // Names from outside become one line of the descriptor each.
  std::string title;
  for (char c : name) title += (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
  std::string from = plan.folder.substr(plan.folder.rfind('/') == std::string::npos ? 0 : plan.folder.rfind('/') + 1);
  std::string description = "Made from the folder " + JL_ShownName(from);
  for (char& c : description)
    if (c == '\n' || c == '\r') c = ' ';
  std::string collection = JL_ShownName(options.collection);
  std::string why;
  if (!writeText(temp + "/" + kDescriptorName,
                 descriptorText(title, collection, description, bpm, groupNames, written), &why))
    return fail(why);
  if (!writePicture(temp + "/" + name + ".gif", name, written, &why)) return fail(why);
  if (options.progress && !options.progress(total, total)) return fail("the new song was cancelled");
  if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
    const int e = errno;
    return fail("cannot put the song \"" + JL_ShownName(name) + "\" in place: " + errnoText(e));
  }
  result->songFolder = std::string(songUlo) + ":";
  result->bpm = bpm;
  result->loops = done;
  return true;
}

namespace {

// The song's own descriptor file: the one "*.jls" in its folder.
bool ownDescriptor(const std::string& folderSys, std::string* path, std::string* error) {
  std::vector<Entry> entries;
  std::string why;
  if (!listFolder(folderSys, &entries, &why)) {
    *error = "cannot read the song's folder: " + why;
    return false;
  }
  int found = 0;
  for (const Entry& e : entries)
    if (!e.folder && e.name[0] != '.' && extensionOf(e.name) == "jls") {
      *path = e.path;
      ++found;
    }
  if (found != 1) {
    *error = found ? "the song has more than one descriptor, so it is left as it is"
                   : "the song's descriptor is kept outside its folder, so it is left as it is";
    return false;
  }
  return true;
}

bool readText(const std::string& path, std::string* text) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < (1 << 22);
  char buf[65536];
  while (ok) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0) ok = false;
    if (n <= 0) break;
    text->append(buf, size_t(n));
  }
  close(fd);
  return ok;
}

std::string firstTokens(const std::string& line, int n) {
  std::istringstream in(line);
  std::string t, out;
  for (int i = 0; i < n && (in >> t); ++i) out += (i ? " " : "") + t;
  return out;
}

}  // namespace

bool JL_InsertTrackLine(std::string* text, const std::string& line) {
  size_t at = 0;
  bool inTracks = false;
  while (at < text->size()) {
    size_t end = text->find('\n', at);
    if (end == std::string::npos) end = text->size();
    const std::string l = text->substr(at, end - at);
    if (!inTracks && firstTokens(l, 2) == "LONGCOMMAND: SONGTRACKS:") inTracks = true;
    else if (inTracks && firstTokens(l, 1) == "ENDCOMMAND:") {
      const bool crlf = !l.empty() && l.back() == '\r';
      text->insert(at, line + (crlf ? "\r\n" : "\n"));
      return true;
    }
    at = end + 1;
  }
  return false;
}

bool JL_AddLoopToSong(const char* songFolder, const char* group, const std::string& path, bool stretch,
                      std::string* file, int* beats, std::string* error) {
  static JLSongLibrary song;  // large; one add at a time (see the header)
  if (!song.load(songFolder)) {
    *error = "the song cannot be read";
    return false;
  }
  const int16_t g = song.getGroupIndex(group);
  if (g < 0 || JLSongLibrary::strcasecmp(group, "User") == 0) {
    *error = std::string("the song has no instrument ") + JL_ShownName(group) + " to add a loop to";
    return false;
  }
  const JLSongGroup& gr = song.groups[g];
  if (gr.count >= kJLMaxVariants || song.trackCount >= kJLMaxLoops) {
    *error = std::string("the instrument ") + JL_ShownName(group) + " holds as many loops as it can";
    return false;
  }
  const std::string shown = JL_ShownName(path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1));
  if (song.songBpm <= 0) {
    *error = "the song has no tempo to fit " + shown + " to";
    return false;
  }
  const std::string folderSys = sysOf(songFolder);
  std::string descriptor;
  if (folderSys.empty() || !ownDescriptor(folderSys, &descriptor, error)) return false;
  std::string text;
  if (!readText(descriptor, &text) || firstTokens(text, 1) != kJlsVersion12Marker) {
    *error = "the song's descriptor is in an old format, so it is left as it is";
    return false;
  }
  JLSongLoopSource src;
  std::string why;
  if (!measure(path, &src, &why)) {
    *error = shown + ": " + why;
    return false;
  }
  src.shown = shown;
  src.label = JL_DescriptorWord(stemOf(shown), 31, "loop");
  const JLBeatFit fit = JL_FitBeats(src.seconds, song.songBpm);
  Converted c;
  std::vector<std::string> notes;
  if (!prepareLoop(src, song.songBpm, fit.beats, stretch, &c, &notes, &why)) {
    *error = shown + ": " + why;
    return false;
  }
  // The group's name as the descriptor spells it (the files of its first
  // variant), so the new file joins that group.
  std::string base = gr.name;
  for (int v = 0; v < gr.count; ++v)
    if (gr.sampleIndex[v] >= 0 && strlen(gr.files[v]) > 2) {
      base.assign(gr.files[v], strlen(gr.files[v]) - 2);
      break;
    }
  const std::string name = fileOf(base, gr.count + 1);
  const std::string wav = folderSys + "/" + name + ".wav";
  struct stat st {};
  if (lstat(wav.c_str(), &st) == 0 || lstat((folderSys + "/" + name).c_str(), &st) == 0) {
    *error = "the song already has a file " + JL_ShownName(name);
    return false;
  }
  int volume = 100, pan = 63;
  for (int v = 0; v < gr.count; ++v)
    if (gr.sampleIndex[v] >= 0) {
      volume = gr.volume[v];
      pan = gr.pan[v];
      break;
    }
  const std::string line = name + " " + std::to_string(volume) + " " + std::to_string(pan) + " " +
                           std::to_string(32 / fit.beats) + " " + src.label;
  if (!JL_InsertTrackLine(&text, line)) {
    *error = "the song's descriptor has no list of loops";
    return false;
  }
  // The loop first, then the descriptor that names it: a failure between
  // the two leaves a loop no descriptor names, never a name without a loop.
  const std::string wavTemp = ULO_FreshTempPathSys(wav);
  if (wavTemp.empty() || !writeWav(wavTemp, c, &why) ||
      renameat2(AT_FDCWD, wavTemp.c_str(), AT_FDCWD, wav.c_str(), RENAME_NOREPLACE) != 0) {
    if (why.empty()) why = "cannot write in the song's folder: " + errnoText(errno);
    unlink(wavTemp.c_str());
    *error = shown + ": " + why;
    return false;
  }
  const std::string jlsTemp = ULO_FreshTempPathSys(descriptor);
  if (jlsTemp.empty() || !writeText(jlsTemp, text, &why) || rename(jlsTemp.c_str(), descriptor.c_str()) != 0) {
    if (why.empty()) why = "cannot replace the song's descriptor: " + errnoText(errno);
    unlink(jlsTemp.c_str());
    unlink(wav.c_str());
    *error = why;
    return false;
  }
  *file = name;
  *beats = fit.beats;
  return true;
}
