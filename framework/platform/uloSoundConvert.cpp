#include "framework/platform/uloSoundConvert.h"

#include <fcntl.h>
#include <samplerate.h>
#include <sndfile.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/files/uloFiles.h"
#include "core/files/uloPathNames.h"
#include "core/files/uloFolderOps.h"
#include "framework/platform/uloSys.h"

namespace {

bool systemPath(const char* path, char* out, size_t size) {
  return path && ULO_UloPathToSystemPath(path, out, size) && out[0];
}

// Sound from outside is read only from a regular file, so that a FIFO or a
// device in its place cannot block; libsndfile owns the descriptor after.
SNDFILE* openRegularSound(const char* sysPath, SF_INFO* info) {
  const int fd = ULO_OpenRegularSystemFile(sysPath, O_RDONLY);
  return fd < 0 ? nullptr : sf_open_fd(fd, SFM_READ, info, SF_TRUE);
}

struct SndFile {
  SNDFILE* f = nullptr;
  ~SndFile() {
    if (f) sf_close(f);
  }
};

// The writable encoding for a major format: 16-bit PCM where it exists,
// else the format's first subtype that libsndfile accepts.
int writableFormat(int major, int channels, int rate) {
  SF_INFO info = {};
  info.channels = channels;
  info.samplerate = rate;
  info.format = major | SF_FORMAT_PCM_16;
  if (sf_format_check(&info)) return info.format;
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_SUBTYPE_COUNT, &count, sizeof count);
  for (int i = 0; i < count; i++) {
    SF_FORMAT_INFO sub = {};
    sub.format = i;
    sf_command(nullptr, SFC_GET_FORMAT_SUBTYPE, &sub, sizeof sub);
    info.format = major | sub.format;
    if (sf_format_check(&info)) return info.format;
  }
  return 0;
}

struct Offered {
  int32_t code;
  const char* name;
  const char* extension;
};
// In the order a musician looks for them.
const Offered kOffered[] = {
    {SF_FORMAT_WAV | SF_FORMAT_PCM_16, "WAV 16-bit", "wav"},
    {SF_FORMAT_WAV | SF_FORMAT_PCM_24, "WAV 24-bit", "wav"},
    {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "FLAC", "flac"},
    {SF_FORMAT_OGG | SF_FORMAT_VORBIS, "OGG Vorbis", "ogg"},
    {SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "AIFF", "aiff"},
    {SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, "MP3", "mp3"},
};

bool writable(int format) {
  SF_INFO info = {};
  info.channels = 2;
  info.samplerate = 44100;
  info.format = format;
  return sf_format_check(&info) != 0;
}

// The offered formats this libsndfile writes, found once.
struct FormatList {
  std::vector<const Offered*> list;
  FormatList() {
    for (const Offered& o : kOffered)
      if (writable(o.code)) list.push_back(&o);
  }
};

const FormatList& formats() {
  static const FormatList list;
  return list;
}

// libsndfile's description of a container (name, extension); false when
// it knows none.
bool majorInfo(int major, SF_FORMAT_INFO* out) {
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
  for (int i = 0; i < count; i++) {
    SF_FORMAT_INFO fi = {};
    fi.format = i;
    if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &fi, sizeof fi) != 0 || fi.format != major) continue;
    *out = fi;
    return true;
  }
  return false;
}

// The temporary name beside the target.
void tempName(const char* sysTarget, char* out, size_t size) {
  snprintf(out, size, "%s", ULO_FreshTempPathSys(sysTarget).c_str());
}

}  // namespace

bool uloQt_soundConvert_toWave(const char* from, const char* to, int channels, int bits, int rate,
                               uloSoundProgress progress, void* context) {
  if (channels < 1 || channels > 2 || bits != 16 || rate < 1000 || rate > 192000) return false;
  char src[kUloPathMax], dst[kUloPathMax], tmp[kUloPathMax + 8];
  if (!systemPath(from, src, sizeof src) || !systemPath(to, dst, sizeof dst)) return false;
  tempName(dst, tmp, sizeof tmp);

  SF_INFO inInfo = {};
  SndFile in;
  in.f = openRegularSound(src, &inInfo);
  if (!in.f || inInfo.channels < 1 || inInfo.samplerate < 1 || inInfo.frames <= 0) return false;

  SF_INFO outInfo = {};
  outInfo.channels = channels;
  outInfo.samplerate = rate;
  outInfo.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  bool ok = true;
  {
    SndFile out;
    out.f = sf_open(tmp, SFM_WRITE, &outInfo);
    if (!out.f) return false;

    const double ratio = double(rate) / double(inInfo.samplerate);
    int err = 0;
    SRC_STATE* conv = ratio == 1.0 ? nullptr : src_new(SRC_SINC_MEDIUM_QUALITY, channels, &err);
    if (ratio != 1.0 && !conv) ok = false;

    constexpr int kBlock = 4096;
    std::vector<float> raw(size_t(kBlock) * inInfo.channels);
    std::vector<float> picked(size_t(kBlock) * channels);
    const int outCapacity = int(kBlock * ratio) + 64;
    std::vector<float> converted(size_t(outCapacity) * channels);
    sf_count_t readTotal = 0;
    bool ended = false;
    while (ok && !ended) {
      const sf_count_t got = sf_readf_float(in.f, raw.data(), kBlock);
      if (got < 0) { ok = false; break; }
      ended = got < kBlock;
      readTotal += got;
      for (sf_count_t i = 0; i < got; i++)
        for (int c = 0; c < channels; c++)
          picked[size_t(i) * channels + c] = raw[size_t(i) * inInfo.channels + (c < inInfo.channels ? c : 0)];
      if (!conv) {
        if (sf_writef_float(out.f, picked.data(), got) != got) ok = false;
      } else {
        SRC_DATA d = {};
        d.data_in = picked.data();
        d.input_frames = long(got);
        d.src_ratio = ratio;
        d.end_of_input = ended ? 1 : 0;
        // The converter may hold frames back; drain until it has taken the
        // whole block (and, at the end, flushed everything).
        do {
          d.data_out = converted.data();
          d.output_frames = outCapacity;
          if (src_process(conv, &d) != 0) { ok = false; break; }
          if (d.output_frames_gen > 0 &&
              sf_writef_float(out.f, converted.data(), d.output_frames_gen) != d.output_frames_gen) {
            ok = false;
            break;
          }
          d.data_in += d.input_frames_used * channels;
          d.input_frames -= d.input_frames_used;
        } while (d.input_frames > 0 || (ended && d.output_frames_gen > 0));
      }
      if (ok && progress && !progress(context, float(double(readTotal) / double(inInfo.frames)))) ok = false;
    }
    if (conv) src_delete(conv);
    if (ok && sf_error(out.f) != SF_ERR_NO_ERROR) ok = false;
  }
  if (ok) ok = std::rename(tmp, dst) == 0;
  if (!ok) std::remove(tmp);
  return ok;
}

