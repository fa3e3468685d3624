#include <gtest/gtest.h>

#include <string>

#include "castsTestSupport.h"
#include "core/files/uloPath.h"
#include "framework/text/uloText.h"
#include "framework/text/uloTextFile.h"

using skintest::Container;

namespace {

TEST(TextFields, RunsOfSeparatorsCountAsOne) {
  EXPECT_EQ(uloText("a;;b").itemsCount(';'), 2);
  EXPECT_EQ(uloText(";a").itemsCount(';'), 2);
  EXPECT_STREQ(uloText(";a").item(0, ';').c_str(), "");
  EXPECT_STREQ(uloText(";a").item(1, ';').c_str(), "a");
  EXPECT_EQ(uloText("").itemsCount(';'), 0);
  EXPECT_EQ(uloText("a;").itemsCount(';'), 1);
  EXPECT_EQ(uloText("abc").itemsCount(';'), 1);

  const uloText t("x,y,,z,w");
  EXPECT_STREQ(t.item(2, ',').c_str(), "z");
  EXPECT_STREQ(t.items(1, 2, ',').c_str(), "y,,z") << "separators between the fields are kept";
  EXPECT_STREQ(t.items(2, 50, ',').c_str(), "z,w");
  EXPECT_STREQ(t.item(4, ',').c_str(), "");
  EXPECT_STREQ(t.item(-1, ',').c_str(), "");
  EXPECT_STREQ(t.items(0, 0, ',').c_str(), "");
}

TEST(TextCompare, SimilarIgnoresTheCaseOfLettersOnly) {
  EXPECT_TRUE(uloText("Loop").similar("LOOP"));
  EXPECT_FALSE(uloText("Loop").similar("Loops"));
  EXPECT_FALSE(uloText("Loops").similar("Loop"));
  EXPECT_TRUE(uloText("Loop").similar(nullptr));
  EXPECT_FALSE(uloText("[").similar("{")) << "only A-Z fold";
  EXPECT_TRUE(uloText("abc") == "abc");
  EXPECT_FALSE(uloText("abc") == "ABC");
  EXPECT_TRUE(uloText("") == nullptr);
}

TEST(TextCut, MiddleStaysInsideTheText) {
  EXPECT_STREQ(uloText("abc").middle(2, 10).c_str(), "c");
  EXPECT_STREQ(uloText("abc").middle(3, 1).c_str(), "");
  EXPECT_STREQ(uloText("abc").middle(0, 2).c_str(), "ab");
  EXPECT_STREQ(uloText("abc").middle(-4, 1).c_str(), "a");
  EXPECT_STREQ(uloText("abc").middle(1, -1).c_str(), "");
}

TEST(TextBuild, SettersAddersAndGrowth) {
  uloText t;
  EXPECT_EQ(t.capacity(), 256);
  t.set(short(-12)).addChar(' ').addL(1234567890L).add(" ").addF(1.5f);
  EXPECT_STREQ(t.c_str(), "-12 1234567890 1.500000");
  t.set(nullptr);
  EXPECT_EQ(t.len(), 0);
  // Longer than the capacity: grows instead of overrunning.
  const std::string big(1000, 'x');
  t.set(big.c_str());
  EXPECT_EQ(t.len(), 1000);
  EXPECT_GE(t.capacity(), 1001);
  const int32_t cap = t.capacity();
  t.set("small").grow(10);
  EXPECT_EQ(t.capacity(), cap) << "never shrinks";
  t.setRaw(3, "abcdef").addRaw(2, "xyz");
  EXPECT_STREQ(t.c_str(), "abcxy");
  t.set(t.c_str() + 2);  // a piece of itself
  EXPECT_STREQ(t.c_str(), "cxy");
  uloText copy(t);
  copy.add("!");
  EXPECT_STREQ(t.c_str(), "cxy");
  EXPECT_STREQ(copy.c_str(), "cxy!");
  EXPECT_EQ(uloText("  42abc").toLong(), 42);
  EXPECT_EQ(uloText("-7").toShort(), -7);
  EXPECT_EQ(uloText("x").toLong(), 0);
}

TEST(TextFormat, OneConversionOfTheRightKindOnly) {
  uloText t;
  t.addfmt("Song '%s' is missing", "Disco");
  EXPECT_STREQ(t.c_str(), "Song 'Disco' is missing");
  t.set("").addfmtS("%03d", 7).addfmtL("|%lx|", 255).addfmtF("%.2f", 2.5f).addfmt("%s", nullptr);
  EXPECT_STREQ(t.c_str(), "007|ff|2.50");
  t.set("").addfmtS("%d%%", 50);
  EXPECT_STREQ(t.c_str(), "50%");
  // Formats from resources must not read arguments that are not there.
  t.set("").addfmt("%s and %s", "a");
  EXPECT_STREQ(t.c_str(), "%s and %s");
  t.set("").addfmtS("%s", 3);
  EXPECT_STREQ(t.c_str(), "%s");
  t.set("").addfmt("%n", "a");
  EXPECT_STREQ(t.c_str(), "%n");
  t.set("").addfmt("%*s", "a");
  EXPECT_STREQ(t.c_str(), "%*s");
  t.set("").addfmtL("%99999d", 1);
  EXPECT_STREQ(t.c_str(), "%99999d");
  t.set("").addfmt("plain", "a");
  EXPECT_STREQ(t.c_str(), "plain");
  const std::string longSong(600, 's');
  t.set("").addfmt("<%s>", longSong.c_str());
  EXPECT_EQ(t.len(), 602);
}

TEST(TextFile, FilesAndContainerItems) {
  Container c;
  uloTextFile f;
  f.set("line one\rline two");
  const std::string path = c.dir.ulo() + "t.txt";
  ASSERT_TRUE(f.save(path.c_str()));
  EXPECT_EQ(c.dir.read("t.txt"), "line one\rline two") << "no terminator on disk";
  uloTextFile g;
  uloPath p;
  p.set(path.c_str());
  ASSERT_TRUE(g.load(p));
  EXPECT_STREQ(g.c_str(), "line one\rline two");
  EXPECT_FALSE(g.load((c.dir.ulo() + "none.txt").c_str()));
  EXPECT_STREQ(g.c_str(), "line one\rline two") << "a failed load keeps the text";

  const std::string big(5000, 'q');
  c.dir.write("big.txt", big);
  ASSERT_TRUE(g.load((c.dir.ulo() + "big.txt").c_str()));
  EXPECT_EQ(g.len(), 5000);

  // Items carry no terminator; the text must end where the item ends.
  c.put("TEXT", 5, "abc");
  c.put("TEXT", 6, std::string(300, 'z'));
  c.put("TEXT", 7, "");
  ASSERT_TRUE(f.saveResource(&c.res, ULO_FourCC("TEXT"), 8));
  c.reopen();
  uloTextFile r;
  ASSERT_TRUE(r.loadResource(&c.res, ULO_FourCC("TEXT"), 6));
  ASSERT_TRUE(r.loadResource(&c.res, ULO_FourCC("TEXT"), 5));
  EXPECT_STREQ(r.c_str(), "abc");
  ASSERT_TRUE(r.loadResource(&c.res, ULO_FourCC("TEXT"), 8));
  EXPECT_STREQ(r.c_str(), "line one\rline two");
  EXPECT_FALSE(r.loadResource(&c.res, ULO_FourCC("TEXT"), 9));
  EXPECT_STREQ(r.c_str(), "line one\rline two");
  EXPECT_FALSE(r.loadResource(nullptr, ULO_FourCC("TEXT"), 5));
  ASSERT_TRUE(r.loadResource(&c.res, ULO_FourCC("TEXT"), 7));
  EXPECT_EQ(r.len(), 0);
  EXPECT_FALSE(r.saveResource(&c.res, ULO_FourCC("TEXT"), 10)) << "read-only container";
}

}  // namespace
