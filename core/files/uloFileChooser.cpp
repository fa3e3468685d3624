// The system file chooser: zenity's GTK dialog in a child process. The child
// cannot change this process's current directory, and a missing zenity is
// reported instead of hanging the worker.
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "core/files/uloPath.h"
#include "core/sys/uloProcess.h"

namespace {
// Set from the user-interface thread (tests), read by dialog workers.
std::mutex gChooserLock;
std::string gChooser = "zenity";

std::string chooserProgram() {
  std::lock_guard<std::mutex> g(gChooserLock);
  return gChooser;
}
}  // namespace

void ULO_SetFileChooserProgram(const char* program) {
  std::lock_guard<std::mutex> g(gChooserLock);
  gChooser = program && *program ? program : "zenity";
}

std::string ULO_FileChooserProgram() { return chooserProgram(); }

uloDialogResult ULO_RunFileChooser(bool save, const char* startFolder, const char* startName,
                                   const char* filter, char* out, size_t outSize, uloRunControl* control) {
  if (out && outSize) out[0] = 0;
  std::vector<std::string> args = {chooserProgram(), "--file-selection", "--title=Jamloom"};
  if (save) {
    args.push_back("--save");
    args.push_back("--confirm-overwrite");
  }
  std::string start = startFolder ? startFolder : "";
  if (!start.empty() && start.back() != '/') start += '/';
  if (startName) start += startName;
  if (!start.empty()) args.push_back("--filename=" + start);
  if (filter && *filter && strcmp(filter, "*.*") != 0) {
    std::string patterns(filter);
    for (char& c : patterns)
      if (c == ';') c = ' ';
    args.push_back("--file-filter=" + patterns);
    args.push_back("--file-filter=All files | *");
  }
  std::string answer;
  int code = 0;
  switch (ULO_RunCapture(args, &answer, &code, nullptr, control)) {
    case uloRunResult::unavailable:
      return uloDialogResult::unavailable;
    case uloRunResult::crashed:
      return uloDialogResult::cancelled;
    case uloRunResult::finished:
      break;
  }
  // zenity: 0 chosen, 1 cancelled or closed, anything else cannot show.
  if (code != 0) return code == 1 ? uloDialogResult::cancelled : uloDialogResult::unavailable;
  answer = ULO_StripLineEnds(answer);
  if (answer.empty() || answer.size() >= outSize) return uloDialogResult::cancelled;
  ULO_StrCopy(out, outSize, answer.c_str());
  return uloDialogResult::chosen;
}
