#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "core/files/uloFolderOps.h"
#include "core/files/uloPathPolicy.h"
#include "support/tempFolder.h"
#include "support/treeSnapshot.h"

namespace {


bool exists(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}

// A pid that no process has any more.
long deadPid() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return long(child);
}

// A library "lib/Song" beside a folder "outside" holding the user's files.
struct Layout {
  TempFolder t;
  std::string lib, outside;
  Layout() {
    for (const char* d : {"lib", "lib/Song", "lib/Song/A", "outside", "outside/sub"}) mkdir(t.file(d).c_str(), 0755);
    t.write("outside/thesis.txt", "years of work");
    t.write("outside/sub/photo.jpg", "JFIF...");
    t.write("lib/Song/A/loop01.wav", "loop");
    lib = t.ulo() + "lib:Song:";
    outside = t.file("outside");
  }
};

TEST(PathPolicy, SingleNamesAreOnePlainComponent) {
  for (const char* good : {"Night", "loop01.wav", "..01", "a b", ".hidden", "Ü-Bahn"}) EXPECT_TRUE(ULO_IsSingleName(good)) << good;
  for (const char* bad : {"", ".", "..", "a/b", "a:b", ":a", "a:", "/", "tab\there", "nl\n"}) EXPECT_FALSE(ULO_IsSingleName(bad)) << bad;
  EXPECT_FALSE(ULO_IsSingleName(nullptr));
  EXPECT_TRUE(ULO_IsSingleName(std::string(255, 'x').c_str()));
  EXPECT_FALSE(ULO_IsSingleName(std::string(256, 'x').c_str()));
}

TEST(PathPolicy, RelativeNamesStayInTheirFolder) {
  Layout l;
  char out[2048];
  std::string why;
  // ':' separates components, as in every internal path.
  ASSERT_TRUE(ULO_PathInside(l.lib.c_str(), "A:loop01.wav", out, sizeof out, &why)) << why;
  EXPECT_EQ(std::string(out), l.lib + "A:loop01.wav");
  EXPECT_TRUE(ULO_PathInside(l.lib.c_str(), "A:", out, sizeof out));
  EXPECT_EQ(std::string(out), l.lib + "A:");
  // Not there yet: a file about to be written.
  EXPECT_TRUE(ULO_PathInside(l.lib.c_str(), "New:deep:file.wav", out, sizeof out));

  struct Case {
    const char* name;
    const char* message;
  } refused[] = {
      {"..", "The name \"..\" was refused: it is not a plain file or folder name."},
      {"A:..:..:..:outside", "The name \"A:..:..:..:outside\" was refused: it is not a plain file or folder name."},
      {"::outside", "The name \"::outside\" was refused: it is not a plain file or folder name."},
      {"A/../../x", "The name \"A/../../x\" was refused: it is not a plain file or folder name."},
      {"/:etc:passwd", "The name \"/:etc:passwd\" was refused: it is not a plain file or folder name."},
      {"", "The name \"\" was refused: it is empty."},
      {"bell\x07", "The name \"bell?\" was refused: it is not a plain file or folder name."},
  };
  for (const Case& c : refused) {
    strcpy(out, "unchanged");
    EXPECT_FALSE(ULO_PathInside(l.lib.c_str(), c.name, out, sizeof out, &why)) << c.name;
    EXPECT_STREQ(out, "");
    EXPECT_EQ(why, c.message);
  }
  // An output too small is a refusal, never a cut path.
  char tiny[8];
  EXPECT_FALSE(ULO_PathInside(l.lib.c_str(), "A", tiny, sizeof tiny, &why));
  EXPECT_STREQ(tiny, "");
}

