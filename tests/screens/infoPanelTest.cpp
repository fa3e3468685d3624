// The information page over the groove panel: every way out closes it, and
// while it is up the panel beneath hears neither presses nor keys.
#include "screens/JLInfoPanel.h"
#include "tests/screens/grooveTestSupport.h"

namespace {

class InfoPage : public groovetest::GroovePanelTest {
 protected:
  void SetUp() override {
    GroovePanelTest::SetUp();
    QXScreen.show(0);
    info = std::make_unique<mixtest::Mounted<JLInfoPanel>>(15, 9, false);
  }
  void TearDown() override {
    info.reset();
    QXScreen.modalPanel = -1;
    GroovePanelTest::TearDown();
  }
  bool shown() { return QXScreen.isShown(9); }
  std::unique_ptr<mixtest::Mounted<JLInfoPanel>> info;
};

TEST_F(InfoPage, BackAClickAnywhereAndEscapeCloseIt) {
  groovetest::Mouse mouse;  // every press is released at once
  ASSERT_TRUE(loadDemo());
  item(127);  // INFO
  ASSERT_TRUE(shown());
  press(574, 454);  // BACK
  EXPECT_FALSE(shown());
  item(127);
  press(300, 200);  // the page
  EXPECT_FALSE(shown());
  item(127);
  press(40, 462);  // the strip beside the buttons
  EXPECT_FALSE(shown());
  item(127);
  press(464, 454);  // WEBSITE opens the site and keeps the page
  EXPECT_TRUE(shown());
  EXPECT_EQ(info->panel.currentItem, 3);
  // Keys belong to the page: S does not switch the hidden panel's solo.
  tap('s');
  EXPECT_FALSE(gp().soloMode);
  EXPECT_TRUE(shown());
  key(27);  // Escape
  EXPECT_FALSE(shown());
  EXPECT_EQ(QXScreen.modalPanel, -1);
  tap('s');
  EXPECT_TRUE(gp().soloMode) << "keys reach the groove panel again";
}

TEST_F(InfoPage, OverTheSongBrowserItGivesTheBrowserBackItsKeys) {
  QXScreen.modalPanel = 6;  // a browser is up
  QXScreen.show(9);
  EXPECT_EQ(QXScreen.modalPanel, 9);
  key(uloKeyReturn);
  EXPECT_FALSE(shown());
  EXPECT_EQ(QXScreen.modalPanel, 6);
}

}  // namespace
