// jamloom-render: renders a mix document (or a song's first groove) into a
// sound file with the program's own engine, no audio device needed.
//
//   jamloom-render MIX.jld OUT.wav [--cycles N] [--volume 0..128] [--groove]
//   jamloom-render --song NAME OUT.flac [--cycles N] [--volume 0..128] [--bpm T]
//   either with [--tempo-quality high|original] [--keep-pitch] [--depth 16|24|32]
//   jamloom-render --make-song FOLDER NAME [--bpm T] [--fit trim|stretch]
//
// --tempo-quality picks the tempo interpolation (high, the default, or the
// original linear one); --keep-pitch keeps the loops' pitch as the
// program's Keep pitch preference does (each loop made again for the
// playing tempo) and its synth notes at their own pitch. --depth writes
// .wav, .aiff or .flac with 16-bit, 24-bit or (not FLAC) 32-bit float
// samples (16 unless told); wider ones keep the tempo resampler's output
// unrounded.
//   jamloom-render --stems OUTDIR [--format wav|flac|ogg|aiff|mp3] MIX.jld | --song NAME [...]
//
// --stems writes one file per playing track (track3-bass.wav), the synth
// and the user loop when they play, and master.wav into OUTDIR, all of one
// length, whose sum is the master.
//
// The master volume is the one a mix document keeps (as the program sets
// it on reopening), else the program's starting one (63), unless --volume
// gives another, so a render is as loud as the program plays it. A mix
// document whose synth has notes on plays its arpeggio along, with the set,
// volume and pan it keeps, as the program's disk mix of it does.
// Like the program, it finds the library beside its own executable
// (portable) or in the user's data folder (installed), wherever it is
// started from. Exit code 0 on success, 1 on failure, 2 for
// a wrong command line.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/files/uloFolderOps.h"
#include "core/files/uloPathNames.h"
#include "core/sys/jlPaths.h"
#include "engine/JLEngine.h"
#include "engine/JLStretch.h"
#include "engine/Mixer.h"
#include "song/JLDiskMix.h"
#include "song/JLMixDocument.h"
#include "song/JLSongLibrary.h"
#include "song/JLSongMaker.h"
#include "song/JLSynthSetup.h"