TEST(PathPolicy, SymbolicLinksAreFollowedBeforeTheCheck) {
  Layout l;
  const std::string song = l.t.file("lib/Song/");
  ASSERT_EQ(symlink(l.outside.c_str(), (song + "Out").c_str()), 0);
  ASSERT_EQ(symlink("../../../outside/thesis.txt", (song + "A/stolen01.wav").c_str()), 0);
  ASSERT_EQ(symlink("loop01.wav", (song + "A/alias01.wav").c_str()), 0);
  ASSERT_EQ(symlink("A", (song + "Twin").c_str()), 0);
  ASSERT_EQ(symlink("Ring2", (song + "Ring1").c_str()), 0);
  ASSERT_EQ(symlink("Ring1", (song + "Ring2").c_str()), 0);
  ASSERT_EQ(symlink(l.t.file("outside/notyet").c_str(), (song + "Dangling").c_str()), 0);
  std::string why;
  EXPECT_FALSE(ULO_PathInside(l.lib.c_str(), "Out", &why));
  EXPECT_EQ(why, "The name \"Out\" was refused: it leads outside its folder.");
  EXPECT_FALSE(ULO_PathInside(l.lib.c_str(), "Out:thesis.txt", &why));
  EXPECT_FALSE(ULO_PathInside(l.lib.c_str(), "Out:new file", &why)) << "no writing through a link out";
  EXPECT_FALSE(ULO_PathInside((l.lib + "A:").c_str(), "stolen01.wav", &why));
  EXPECT_EQ(why, "The name \"stolen01.wav\" was refused: it leads outside its folder.");
  EXPECT_FALSE(ULO_PathInside(l.lib.c_str(), "Ring1", &why));
  EXPECT_EQ(why, "The name \"Ring1\" was refused: its symbolic links form a loop.");
  // Creating through a dangling link would create its target outside.
  EXPECT_FALSE(ULO_PathInside(l.lib.c_str(), "Dangling", &why));
  EXPECT_EQ(why, "The name \"Dangling\" was refused: it is a symbolic link to nothing.");
  // Links that stay inside are fine.
  EXPECT_TRUE(ULO_PathInside((l.lib + "A:").c_str(), "alias01.wav", &why)) << why;
  EXPECT_TRUE(ULO_PathInside(l.lib.c_str(), "Twin:loop01.wav", &why)) << why;
  // The folder itself may be a link (a library kept on another disk).
  ASSERT_EQ(symlink(l.t.file("lib").c_str(), l.t.file("elsewhere").c_str()), 0);
  EXPECT_TRUE(ULO_PathInside((l.t.ulo() + "elsewhere:Song:").c_str(), "A:loop01.wav", &why)) << why;
  EXPECT_FALSE(ULO_PathInside((l.t.ulo() + "missing:").c_str(), "A", &why));
  EXPECT_EQ(why, "The name \"A\" was refused: its folder cannot be reached.");
}

TEST(PathPolicy, NoAcceptedNameResolvesOutsideWhateverItsParts) {
  // Names built from hostile parts, checked against the standard library's
  // own resolution of the path the policy accepted.
  Layout l;
  const std::string song = l.t.file("lib/Song/");
  mkdir((song + "A/User").c_str(), 0755);
  ASSERT_EQ(symlink(l.outside.c_str(), (song + "A/shared").c_str()), 0);
  ASSERT_EQ(symlink("..", (song + "A/x").c_str()), 0);
  ASSERT_EQ(symlink("../..", (song + "A/User/up").c_str()), 0);
  ASSERT_EQ(symlink("loop01.wav", (song + "A/same").c_str()), 0);
  ASSERT_EQ(symlink("ring", (song + "A/ring").c_str()), 0);
  const char* const parts[] = {"A", "User", "shared", "x", "up", "same", "ring", "loop01.wav", "new", "..", ".",
                               "", "a/b", "sub", "thesis.txt"};
  const std::string root = std::filesystem::canonical(l.t.file("lib/Song")).string();
  uint32_t seed = 12345;
  int accepted = 0;
  for (int n = 0; n < 3000; n++) {
    std::string name;
    const int count = 1 + int((seed = seed * 1103515245u + 12345u) >> 16) % 4;
    for (int k = 0; k < count; k++) {
      seed = seed * 1103515245u + 12345u;
      name += (k ? ":" : "") + std::string(parts[(seed >> 16) % (sizeof parts / sizeof parts[0])]);
    }
    char out[2048];
    if (!ULO_PathInside(l.lib.c_str(), name.c_str(), out, sizeof out)) continue;
    accepted++;
    std::string sys = name;
    for (char& c : sys)
      if (c == ':') c = '/';
    const std::string resolved = std::filesystem::weakly_canonical(l.t.file("lib/Song/") + sys).string();
    EXPECT_TRUE(resolved == root || resolved.rfind(root + "/", 0) == 0) << name << " -> " << resolved;
  }
  EXPECT_GT(accepted, 100) << "the check is not vacuous";
}

