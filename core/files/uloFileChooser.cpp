// The system file chooser: zenity's GTK dialog in a child process. The child
// cannot change this process's current directory, and a missing zenity is
// reported instead of hanging the worker.
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/files/uloPath.h"

extern char** environ;

namespace {
char gChooser[256] = "zenity";
}

void ULO_SetFileChooserProgram(const char* program) {
  ULO_StrCopy(gChooser, sizeof gChooser, program && *program ? program : "zenity");
}

uloDialogResult ULO_RunFileChooser(bool save, const char* startFolder, const char* startName,
                                   const char* filter, char* out, size_t outSize) {
  if (out && outSize) out[0] = 0;
  std::vector<std::string> args = {gChooser, "--file-selection", "--title=Jamloom"};
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
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) return uloDialogResult::unavailable;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, pipefd[1], 1);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, gChooser, &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(pipefd[1]);
  if (rc != 0) {
    close(pipefd[0]);
    return uloDialogResult::unavailable;
  }
  std::string answer;
  char buf[1024];
  for (;;) {
    ssize_t r = read(pipefd[0], buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    answer.append(buf, (size_t)r);
    if (answer.size() > 65536) break;
  }
  close(pipefd[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status)) return uloDialogResult::cancelled;
  int code = WEXITSTATUS(status);
  // posix_spawnp reports a missing program through the child's exit 127.
  if (code == 127) return uloDialogResult::unavailable;
  if (code != 0) return code == 1 ? uloDialogResult::cancelled : uloDialogResult::unavailable;
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  if (answer.empty() || answer.size() >= outSize) return uloDialogResult::cancelled;
  ULO_StrCopy(out, outSize, answer.c_str());
  return uloDialogResult::chosen;
}
