#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "core/files/uloPathPolicy.h"
#include "core/sys/jlPaths.h"
#include "support/tempFolder.h"

namespace {

void put(const TempFolder& t, const std::string& name, const std::string& bytes) {
  for (size_t i = name.find('/'); i != std::string::npos; i = name.find('/', i + 1))
    mkdir(t.file(name.substr(0, i)).c_str(), 0755);
  t.write(name, bytes);
}

std::string linkOf(const std::string& path) {
  char target[4096];
  const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, size_t(n)) : std::string();
}

TEST(RunPaths, SkinBesideTheProgramMeansPortableEverythingBesideIt) {
  TempFolder t;
  put(t, "app/Jamloom.xrs", "skin");
  // An installed copy in the same prefix does not matter.
  put(t, "share/jamloom/Jamloom.xrs", "skin");
  const JLRunPaths p = JL_ChooseRunPaths(t.sys() + "app/", "/d", "/c");
  EXPECT_EQ(p.mode, JLRunMode::portable);
  EXPECT_EQ(p.workFolder, t.sys() + "app/");
  EXPECT_EQ(p.dataFolder, t.sys() + "app/");
  EXPECT_EQ(p.prefsFile, t.sys() + "app/Jamloom.prf");
  EXPECT_EQ(p.systemLibrary, "");
  EXPECT_EQ(JL_IconFile(p, 64), t.sys() + "app/icons/hicolor/64x64/apps/jamloom.png");
}

TEST(RunPaths, PrefixBinMeansInstalledWithTheUsersFolders) {
  TempFolder t;
  put(t, "usr/share/jamloom/Jamloom.xrs", "skin");
  mkdir(t.file("usr/bin").c_str(), 0755);
  const JLRunPaths p = JL_ChooseRunPaths(t.sys() + "usr/bin/", "/home/u/.local/share", "/home/u/.config");
  EXPECT_EQ(p.mode, JLRunMode::installed);
  EXPECT_EQ(p.dataFolder, t.sys() + "usr/share/jamloom/");
  EXPECT_EQ(p.systemLibrary, t.sys() + "usr/share/jamloom/Library/");
  EXPECT_EQ(p.workFolder, "/home/u/.local/share/jamloom/");
  EXPECT_EQ(p.prefsFile, "/home/u/.config/jamloom/Jamloom.prf");
  EXPECT_EQ(JL_IconFile(p, 64), t.sys() + "usr/share/icons/hicolor/64x64/apps/jamloom.png");
}

TEST(RunPaths, NoSkinOrNoHomeIsUnusableWithAReason) {
  TempFolder t;
  mkdir(t.file("bin").c_str(), 0755);
  const JLRunPaths none = JL_ChooseRunPaths(t.sys() + "bin/", "/d", "/c");
  EXPECT_EQ(none.mode, JLRunMode::unusable);
  EXPECT_EQ(none.problem, "Can't find 'Jamloom.xrs' file. Can't continue.");

  put(t, "share/jamloom/Jamloom.xrs", "skin");
  const JLRunPaths homeless = JL_ChooseRunPaths(t.sys() + "bin/", "", "");
  EXPECT_EQ(homeless.mode, JLRunMode::unusable);
  EXPECT_NE(homeless.problem.find("home folder"), std::string::npos);
  // A folder named like the skin is no skin.
  TempFolder u;
  mkdir(u.file("app").c_str(), 0755);
  mkdir(u.file("app/Jamloom.xrs").c_str(), 0755);
  EXPECT_EQ(JL_ChooseRunPaths(u.sys() + "app/", "/d", "/c").mode, JLRunMode::unusable);
  EXPECT_EQ(JL_ChooseRunPaths("", "/d", "/c").mode, JLRunMode::unusable);
}

