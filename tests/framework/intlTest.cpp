#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "castsTestSupport.h"
#include "framework/intl/JLInternational.h"

using skintest::Container;
using skintest::MessageLog;

namespace {

const std::string kList = "English,en,9,0\rDeutsch,de,7,2\rFrancais,fr,12,1\r";
std::string table(const std::string& tag) {
  return tag + " zero\r" + tag + " OK title,x\r" + tag + " YesNo title\r" + tag + " Cancel title,y\r" + tag +
         " four\r" + tag + " five";
}

struct IntlSkin : Container {
  JLInternational intl;
  IntlSkin(bool withList = true) {
    if (withList) put("TEXT", 1, kList);
    put("TEXT", 100, table("en"));
    put("TEXT", 101, table("fr"));
    put("TEXT", 102, table("de"));
    reopen();
  }
};

TEST(IntlLanguage, LocaleNamesMapToPrimaryLanguageIds) {
  struct {
    const char* locale;
    int id;
  } cases[] = {{"en_US.UTF-8", 9}, {"de_DE", 7}, {"fr", 12},  {"it_IT@euro", 16}, {"es_ES.utf8", 10},
               {"nl_NL", 19},      {"pt_BR", 22}, {"sv_SE", 29}, {"ja_JP.UTF-8", 17}, {"C", 0},
               {"POSIX", 0},       {"", 0},       {"xx_YY", 0}, {"deu", 0},          {"C.UTF-8", 0}};
  for (const auto& k : cases) EXPECT_EQ(JL_PrimaryLanguageOfLocale(k.locale), k.id) << k.locale;
  EXPECT_EQ(JL_PrimaryLanguageOfLocale(nullptr), 0);
}

TEST(IntlLanguage, EnvironmentOrderIsAllThenMessagesThenLang) {
  struct Saved {
    const char* name;
    std::string value;
    bool had;
  } saved[] = {{"LC_ALL", "", false}, {"LC_MESSAGES", "", false}, {"LANG", "", false}};
  for (Saved& s : saved)
    if (const char* v = getenv(s.name)) s.value = v, s.had = true;
  setenv("LANG", "fr_FR.UTF-8", 1);
  setenv("LC_MESSAGES", "de_DE.UTF-8", 1);
  setenv("LC_ALL", "", 1);
  EXPECT_EQ(JL_SystemPrimaryLanguage(), 7);
  setenv("LC_ALL", "it_IT", 1);
  EXPECT_EQ(JL_SystemPrimaryLanguage(), 16);
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  EXPECT_EQ(JL_SystemPrimaryLanguage(), 12);
  for (Saved& s : saved) s.had ? setenv(s.name, s.value.c_str(), 1) : unsetenv(s.name);
}

TEST(IntlTables, SystemLanguageChoosesTheTable) {
  IntlSkin s;
  s.intl.startWithLanguage(&s.res, 7);
  EXPECT_EQ(s.intl.languageIndex, 2);
  EXPECT_STREQ(s.intl.message(4).c_str(), "de four");
  s.intl.startWithLanguage(&s.res, 12);
  EXPECT_EQ(s.intl.languageIndex, 1);
  s.intl.startWithLanguage(&s.res, 17);  // not in the list
  EXPECT_EQ(s.intl.languageIndex, 0);
  EXPECT_STREQ(s.intl.message(5).c_str(), "en five");
  EXPECT_STREQ(s.intl.message(6).c_str(), "") << "beyond the table";
  EXPECT_STREQ(s.intl.message(-1).c_str(), "");

  IntlSkin noList(false);
  noList.intl.startWithLanguage(&noList.res, 7);
  EXPECT_EQ(noList.intl.languageIndex, 0);
  EXPECT_STREQ(noList.intl.message(0).c_str(), "en zero");
}

TEST(IntlTables, ListEndsAtTheFirstEmptyLineAndCrLfIsTolerated) {
  {
    Container c;
    c.put("TEXT", 1, "\rDeutsch,de,7,2\r");
    c.reopen();
    JLInternational intl;
    intl.startWithLanguage(&c.res, 7);
    EXPECT_EQ(intl.languageIndex, 0);
  }
  // Lists and tables written with CR LF line ends still work, and the line
  // feed does not show.
  Container c;
  c.put("TEXT", 1, "English,en,9,0\r\nDeutsch,de,7,3\r\n");
  c.put("TEXT", 103, "a\r\nb,c\r\n");
  c.reopen();
  JLInternational intl;
  intl.startWithLanguage(&c.res, 7);
  EXPECT_EQ(intl.languageIndex, 3);
  EXPECT_STREQ(intl.message(1).c_str(), "b,c");
}

TEST(IntlNotify, KindsButtonsTitlesAndResults) {
  IntlSkin s;
  s.intl.startWithLanguage(&s.res, 9);
  MessageLog log;
  EXPECT_EQ(s.intl.notify(4, 0), 1);
  EXPECT_EQ(s.intl.notify(4, 1), 2);
  EXPECT_EQ(s.intl.notify(5, 5), 3) << "kind 5 is kind 2";
  EXPECT_EQ(s.intl.notify(5, -3), 1);
  auto& boxes = MessageLog::boxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].title, "en OK title");
  EXPECT_EQ(boxes[0].text, "en four");
  EXPECT_EQ(boxes[0].buttons, 0);
  EXPECT_EQ(boxes[1].title, "en YesNo title");
  EXPECT_EQ(boxes[1].buttons, 1);
  EXPECT_EQ(boxes[2].title, "en Cancel title");
  EXPECT_EQ(boxes[2].buttons, 2);
  EXPECT_EQ(boxes[3].buttons, 0);

  for (int16_t answer : {1, 2, 3}) {
    MessageLog::answer() = answer;
    EXPECT_EQ(s.intl.notify(16, 2), answer);
  }
  EXPECT_EQ(boxes.back().text, "") << "a number beyond the table shows an empty text";

  // The global form used everywhere.
  jlIntl.startWithLanguage(&s.res, 7);
  MessageLog::answer() = 0;
  EXPECT_EQ(JL_Notify(0, 1), 2);
  EXPECT_EQ(boxes.back().title, "de YesNo title");
  EXPECT_EQ(boxes.back().text, "de zero");
  jlIntl.startWithLanguage(nullptr, 0);
  EXPECT_EQ(JL_Notify(0, 0), 1);
  EXPECT_EQ(boxes.back().title, "");
}

}  // namespace
