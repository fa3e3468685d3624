#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "core/sys/jlDocumentForward.h"
#include "support/tempFolder.h"

namespace {

class Forward : public ::testing::Test {
 protected:
  void SetUp() override {
    mkdir(t.file("run").c_str(), 0700);
    mkdir(t.file("Library").c_str(), 0755);
    setenv("XDG_RUNTIME_DIR", t.file("run").c_str(), 1);
    t.write("mix.jld", "doc");
    socket = JL_ForwardSocketPath(t.file("Library"));
  }
  void TearDown() override {
    JL_StopDocumentListener();
    unsetenv("XDG_RUNTIME_DIR");
  }
  // Waits for the listener's queue, with a deadline instead of a sleep.
  bool take(std::string* path) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
      if (JL_TakeForwardedDocument(path)) return true;
      std::this_thread::yield();
    }
    return false;
  }
  TempFolder t;
  std::string socket;
};

TEST_F(Forward, RunningCopyReceivesTheDocumentOnceInOrder) {
  ASSERT_FALSE(socket.empty());
  EXPECT_EQ(socket.rfind(t.file("run/jamloom-"), 0), 0u);
  // A socket left by a crashed copy does not stop the next one.
  t.write(socket.substr(t.sys().size()), "stale");
  ASSERT_TRUE(JL_StartDocumentListener(socket));
  struct stat st;
  ASSERT_EQ(stat(socket.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u) << "only the user may connect";

  t.write("second.jld", "doc");
  EXPECT_TRUE(JL_ForwardDocument(socket, t.file("mix.jld")));
  EXPECT_TRUE(JL_ForwardDocument(socket, t.file("second.jld")));
  std::string got;
  ASSERT_TRUE(JL_TakeForwardedDocument(&got)) << "queued before the answer";
  EXPECT_EQ(got, t.file("mix.jld"));
  ASSERT_TRUE(take(&got));
  EXPECT_EQ(got, t.file("second.jld"));
  EXPECT_FALSE(JL_TakeForwardedDocument(&got));

  JL_StopDocumentListener();
  EXPECT_NE(stat(socket.c_str(), &st), 0) << "the socket goes with the copy";
  EXPECT_FALSE(JL_ForwardDocument(socket, t.file("mix.jld"), 500));
}

TEST_F(Forward, RefusesWhatIsNotAnExistingFileByAbsolutePath) {
  ASSERT_TRUE(JL_StartDocumentListener(socket));
  mkdir(t.file("folder.jld").c_str(), 0755);
  ASSERT_EQ(symlink(t.file("mix.jld").c_str(), t.file("link.jld").c_str()), 0);
  EXPECT_FALSE(JL_ForwardDocument(socket, "mix.jld")) << "relative";
  EXPECT_FALSE(JL_ForwardDocument(socket, t.file("missing.jld")));
  EXPECT_FALSE(JL_ForwardDocument(socket, t.file("folder.jld")));
  EXPECT_FALSE(JL_ForwardDocument(socket, t.file("mix.jld") + "\n/etc/passwd"));
  EXPECT_FALSE(JL_ForwardDocument(socket, "/" + std::string(5000, 'a')));
  EXPECT_FALSE(JL_ForwardDocument(socket, ""));
  std::string got;
  EXPECT_FALSE(JL_TakeForwardedDocument(&got));
  // A link to a document is a document.
  EXPECT_TRUE(JL_ForwardDocument(socket, t.file("link.jld")));
  ASSERT_TRUE(JL_TakeForwardedDocument(&got));
  EXPECT_EQ(got, t.file("link.jld"));
}

TEST_F(Forward, AStartWithoutADocumentAsksForTheWindowOnly) {
  // No copy running: the second start keeps its old message.
  EXPECT_FALSE(JL_AskToRaise(socket, 500));
  ASSERT_TRUE(JL_StartDocumentListener(socket));
  EXPECT_FALSE(JL_TakeRaiseRequest());
  EXPECT_TRUE(JL_AskToRaise(socket));
  EXPECT_TRUE(JL_TakeRaiseRequest()) << "noted before the answer";
  EXPECT_FALSE(JL_TakeRaiseRequest()) << "taken once";
  std::string got;
  EXPECT_FALSE(JL_TakeForwardedDocument(&got)) << "the request is no document";
  // The word is no path for the document side either.
  EXPECT_FALSE(JL_ForwardDocument(socket, "raise"));
  // A document handed over brings the window forward too.
  EXPECT_TRUE(JL_ForwardDocument(socket, t.file("mix.jld")));
  EXPECT_TRUE(JL_TakeRaiseRequest());
  ASSERT_TRUE(JL_TakeForwardedDocument(&got));
  EXPECT_EQ(got, t.file("mix.jld"));
  // A refused document asks for nothing.
  EXPECT_FALSE(JL_ForwardDocument(socket, t.file("missing.jld")));
  EXPECT_FALSE(JL_TakeRaiseRequest());
}

TEST_F(Forward, SilentClientDoesNotBlockTheNextOneForever) {
  ASSERT_TRUE(JL_StartDocumentListener(socket));
  sockaddr_un a = {};
  a.sun_family = AF_UNIX;
  memcpy(a.sun_path, socket.c_str(), socket.size() + 1);
  const int mute = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(connect(mute, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  // The listener gives up on the mute client and serves this one.
  EXPECT_TRUE(JL_ForwardDocument(socket, t.file("mix.jld"), 10000));
  close(mute);
}

TEST_F(Forward, ProgramLeavingByExitWhileListeningEndsCleanly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        JL_StartDocumentListener(socket);
        exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(ForwardPath, NeedsAPrivateRuntimeFolder) {
  TempFolder t;
  mkdir(t.file("open").c_str(), 0777);
  chmod(t.file("open").c_str(), 0777);
  setenv("XDG_RUNTIME_DIR", t.file("open").c_str(), 1);
  EXPECT_EQ(JL_ForwardSocketPath(t.sys()), "");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(JL_ForwardSocketPath(t.sys()), "");
}

}  // namespace
