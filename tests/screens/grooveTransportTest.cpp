// Transport and tempo on the groove panel with the real engine: the
// position lamps and text follow the engine's beat, the lamps' pixels show
// their states, and the tempo controls (scroll, steps, tap) reach the
// player and the display.
#include "tests/screens/grooveTestSupport.h"

namespace {

using groovetest::GroovePanelTest;

// The colour at the centre of an item's rectangle in the update buffer.
uint16_t centrePixel(JLGroovePanel& gp, int16_t item) {
  const uloRect& r = gp.control(item)->rect;
  return uint16_t(QXScreen.updateBuffer.getPixel((r.left + r.right) / 2, (r.top + r.bottom) / 2));
}

int brightness(uint16_t c) { return ((c >> 10) & 31) + ((c >> 5) & 31) + (c & 31); }

TEST_F(GroovePanelTest, PositionLampsAndTextFollowTheEnginesBeat) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(0);
  EXPECT_EQ(value(121), 1) << "play lamp";
  EXPECT_EQ(value(122), 0) << "stop lamp";
  EXPECT_EQ(text(99), "Groove play");
  runToBeat(13);
  ASSERT_EQ(player().beat, 13);
  const short want[8] = {1, 1, 1, 1, 0, 2, 0, 0};
  for (int i = 0; i < 8; i++) {
    EXPECT_EQ(value(int16_t(37 + i)), want[i] != 0) << "lamp " << i;
    auto* lamp = dynamic_cast<QXPanelImageControl*>(gp().control(int16_t(37 + i)));
    ASSERT_NE(lamp, nullptr);
    if (want[i]) {
      EXPECT_EQ(lamp->level, want[i] == 1 ? 127 : 256) << "lamp " << i;
    }
  }
  EXPECT_EQ(text(96), "04:02");
  // What the screen shows: the current lamp brightest, reached bars dimmer,
  // the rest dark.
  const int current = brightness(centrePixel(gp(), 42));
  const int reached = brightness(centrePixel(gp(), 37));
  const int off = brightness(centrePixel(gp(), 41));
  EXPECT_GT(current, reached);
  EXPECT_GT(reached, off);
  item(24);
  EXPECT_EQ(value(121), 0);
  EXPECT_EQ(value(122), 1);
  EXPECT_EQ(text(99), "Stop");
}

// A preview that plays while the loaded song is stopped moves the position;
// when it ends, the position of the stopped song comes back.
TEST_F(GroovePanelTest, AfterAPreviewTheStoppedSongShowsItsOwnPosition) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(0);
  runToBeat(5);
  item(24);  // stop
  const std::string stopped = text(96);
  ASSERT_EQ(stopped, "02:02");
  gp().beginPreview();
  ASSERT_TRUE(loadDemo("RobotFunk"));
  gp().randomize(0);
  runToBeat(20);
  ASSERT_EQ(text(96), "06:01");
  ASSERT_TRUE(gp().endPreview(true));
  EXPECT_FALSE(player().playing);
  EXPECT_EQ(text(96), stopped);
}

TEST_F(GroovePanelTest, TempoControlsReachThePlayerAndTheDisplay) {
  ASSERT_TRUE(loadDemo());  // 125 BPM
  set(35, 20);
  item(35);
  EXPECT_FLOAT_EQ(player().bpm, 145.0f);
  EXPECT_EQ(text(97), "145.0");
  item(67);
  EXPECT_EQ(text(97), "144.8");
  item(66);
  item(66);
  EXPECT_EQ(text(97), "145.2");
  // Tap: the fourth tap, half a second apart, sets 120.
  for (int i = 0; i < 3; i++) {
    uloGlo.when = 10000 + 30 * i;
    item(65);
  }
  EXPECT_EQ(text(97), "145.2");
  uloGlo.when = 10090;
  item(65);
  EXPECT_EQ(text(97), "120.0");
  EXPECT_EQ(value(35), -5);
  // A new song brings its own tempo back.
  ASSERT_TRUE(loadDemo("IronPulse"));
  EXPECT_EQ(text(97), "135.0");
  EXPECT_EQ(value(35), 0);
}

