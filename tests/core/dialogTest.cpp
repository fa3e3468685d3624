#include <SDL.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <atomic>
#include <fstream>
#include <string>
#include <thread>

#include "core/files/uloFiles.h"
#include "core/files/uloPath.h"
#include "core/sys/uloRemote.h"
#include "support/tempFolder.h"

namespace {

// A stand-in chooser: a script that prints an answer (or fails) after a pause.
std::string script(const TempFolder& t, const std::string& body) {
  t.write("chooser.sh", "#!/bin/sh\n" + body + "\n");
  std::string path = t.file("chooser.sh");
  chmod(path.c_str(), 0755);
  return path;
}

// Waits for the posted answer and returns the pointer it carries.
void* waitForRemote() {
  SDL_Event e;
  for (int i = 0; i < 500; ++i) {
    SDL_PumpEvents();
    if (SDL_PeepEvents(&e, 1, SDL_GETEVENT, ULO_RemoteEventType(), ULO_RemoteEventType()) == 1) return e.user.data1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return nullptr;
}

class AsyncDialog : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS), 0); }
  void TearDown() override {
    ULO_SetFileChooserProgram(nullptr);
    SDL_Quit();
  }
};

TEST_F(AsyncDialog, AnswerArrivesAsRemoteMessageWithRequestFields) {
  TempFolder t;
  ULO_SetFileChooserProgram(script(t, "sleep 0.2; echo /tmp/song/mix.jld").c_str());
  JLPath path;
  ASSERT_TRUE(path.asyncDialogGet(0, 2, 7));
  EXPECT_EQ(waitForRemote(), &path);
  EXPECT_TRUE(path.ready);
  EXPECT_STREQ(path.path, "/:tmp:song:mix.jld");
  EXPECT_EQ(path.request[1], 2);
  EXPECT_EQ(path.request[2], 7);
  while (asyncPanThreadPathRef.load()) std::this_thread::yield();
}

TEST_F(AsyncDialog, SecondRequestWhilePendingIsRefused) {
  TempFolder t;
  ULO_SetFileChooserProgram(script(t, "sleep 0.3; exit 1").c_str());
  JLPath first, second;
  ASSERT_TRUE(first.asyncDialogPut(0, 1, 0));
  EXPECT_FALSE(second.asyncDialogGet(0, 0, 0));
  EXPECT_EQ(waitForRemote(), &first);
  EXPECT_FALSE(first.ready);  // cancelled
  while (asyncPanThreadPathRef.load()) std::this_thread::yield();
  EXPECT_TRUE(second.asyncDialogGet(0, 0, 0));
  EXPECT_EQ(waitForRemote(), &second);
  while (asyncPanThreadPathRef.load()) std::this_thread::yield();
}

TEST_F(AsyncDialog, MissingChooserIsReportedNotHung) {
  ULO_SetFileChooserProgram("/nonexistent/zenity-missing");
  uloFileChooserUnavailable = false;
  JLPath path;
  ASSERT_TRUE(path.asyncDialogGet(0, 0, 0));
  EXPECT_EQ(waitForRemote(), &path);
  EXPECT_FALSE(path.ready);
  EXPECT_TRUE(uloFileChooserUnavailable.exchange(false));
  while (asyncPanThreadPathRef.load()) std::this_thread::yield();
}

TEST(FileChooser, SaveFormGetsStartFolderAndName) {
  TempFolder t;
  // The script echoes its arguments so the call can be checked.
  ULO_SetFileChooserProgram(script(t, "echo \"$@\" > " + t.file("args") + "; echo /x/y.jld").c_str());
  char out[256];
  EXPECT_EQ(ULO_RunFileChooser(true, "/start", "mix.jld", "*.jld", out, sizeof out), uloDialogResult::chosen);
  EXPECT_STREQ(out, "/x/y.jld");
  std::string args = t.read("args");
  EXPECT_NE(args.find("--save"), std::string::npos);
  EXPECT_NE(args.find("--filename=/start/mix.jld"), std::string::npos);
  EXPECT_NE(args.find("--file-filter=*.jld"), std::string::npos);
  ULO_SetFileChooserProgram(nullptr);
}

TEST_F(AsyncDialog, ClosingWithTheDialogOpenNeitherWaitsNorLeavesTheChooser) {
  TempFolder t;
  // The chooser and a program it started, both still running when the
  // window closes.
  ULO_SetFileChooserProgram(
      script(t, "echo $$ > " + t.file("pid") + "; sleep 20 & echo $! > " + t.file("child") + "; wait; echo /tmp/x")
          .c_str());
  auto* path = new JLPath;
  ASSERT_TRUE(path->asyncDialogGet(0, 0, 0));
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (t.read("child").empty() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const pid_t chooser = std::stoi(t.read("pid")), child = std::stoi(t.read("child"));

  const auto before = std::chrono::steady_clock::now();
  delete path;
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
  EXPECT_EQ(asyncPanThreadPathRef.load(), nullptr);
  // Both processes end (the worker reaps the chooser).
  deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while ((kill(chooser, 0) == 0 || kill(child, 0) == 0) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_NE(kill(chooser, 0), 0);
  EXPECT_NE(kill(child, 0), 0);
  // The next request works, and only its own answer arrives.
  ULO_SetFileChooserProgram(script(t, "echo /tmp/next.jld").c_str());
  JLPath next;
  ASSERT_TRUE(next.asyncDialogGet(0, 0, 0));
  EXPECT_EQ(waitForRemote(), &next);
  EXPECT_STREQ(next.path, "/:tmp:next.jld");
  while (asyncPanThreadPathRef.load()) std::this_thread::yield();
}

TEST(FileChooser, KindFilterIsReadWholeWhileAnotherThreadChangesIt) {
  const std::string a = "*.jld", b = "*.wav;*.aif;*.aiff;*.flac;*.ogg";
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; i++) ULO_FileDialogCanOpenTypes(i % 2 ? a.c_str() : b.c_str());
    done = true;
  });
  int torn = 0;
  while (!done.load()) {
    const std::string got = ULO_FileDialogTypes();
    torn += got != a && got != b && got != "*.*";
  }
  writer.join();
  EXPECT_EQ(torn, 0);
  ULO_FileDialogCanOpenTypes(nullptr);
}

}  // namespace
