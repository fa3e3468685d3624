// jl-make-demo-library: synthesises the demo library into a program's
// "Library" folder and, optionally, the demo installer's song folder.
//
//   jl-make-demo-library --library FOLDER [--package-song FOLDER] [--stamp FILE]
//
// The output is the same, byte for byte, on every run. Exit code 0 on
// success, 1 on failure (with a line on stderr).
#include <chrono>
#include <cstdio>
#include <string>

#include "tools/demolib/demoLibrary.h"
#include "tools/demolib/files.h"
#include "tools/demolib/songs.h"

int main(int argc, char** argv) {
  std::string library, packageSong, stamp;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--library") library = argv[i + 1];
    else if (arg == "--package-song") packageSong = argv[i + 1];
    else if (arg == "--stamp") stamp = argv[i + 1];
  }
  if (library.empty() || argc % 2 == 0) {
    std::fprintf(stderr, "usage: jl-make-demo-library --library FOLDER [--package-song FOLDER] [--stamp FILE]\n");
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  std::vector<demolib::SongReport> reports;
  std::string error;
  bool ok = demolib::writeLibrary(library, &reports, &error);
  if (ok && !packageSong.empty()) {
    const demolib::SongDef song = demolib::packageSong();
    demolib::SongReport r;
    ok = demolib::writeSong(song, packageSong + "/" + song.folder, song.folder + ".jls", &r, &error);
    if (ok) reports.push_back(r);
  }
  if (!ok) {
    std::fprintf(stderr, "jl-make-demo-library: %s\n", error.c_str());
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const demolib::SongReport& r : reports)
    std::printf("%-14s %3d BPM %2d groups %2d loops  default mix %6.2f LUFS peak %6.2f dBFS rms %6.2f dBFS  "
                "2-6 kHz %6.2f dB  worst %6.2f dBFS  %5.2f MB\n",
                r.folder.c_str(), r.bpm, r.groups, r.loops, r.loudnessLufs, r.mixPeakDb, r.mixRmsDb, r.brightDb,
                r.worstPeakDb, r.megabytes);
  std::printf("demo library written in %.1f s\n", seconds);
  if (!stamp.empty() && !demolib::writeFile(stamp, std::string("demo library\n"))) {
    std::fprintf(stderr, "jl-make-demo-library: cannot write %s\n", stamp.c_str());
    return 1;
  }
  return 0;
}
