// jamloom-render: renders a mix document (or a song's first groove) into a
// sound file with the program's own engine, no audio device needed.
//
//   jamloom-render MIX.jld OUT.wav [--cycles N] [--volume 0..128] [--groove]
//   jamloom-render --song NAME OUT.flac [--cycles N] [--volume 0..128] [--bpm T]
//   jamloom-render --stems OUTDIR [--format wav|flac|ogg|aiff] MIX.jld | --song NAME [...]
//
// --stems writes one file per playing track (track3-bass.wav), the synth
// and the user loop when they play, and master.wav into OUTDIR, all of one
// length, whose sum is the master.
//
// The master volume is the program's starting one (63) unless --volume
// gives another, so a render is as loud as the program plays it. A mix
// document whose synth has notes on plays its arpeggio along, with the set,
// volume and pan it keeps, as the program's disk mix of it does.
// Like the program, it finds the library beside its own executable,
// wherever it is started from. Exit code 0 on success, 1 on failure, 2 for
// a wrong command line.
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/files/uloPathNames.h"
#include "engine/JLEngine.h"
#include "song/JLDiskMix.h"
#include "song/JLMixDocument.h"
#include "song/JLSongLibrary.h"
#include "song/JLSynthSetup.h"

namespace {

int usage() {
  fprintf(stderr,
          "usage: jamloom-render MIX.jld OUT.(wav|flac|ogg|aiff) [--cycles N] [--volume 0..128] [--groove]\n"
          "       jamloom-render --song NAME OUT.(wav|flac|ogg|aiff) [--cycles N] [--volume 0..128] [--bpm T]\n"
          "       jamloom-render --stems OUTDIR [--format wav|flac|ogg|aiff] (MIX.jld | --song NAME) [...]\n"
          "--volume is the master volume, 63 (the program's starting one) unless given.\n");
  return 2;
}

std::string absolute(const char* path, const std::string& cwd) {
  if (path[0] == '/' || cwd.empty()) return path;
  return cwd + "/" + path;
}

bool enterProgramFolder() {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return false;
  exe[n] = 0;
  char* slash = strrchr(exe, '/');
  if (!slash) return false;
  slash[1] = 0;
  return chdir(exe) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mix = nullptr;
  const char* song = nullptr;
  const char* out = nullptr;
  JLDiskMixOptions options;
  float bpm = 0;
  const char* stems = nullptr;
  std::string format = "wav";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--song" && i + 1 < argc) {
      song = argv[++i];
    } else if (a == "--cycles" && i + 1 < argc) {
      options.cycles = atoi(argv[++i]);
      if (options.cycles < 1 || options.cycles > 1000) return usage();
    } else if (a == "--volume" && i + 1 < argc) {
      int v = atoi(argv[++i]);
      if (v < 0 || v > 128) return usage();
      options.volume = (int16_t)v;
    } else if (a == "--bpm" && i + 1 < argc) {
      bpm = (float)atof(argv[++i]);
      if (!(bpm > 0 && bpm < 1000)) return usage();
    } else if (a == "--stems" && i + 1 < argc) {
      stems = argv[++i];
    } else if (a == "--format" && i + 1 < argc) {
      format = argv[++i];
      for (char& c : format) c = (char)tolower((unsigned char)c);
      if (format != "wav" && format != "flac" && format != "ogg" && format != "aiff") return usage();
    } else if (a == "--groove") {
      options.useSequence = false;
    } else if (a.size() > 1 && a[0] == '-') {
      return usage();
    } else if (!mix && !song) {
      mix = argv[i];
    } else if (!out) {
      out = argv[i];
    } else {
      return usage();
    }
  }
  if (stems && out) return usage();
  if (stems) out = stems;
  if (!out || (!mix && !song)) return usage();

  char cwdBuf[4096];
  const std::string cwd = getcwd(cwdBuf, sizeof cwdBuf) ? cwdBuf : "";
  const std::string outPath = absolute(out, cwd);
  JLIceimage image;
  static uint8_t synth[kJLSynthBlockBytes];
  bool synthOk = false;
  if (mix) {
    char ulo[kUloPathMax];
    if (!ULO_SystemPathToUloPath(absolute(mix, cwd).c_str(), ulo, sizeof ulo)) {
      fprintf(stderr, "jamloom-render: cannot name %s\n", mix);
      return 1;
    }
    if (!enterProgramFolder()) return 1;
    if (JL_ReadMixDocument(ulo, image, synth, &synthOk) != JLMixReadResult::ok || !image.valid) {
      fprintf(stderr, "jamloom-render: %s is not a mix document this program reads\n", mix);
      return 1;
    }
  } else {
    if (!enterProgramFolder()) return 1;
    if (!JL_IsSafeSongName(song)) {
      fprintf(stderr, "jamloom-render: not a song name: %s\n", song);
      return 1;
    }
    static JLSongLibrary library;
    char folder[kUloPathMax];
    snprintf(folder, sizeof folder, ":Library:Song:%s:", song);
    if (!library.load(folder)) {
      fprintf(stderr, "jamloom-render: song not installed: %s\n", song);
      return 1;
    }
    image.valid = 1;
    ULO_StrCopy(image.songName, sizeof image.songName, song);
    image.bpm = bpm > 0 ? bpm : (float)library.songBpm;
    // Sample numbers are given when the song is loaded into the engine; the
    // groove only names groups and variants, so the header load suffices.
    JL_DefaultGroove(library, image.groove);
  }

  JLEngine engine;
  gep = &engine;
  engine.init();
  // The document's synth plays along as it does in the program's disk mix.
  if (mix && synthOk) JL_StartDocumentSynth(engine, synth, kJLSynthBlockBytes);
  JLDiskMixReport report;
  std::vector<std::string> files;
  const bool ok = stems ? JL_DiskMixStems(image, outPath.c_str(), format.c_str(), options, report, &files)
                        : JL_DiskMix(image, outPath.c_str(), options, report);
  engine.exit();
  gep = nullptr;
  if (!ok) {
    fprintf(stderr, "jamloom-render: %s\n", report.error);
    return 1;
  }
  for (const std::string& f : files) printf("%s\n", f.c_str());
  printf("%s: %d step(s) of 32 beats, %lld frames (%.2f s)%s\n", out, report.steps, (long long)report.frames,
         report.frames / 44100.0, report.underruns ? ", with underruns" : "");
  return report.underruns ? 1 : 0;
}