TEST(DeleteTree, NeverFollowsALinkNorLeavesTheFolder) {
  Layout l;
  const std::string song = l.t.file("lib/Song/");
  mkdir((song + "Evil").c_str(), 0755);
  mkdir((song + "Evil/User").c_str(), 0755);
  l.t.write("lib/Song/Evil/loop01.wav", "x");
  l.t.write("lib/Song/Evil/User/take.wav", "y");
  ASSERT_EQ(symlink(l.outside.c_str(), (song + "Evil/shared").c_str()), 0);
  ASSERT_EQ(symlink("..", (song + "Evil/x").c_str()), 0);
  ASSERT_EQ(symlink("../../..", (song + "Evil/User/up").c_str()), 0);
  ASSERT_EQ(symlink((l.outside + "/thesis.txt").c_str(), (song + "Evil/thesis01.wav").c_str()), 0);
  const auto outside = TreeSnapshot(l.outside);
  const auto others = TreeSnapshot(song + "A");

  EXPECT_TRUE(ULO_DeleteTree((l.lib + "Evil:").c_str()));
  EXPECT_FALSE(exists(song + "Evil"));
  EXPECT_EQ(TreeSnapshot(l.outside), outside);
  EXPECT_EQ(TreeSnapshot(song + "A"), others);
  EXPECT_TRUE(exists(l.t.file("lib/Song")));

  // A song folder that is itself a link: only the link goes.
  ASSERT_EQ(symlink(l.outside.c_str(), (song + "Linked").c_str()), 0);
  EXPECT_TRUE(ULO_DeleteTree((l.lib + "Linked:").c_str()));
  EXPECT_FALSE(exists(song + "Linked"));
  EXPECT_EQ(TreeSnapshot(l.outside), outside);
  // Nothing there is nothing left.
  EXPECT_TRUE(ULO_DeleteTree((l.lib + "Gone:").c_str()));
}

TEST(TempNames, OneSchemeParsedBack) {
  const std::string mine = ULO_TempName("mix.jld");
  EXPECT_EQ(mine, ".mix.jld.jltmp-" + std::to_string(getpid()));
  EXPECT_EQ(ULO_TempName("Night", "old"), ".Night.jltmp-" + std::to_string(getpid()) + "-old");
  std::string name, tag;
  long pid = 0;
  ASSERT_TRUE(ULO_ParseTempName(".my take.wav.jltmp-42-old", &name, &pid, &tag));
  EXPECT_EQ(name, "my take.wav");
  EXPECT_EQ(pid, 42);
  EXPECT_EQ(tag, "old");
  ASSERT_TRUE(ULO_ParseTempName(".a.jltmp-7.jltmp-9", &name, &pid, &tag));
  EXPECT_EQ(name, "a.jltmp-7");
  EXPECT_EQ(pid, 9);
  for (const char* other : {"mix.jld.jltmp-12", ".jltmp-12", "..jltmp-12", ".a.jltmp-", ".a.jltmp-0", ".a.jltmp-12x",
                            ".a.jltmp-12-", ".a.jltmp-12-OLD", ".a.tmp12", "mix.wav.part", ".a.jltmp-12345678901"})
    EXPECT_FALSE(ULO_ParseTempName(other, nullptr, nullptr, nullptr)) << other;
  EXPECT_FALSE(ULO_TempIsStale(getpid()));
  EXPECT_FALSE(ULO_TempIsStale(1));
  EXPECT_TRUE(ULO_TempIsStale(deadPid()));
}

TEST(TempNames, StaleOnesOfOursGoOthersStay) {
  TempFolder t;
  const std::string dead = std::to_string(deadPid());
  t.write(".mix.jld.jltmp-" + dead, "half a save");
  mkdir(t.file(".Night.jltmp-" + dead).c_str(), 0755);
  t.write(".Night.jltmp-" + dead + "/loop01.wav", "half a copy");
  // A stale temporary that is a link: the link goes, never its target.
  t.write("target", "kept");
  ASSERT_EQ(symlink(t.file("target").c_str(), t.file(".link.jltmp-" + dead).c_str()), 0);
  // Put aside by an interrupted swap: back under its own name when that is
  // free, removed when the new one made it.
  mkdir(t.file(".Lost.jltmp-" + dead + "-old").c_str(), 0755);
  t.write(".Lost.jltmp-" + dead + "-old/take.wav", "only copy");
  mkdir(t.file("Done").c_str(), 0755);
  mkdir(t.file(".Done.jltmp-" + dead + "-old").c_str(), 0755);
  const char* const kept[] = {".mix.jld.jltmp-1", "mix.jld.tmp12345", "mix.wav.part", "Jamloom.prf.saving",
                              ".mix.jltmp-x", "notes"};
  for (const char* k : kept) t.write(k, "not ours to remove");

  EXPECT_EQ(ULO_CleanStaleTemps(t.ulo().c_str()), 5);
  EXPECT_FALSE(exists(t.file(".mix.jld.jltmp-" + dead)));
  EXPECT_FALSE(exists(t.file(".Night.jltmp-" + dead)));
  EXPECT_FALSE(exists(t.file(".link.jltmp-" + dead)));
  EXPECT_EQ(t.read("target"), "kept");
  EXPECT_EQ(t.read("Lost/take.wav"), "only copy");
  EXPECT_FALSE(exists(t.file(".Done.jltmp-" + dead + "-old")));
  EXPECT_TRUE(exists(t.file("Done")));
  for (const char* k : kept) EXPECT_EQ(t.read(k), "not ours to remove") << k;
}

