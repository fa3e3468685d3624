#include "core/sys/jlDocumentForward.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <atomic>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr size_t kMaxPath = 4095;
constexpr const char* kRaiseRequest = "raise";

std::mutex gMutex;
std::deque<std::string> gQueue;
// By pointer: a program that leaves by exit() with the listener running
// must not end in std::terminate from a joinable thread's destructor.
std::thread* gThread = nullptr;
int gListen = -1;
int gWake[2] = {-1, -1};
std::string gSocketPath;
std::atomic<bool> gRaise{false};

bool fillAddress(const std::string& path, sockaddr_un* a) {
  memset(a, 0, sizeof *a);
  a->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof a->sun_path) return false;
  memcpy(a->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Reads until the peer closes its side, `limit` bytes or the deadline.
bool readAll(int fd, std::string* out, size_t limit, int timeoutMs) {
  char buf[1024];
  for (;;) {
    pollfd p = {fd, POLLIN, 0};
    const int r = poll(&p, 1, timeoutMs);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out->append(buf, size_t(n));
    if (out->size() > limit) return false;
  }
}

void serve(int client) {
  ucred cred = {};
  socklen_t len = sizeof cred;
  std::string text;
  bool ok = getsockopt(client, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == getuid() &&
            readAll(client, &text, kMaxPath, 2000);
  const bool raise = ok && text == kRaiseRequest;
  ok = ok && (raise || JL_IsAcceptableForwardedPath(text));
  if (ok && !raise) {
    std::lock_guard<std::mutex> lock(gMutex);
    // A flood of requests cannot grow the queue without bound.
    ok = gQueue.size() < 16;
    if (ok) gQueue.push_back(text);
  }
  // A document handed over is one to look at: its window comes forward too.
  if (ok) gRaise = true;
  const char* answer = ok ? "ok\n" : "no\n";
  ssize_t ignored = send(client, answer, strlen(answer), MSG_NOSIGNAL);
  (void)ignored;
}

void listenLoop(int listenFd, int wakeFd) {
  for (;;) {
    pollfd p[2] = {{listenFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    if (poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[1].revents) return;
    if (!(p[0].revents & POLLIN)) continue;
    const int client = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    serve(client);
    close(client);
  }
}

}  // namespace

bool JL_IsAcceptableForwardedPath(const std::string& text) {
  if (text.empty() || text.size() > kMaxPath || text[0] != '/') return false;
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f) return false;
  struct stat st;
  return stat(text.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string JL_ForwardSocketPath(const std::string& libraryFolder) {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (!runtime || runtime[0] != '/') return std::string();
  struct stat rt, lib;
  // The runtime folder must be this user's private one.
  if (stat(runtime, &rt) != 0 || !S_ISDIR(rt.st_mode) || rt.st_uid != getuid() || (rt.st_mode & 077) != 0)
    return std::string();
  if (stat(libraryFolder.c_str(), &lib) != 0) return std::string();
  const std::string path = std::string(runtime) + "/jamloom-" + std::to_string((unsigned long long)lib.st_dev) + "-" +
                           std::to_string((unsigned long long)lib.st_ino) + ".sock";
  sockaddr_un a;
  return fillAddress(path, &a) ? path : std::string();
}

bool JL_StartDocumentListener(const std::string& socketPath) {
  if (gListen >= 0) return true;
  sockaddr_un a;
  if (!fillAddress(socketPath, &a)) return false;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  unlink(socketPath.c_str());
  const mode_t old = umask(077);
  const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  umask(old);
  if (!bound || listen(fd, 4) != 0 || pipe2(gWake, O_CLOEXEC) != 0) {
    close(fd);
    return false;
  }
  gListen = fd;
  gSocketPath = socketPath;
  try {
    gThread = new std::thread(listenLoop, gListen, gWake[0]);
  } catch (...) {
    JL_StopDocumentListener();
    return false;
  }
  return true;
}

void JL_StopDocumentListener() {
  if (gListen < 0) return;
  if (gWake[1] >= 0) {
    ssize_t ignored = write(gWake[1], "x", 1);
    (void)ignored;
  }
  if (gThread) {
    gThread->join();
    delete gThread;
    gThread = nullptr;
  }
  close(gListen);
  gListen = -1;
  for (int& w : gWake) {
    if (w >= 0) close(w);
    w = -1;
  }
  unlink(gSocketPath.c_str());
  gSocketPath.clear();
  std::lock_guard<std::mutex> lock(gMutex);
  gQueue.clear();
  gRaise = false;
}

bool JL_TakeForwardedDocument(std::string* path) {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gQueue.empty()) return false;
  *path = gQueue.front();
  gQueue.pop_front();
  return true;
}

bool JL_TakeRaiseRequest() { return gRaise.exchange(false); }

namespace {
bool sendRequest(const std::string& socketPath, const std::string& text, int timeoutMs) {
  sockaddr_un a;
  if (!fillAddress(socketPath, &a)) return false;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            send(fd, text.data(), text.size(), MSG_NOSIGNAL) == (ssize_t)text.size() &&
            shutdown(fd, SHUT_WR) == 0;
  std::string answer;
  ok = ok && readAll(fd, &answer, 16, timeoutMs) && answer == "ok\n";
  close(fd);
  return ok;
}
}  // namespace

bool JL_ForwardDocument(const std::string& socketPath, const std::string& absolutePath, int timeoutMs) {
  // Only a path: the word of a raise request is not one.
  if (absolutePath.empty() || absolutePath[0] != '/') return false;
  return sendRequest(socketPath, absolutePath, timeoutMs);
}

bool JL_AskToRaise(const std::string& socketPath, int timeoutMs) {
  return sendRequest(socketPath, kRaiseRequest, timeoutMs);
}
