#include "installer/jlFolderChooser.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

JLFolderChoice JL_RunFolderChooser(const std::string& program, const std::string& title,
                                   std::string* folder) {
  folder->clear();
  std::vector<std::string> args = {program, "--file-selection", "--directory", "--title=" + title};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) return JLFolderChoice::unavailable;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipefd[1], 1);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipefd[1]);
  if (rc != 0) {
    close(pipefd[0]);
    return JLFolderChoice::unavailable;
  }
  std::string answer;
  char buf[1024];
  for (;;) {
    ssize_t r = read(pipefd[0], buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    if (answer.size() < 65536) answer.append(buf, (size_t)r);
  }
  close(pipefd[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status)) return JLFolderChoice::cancelled;
  // zenity: 0 chosen, 1 cancelled or closed; the shell's 127: no such program.
  const int code = WEXITSTATUS(status);
  if (code == 1) return JLFolderChoice::cancelled;
  if (code != 0) return JLFolderChoice::unavailable;
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  if (answer.empty()) return JLFolderChoice::cancelled;
  struct stat st;
  if (stat(answer.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return JLFolderChoice::notAFolder;
  *folder = answer;
  return JLFolderChoice::chosen;
}
