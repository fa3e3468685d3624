// jl-pack-demo: writes the demo installer's package folder, the installer
// beside one song's descriptor, picture and loops compressed as IMA ADPCM.
//
//   jl-pack-demo --out FOLDER [--song FOLDER] [--installer FILE]
//
// Without --song the built-in synthesised song is packed. Exit code 0 on
// success, 1 on any failure (with a line on stderr).
#include <dirent.h>
#include <errno.h>
#include <sndfile.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "installer/jlDemoInstaller.h"
#include "installer/jlLoopDecoder.h"
#include "tools/packdemo/demoSong.h"

namespace {

bool fail(const std::string& what) {
  fprintf(stderr, "jl-pack-demo: %s\n", what.c_str());
  return false;
}

bool writeBytes(const std::string& path, const void* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return fail("cannot create " + path);
  bool ok = std::fwrite(data, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  return ok || fail("cannot write " + path);
}

bool readBytes(const std::string& path, std::vector<uint8_t>* out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return fail("cannot read " + path);
  out->clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok || fail("cannot read " + path);
}

bool writeImaAdpcm(const std::string& path, const DemoLoop& loop) {
  const int64_t frames = (int64_t)(loop.samples.size() / loop.channels);
  return JL_WriteImaAdpcmWav(path, loop.samples.data(), frames, loop.channels, loop.sampleRate) ||
         fail("cannot write " + path);
}

bool readLoop(const std::string& path, DemoLoop* loop) {
  SF_INFO info = {};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  if (!f) return fail("cannot read " + path + ": " + sf_strerror(nullptr));
  loop->sampleRate = info.samplerate;
  loop->channels = info.channels;
  loop->samples.assign((size_t)(info.frames * info.channels), 0);
  bool ok = sf_readf_short(f, loop->samples.data(), info.frames) == info.frames;
  sf_close(f);
  // IMA ADPCM in WAV carries one or two channels only.
  if (ok && (info.channels < 1 || info.channels > 2)) return fail(path + ": only mono or stereo loops");
  return ok || fail("cannot decode " + path);
}

bool readSongFolder(const std::string& folder, DemoSong* song) {
  JLDemoFiles files;
  if (!JL_FindDemoFiles(folder, &files)) return fail("cannot list " + folder);
  if (files.descriptor.empty()) return fail("no *.jls in " + folder);
  const std::string from = JL_WithTrailingSlash(folder);
  std::vector<uint8_t> bytes;
  if (!readBytes(from + files.descriptor, &bytes)) return false;
  song->name = files.descriptor.substr(0, files.descriptor.rfind('.'));
  song->descriptor.assign(bytes.begin(), bytes.end());
  song->picture.clear();
  song->pictureName = files.picture;
  if (!files.picture.empty() && !readBytes(from + files.picture, &song->picture)) return false;
  for (const std::string& name : files.loops) {
    DemoLoop loop;
    loop.fileName = name;
    if (!readLoop(from + name, &loop)) return false;
    song->loops.push_back(std::move(loop));
  }
  return true;
}

bool endsWith(const char* name, const char* tail) {
  size_t n = strlen(name), t = strlen(tail);
  return n > t && strcasecmp(name + n - t, tail) == 0;
}

bool hasPackagedKind(const char* name) {
  return endsWith(name, ".jls") || endsWith(name, ".gif") || endsWith(name, ".wav") || endsWith(name, ".part");
}

// A song packed earlier must not leave a second descriptor or stray loops.
bool clearOldPackage(const std::string& out) {
  DIR* dir = opendir(out.c_str());
  if (!dir) return fail("cannot list " + out);
  std::vector<std::string> old;
  while (dirent* e = readdir(dir))
    if (e->d_name[0] != '.' && hasPackagedKind(e->d_name)) old.push_back(e->d_name);
  closedir(dir);
  for (const std::string& name : old)
    if (std::remove((out + name).c_str()) != 0) return fail("cannot remove " + out + name);
  return true;
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool copyInstaller(const std::string& installer, const std::string& out) {
  const std::string target = out + "jamloom-demo-setup";
  if (sameFile(installer, target)) return true;  // built straight into the package
  std::vector<uint8_t> bytes;
  if (!readBytes(installer, &bytes)) return false;
  const std::string temp = target + ".part";
  if (!writeBytes(temp, bytes.data(), bytes.size())) return false;
  if (chmod(temp.c_str(), 0755) != 0 || std::rename(temp.c_str(), target.c_str()) != 0) {
    std::remove(temp.c_str());
    return fail("cannot install " + target);
  }
  return true;
}

bool pack(const std::string& out, const std::string& songFolder, const std::string& installer) {
  DemoSong song;
  if (songFolder.empty()) song = MakeBuiltInDemoSong();
  else if (!readSongFolder(songFolder, &song)) return false;
  if (mkdir(out.c_str(), 0755) != 0 && errno != EEXIST) return fail("cannot create " + out);
  const std::string to = JL_WithTrailingSlash(out);
  if (!clearOldPackage(to)) return false;
  if (!writeBytes(to + song.name + ".jls", song.descriptor.data(), song.descriptor.size())) return false;
  if (!song.picture.empty() && !writeBytes(to + song.pictureName, song.picture.data(), song.picture.size()))
    return false;
  for (const DemoLoop& loop : song.loops)
    if (!writeImaAdpcm(to + loop.fileName, loop)) return false;
  return installer.empty() || copyInstaller(installer, to);
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, song, installer;
  for (int i = 1; i < argc; i += 2) {
    const std::string arg = argv[i];
    std::string* value = arg == "--out" ? &out : arg == "--song" ? &song : arg == "--installer" ? &installer : nullptr;
    if (!value || i + 1 >= argc) {
      out.clear();
      break;
    }
    *value = argv[i + 1];
  }
  if (out.empty()) {
    fprintf(stderr, "usage: jl-pack-demo --out FOLDER [--song FOLDER] [--installer FILE]\n");
    return 1;
  }
  return pack(out, song, installer) ? 0 : 1;
}