TEST_F(GroovePanelTest, TheMainVolumeShowsAndReachesTheEngine) {
  ASSERT_TRUE(loadDemo());
  item(25);
  EXPECT_EQ(text(120), "63");
  key('m');
  tap('+');
  key('m', false);
  EXPECT_EQ(text(120), "64");
  // The main volume drag: 20 pixels up.
  groovetest::Mouse m;
  const uloRect& r = gp().control(120)->rect;
  m.dragTo(r.left + 5, r.top + 5, r.left + 5, r.top - 15);
  uloGlo.mouseX = int16_t(r.left + 5);
  uloGlo.mouseY = int16_t(r.top + 5);
  item(120);
  EXPECT_EQ(player().mainVolume, 84);
  EXPECT_EQ(text(120), "84");
}

}  // namespace

namespace {

// A button held for `gHeldTicks` ticks: every poll of the tracking loop is
// one tick later.
int gHeldTicks = 0;
bool heldForAWhile() {
  uloGlo.when++;
  uloGlo.buttonDown = gHeldTicks-- > 0;
  return uloGlo.buttonDown != 0;
}

TEST_F(GroovePanelTest, HoldingTheTempoButtonsStepsOnAndOn) {
  ASSERT_TRUE(loadDemo());
  QXScreen.show(0);
  const uloRect plus = gp().control(66)->rect, minus = gp().control(67)->rect;
  ULO_SetTrackingSource(heldForAWhile);
  // A click is one step.
  gHeldTicks = 0;
  press((plus.left + plus.right) / 2, (plus.top + plus.bottom) / 2);
  EXPECT_FLOAT_EQ(player().bpm, 125.2f);
  // Held for 40 ticks: a step at the press, then after 24 ticks one every
  // 4 (ticks 24, 28, 32, 36 and 40): six steps, none more at the release.
  gHeldTicks = 40;
  press((plus.left + plus.right) / 2, (plus.top + plus.bottom) / 2);
  EXPECT_FLOAT_EQ(player().bpm, 126.4f);
  EXPECT_EQ(text(97), "126.4");
  gHeldTicks = 40;
  press((minus.left + minus.right) / 2, (minus.top + minus.bottom) / 2);
  EXPECT_FLOAT_EQ(player().bpm, 125.2f);
  ULO_SetTrackingSource(nullptr);
}

}  // namespace

namespace {

// The pixels of a control's rectangle as the screen composes it.
std::vector<uint16_t> pixelsOf(const uloRect& r) {
  QXScreen.update(r);
  std::vector<uint16_t> px;
  for (int y = r.top; y < r.bottom; y++)
    for (int x = r.left; x < r.right; x++) px.push_back(uint16_t(QXScreen.updateBuffer.getPixel(x, y)));
  return px;
}

TEST_F(GroovePanelTest, LevelMetersFallDarkWhenPlaybackStops) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(0);
  runToBeat(8);
  int lit = 0, marked = 0;
  for (int16_t item : JLGroovePanel::barItemsTable) {
    auto* bar = dynamic_cast<JLLevelBarControl*>(gp().control(item));
    ASSERT_NE(bar, nullptr);
    lit += bar->value > 0;
    marked += bar->peak >= 0;
  }
  ASSERT_GT(lit, 0) << "playing, the meters move";
  EXPECT_GT(marked, 0) << "and show where each volume sits";

  item(24);
  // Stopped: a second and a bit of idle work, nothing mixed.
  for (int tick = 0; tick < 70; tick++) {
    uloGlo.when++;
    gp().onIdle();
  }
  for (int16_t item : JLGroovePanel::barItemsTable) {
    uloPanelControl* bar = gp().control(item);
    EXPECT_EQ(value(item), 0) << item;
    // Dark: exactly the panel beneath, as if the meter were not there.
    const std::vector<uint16_t> shown = pixelsOf(bar->rect);
    bar->visible = 0;
    const std::vector<uint16_t> beneath = pixelsOf(bar->rect);
    bar->visible = 1;
    EXPECT_TRUE(shown == beneath) << "meter " << item << " still shows a lit segment";
  }
  // Playing again brings the volume marks back.
  item(25);
  auto* first = dynamic_cast<JLLevelBarControl*>(gp().control(JLGroovePanel::barItemsTable[0]));
  EXPECT_EQ(first->peak, gp().groove.tracks[0].volume * 100 / 127);
}

