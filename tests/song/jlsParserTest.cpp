#include <gtest/gtest.h>

#include <string>

#include "song/JLJlsParser.h"
#include "support/tempFolder.h"

namespace {

struct Text {
  std::string bytes;
  JLJlsParser p;
  explicit Text(std::string b) : bytes(std::move(b)) { p.openBuffer(bytes.data(), bytes.size()); }
};

std::string token(JLJlsParser& p) {
  char out[256] = "x";
  return p.getStr(out, sizeof out) ? std::string(out) : std::string("<none:") + out + ">";
}

}  // namespace

TEST(JlsParser, TokensBlanksAndSemicolon) {
  Text t("SONGBPM: 125\nA  B;C D\n leading\n*12 x\n");
  ASSERT_TRUE(t.p.next());
  EXPECT_EQ(token(t.p), "SONGBPM:");
  int16_t bpm = 0;
  EXPECT_TRUE(t.p.getShort(&bpm));
  EXPECT_EQ(bpm, 125);
  EXPECT_FALSE(t.p.getShort(&bpm));  // nothing left, out untouched
  EXPECT_EQ(bpm, 125);

  ASSERT_TRUE(t.p.next());
  EXPECT_EQ(token(t.p), "A");
  EXPECT_EQ(token(t.p), "B");
  EXPECT_EQ(token(t.p), "<none:>");  // ';' stops tokens and text for good
  char text[64] = "x";
  EXPECT_FALSE(t.p.getText(text, sizeof text));
  t.p.restart();
  EXPECT_EQ(token(t.p), "A");

  ASSERT_TRUE(t.p.next());
  EXPECT_EQ(token(t.p), "<none:>");  // a token must start at the read position

  ASSERT_TRUE(t.p.next());
  EXPECT_TRUE(t.p.getStar());
  EXPECT_FALSE(t.p.getStar());
  EXPECT_EQ(token(t.p), "12");
  EXPECT_FALSE(t.p.next());
  EXPECT_FALSE(t.p.next());
}

TEST(JlsParser, TextAndNumbers) {
  Text t("SONGTITLE: Night  Drive Home  ;comment\n12abc abc -7 99999 -\n");
  ASSERT_TRUE(t.p.next());
  EXPECT_EQ(token(t.p), "SONGTITLE:");
  char title[64];
  ASSERT_TRUE(t.p.getText(title, sizeof title));
  EXPECT_STREQ(title, "Night  Drive Home  ");
  ASSERT_TRUE(t.p.next());
  int16_t v = 5;
  EXPECT_TRUE(t.p.getShort(&v));
  EXPECT_EQ(v, 12);
  EXPECT_TRUE(t.p.getShort(&v));
  EXPECT_EQ(v, 0);
  int32_t l = 0;
  EXPECT_TRUE(t.p.getLong(&l));
  EXPECT_EQ(l, -7);
  EXPECT_TRUE(t.p.getLong(&l));
  EXPECT_EQ(l, 99999);
  EXPECT_TRUE(t.p.getShort(&v));
  EXPECT_EQ(v, 0);
}

TEST(JlsParser, LineEndsAndOverlongLines) {
  std::string longLine(5000, 'x');
  Text t("a\r\nb\rc\n\r\nd\r" + longLine + " tail\ne");
  std::string seen;
  while (t.p.next()) seen += std::string("[") + t.p.line + "]";
  EXPECT_EQ(seen.substr(0, 18), "[a][b][c][][d][xxx");
  // The overlong line is cut to the buffer and its rest is not a line.
  EXPECT_EQ(seen.substr(seen.size() - 3), "[e]");
  EXPECT_EQ(seen.size(), std::string("[a][b][c][][d][]").size() + 2047 + 3);

  // The same through a file, with the line end split over read blocks.
  TempFolder dir;
  std::string body = std::string(4095, 'y') + "\r\nz\r";
  dir.write("d.jls", body);
  JLJlsParser p;
  ASSERT_TRUE(p.open((dir.ulo() + "d.jls").c_str()));
  ASSERT_TRUE(p.next());
  EXPECT_EQ(strlen(p.line), 2047u);
  ASSERT_TRUE(p.next());
  EXPECT_STREQ(p.line, "z");
  EXPECT_FALSE(p.next());
}

TEST(JlsParser, ByteOrderMarkOnlyAtTheStart) {
  Text t("\xEF\xBB\xBFJAMLOOM-JLS-1.2\n\xEF\xBB\xBFx\n");
  ASSERT_TRUE(t.p.next());
  EXPECT_STREQ(t.p.line, "JAMLOOM-JLS-1.2");
  ASSERT_TRUE(t.p.next());
  EXPECT_STREQ(t.p.line, "\xEF\xBB\xBFx");
}

TEST(JlsParser, ClosedParserReadsNothing) {
  JLJlsParser p;
  EXPECT_FALSE(p.next());
  EXPECT_FALSE(p.open(":no:such:file.jls"));
  EXPECT_FALSE(p.next());
}

TEST(JlsParser, OpenInFolderSkipsInfoJls) {
  TempFolder dir;
  dir.write("info.jls", "INFO\n");
  JLJlsParser p;
  EXPECT_FALSE(p.openInFolder(dir.ulo().c_str()));
  dir.write("Song.JLS", "OTHER\n");
  dir.write("notes.txt", "TXT\n");
  ASSERT_TRUE(p.openInFolder(dir.ulo().c_str()));
  ASSERT_TRUE(p.next());
  EXPECT_STREQ(p.line, "OTHER");
}
