#include "song/JLDiskMix.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "core/files/uloPathNames.h"
#include "core/files/uloFolderOps.h"
#include "core/files/uloPathPolicy.h"
#include "engine/JLEngine.h"
#include "song/JLMixDocument.h"
#include "song/JLSongLibrary.h"
#include "song/JLSongLoading.h"

namespace {

constexpr int kRate = 44100;
constexpr int kBlock = 2048;  // output frames per pull

void fail(JLDiskMixReport& r, const char* fmt, const char* arg = "") {
  snprintf(r.error, sizeof r.error, fmt, arg);
}

// libsndfile format for the file name's extension, or 0.
int formatFor(const char* path) {
  const char* dot = strrchr(path, '.');
  if (!dot) return 0;
  std::string ext(dot + 1);
  for (char& c : ext) c = (char)tolower((unsigned char)c);
  if (ext == "wav") return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  if (ext == "flac") return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  if (ext == "ogg" || ext == "oga") return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  if (ext == "aif" || ext == "aiff") return SF_FORMAT_AIFF | SF_FORMAT_PCM_16;
  if (ext == "mp3") return JL_DiskMixSndfileFormat(SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
  return 0;
}

int16_t sampleOf(const JLSongLibrary& lib, const JLTrack& t) {
  if (t.group < 0 || t.variant < 0 || t.group >= lib.groupCount || t.variant >= kJLMaxVariants) return -1;
  return lib.groups[t.group].sampleIndex[t.variant];
}

// Hands one groove to the engine: at once, or at the next sync point.
void sendGroove(const JLSongLibrary& lib, const JLGroove& g, bool atSyncPoint) {
  gep->sync_atGrooveSet(atSyncPoint ? 1 : 0);
  gep->changesBegin();
  for (int16_t t = 0; t < 8; ++t) {
    const JLTrack& tr = g.tracks[t];
    gep->setTrackSample(t, sampleOf(lib, tr));
    if (tr.variant >= 0) {
      gep->setTrackVolume(t, tr.volume);
      gep->setTrackPan(t, tr.pan);
    }
  }
  gep->changesEnd();
  gep->sync_atGrooveSet(0);
}

// The grooves to play, one per 32-beat step. The mutes on screen belong to
// the working groove: the player starts every sequence step with all of
// that groove's tracks on, so they only apply when the working groove is
// what plays. `silenced` tracks (a stem's other tracks) are out everywhere.
std::vector<JLGroove> plan(const JLIceimage& image, const JLDiskMixOptions& o, uint8_t silenced) {
  std::vector<JLGroove> steps;
  const JLSequence& seq = image.sequence;
  if (o.useSequence) {
    for (int16_t i = 0; i < seq.stepCount && i < JLSequence::kMaxSteps; ++i) {
      int16_t at = seq.findGroove(seq.steps[i]);
      if (at >= 0) steps.push_back(seq.grooves[at]);
    }
  }
  if (steps.empty()) {
    silenced = uint8_t(silenced | o.mutedTracks);
    for (int i = 0; i < (o.cycles > 0 ? o.cycles : 1); ++i) steps.push_back(image.groove);
  }
  for (JLGroove& g : steps)
    for (int t = 0; t < 8; ++t)
      if (silenced & (1u << t)) g.tracks[t].reset();
  return steps;
}

// Removes the temporary file unless the render completed.
struct PendingFile {
  std::string tmp;
  bool keep = false;
  ~PendingFile() {
    if (!keep && !tmp.empty()) unlink(tmp.c_str());
  }
};

// Keeps the live engine aside for the length of a render.
struct OfflineSession {
  bool open = false;
  OfflineSession() : open(gep && gep->offlineBegin()) {}
  ~OfflineSession() {
    if (open) gep->offlineEnd();
  }
};

// Pulls `total` frames from the engine into `out` (atomically renamed into
// place at the end). `beforeBlock` runs before every pull.
bool writeFrames(const char* out, int format, int64_t total, const JLDiskMixOptions& options,
                 JLDiskMixReport& report, const std::function<void()>& beforeBlock) {
  PendingFile pending;
  pending.tmp = ULO_FreshTempPathSys(out);
  SF_INFO info;
  memset(&info, 0, sizeof info);
  info.samplerate = kRate;
  info.channels = 2;
  info.format = format;
  SNDFILE* sf = sf_open(pending.tmp.c_str(), SFM_WRITE, &info);
  if (!sf) return fail(report, "cannot write %s", pending.tmp.c_str()), false;

  std::vector<int16_t> block(2 * kBlock);
  // Lossy encoders are given floats: libsndfile's MP3 encoder fed 16-bit
  // samples overshoots by several dB (a mix peaking at -3 dBFS decodes
  // past full scale), while the same samples as floats encode at their
  // own level.
  const int codec = format & SF_FORMAT_SUBMASK;
  const bool lossy = codec == SF_FORMAT_MPEG_LAYER_III || codec == SF_FORMAT_VORBIS || codec == SF_FORMAT_OPUS;
  // Files deeper than 16 bits get the engine's unrounded output.
  const bool wide = codec == SF_FORMAT_PCM_24 || codec == SF_FORMAT_PCM_32 || codec == SF_FORMAT_FLOAT ||
                    codec == SF_FORMAT_DOUBLE;
  std::vector<float> floats(lossy || wide ? block.size() : 0);
  int64_t written = 0;
  bool ok = true;
  int64_t nextReport = 0;
  const int64_t reportStep = std::max<int64_t>(kBlock, total / 100);
  while (written < total) {
    if (options.progress && written >= nextReport) {
      nextReport = written + reportStep;
      if (!options.progress(options.progressContext, float(double(written) / double(total)))) {
        ok = false;
        fail(report, "stopped");
        break;
      }
    }
    if (beforeBlock) beforeBlock();
    const int64_t n = std::min<int64_t>(kBlock, total - written);
    if (wide) {
      gep->offlinePullFloat(floats.data(), kBlock);
      for (size_t i = 0; i < size_t(2 * n); i++) floats[i] /= 32768.0f;
    } else {
      gep->offlinePull(block.data(), kBlock);
      if (lossy)
        for (size_t i = 0; i < size_t(2 * n); i++) floats[i] = float(block[i]) / 32768.0f;
    }
    if ((lossy || wide ? sf_writef_float(sf, floats.data(), n) : sf_writef_short(sf, block.data(), n)) != n) {
      ok = false;
      fail(report, "write failed: %s", sf_strerror(sf));
      break;
    }
    written += n;
  }
  if (ok && options.progress) options.progress(options.progressContext, 1.0f);
  if (sf_close(sf) != 0 && ok) {
    ok = false;
    fail(report, "cannot finish %s", pending.tmp.c_str());
  }
  report.frames = written;
  report.underruns = gep->offlineUnderruns();
  if (!ok) return false;
  if (rename(pending.tmp.c_str(), out) != 0) return fail(report, "cannot replace %s", out), false;
  pending.keep = true;
  return true;
}

// Checks shared by both renders; the libsndfile format, or 0 with the
// report's error set.
int outputFormat(const char* out, const JLDiskMixOptions& options, JLDiskMixReport& report) {
  if (!gep) return fail(report, "the audio engine is not running"), 0;
  if (!out || !*out) return fail(report, "no output file"), 0;
  int format = options.majorFormat ? JL_DiskMixSndfileFormat(options.majorFormat) : formatFor(out);
  if (!format) fail(report, "unknown sound file kind: %s (use .wav, .flac, .ogg or .aiff)", out);
  if (format && options.depth) {
    const int codec = format & SF_FORMAT_SUBMASK;
    const bool lossless = codec == SF_FORMAT_PCM_16 || codec == SF_FORMAT_PCM_24 || codec == SF_FORMAT_PCM_32 ||
                          codec == SF_FORMAT_FLOAT;
    const int want = options.depth == 16 ? SF_FORMAT_PCM_16
                     : options.depth == 24 ? SF_FORMAT_PCM_24
                     : options.depth == 32 ? SF_FORMAT_FLOAT
                                           : 0;
    if (!lossless && options.depth == 16) return format;
    const int wider = lossless && want ? JL_DiskMixSndfileFormat((format & SF_FORMAT_TYPEMASK) | want) : 0;
    if (!wider) {
      fail(report,
           options.depth == 32   ? "%s cannot hold 32-bit float samples"
           : options.depth == 24 ? "%s cannot hold 24-bit samples"
                                 : "%s: the sample depth is 16, 24 or 32 (float)",
           out);
      return 0;
    }
    format = wider;
  }
  return format;
}

}  // namespace

int JL_DiskMixSndfileFormat(int32_t format) {
  const int32_t major = format & SF_FORMAT_TYPEMASK;
  if (!major) return 0;
  SF_INFO info;
  memset(&info, 0, sizeof info);
  info.samplerate = kRate;
  info.channels = 2;
  // An encoding given with the container (24-bit WAV, MP3) is kept.
  info.format = (format & SF_FORMAT_SUBMASK) ? (major | (format & SF_FORMAT_SUBMASK))
                                             : major | (major == SF_FORMAT_OGG ? SF_FORMAT_VORBIS : SF_FORMAT_PCM_16);
  return sf_format_check(&info) ? info.format : 0;
}

int64_t JL_DiskMixFrames(int32_t steps, float bpm) {
  if (steps <= 0 || !(bpm > 0)) return 0;
  return (int64_t)std::llround((double)steps * 32.0 * 60.0 * kRate / (double)bpm);
}

int32_t JL_ArpRenderSteps(const char* notes) {
  if (!notes) return 0;
  // The engine's walk: a note or rest is two characters, three with '#'.
  const size_t len = strlen(notes);
  int32_t steps = 0;
  for (size_t i = 0; i < len; i += (i + 1 < len && notes[i + 1] == '#') ? 3 : 2) ++steps;
  if (steps == 0) return 0;
  return std::lcm(steps, 16);
}

int64_t JL_ArpRenderFrames(int32_t steps, int16_t stepsPerBeat, float bpm) {
  if (steps <= 0 || stepsPerBeat <= 0 || !(bpm > 0)) return 0;
  return (int64_t)std::llround((double)steps / stepsPerBeat * 60.0 * kRate / (double)bpm);
}

void JL_DefaultGroove(const JLSongLibrary& lib, JLGroove& groove) {
  groove.reset();
  for (int16_t t = 0; t < 8 && t < lib.groupCount; ++t) {
    const JLSongGroup& g = lib.groups[t];
    for (int16_t v = 0; v < g.count && v < kJLMaxVariants; ++v) {
      if (g.sampleIndex[v] < 0) continue;
      groove.tracks[t].group = t;
      groove.tracks[t].variant = v;
      groove.tracks[t].volume = g.volume[v];
      groove.tracks[t].pan = JL_TrackPanOfSongPan(g.pan[v]);
      break;
    }
  }
}

namespace {

// Which sources one render keeps: the full mix, or one of them alone.
struct Sources {
  bool synth = true;
  bool userLoop = true;
  bool roundOnce = false;  // a stem of several: quantised once (JLEngine::offlineRoundOnce)
  uint8_t silenced = 0;    // bit t: track t out of every step
};

// What a render of this image plays, found in an offline session.
struct MixSetup {
  std::unique_ptr<JLSongLibrary> library;
  float bpm = 0;
  std::vector<JLGroove> steps;
};

bool prepareMix(const JLIceimage& image, const JLDiskMixOptions& options, uint8_t silenced, MixSetup& m,
                JLDiskMixReport& report) {
  if (!JL_IsSafeSongName(image.songName)) return fail(report, "the mix names no valid song"), false;
  char folder[kUloPathMax];
  snprintf(folder, sizeof folder, ":Library:Song:%s:", image.songName);
  m.library = std::make_unique<JLSongLibrary>();
  if (!JL_LoadSongIntoEngine(*m.library, folder)) return fail(report, "song not installed: %s", image.songName), false;
  m.bpm = image.bpm > 0 ? image.bpm : (float)m.library->songBpm;
  // The engine plays at most 1.3 times the song tempo; the file's length
  // follows what is really heard.
  if (m.library->songBpm > 0 && m.bpm > 1.3f * m.library->songBpm) m.bpm = 1.3f * m.library->songBpm;
  m.steps = plan(image, options, silenced);
  return true;
}

bool renderMix(const JLIceimage& image, const char* out, int format, const JLDiskMixOptions& options,
               const Sources& sources, JLDiskMixReport& report) {
  OfflineSession session;
  if (!session.open) return fail(report, "the audio engine is busy"), false;
  MixSetup m;
  if (!prepareMix(image, options, sources.silenced, m, report)) return false;
  const int64_t total = JL_DiskMixFrames((int32_t)m.steps.size(), m.bpm);
  if (total <= 0) return fail(report, "nothing to render"), false;
  report.steps = (int32_t)m.steps.size();
  gep->offlineSilence(!sources.synth, !sources.userLoop);
  if (sources.roundOnce) gep->offlineRoundOnce();

  gep->play();
  sendGroove(*m.library, m.steps[0], false);
  gep->offlineStart();
  gep->setMixerBpm(m.bpm);
  gep->setMixerVolume(options.volume);
  size_t scheduled = 1;  // steps handed to the engine
  return writeFrames(out, format, total, options, report, [&] {
    // Once step k has begun, step k + 1 waits for the next sync point.
    if (scheduled < m.steps.size() && gep->offlineCyclesBegun() >= (int32_t)scheduled) {
      sendGroove(*m.library, m.steps[scheduled], true);
      ++scheduled;
    }
  });
}

// A loop group's name as part of a file name: letters and digits kept
// (lower case), anything else one '_'.
std::string fileNamePart(const char* group) {
  std::string s;
  for (const char* c = group; c && *c; ++c) {
    const unsigned char u = (unsigned char)*c;
    if (isalnum(u) && u < 128) s += (char)tolower(u);
    else if (s.empty() || s.back() != '_') s += '_';
  }
  while (!s.empty() && s.back() == '_') s.pop_back();
  while (!s.empty() && s.front() == '_') s.erase(0, 1);
  return s.size() > 40 ? s.substr(0, 40) : s;
}

// Progress of one render among `count`, told to the caller as the whole.
struct PassProgress {
  const JLDiskMixOptions* outer;
  int index, count;
  static bool tell(void* self, float done) {
    auto* p = static_cast<PassProgress*>(self);
    return p->outer->progress(p->outer->progressContext, (float(p->index) + done) / float(p->count));
  }
};

// Removes a folder of temporaries and what it holds, unless kept.
struct PendingFolder {
  std::string path;
  std::vector<std::string> files;
  ~PendingFolder() {
    for (const std::string& f : files) unlink((path + "/" + f).c_str());
    if (!path.empty()) rmdir(path.c_str());
  }
};

}  // namespace

bool JL_DiskMix(const JLIceimage& image, const char* out, const JLDiskMixOptions& options, JLDiskMixReport& report) {
  report = JLDiskMixReport();
  const int format = outputFormat(out, options, report);
  if (!format) return false;
  return renderMix(image, out, format, options, Sources(), report);
}

bool JL_DiskMixStemsPlan(const JLIceimage& image, const JLDiskMixOptions& options, const char* extension,
                         std::vector<JLStem>& stems, JLDiskMixReport& report) {
  stems.clear();
  if (!gep) return fail(report, "the audio engine is not running"), false;
  const std::string ext = fileNamePart(extension && *extension ? extension : "wav");
  if (ext.empty()) return fail(report, "no file extension"), false;
  OfflineSession session;
  if (!session.open) return fail(report, "the audio engine is busy"), false;
  MixSetup m;
  if (!prepareMix(image, options, 0, m, report)) return false;
  // A track that sounds in any step, named by the first group it plays.
  for (int t = 0; t < 8; ++t) {
    for (const JLGroove& g : m.steps) {
      const JLTrack& tr = g.tracks[t];
      if (sampleOf(*m.library, tr) < 0 || tr.volume <= 0) continue;
      std::string group = fileNamePart(m.library->groups[tr.group].name);
      JLStem s;
      s.source = t;
      s.fileName = "track" + std::to_string(t + 1) + (group.empty() ? "" : "-" + group) + "." + ext;
      stems.push_back(s);
      break;
    }
  }
  if (gep->offlineSynthSounds()) stems.push_back({JLStem::kSynth, "synth." + ext});
  if (gep->offlineUserLoopSounds()) stems.push_back({JLStem::kUserLoop, "userloop." + ext});
  stems.push_back({JLStem::kMaster, "master." + ext});
  return true;
}

bool JL_DiskMixStems(const JLIceimage& image, const char* outFolder, const char* extension,
                     const JLDiskMixOptions& options, JLDiskMixReport& report, std::vector<std::string>* written) {
  report = JLDiskMixReport();
  if (written) written->clear();
  if (!outFolder || !*outFolder) return fail(report, "no output folder"), false;
  std::string folder = outFolder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  struct stat st;
  if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return fail(report, "not a folder: %s", outFolder), false;
  const std::string probe = folder + "/master." + (extension ? extension : "wav");
  const int format = outputFormat(probe.c_str(), options, report);
  if (!format) return false;
  std::vector<JLStem> stems;
  if (!JL_DiskMixStemsPlan(image, options, extension, stems, report)) return false;

  // Every file is rendered beside the others in a temporary folder inside
  // the target and moved in at the end, so a failed or stopped render
  // leaves none of the set (and older files of those names untouched).
  PendingFolder pending;
  std::string tmpl = folder + "/.jamloom-stems-XXXXXX";
  if (!mkdtemp(&tmpl[0])) return fail(report, "cannot write in %s", folder.c_str()), false;
  pending.path = tmpl;
  int64_t frames = -1;
  for (size_t i = 0; i < stems.size(); ++i) {
    const JLStem& s = stems[i];
    if (!ULO_IsSingleName(s.fileName.c_str()) || !ULO_PathInsideSys(folder, s.fileName.c_str()))
      return fail(report, "refused file name %s", s.fileName.c_str()), false;
    JLDiskMixOptions o = options;
    PassProgress pass{&options, (int)i, (int)stems.size()};
    if (options.progress) {
      o.progress = &PassProgress::tell;
      o.progressContext = &pass;
    }
    Sources sources;
    if (s.source != JLStem::kMaster) {
      // One source alone: every other track out of every step.
      sources.silenced = s.source >= 0 ? uint8_t(~(1u << s.source)) : uint8_t(0xFF);
      sources.synth = s.source == JLStem::kSynth;
      sources.userLoop = s.source == JLStem::kUserLoop;
      // The Original tempo quality truncates the mix to 16 bits and then
      // its interpolation again: a stem so made is off its share of the
      // master by up to two steps. Rounded once from the unrounded mix, a
      // stem is within half a step of its share, and the sum stays within
      // a step per stem of the master, made as it always was. A lone stem
      // is the master itself, so it is made the master's way.
      sources.roundOnce = stems.size() > 2;
    }
    JLDiskMixReport one;
    pending.files.push_back(s.fileName);
    const bool ok = renderMix(image, (pending.path + "/" + s.fileName).c_str(), format, o, sources, one);
    report.underruns += one.underruns;
    report.steps = one.steps;
    if (!ok) {
      memcpy(report.error, one.error, sizeof report.error);
      return false;
    }
    if (frames >= 0 && one.frames != frames) return fail(report, "the stems came out of different lengths"), false;
    frames = one.frames;
  }
  report.frames = frames;
  for (const JLStem& s : stems) {
    const std::string target = folder + "/" + s.fileName;
    if (rename((pending.path + "/" + s.fileName).c_str(), target.c_str()) != 0)
      return fail(report, "cannot replace %s", target.c_str()), false;
    if (written) written->push_back(target);
  }
  pending.files.clear();
  return true;
}

std::string JL_DiskMixStemsFolderFor(const std::string& mix) {
  const size_t slash = mix.rfind('/');
  const size_t dot = mix.rfind('.');
  const bool hasExt = dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
  return (hasExt ? mix.substr(0, dot) : mix) + "-stems";
}

namespace {

// Copies `from` to `to` (system paths) under a temporary name renamed into
// place, so `to` is either the old file or the whole new one.
bool copyInto(const std::string& from, const std::string& to, JLDiskMixReport& report) {
  FILE* in = fopen(from.c_str(), "rb");
  if (!in) return fail(report, "cannot read %s", from.c_str()), false;
  PendingFile pending;
  pending.tmp = ULO_FreshTempPathSys(to);
  FILE* out = fopen(pending.tmp.c_str(), "wb");
  if (!out) {
    fclose(in);
    return fail(report, "cannot write %s", to.c_str()), false;
  }
  std::vector<char> buf(1 << 16);
  bool ok = true;
  for (size_t n; (n = fread(buf.data(), 1, buf.size(), in)) > 0;)
    if (fwrite(buf.data(), 1, n, out) != n) ok = false;
  ok = !ferror(in) && ok;
  fclose(in);
  ok = fflush(out) == 0 && fsync(fileno(out)) == 0 && ok;
  ok = fclose(out) == 0 && ok;
  if (!ok) return fail(report, "cannot write %s", to.c_str()), false;
  if (rename(pending.tmp.c_str(), to.c_str()) != 0) return fail(report, "cannot replace %s", to.c_str()), false;
  pending.keep = true;
  return true;
}

}  // namespace

bool JL_DiskMixWithStems(const JLIceimage& image, const char* out, const JLDiskMixOptions& options,
                         JLDiskMixReport& report) {
  report = JLDiskMixReport();
  const int format = outputFormat(out, options, report);
  if (!format) return false;
  const std::string mix = out;
  const size_t slash = mix.rfind('/'), dot = mix.rfind('.');
  // The stems take the mix's extension; a format given without one in the
  // name (the caller names the file) writes ".wav"-style names of its own.
  std::string ext = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? mix.substr(dot + 1) : "";
  if (ext.empty()) ext = "wav";
  const std::string folder = JL_DiskMixStemsFolderFor(mix);
  struct stat st;
  const bool made = lstat(folder.c_str(), &st) != 0 && mkdir(folder.c_str(), 0777) == 0;
  if (!made && (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
    return fail(report, "cannot make the stems folder %s", folder.c_str()), false;
  std::vector<std::string> written;
  bool ok = JL_DiskMixStems(image, folder.c_str(), ext.c_str(), options, report, &written);
  if (ok) {
    // The master is the last stem written.
    const int64_t frames = report.frames;
    ok = !written.empty() && copyInto(written.back(), mix, report);
    report.frames = frames;
  }
  if (!ok && made) rmdir(folder.c_str());  // only when nothing was moved in
  return ok;
}

bool JL_ArpToFile(const JLArpRender& arp, const char* out, const JLDiskMixOptions& options,
                  JLDiskMixReport& report) {
  report = JLDiskMixReport();
  const int format = outputFormat(out, options, report);
  if (!format) return false;
  const int32_t steps = JL_ArpRenderSteps(arp.notes.c_str());
  const int64_t total = JL_ArpRenderFrames(steps, arp.stepsPerBeat, arp.bpm);
  if (total <= 0) return fail(report, "no arpeggio to render: switch some notes on"), false;
  OfflineSession session;
  if (!session.open) return fail(report, "the audio engine is busy"), false;
  // Armed at the playing tempo itself, so the steps fall on exact frames
  // of the output; no loop plays, only the synth.
  gep->samplesBpm(arp.bpm);
  gep->play();
  for (short t = 0; t < 8; ++t) gep->setTrackSample(t, -1);
  gep->offlineStart();
  gep->setMixerBpm(arp.bpm);
  gep->setMixerVolume(options.volume);
  gep->synth_SetVolume(arp.volume);
  gep->synth_SetPan(arp.pan);
  gep->synth_Arp(arp.mode, arp.stepsPerBeat, arp.notes.c_str());
  report.steps = steps;
  return writeFrames(out, format, total, options, report, nullptr);
}

// ---- worker thread -------------------------------------------------------------

JLDiskMixJob::~JLDiskMixJob() {
  stop();
  if (worker_.joinable()) worker_.join();
}

bool JLDiskMixJob::onProgress(void* self, float done) {
  auto* job = static_cast<JLDiskMixJob*>(self);
  job->fraction_.store(done, std::memory_order_relaxed);
  return !job->stopAsked_.load();
}

bool JLDiskMixJob::begin(const char* out, const JLDiskMixOptions& options) {
  if (worker_.joinable()) return false;
  done_ = false;
  stopAsked_ = false;
  fraction_ = 0.f;
  ok_ = false;
  report_ = JLDiskMixReport();
  out_ = out ? out : "";
  options_ = options;
  options_.progress = &JLDiskMixJob::onProgress;
  options_.progressContext = this;
  return true;
}

bool JLDiskMixJob::startMix(const JLIceimage& image, const char* out, const JLDiskMixOptions& options) {
  if (!begin(out, options)) return false;
  image_ = std::make_unique<JLIceimage>(image);
  worker_ = std::thread([this] {
    ended(JL_DiskMix(*image_, out_.c_str(), options_, report_));
  });
  return true;
}

bool JLDiskMixJob::startStems(const JLIceimage& image, const char* out, const char* extension,
                              const JLDiskMixOptions& options) {
  if (!begin(out, options)) return false;
  image_ = std::make_unique<JLIceimage>(image);
  extension_ = extension ? extension : "wav";
  worker_ = std::thread([this] {
    ended(JL_DiskMixStems(*image_, out_.c_str(), extension_.c_str(), options_, report_));
  });
  return true;
}

bool JLDiskMixJob::startMixWithStems(const JLIceimage& image, const char* out, const JLDiskMixOptions& options) {
  if (!begin(out, options)) return false;
  image_ = std::make_unique<JLIceimage>(image);
  worker_ = std::thread([this] { ended(JL_DiskMixWithStems(*image_, out_.c_str(), options_, report_)); });
  return true;
}

bool JLDiskMixJob::startArp(const JLArpRender& arp, const char* out, const JLDiskMixOptions& options) {
  if (!begin(out, options)) return false;
  arp_ = arp;
  worker_ = std::thread([this] {
    ended(JL_ArpToFile(arp_, out_.c_str(), options_, report_));
  });
  return true;
}

void JLDiskMixJob::ended(bool ok) {
  ok_ = ok;
  std::lock_guard<std::mutex> g(doneLock_);
  done_.store(true, std::memory_order_release);
  doneSignal_.notify_all();
}

bool JLDiskMixJob::waitFinished(int ms) {
  std::unique_lock<std::mutex> g(doneLock_);
  return doneSignal_.wait_for(g, std::chrono::milliseconds(ms < 0 ? 0 : ms), [this] { return done_.load(); });
}

bool JLDiskMixJob::finish(JLDiskMixReport& report) {
  if (!worker_.joinable()) return false;
  worker_.join();
  report = report_;
  return ok_;
}
