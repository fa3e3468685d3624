#include <gtest/gtest.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>

#include "core/files/uloFiles.h"
#include "core/files/uloPath.h"
#include "support/tempFolder.h"

namespace {

TEST(Files, CloseCutsAWritableFileAtThePosition) {
  TempFolder t;
  t.write("f.bin", "0123456789");
  std::string p = t.ulo() + "f.bin";
  uloFileRec f;
  ASSERT_TRUE(ULO_FileOpen(p.c_str(), &f));
  ASSERT_TRUE(ULO_FileWrite(&f, "abc", 3));
  EXPECT_TRUE(ULO_FileClose(&f));
  EXPECT_EQ(f.handle, 0);
  EXPECT_EQ(t.read("f.bin"), "abc");
}

TEST(Files, ClosingAReadOnlyHandleLeavesTheFile) {
  TempFolder t;
  t.write("f.bin", "0123456789");
  std::string p = t.ulo() + "f.bin";
  uloFileRec f;
  ASSERT_TRUE(ULO_FileOpenReadOnly(p.c_str(), &f));
  char buf[4];
  ASSERT_TRUE(ULO_FileRead(&f, buf, 4));
  EXPECT_TRUE(ULO_FileClose(&f));
  EXPECT_EQ(t.read("f.bin"), "0123456789");
}

TEST(Files, ShortReadFailsAndReportsWhatCame) {
  TempFolder t;
  t.write("f.bin", "abc");
  std::string p = t.ulo() + "f.bin";
  uloFile f;
  ASSERT_TRUE(ULO_FileOpenReadOnly(p.c_str(), &f));
  char buf[8];
  int32_t got = -1;
  EXPECT_FALSE(ULO_FileRead(&f, buf, 8, &got));
  EXPECT_EQ(got, 3);
  EXPECT_EQ(ULO_FileGetLength(&f), 3);
}

TEST(Files, ClosedHandleDoesNothing) {
  uloFileRec f;
  char buf[2];
  EXPECT_FALSE(ULO_FileRead(&f, buf, 1));
  EXPECT_FALSE(ULO_FileWrite(&f, buf, 1));
  EXPECT_FALSE(ULO_FileSetPos(&f, 0));
  EXPECT_FALSE(ULO_FileClose(&f));
  EXPECT_EQ(ULO_FileGetLength(&f), -1);
}

TEST(Files, SecondWriterFromAnotherProcessIsRefused) {
  TempFolder t;
  t.write("f.bin", "x");
  std::string p = t.ulo() + "f.bin";
  uloFile a;
  ASSERT_TRUE(ULO_FileOpen(p.c_str(), &a));
  pid_t pid = fork();
  if (pid == 0) {
    uloFileRec b;
    bool opened = ULO_FileOpen(p.c_str(), &b);
    bool reader = ULO_FileOpenReadOnly(p.c_str(), &b);
    _exit(!opened && reader ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Runs body in a child that is killed after five seconds, so an open that
// blocks fails the test instead of hanging it. True when body returned true.
template <typename F>
bool inChildWithDeadline(F body) {
  pid_t pid = fork();
  if (pid == 0) {
    alarm(5);
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(Files, FifoDeviceAndFolderAreRefusedWithoutBlocking) {
  TempFolder t;
  ASSERT_EQ(mkfifo(t.file("loop.wav").c_str(), 0644), 0);
  ASSERT_EQ(mkdir(t.file("dir.wav").c_str(), 0755), 0);
  const std::string fifo = t.ulo() + "loop.wav", dir = t.ulo() + "dir.wav";
  EXPECT_TRUE(inChildWithDeadline([&] {
    uloFileRec f;
    bool refused = !ULO_FileOpenReadOnly(fifo.c_str(), &f) && uloLastOsError == EINVAL && f.handle == 0;
    refused = refused && !ULO_FileOpen(fifo.c_str(), &f) && !ULO_FileCreateAndOpen(fifo.c_str(), &f);
    refused = refused && !ULO_FileOpenReadOnly(dir.c_str(), &f) && uloLastOsError == EISDIR;
    refused = refused && !ULO_FileOpenReadOnly("/:dev:zero", &f) && uloLastOsError == EINVAL;
    // A copy neither reads from a FIFO nor writes into one.
    refused = refused && !ULO_FileCopy(fifo.c_str(), (t.ulo() + "copy.wav").c_str());
    t.write("real.wav", "RIFF");
    refused = refused && !ULO_FileCopy((t.ulo() + "real.wav").c_str(), fifo.c_str());
    return refused && ULO_OpenRegularSystemFile(t.file("loop.wav").c_str(), O_RDONLY) == -1;
  }));
  struct stat st;
  ASSERT_EQ(stat(t.file("loop.wav").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_FALSE(ULO_FileExists((t.ulo() + "copy.wav").c_str()));
}

TEST(Files, RegularFileOpenedThroughTheCheckReadsNormally) {
  TempFolder t;
  t.write("f.bin", "0123456789");
  const int fd = ULO_OpenRegularSystemFile(t.file("f.bin").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  // The non-blocking flag used for the check is gone again.
  EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  char buf[11] = {};
  EXPECT_EQ(read(fd, buf, 10), 10);
  EXPECT_STREQ(buf, "0123456789");
  close(fd);
}

TEST(Files, FileHeldByAnotherProcessIsNotTruncatedByARefusedWriter) {
  TempFolder t;
  t.write("mix.jmx", "0123456789abcdef");
  t.write("other.jmx", "new");
  const std::string p = t.ulo() + "mix.jmx", other = t.ulo() + "other.jmx";
  uloFile held;
  ASSERT_TRUE(ULO_FileOpen(p.c_str(), &held));
  EXPECT_TRUE(inChildWithDeadline([&] {
    uloFileRec f;
    return !ULO_FileCreateAndOpen(p.c_str(), &f) && !ULO_FileCopy(other.c_str(), p.c_str());
  }));
  EXPECT_EQ(t.read("mix.jmx"), "0123456789abcdef");
  held.close();
  // Once free, create-and-open does truncate.
  uloFile again;
  ASSERT_TRUE(ULO_FileCreateAndOpen(p.c_str(), &again));
  EXPECT_EQ(ULO_FileGetLength(&again), 0);
}

TEST(InstanceLock, SecondProcessIsToldWhoHoldsTheLibrary) {
  TempFolder t;
  const std::string lock = t.ulo() + "Jamloom.lock";
  ASSERT_EQ(ULO_TakeInstanceLock(lock.c_str()), uloInstanceLock::held);
  const long me = (long)getpid();
  EXPECT_EQ(t.read("Jamloom.lock"), std::to_string(me) + "\n");
  EXPECT_TRUE(inChildWithDeadline([&] {
    long holder = 0;
    return ULO_TakeInstanceLock(lock.c_str(), &holder) == uloInstanceLock::busy && holder == me;
  }));
  // The refused copy changed nothing in the file.
  EXPECT_EQ(t.read("Jamloom.lock"), std::to_string(me) + "\n");
  ULO_ReleaseInstanceLock();
  EXPECT_TRUE(inChildWithDeadline([&] { return ULO_TakeInstanceLock(lock.c_str()) == uloInstanceLock::held; }));
  // A lock file that cannot be made is no lock at all, not a refusal.
  EXPECT_EQ(ULO_TakeInstanceLock((t.ulo() + "missing:Jamloom.lock").c_str()), uloInstanceLock::unavailable);
}

TEST(Files, CopyFromReadOnlySourceCanBeDeleted) {
  TempFolder t;
  t.write("src.wav", "data");
  chmod(t.file("src.wav").c_str(), 0444);
  std::string src = t.ulo() + "src.wav", dst = t.ulo() + "dst.wav";
  ASSERT_TRUE(ULO_FileCopy(src.c_str(), dst.c_str()));
  EXPECT_EQ(t.read("dst.wav"), "data");
  struct stat st;
  ASSERT_EQ(stat(t.file("dst.wav").c_str(), &st), 0);
  EXPECT_TRUE(st.st_mode & S_IWUSR);
  EXPECT_TRUE(ULO_FileDelete(dst.c_str()));
  EXPECT_FALSE(ULO_FileExists(dst.c_str()));
}

TEST(Files, RelativePathsResolveAgainstTheCurrentFolder) {
  EXPECT_TRUE(ULO_FileExists(":"));
  EXPECT_FALSE(ULO_FileExists(":surely-not-here.xyz"));
}

TEST(FolderListing, NeverReturnsDotEntriesAndFiltersKinds) {
  TempFolder t;
  t.write("a.wav", "1");
  t.write("B.WAV", "1");
  t.write("c.txt", "1");
  t.write("bad:name.wav", "1");
  mkdir(t.file("sub").c_str(), 0755);
  ULO_FileDialogCanOpenTypes("*.wav;*.WAV");
  ASSERT_TRUE(ULO_ScanFileInFolder(t.ulo().c_str()));
  std::set<std::string> names, matching, folders;
  char name[256];
  bool isFolder, kind;
  while (ULO_NextFileInFolder(name, sizeof name, &isFolder, &kind)) {
    names.insert(name);
    if (kind) matching.insert(name);
    if (isFolder) folders.insert(name);
  }
  ULO_FileDialogCanOpenTypes(nullptr);
  EXPECT_EQ(names, (std::set<std::string>{"a.wav", "B.WAV", "c.txt", "sub"}));
  EXPECT_EQ(matching, (std::set<std::string>{"a.wav", "B.WAV"}));
  EXPECT_EQ(folders, (std::set<std::string>{"sub"}));
  EXPECT_FALSE(ULO_NextFileInFolder(name, sizeof name));
}

TEST(FolderListing, FolderListFiltersAndCounts) {
  TempFolder t;
  t.write("one.jls", "1");
  t.write("two.jls", "1");
  t.write(".hidden", "1");
  mkdir(t.file("Song").c_str(), 0755);
  uloFolderList list;
  list.set(t.ulo().c_str());
  EXPECT_EQ(list.count(), 2);  // folders and hidden files skipped by default
  list.filterFolders(false).filterDocuments(true);
  ASSERT_TRUE(list.start());
  ASSERT_TRUE(list.next());
  EXPECT_STREQ(list.name, "Song");
  EXPECT_EQ(std::string(list.item.path), t.ulo() + "Song");
  EXPECT_EQ(list.index, 0);
  EXPECT_FALSE(list.next());
  list.filterFolders(true).filterDocuments(false).filterHidden(false);
  EXPECT_EQ(list.count(), 3);
}

TEST(PathObject, NameOperations) {
  uloPath p;
  p.set(":Library:Song:Abc:loop.WAV");
  char out[64];
  p.getNameWithoutExtension(out, sizeof out);
  EXPECT_STREQ(out, "loop");
  p.setName("info.jls");
  EXPECT_STREQ(p.path, ":Library:Song:Abc:info.jls");
  uloPath q;
  q.set(":library:song:abc:INFO.JLS");
  EXPECT_TRUE(p.isEqual(&q));
  q.add("x");
  EXPECT_FALSE(p.isEqual(&q));
  EXPECT_TRUE(p.parent());
  EXPECT_STREQ(p.path, ":Library:Song:");
}

}  // namespace