TEST(TempNames, ProgramStartCleansTheLibraryButNotWhereLinksLead) {
  TempFolder t;
  const std::string dead = std::to_string(deadPid());
  for (const char* d : {"Library", "Library/Song", "Library/Song/A", "Library/Song/A/User", "Library/Synth",
                        "Library/Synth/Bell", "outside"})
    mkdir(t.file(d).c_str(), 0755);
  const std::string stale = ".x.jltmp-" + dead;
  for (const char* d : {"", "Library/", "Library/Song/", "Library/Song/A/", "Library/Song/A/User/", "Library/Synth/Bell/",
                        "outside/"})
    t.write(std::string(d) + stale, "junk");
  ASSERT_EQ(symlink(t.file("outside").c_str(), t.file("Library/Song/B").c_str()), 0);
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(t.sys().c_str()), 0);
  const int handled = ULO_CleanStaleTempsOfProgram();
  ASSERT_EQ(chdir(saved), 0);
  EXPECT_EQ(handled, 6);
  EXPECT_EQ(t.read("outside/" + stale), "junk");
}

TEST(FolderSwap, ExchangesInOneStepAndRenamesWithoutReplacing) {
  TempFolder t;
  mkdir(t.file("Song").c_str(), 0755);
  mkdir(t.file("new").c_str(), 0755);
  t.write("Song/a", "old");
  t.write("new/a", "new");
  ASSERT_TRUE(ULO_SwapEntries((t.ulo() + "Song:").c_str(), (t.ulo() + "new:").c_str(), (t.ulo() + "aside:").c_str()));
  EXPECT_EQ(t.read("Song/a"), "new");
  EXPECT_EQ(t.read("new/a"), "old");
  EXPECT_FALSE(exists(t.file("aside")));
  EXPECT_FALSE(ULO_SwapEntries((t.ulo() + "Song:").c_str(), (t.ulo() + "none:").c_str(), (t.ulo() + "aside:").c_str()));
  EXPECT_EQ(t.read("Song/a"), "new");
  EXPECT_FALSE(ULO_RenameNew((t.ulo() + "new:").c_str(), (t.ulo() + "Song:").c_str()));
  EXPECT_EQ(t.read("Song/a"), "new");
  EXPECT_TRUE(ULO_RenameNew((t.ulo() + "new:").c_str(), (t.ulo() + "Other:").c_str()));
  EXPECT_EQ(t.read("Other/a"), "old");
}

TEST(FolderSwap, SecondNamesLeaveTheOriginalAndNeverReplace) {
  TempFolder t;
  t.write("take.wav", "the user's take");
  ASSERT_EQ(symlink("take.wav", t.file("alias").c_str()), 0);
  ASSERT_TRUE(ULO_LinkOrCopySys(t.file("take.wav"), t.file("kept.wav")));
  EXPECT_EQ(t.read("take.wav"), "the user's take");
  EXPECT_EQ(t.read("kept.wav"), "the user's take");
  ASSERT_TRUE(ULO_LinkOrCopySys(t.file("alias"), t.file("alias2")));
  char target[64] = {};
  ASSERT_GT(readlink(t.file("alias2").c_str(), target, sizeof target - 1), 0);
  EXPECT_STREQ(target, "take.wav") << "a link gets a second name as a link";
  t.write("other", "other");
  EXPECT_FALSE(ULO_LinkOrCopySys(t.file("take.wav"), t.file("other")));
  EXPECT_EQ(t.read("other"), "other");
}

TEST(FolderSizes, CountPlainFilesOnlyAndReadWell) {
  TempFolder t;
  mkdir(t.file("s").c_str(), 0755);
  mkdir(t.file("s/User").c_str(), 0755);
  t.write("s/a", std::string(1000, 'a'));
  t.write("s/User/b", std::string(234, 'b'));
  t.write("big", std::string(100000, 'c'));
  ASSERT_EQ(symlink(t.file("big").c_str(), t.file("s/link").c_str()), 0);
  EXPECT_EQ(ULO_TreeBytes((t.ulo() + "s:").c_str()), 1234);
  EXPECT_EQ(ULO_PlainFileBytes((t.ulo() + "s:a").c_str()), 1000);
  EXPECT_EQ(ULO_PlainFileBytes((t.ulo() + "s:link").c_str()), -1);
  EXPECT_GT(ULO_FreeBytes(t.ulo().c_str()), 0);
  EXPECT_EQ(ULO_FreeBytes((t.ulo() + "missing:").c_str()), -1);
  EXPECT_EQ(ULO_ByteText(840000), "840 KB");
  EXPECT_EQ(ULO_ByteText(1), "1 KB");
  EXPECT_EQ(ULO_ByteText(1400000), "1.4 MB");
  EXPECT_EQ(ULO_ByteText(12345678), "12.3 MB");
  EXPECT_EQ(ULO_ByteText(2100000000), "2.1 GB");
}

}  // namespace