bool uloQt_writeWave16(const char* to, const int16_t* samples, int32_t frames, int channels, int rate) {
  if (!samples || frames < 0 || channels < 1 || channels > 2) return false;
  char dst[kUloPathMax], tmp[kUloPathMax + 8];
  if (!systemPath(to, dst, sizeof dst)) return false;
  tempName(dst, tmp, sizeof tmp);
  SF_INFO info = {};
  info.channels = channels;
  info.samplerate = rate;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  bool ok;
  {
    SndFile out;
    out.f = sf_open(tmp, SFM_WRITE, &info);
    if (!out.f) return false;
    ok = sf_writef_short(out.f, samples, frames) == frames && sf_error(out.f) == SF_ERR_NO_ERROR;
  }
  if (ok) ok = std::rename(tmp, dst) == 0;
  if (!ok) std::remove(tmp);
  return ok;
}

int uloQt_soundConvert_formatCount() { return int(formats().list.size()); }

bool uloQt_soundConvert_getFormat(int index, int32_t* code, char* name, size_t nameSize) {
  const FormatList& f = formats();
  if (index < 0 || index >= int(f.list.size())) return false;
  if (code) *code = f.list[size_t(index)]->code;
  if (name && nameSize) snprintf(name, nameSize, "%s", f.list[size_t(index)]->name);
  return true;
}

int uloQt_soundConvert_indexOf(int32_t code) {
  const FormatList& f = formats();
  const bool containerOnly = (code & SF_FORMAT_SUBMASK) == 0;
  for (size_t i = 0; i < f.list.size(); i++) {
    const int32_t c = f.list[i]->code;
    if (c == code || (containerOnly && (c & SF_FORMAT_TYPEMASK) == code)) return int(i);
  }
  return -1;
}

bool uloQt_soundConvert_fileFormat(int32_t code, int* sndfileFormat, const char** extension) {
  const int index = uloQt_soundConvert_indexOf(code);
  if (index >= 0) {
    const Offered& o = *formats().list[size_t(index)];
    if (sndfileFormat) *sndfileFormat = o.code;
    if (extension) *extension = o.extension;
    return true;
  }
  // Another container from older preferences: kept as long as libsndfile
  // writes it.
  const int major = code & SF_FORMAT_TYPEMASK;
  SF_FORMAT_INFO fi = {};
  if ((code & ~(SF_FORMAT_TYPEMASK | SF_FORMAT_SUBMASK)) != 0 || !majorInfo(major, &fi)) return false;
  const int format = (code & SF_FORMAT_SUBMASK) && writable(code) ? code : writableFormat(major, 2, 44100);
  if (!format) return false;
  if (sndfileFormat) *sndfileFormat = format;
  if (extension) *extension = fi.extension && fi.extension[0] ? fi.extension : "snd";
  return true;
}

bool uloQt_soundConvert_describe(int32_t code, char* name, size_t nameSize) {
  const int index = uloQt_soundConvert_indexOf(code);
  if (index >= 0) return uloQt_soundConvert_getFormat(index, nullptr, name, nameSize);
  SF_FORMAT_INFO fi = {};
  if (!uloQt_soundConvert_fileFormat(code, nullptr, nullptr) || !majorInfo(code & SF_FORMAT_TYPEMASK, &fi))
    return false;
  if (name && nameSize) snprintf(name, nameSize, "%s", fi.name ? fi.name : "?");
  return true;
}

bool uloQt_soundIsPlainWave(const char* path) {
  char sys[kUloPathMax];
  if (!systemPath(path, sys, sizeof sys)) return false;
  unsigned char header[44] = {};
  {
    const int fd = ULO_OpenRegularSystemFile(sys, O_RDONLY);
    FILE* f = fd < 0 ? nullptr : fdopen(fd, "rb");
    if (!f) {
      if (fd >= 0) close(fd);
      return false;
    }
    const size_t got = std::fread(header, 1, sizeof header, f);
    std::fclose(f);
    if (got != sizeof header) return false;
  }
  if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVEfmt ", 8) != 0 ||
      std::memcmp(header + 36, "data", 4) != 0)
    return false;
  SF_INFO info = {};
  SndFile in;
  in.f = openRegularSound(sys, &info);
  return in.f && info.format == (SF_FORMAT_WAV | SF_FORMAT_PCM_16) && info.samplerate == 44100 &&
         (info.channels == 1 || info.channels == 2) && info.frames > 0;
}