// A muted track is not heard: its meter falls to zero and shows no volume
// mark, while the others go on; unmuted, the mark is back.
TEST_F(GroovePanelTest, AMutedTracksMeterFallsToZeroWithoutAMark) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(0);
  runToBeat(8);
  auto bar = [&](short t) { return dynamic_cast<JLLevelBarControl*>(gp().control(JLGroovePanel::barItemsTable[t])); };
  short muted = -1;
  for (short t = 0; t < 8 && muted < 0; t++)
    if (bar(t)->value > 0) muted = t;
  ASSERT_GE(muted, 0) << "playing, a meter moves";
  gp().onItem_trackLed(muted);
  ASSERT_EQ(gp().tracks[muted].active, 0);
  EXPECT_EQ(bar(muted)->peak, -1) << "no volume mark on a track not heard";
  // Past the next sync point, whatever the sync mode.
  runToBeat(16, 1);
  EXPECT_EQ(bar(muted)->value, 0);
  EXPECT_EQ(bar(muted)->peak, -1);
  int others = 0;
  for (short t = 0; t < 8; t++)
    if (t != muted) others += bar(t)->value > 0;
  EXPECT_GT(others, 0) << "the tracks still heard go on moving";
  gp().onItem_trackLed(muted);
  EXPECT_EQ(bar(muted)->peak, gp().groove.tracks[muted].volume * 100 / 127);
}

}  // namespace

namespace {

// A drag of the tempo slider's thumb far past its right end: the tempo
// display at every step of it, and where the drag is let go.
std::vector<std::string> gShownWhileDragging;
int gDragStep = 0, gDragFromX = 0, gDragY = 0;
JLGroovePanel* gDragged = nullptr;
bool dragFarRight() {
  if (gDragStep > 0) {
    char t[32] = {0};
    if (uloPanelControl* c = gDragged->control(97)) c->getValue(t);
    gShownWhileDragging.push_back(t);
  }
  uloGlo.mouseX = int16_t(gDragFromX + 30 * gDragStep);
  uloGlo.mouseY = int16_t(gDragY);
  uloGlo.buttonDown = gDragStep++ < 8;
  return uloGlo.buttonDown != 0;
}

TEST_F(GroovePanelTest, DraggingTheTempoPastTheFastestShowsTheTempoThatPlaysAfterwards) {
  ASSERT_TRUE(loadDemo("IronPulse"));
  QXScreen.show(0);
  ASSERT_EQ(text(97), "135.0");
  // 1.3 x 135 = 175.5 is the fastest heard, below 135 + 50.
  ASSERT_FLOAT_EQ(player().fastestBpm(), 175.5f);
  auto* slider = dynamic_cast<JLScroll*>(gp().control(35));
  ASSERT_NE(slider, nullptr);
  gShownWhileDragging.clear();
  gDragged = &gp();
  gDragStep = 0;
  gDragFromX = (slider->thumb.left + slider->thumb.right) / 2;
  gDragY = (slider->thumb.top + slider->thumb.bottom) / 2;
  ULO_SetTrackingSource(dragFarRight);
  press(gDragFromX, gDragY);
  ULO_SetTrackingSource(nullptr);
  ASSERT_FALSE(gShownWhileDragging.empty());
  EXPECT_EQ(gShownWhileDragging.back(), "175.5");
  EXPECT_EQ(text(97), "175.5") << "let go, the tempo stays what the display showed";
  EXPECT_FLOAT_EQ(player().bpm, 175.5f);
  EXPECT_EQ(value(35), 40) << "the thumb at the whole BPM below it";
  // A click on the thumb that does not move it leaves the tempo alone.
  gDragStep = 8;
  ULO_SetTrackingSource(dragFarRight);
  press((slider->thumb.left + slider->thumb.right) / 2, gDragY);
  ULO_SetTrackingSource(nullptr);
  EXPECT_EQ(text(97), "175.5");
  // One whole step down from there is 174.
  set(35, 39);
  item(35);
  EXPECT_EQ(text(97), "174.0");
}

}  // namespace
