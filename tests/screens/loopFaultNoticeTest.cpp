// A loop file that does not play as it is gets named to the user once, by
// its track, its name in the song and its file, with what is wrong with it.
#include <string>
#include <vector>

#include "engine/AudioFormat.h"
#include "tests/screens/grooveTestSupport.h"

namespace {

using groovetest::GroovePanelTest;

std::vector<std::string> gNotices;
int16_t recordNotice(const char*, const char* text, int16_t) {
  gNotices.push_back(text ? text : "");
  return 1;
}
int16_t answerDefault(const char*, const char*, int16_t b) { return b <= 0 ? 1 : b == 1 ? 2 : 3; }

class LoopFaultNotice : public GroovePanelTest {
 protected:
  void SetUp() override {
    GroovePanelTest::SetUp();
    gNotices.clear();
    ULO_SetMessageBoxHook(recordNotice);
  }
  void TearDown() override {
    ULO_SetMessageBoxHook(answerDefault);
    GroovePanelTest::TearDown();
  }
  // Idle time passes, as the event loop gives it.
  void idleFor(int ticks) {
    for (int k = 0; k < ticks; ++k) {
      uloGlo.when += 1;
      uloGlo.what = uloEvtNull;
      gp().onIdle();
    }
  }
};

TEST_F(LoopFaultNotice, EachFaultIsNamedOnceWithItsFileAndReason) {
  ASSERT_TRUE(loadDemo());
  int16_t group = -1, variant = -1;
  const char* label = gp().library.getGroupAndIndex(1, &group, &variant);
  ASSERT_NE(nullptr, label);
  const std::string loop = std::string(gp().library.groups[group].name) + ":" + label;
  const std::string file = gp().library.groups[group].files[variant];
  idleFor(200);  // whatever the start-up shows is over
  gNotices.clear();

  NoteLoopFault(1, 2, kWaveCut);
  NoteLoopFault(1, 2, kWaveUnreadable);  // a second fault of the same loop is not news
  idleFor(100);
  ASSERT_EQ(1u, gNotices.size());
  EXPECT_EQ("Track 3: the loop \"" + loop + "\" (file \"" + file +
                "\") is cut short: its file ends before its sound does. The track plays what is there.",
            gNotices[0]);
  NoteLoopFault(1, 2, kWaveCut);
  idleFor(100);
  EXPECT_EQ(1u, gNotices.size());

  const char* other = gp().library.getGroupAndIndex(0, &group, &variant);
  ASSERT_NE(nullptr, other);
  NoteLoopFault(0, 0, kWaveRate);
  idleFor(100);
  ASSERT_EQ(2u, gNotices.size());
  EXPECT_NE(std::string::npos, gNotices[1].find("(file \"" + std::string(gp().library.groups[group].files[variant]) + "\")"));
  EXPECT_NE(std::string::npos, gNotices[1].find("sample rate that cannot be converted"));
}

}  // namespace
