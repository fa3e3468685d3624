// Running a helper program (the file and folder choosers) and reading what
// it prints; finding the interface font. Any thread; no shared state.
#pragma once
#include <string>
#include <vector>

enum class uloRunResult {
  finished,     // the program ran; its exit code is given
  unavailable,  // it could not be started (not installed)
  crashed,      // it ended by a signal
};

// Runs argv[0] (searched on PATH) with its standard output captured (at most
// 64 KiB kept). The exit code is stored in *exitCode when finished; a
// program that is missing reports unavailable, not exit code 127. With
// `errors` its error output is captured there too (at most 64 KiB kept);
// without, it goes to ours.
uloRunResult ULO_RunCapture(const std::vector<std::string>& argv, std::string* output, int* exitCode,
                            std::string* errors = nullptr);

// The text without its trailing line ends.
std::string ULO_StripLineEnds(std::string text);

// The file of DejaVu Sans (bold when asked): the Debian path, else
// whatever fontconfig matches; empty when there is none.
std::string ULO_FindInterfaceFont(bool bold);
