#include "core/sys/uloProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

uloRunResult ULO_RunCapture(const std::vector<std::string>& args, std::string* output, int* exitCode) {
  if (output) output->clear();
  if (args.empty()) return uloRunResult::unavailable;
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& a : copy) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) return uloRunResult::unavailable;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipefd[1]);
  if (rc != 0) {
    close(pipefd[0]);
    return uloRunResult::unavailable;
  }
  char buf[1024];
  for (;;) {
    ssize_t r = read(pipefd[0], buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    if (output && output->size() < 65536) output->append(buf, (size_t)r);
  }
  close(pipefd[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status)) return uloRunResult::crashed;
  // posix_spawnp reports a program it could not execute through exit 127.
  if (WEXITSTATUS(status) == 127) return uloRunResult::unavailable;
  if (exitCode) *exitCode = WEXITSTATUS(status);
  return uloRunResult::finished;
}

std::string ULO_StripLineEnds(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::string ULO_FindInterfaceFont(bool bold) {
  const char* debian = bold ? "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
                            : "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
  if (access(debian, R_OK) == 0) return debian;
  std::string found;
  if (FcInit()) {
    FcPattern* pat = FcNameParse((const FcChar8*)(bold ? "DejaVu Sans:bold" : "DejaVu Sans"));
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult res;
    if (FcPattern* match = FcFontMatch(nullptr, pat, &res)) {
      FcChar8* file = nullptr;
      if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) found = (const char*)file;
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pat);
  }
  return found;
}
