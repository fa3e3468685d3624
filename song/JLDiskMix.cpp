#include "song/JLDiskMix.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/files/uloPathNames.h"
#include "core/files/uloFolderOps.h"
#include "engine/AudioFormat.h"
#include "engine/JLEngine.h"
#include "engine/MMSysAudio.h"
#include "engine/Mixer.h"
#include "engine/Vtrack.h"
#include "song/JLMixDocument.h"
#include "song/JLSongLibrary.h"
#include "song/JLSongLoading.h"

namespace {

constexpr int kRate = 44100;

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

// The grooves to play, one per 32-beat step.
std::vector<JLGroove> plan(const JLIceimage& image, const JLDiskMixOptions& o) {
  std::vector<JLGroove> steps;
  const JLSequence& seq = image.sequence;
  if (o.useSequence) {
    for (int16_t i = 0; i < seq.stepCount && i < JLSequence::kMaxSteps; ++i) {
      int16_t at = seq.findGroove(seq.steps[i]);
      if (at >= 0) steps.push_back(seq.grooves[at]);
    }
  }
  if (steps.empty())
    for (int i = 0; i < (o.cycles > 0 ? o.cycles : 1); ++i) steps.push_back(image.groove);
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

}  // namespace

int JL_DiskMixSndfileFormat(int32_t major) {
  major &= SF_FORMAT_TYPEMASK;
  if (!major) return 0;
  SF_INFO info;
  memset(&info, 0, sizeof info);
  info.samplerate = kRate;
  info.channels = 2;
  info.format = major | (major == SF_FORMAT_OGG ? SF_FORMAT_VORBIS : SF_FORMAT_PCM_16);
  return sf_format_check(&info) ? info.format : 0;
}

int64_t JL_DiskMixFrames(int32_t steps, float bpm) {
  if (steps <= 0 || !(bpm > 0)) return 0;
  return (int64_t)std::llround((double)steps * 32.0 * 60.0 * kRate / (double)bpm);
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
      groove.tracks[t].pan = g.pan[v];
      break;
    }
  }
}

bool JL_DiskMix(const JLIceimage& image, const char* out, const JLDiskMixOptions& options, JLDiskMixReport& report) {
  report = JLDiskMixReport();
  if (!gep) return fail(report, "the audio engine is not running"), false;
  if (!out || !*out) return fail(report, "no output file"), false;
  const int format = options.majorFormat ? JL_DiskMixSndfileFormat(options.majorFormat) : formatFor(out);
  if (!format) return fail(report, "unknown sound file kind: %s (use .wav, .flac, .ogg or .aiff)", out), false;
  if (!JL_IsSafeSongName(image.songName)) return fail(report, "the mix names no valid song"), false;
  char folder[kUloPathMax];
  snprintf(folder, sizeof folder, ":Library:Song:%s:", image.songName);

  static JLSongLibrary library;  // large; one is enough
  gep->stop();
  wDBSetManualFeed(true);
  struct ManualFeedOff {
    ~ManualFeedOff() {
      gep->stop();
      wDBSetManualFeed(false);
    }
  } restore;
  if (!JL_LoadSongIntoEngine(library, folder)) return fail(report, "song not installed: %s", image.songName), false;
  float bpm = image.bpm > 0 ? image.bpm : (float)library.songBpm;
  // The engine plays at most 1.3 times the song tempo; the file's length
  // follows what is really heard.
  if (library.songBpm > 0 && bpm > 1.3f * library.songBpm) bpm = 1.3f * library.songBpm;
  const std::vector<JLGroove> steps = plan(image, options);
  const int64_t total = JL_DiskMixFrames((int32_t)steps.size(), bpm);
  if (total <= 0) return fail(report, "nothing to render"), false;

  PendingFile pending;
  pending.tmp = ULO_FreshTempPathSys(out);
  SF_INFO info;
  memset(&info, 0, sizeof info);
  info.samplerate = kRate;
  info.channels = 2;
  info.format = format;
  SNDFILE* sf = sf_open(pending.tmp.c_str(), SFM_WRITE, &info);
  if (!sf) return fail(report, "cannot write %s", pending.tmp.c_str()), false;

  const uint32_t underrunsBefore = TrackUnderruns.load();
  gep->play();
  sendGroove(library, steps[0], false);
  // The renderer makes the loader's visits itself, block by block, so the
  // rings are always full and the result does not depend on timing.
  PauseLoader();
  gep->setMixerBpm(bpm);
  gep->setMixerVolume(options.volume);
  LoaderVisitAll();

  std::vector<int16_t> block(2 * kMixBlock);
  const int32_t period = kSyncBeats * BPM.load();
  size_t scheduled = 1;  // steps handed to the engine
  int64_t written = 0;
  bool ok = true;
  int64_t nextReport = 0;
  const int64_t reportStep = std::max<int64_t>(kMixBlock, total / 100);
  while (written < total) {
    if (options.progress && written >= nextReport) {
      nextReport = written + reportStep;
      if (!options.progress(options.progressContext, float(double(written) / double(total)))) {
        ok = false;
        fail(report, "stopped");
        break;
      }
    }
    // Once step k has begun, step k + 1 waits for the next sync point.
    if (scheduled < steps.size() && period > 0 && TimeLine.load() > (int32_t)(scheduled - 1) * period) {
      sendGroove(library, steps[scheduled], true);
      ++scheduled;
    }
    GetResampled(block.data(), kMixBlock);
    LoaderVisitAll();
    const int64_t n = std::min<int64_t>(kMixBlock, total - written);
    if (sf_writef_short(sf, block.data(), n) != n) {
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
  report.steps = (int32_t)steps.size();
  report.underruns = TrackUnderruns.load() - underrunsBefore;
  if (!ok) return false;
  if (rename(pending.tmp.c_str(), out) != 0) return fail(report, "cannot replace %s", out), false;
  pending.keep = true;
  return true;
}