namespace {

int usage() {
  fprintf(stderr,
          "usage: jamloom-render MIX.jld OUT.(wav|flac|ogg|aiff) [--cycles N] [--volume 0..128] [--groove]\n"
          "       jamloom-render --song NAME OUT.(wav|flac|ogg|aiff) [--cycles N] [--volume 0..128] [--bpm T]\n"
          "       either with [--tempo-quality high|original] [--keep-pitch] [--depth 16|24|32]\n"
          "       jamloom-render --make-song FOLDER NAME [--bpm T] [--fit trim|stretch]\n"
          "       jamloom-render --stems OUTDIR [--format wav|flac|ogg|aiff|mp3] (MIX.jld | --song NAME) [...]\n"
          "--volume is the master volume: the mix's own, else 63 (the program's starting one), unless given.\n"
          "--depth: bits per sample of a .wav, .aiff or .flac file (32: float), 16 unless given.\n"
          "--make-song makes the song NAME of the library from the sound files in FOLDER.\n"
          "--fit trim cuts or pads each loop to the nearest length a loop may have: %s beats.\n",
          JL_BeatCountsText().c_str());
  return 2;
}

std::string absolute(const char* path, const std::string& cwd) {
  if (path[0] == '/' || cwd.empty()) return path;
  return cwd + "/" + path;
}

// The same folders as the program: its own folder when portable, the
// user's library when installed.
bool enterProgramFolder() {
  if (JL_EnterRunPaths()) return true;
  fprintf(stderr, "jamloom-render: %s\n", JL_RunPaths().problem.c_str());
  return false;
}

// Makes a song of the library from a folder of sound files.
int makeSong(int argc, char** argv) {
  const char* folder = nullptr;
  const char* name = nullptr;
  JLMakeSongOptions options;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--bpm" && i + 1 < argc) {
      options.bpm = atoi(argv[++i]);
      if (options.bpm < 30 || options.bpm > 400) return usage();
    } else if (a == "--fit" && i + 1 < argc) {
      const std::string m = argv[++i];
      if (m != "trim" && m != "stretch") return usage();
      options.fit = m == "trim" ? JLBeatFitMode::trim : JLBeatFitMode::stretch;
    } else if (!folder) {
      folder = argv[i];
    } else if (!name) {
      name = argv[i];
    } else {
      return usage();
    }
  }
  if (!folder || !name) return usage();
  char cwdBuf[4096];
  const std::string source = absolute(folder, getcwd(cwdBuf, sizeof cwdBuf) ? cwdBuf : "");
  if (!enterProgramFolder()) return 1;
  JLSongPlan plan;
  std::string error;
  if (!JL_PlanSong(source, &plan, &error)) {
    fprintf(stderr, "jamloom-render: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& s : plan.skipped) printf("skipped %s\n", s.c_str());
  if (!options.bpm)
    printf("tempo %d BPM (detected: %d of %zu loops last whole beats)\n", plan.detected.bpm, plan.detected.fitting,
           plan.loops.size());
  JLMakeSongResult result;
  if (!JL_MakeSong(plan, name, options, &result, &error)) {
    fprintf(stderr, "jamloom-render: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& n : result.notes) printf("%s\n", n.c_str());
  for (const JLSongGroupPlan& g : plan.groups) printf("instrument %s: %zu loop(s)\n", g.name.c_str(), g.loops.size());
  printf("made the song %s: %d loop(s) at %d BPM\n", name, result.loops, result.bpm);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mix = nullptr;
  const char* song = nullptr;
  const char* out = nullptr;
  JLDiskMixOptions options;
  bool volumeGiven = false;
  float bpm = 0;
  if (argc > 1 && strcmp(argv[1], "--make-song") == 0) return makeSong(argc, argv);
  bool keepPitch = false;
  int quality = kTempoHigh;
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
      volumeGiven = true;
    } else if (a == "--bpm" && i + 1 < argc) {
      bpm = (float)atof(argv[++i]);
      if (!(bpm > 0 && bpm < 1000)) return usage();
    } else if (a == "--keep-pitch") {
      keepPitch = true;
    } else if (a == "--tempo-quality" && i + 1 < argc) {
      const std::string q = argv[++i];
      if (q != "high" && q != "original") return usage();
      quality = q == "high" ? kTempoHigh : kTempoOriginal;
    } else if (a == "--stems" && i + 1 < argc) {
      stems = argv[++i];
    } else if (a == "--format" && i + 1 < argc) {
      format = argv[++i];
      for (char& c : format) c = (char)tolower((unsigned char)c);
      if (format != "wav" && format != "flac" && format != "ogg" && format != "aiff" && format != "mp3") return usage();
    } else if (a == "--depth" && i + 1 < argc) {
      const std::string d = argv[++i];
      if (d != "16" && d != "24" && d != "32" && d != "float") {
        fprintf(stderr, "jamloom-render: --depth is 16, 24 or 32 (float), not %s\n", d.c_str());
        return 2;
      }
      options.depth = int16_t(d == "float" ? 32 : atoi(d.c_str()));
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
  SetTempoQuality(quality);
  // A document that keeps its muted tracks and synth switch renders as the
  // program plays it once reopened (the mutes are the working groove's; a
  // sequence plays every track of each step); older ones play every track
  // and their synth block as it starts.
  bool synthSwitchedOn = true;
  if (mix) {
    const JLMixExtras extras = JL_GetMixExtras(image);
    if (extras.kept) {
      options.mutedTracks |= extras.mutedTracks;
      synthSwitchedOn = extras.synthOn;
      if (extras.masterVolume >= 0 && !volumeGiven) options.volume = extras.masterVolume;
    }
  }
  // The document's synth plays along as it does in the program's disk mix.
  if (mix && synthOk && synthSwitchedOn) JL_StartDocumentSynth(engine, synth, kJLSynthBlockBytes);
  if (keepPitch) engine.setKeepPitch(true);
  JLDiskMixReport report;
  std::vector<std::string> files;
  // A stems folder that is not there yet is made, as the program makes its
  // NAME-stems folder; one made here and left empty by a failed render goes.
  const bool madeFolder = stems && mkdir(outPath.c_str(), 0777) == 0;
  const bool ok = stems ? JL_DiskMixStems(image, outPath.c_str(), format.c_str(), options, report, &files)
                  : JL_DiskMix(image, outPath.c_str(), options, report);
  if (madeFolder && !ok) rmdir(outPath.c_str());
  const JLStretchStats kept = JLStretchGetStats();
  engine.exit();
  gep = nullptr;
  if (kept.made > 0)
    fprintf(stderr, "keep pitch: %d loop(s) made, %.1f MB, %.2f s of CPU for %.1f s of loops\n", kept.made,
            double(kept.framesMade) * 4 / (1 << 20), kept.cpuSeconds, double(kept.framesMade) / 44100.0);
  if (!ok) {
    fprintf(stderr, "jamloom-render: %s\n", report.error);
    return 1;
  }
  for (const std::string& f : files) printf("%s\n", f.c_str());
  printf("%s: %d step(s) of 32 beats, %lld frames (%.2f s)%s\n", out, report.steps, (long long)report.frames,
         report.frames / 44100.0, report.underruns ? ", with underruns" : "");
  return report.underruns ? 1 : 0;
}
