// Running a helper program (the file and folder choosers) and reading what
// it prints; finding the interface font. Any thread; no shared state.
#pragma once
#include <atomic>
#include <string>
#include <vector>

enum class uloRunResult {
  finished,     // the program ran; its exit code is given
  unavailable,  // it could not be started (not installed)
  crashed,      // it ended by a signal
};

// Lets another thread end a running program (the chooser of a window that
// is closing): ULO_StopRun ends it, or the run that is about to start.
struct uloRunControl {
  std::atomic<int> child{0};  // process id while the program runs
  std::atomic<bool> stop{false};
};
void ULO_StopRun(uloRunControl& control);

// Runs argv[0] (searched on PATH) with its standard output captured (at most
// 64 KiB kept). The exit code is stored in *exitCode when finished; a
// program that is missing reports unavailable, not exit code 127. With
// `errors` its error output is captured there too (at most 64 KiB kept);
// without, it goes to ours. The program runs in a process group of its own;
// one stopped through `control` (and whatever it started) ends by SIGTERM
// and reports crashed.
uloRunResult ULO_RunCapture(const std::vector<std::string>& argv, std::string* output, int* exitCode,
                            std::string* errors = nullptr, uloRunControl* control = nullptr);

// The text without its trailing line ends.
std::string ULO_StripLineEnds(std::string text);

// The file of DejaVu Sans (bold when asked): the Debian path, else
// whatever fontconfig matches; empty when there is none.
std::string ULO_FindInterfaceFont(bool bold);
