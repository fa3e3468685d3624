#include <gtest/gtest.h>

#include <string>

#include "core/files/uloPathNames.h"

namespace {

std::string toSys(const char* ulo) {
  char out[kUloPathMax];
  EXPECT_TRUE(ULO_UloPathToSystemPath(ulo, out, sizeof out));
  return out;
}

std::string toUlo(const char* sys) {
  char out[kUloPathMax];
  EXPECT_TRUE(ULO_SystemPathToUloPath(sys, out, sizeof out));
  return out;
}

TEST(PathConversion, RelativeLibraryFolderRoundTrips) {
  EXPECT_EQ(toSys(":Library:Song:"), "Library/Song/");
  EXPECT_EQ(toUlo("Library/Song/"), ":Library:Song:");
  EXPECT_EQ(toUlo("Library/Song"), ":Library:Song");
}

TEST(PathConversion, AbsolutePathsRoundTrip) {
  EXPECT_EQ(toUlo("/home/me/x.jld"), "/:home:me:x.jld");
  EXPECT_EQ(toSys("/:home:me:x.jld"), "/home/me/x.jld");
  EXPECT_EQ(toUlo("/"), "/:");
  EXPECT_EQ(toSys("/:"), "/");
  for (const char* p : {"/a b/c.d/e", "/x//y/", "rel/a.wav", "a", "./x", "../up/y", "/media/usb/Song 1/"}) {
    EXPECT_EQ(toSys(toUlo(p).c_str()), p) << p;
  }
}

TEST(PathConversion, NamesWithColonAreRefused) {
  char out[kUloPathMax] = "junk";
  EXPECT_FALSE(ULO_SystemPathToUloPath("/tmp/a:b.wav", out, sizeof out));
  EXPECT_STREQ(out, "");
}

TEST(PathConversion, OverlongOutputIsRefusedNotCut) {
  char out[8];
  EXPECT_FALSE(ULO_SystemPathToUloPath("/abcdefghij", out, sizeof out));
  EXPECT_STREQ(out, "");
  EXPECT_FALSE(ULO_UloPathToSystemPath(":abcdefghij", out, sizeof out));
  EXPECT_STREQ(out, "");
}

TEST(PathNames, NameAndStrip) {
  char out[64];
  ULO_FileNameFromPath(":Library:Song:Abc:info.jls", out, sizeof out);
  EXPECT_STREQ(out, "info.jls");
  ULO_FileNameFromPath("plain", out, sizeof out);
  EXPECT_STREQ(out, "plain");
  char p[64] = ":Library:Song:Abc:info.jls";
  ULO_File_StripFileName(p);
  EXPECT_STREQ(p, ":Library:Song:Abc:");
  char q[64] = "noseparator";
  ULO_File_StripFileName(q);
  EXPECT_STREQ(q, "");
}

TEST(PathNames, GoParent) {
  char a[64] = ":Library:Song:Abc:";
  EXPECT_TRUE(ULO_File_GoParent(a));
  EXPECT_STREQ(a, ":Library:Song:");
  char b[64] = ":Library:Song:Abc:info.jls";  // a file loses its name and its folder
  EXPECT_TRUE(ULO_File_GoParent(b));
  EXPECT_STREQ(b, ":Library:Song:");
  char c[64] = ":Library:";
  EXPECT_TRUE(ULO_File_GoParent(c));
  EXPECT_STREQ(c, "");
  char d[64] = "none";
  EXPECT_FALSE(ULO_File_GoParent(d));
  EXPECT_STREQ(d, "none");
}

TEST(PathNames, ParentName) {
  char out[64];
  EXPECT_TRUE(ULO_File_GetParentName(":Library:Song:Abc:info.jls", out, sizeof out));
  EXPECT_STREQ(out, "Abc");
  EXPECT_TRUE(ULO_File_GetParentName(":Library:Song:Abc:", out, sizeof out));
  EXPECT_STREQ(out, "Abc");
  EXPECT_TRUE(ULO_File_GetParentName(":Abc:info.jls", out, sizeof out));
  EXPECT_STREQ(out, "");
  EXPECT_FALSE(ULO_File_GetParentName("info.jls", out, sizeof out));
  char tiny[3];
  EXPECT_TRUE(ULO_File_GetParentName(":a:Longname:x", tiny, sizeof tiny));
  EXPECT_STREQ(tiny, "Lo");
}

TEST(PathNames, IsKindMatchesLowerKindAgainstEitherCase) {
  EXPECT_TRUE(ULO_File_IsKind("LOOP.WAV", "wav"));
  EXPECT_TRUE(ULO_File_IsKind("loop.Wav", "wav"));
  EXPECT_FALSE(ULO_File_IsKind("loop.wav", "WAV"));
  EXPECT_FALSE(ULO_File_IsKind("loop", "wav"));
  EXPECT_FALSE(ULO_File_IsKind("loop.wave", "wav"));
  EXPECT_FALSE(ULO_File_IsKind("loop.wa", "wav"));
  EXPECT_TRUE(ULO_File_IsKind("a.b.jls", "jls"));
}

TEST(PathNames, AddToPathIsBounded) {
  char p[8] = ":ab";
  ULO_File_AddToPath(p, sizeof p, "cdefghij");
  EXPECT_STREQ(p, ":abcdef");
}

}  // namespace