TEST(RunPaths, SystemLibraryShowsAsLinksTheUsersOwnEntriesWinAndGoneDemosUnlink) {
  TempFolder t;
  const std::string sys = t.sys() + "sys/", user = t.sys() + "user/";
  put(t, "sys/Song/Demo/info.jls", "d");
  put(t, "sys/Song/Mine/info.jls", "system copy");
  put(t, "sys/Synth/Pad/a.wav", "p");
  put(t, "sys/Images/Demo.gif", "g");
  put(t, "user/Song/Mine/info.jls", "user copy");
  EXPECT_EQ(JL_LinkSystemLibrary(sys, user), 3);
  EXPECT_EQ(linkOf(user + "Song/Demo"), sys + "Song/Demo");
  EXPECT_EQ(linkOf(user + "Synth/Pad"), sys + "Synth/Pad");
  EXPECT_EQ(linkOf(user + "Images/Demo.gif"), sys + "Images/Demo.gif");
  EXPECT_EQ(t.read("user/Song/Mine/info.jls"), "user copy");
  EXPECT_EQ(JL_LinkSystemLibrary(sys, user), 0) << "a second start changes nothing";

  // A demo removed by an upgrade leaves no dangling link; other links stay.
  ASSERT_EQ(symlink("/nowhere", (user + "Song/Other").c_str()), 0);
  ASSERT_EQ(unlink((sys + "Images/Demo.gif").c_str()), 0);
  EXPECT_EQ(JL_LinkSystemLibrary(sys, user), 1);
  struct stat st;
  EXPECT_NE(lstat((user + "Images/Demo.gif").c_str(), &st), 0);
  EXPECT_EQ(lstat((user + "Song/Other").c_str(), &st), 0);
}

TEST(RunPaths, OnlyLinksIntoTheSystemLibraryCountAsInstalledEntries) {
  TempFolder t;
  put(t, "sys/Song/Demo/info.jls", "d");
  put(t, "user/Song/Own/info.jls", "o");
  put(t, "other/Song/X/info.jls", "x");
  ASSERT_EQ(symlink((t.sys() + "sys/Song/Demo").c_str(), t.file("user/Song/Demo").c_str()), 0);
  ASSERT_EQ(symlink((t.sys() + "other/Song/X").c_str(), t.file("user/Song/X").c_str()), 0);
  const std::string sys = t.sys() + "sys/";
  EXPECT_TRUE(JL_IsSystemLibraryEntry(t.file("user/Song/Demo/"), sys));
  EXPECT_TRUE(JL_IsSystemLibraryEntry(t.file("user/Song/Demo"), sys));
  EXPECT_FALSE(JL_IsSystemLibraryEntry(t.file("user/Song/Own/"), sys)) << "the user's own song";
  EXPECT_FALSE(JL_IsSystemLibraryEntry(t.file("user/Song/X/"), sys)) << "a link the user made elsewhere";
  EXPECT_FALSE(JL_IsSystemLibraryEntry(t.file("user/Song/Missing/"), sys));
  EXPECT_FALSE(JL_IsSystemLibraryEntry(t.file("user/Song/Demo/"), "")) << "portable: no system library";
}

TEST(RunPaths, MirrorLetsLinksReachTheSameFolderOfTheSystemLibraryOnly) {
  TempFolder t;
  put(t, "sys/Song/Demo/info.jls", "d");
  put(t, "sys/Synth/Pad/a.wav", "p");
  put(t, "secret/x", "s");
  put(t, "user/Song/Own/info.jls", "o");
  mkdir(t.file("user/Synth").c_str(), 0755);
  ASSERT_EQ(symlink((t.sys() + "sys/Song/Demo").c_str(), t.file("user/Song/Demo").c_str()), 0);
  ASSERT_EQ(symlink((t.sys() + "sys/Synth/Pad").c_str(), t.file("user/Song/Pad").c_str()), 0);
  ASSERT_EQ(symlink((t.sys() + "secret").c_str(), t.file("user/Song/Secret").c_str()), 0);
  const std::string songs = t.ulo() + "user:Song:";
  EXPECT_FALSE(ULO_PathInside(songs.c_str(), "Demo")) << "no exception before it is set";

  ULO_SetLibraryMirror(t.sys() + "user/", t.sys() + "sys/");
  EXPECT_TRUE(ULO_PathInside(songs.c_str(), "Demo"));
  EXPECT_TRUE(ULO_PathInside(songs.c_str(), "Own"));
  EXPECT_FALSE(ULO_PathInside(songs.c_str(), "Pad")) << "a synth set is not a song";
  EXPECT_FALSE(ULO_PathInside(songs.c_str(), "Secret"));
  ASSERT_EQ(symlink((t.sys() + "sys/Song/Demo").c_str(), t.file("user/Synth/Demo").c_str()), 0);
  EXPECT_FALSE(ULO_PathInside((t.ulo() + "user:Synth:").c_str(), "Demo"));
  ULO_SetLibraryMirror("", "");
  EXPECT_FALSE(ULO_PathInside(songs.c_str(), "Demo"));
}

}  // namespace
