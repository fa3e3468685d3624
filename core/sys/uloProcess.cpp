#include "core/sys/uloProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

uloRunResult ULO_RunCapture(const std::vector<std::string>& args, std::string* output, int* exitCode,
                            std::string* errors) {
  if (output) output->clear();
  if (errors) errors->clear();
  if (args.empty()) return uloRunResult::unavailable;
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& a : copy) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  int outPipe[2], errPipe[2] = {-1, -1};
  if (pipe2(outPipe, O_CLOEXEC) != 0) return uloRunResult::unavailable;
  if (errors && pipe2(errPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return uloRunResult::unavailable;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  if (errors) posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  if (errors) close(errPipe[1]);
  if (rc != 0) {
    close(outPipe[0]);
    if (errors) close(errPipe[0]);
    return uloRunResult::unavailable;
  }
  // Both outputs are read as they come: a child that fills one pipe while
  // we wait on the other would otherwise never end.
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string* sinks[2] = {output, errors};
  int open = errors ? 2 : 1;
  char buf[1024];
  while (open > 0) {
    if (poll(fds, errors ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t r = read(fds[i].fd, buf, sizeof buf);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
        continue;
      }
      if (sinks[i] && sinks[i]->size() < 65536) sinks[i]->append(buf, (size_t)r);
    }
  }
  for (pollfd& f : fds)
    if (f.fd >= 0) close(f.fd);
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
