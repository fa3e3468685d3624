// The song browser's "New song" errand, on a worker thread so the window
// keeps drawing: it asks for the folder of sound files (unless one was
// dropped), measures and groups them, asks for the song's name, for the
// tempo and what to do with loops that do not fit it (only when the loops
// do not agree on one), lets the user rename the instruments, then makes
// the song (JLSongMaker). The questions are the desktop's dialogs (the file
// chooser's program, zenity), each answered or cancelled by the user.
//
// Threads: start, poll and the destructor on the user-interface thread;
// the rest runs on the worker. A failure comes back as a message naming
// the file and why; a cancelled errand leaves nothing behind.
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/sys/uloProcess.h"

class JLNewSong {
 public:
  enum class Outcome { none, running, made, failed, cancelled };

  JLNewSong() = default;
  // Cancels a running errand (closing its dialog) and waits for it.
  ~JLNewSong();
  JLNewSong(const JLNewSong&) = delete;
  JLNewSong& operator=(const JLNewSong&) = delete;

  // Starts the errand; `folder` (a system path) skips the folder question.
  // False while one runs or when the thread cannot start.
  bool start(const std::string& folder);
  bool busy() const { return busy_.load(); }
  // Percent of the loops converted, or -1 while it asks or measures.
  int percent() const { return percent_.load(); }
  // After the errand ended (once): made, failed or cancelled, with the
  // message to show (the notes on success) and the new song's folder name.
  // `running` while it runs, `none` when nothing was started or all taken.
  Outcome poll(std::string* message, std::string* songName);

 private:
  void run(std::string folder);
  // One dialog; false when cancelled, closed or impossible (*why set then
  // when it could not be shown).
  bool ask(const std::vector<std::string>& args, std::string* answer, std::string* why);

  std::thread worker_;
  std::atomic<bool> busy_{false};
  std::atomic<bool> cancel_{false};
  std::atomic<int> percent_{-1};
  uloRunControl dialog_;
  std::mutex lock_;  // guards the outcome below
  Outcome outcome_ = Outcome::none;
  std::string message_, song_;
};
