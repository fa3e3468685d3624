// The groove panel played from the keyboard (through the screen's key
// table, as the window delivers keys) and its idle work: level meters,
// the light chase, random-set names under the mouse and Keep blinking.
#include <atomic>

#include "framework/intl/JLInternational.h"
#include "framework/platform/uloEvents.h"

#include "tests/screens/grooveTestSupport.h"

namespace {

using groovetest::GroovePanelTest;

class GrooveKeys : public GroovePanelTest {
 protected:
  void idleAt(int32_t tick) {
    uloGlo.when = tick;
    uloGlo.what = uloEvtNull;
    gp().onIdle();
  }
};

TEST_F(GrooveKeys, DigitsAndHeldLettersActOnTracks) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  tap('3');
  EXPECT_EQ(gp().selectedTrack, 2);
  key('m');
  tap('5');  // M held: mute track 4
  key('m', false);
  EXPECT_FALSE(gp().tracks[4].on);
  EXPECT_EQ(gp().selectedTrack, 2);
  key('k');
  tap('6');
  key('k', false);
  EXPECT_TRUE(gp().tracks[5].keepOn);
  tap('9');  // no track 8
  EXPECT_EQ(gp().selectedTrack, 2);
  // The keypad layout: 8 9 6 3 2 1 4 7 are tracks 0-7; 5 is none.
  tap('*');
  ASSERT_TRUE(jlks.keypadLayout);
  tap('8');
  EXPECT_EQ(gp().selectedTrack, 0);
  tap('7');
  EXPECT_EQ(gp().selectedTrack, 7);
  tap('5');
  EXPECT_EQ(gp().selectedTrack, 7);
  tap('*');
  EXPECT_FALSE(jlks.keypadLayout);
}

TEST_F(GrooveKeys, LettersSwitchModesAndSpacePlaysAndStops) {
  ASSERT_TRUE(loadDemo());
  tap('s');
  EXPECT_TRUE(gp().soloMode);
  tap('S');
  EXPECT_FALSE(gp().soloMode);
  tap('g');
  EXPECT_TRUE(gp().groupMode);
  tap('a');
  EXPECT_TRUE(gp().allMode);
  EXPECT_FALSE(gp().groupMode);
  tap(' ');
  EXPECT_TRUE(player().playing);
  tap(' ');
  EXPECT_FALSE(player().playing);
}

TEST_F(GrooveKeys, StepKeysMoveTheHeldControlAndHeldRepeatsStepByFive) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  tap('1');
  const int16_t v = gp().groove.tracks[0].volume;
  key('v');
  tap('+');
  EXPECT_EQ(gp().groove.tracks[0].volume, v + 1);
  tap(uloKeyDown);
  EXPECT_EQ(gp().groove.tracks[0].volume, v);
  // An auto-repeating '+': the count reaches 11 and steps become 5.
  for (int i = 0; i < 10; i++) key('+');
  EXPECT_EQ(gp().groove.tracks[0].volume, v + 10);
  key('+');
  EXPECT_EQ(gp().groove.tracks[0].volume, v + 15);
  key('+', false);
  key('v', false);
  key('p');
  tap(uloKeyLeft);
  key('p', false);
  EXPECT_EQ(gp().groove.tracks[0].pan, value(36));
  key('b');  // lower-case b: tempo steps of 0.2
  tap('+');
  key('b', false);
  EXPECT_FLOAT_EQ(player().bpm, 125.2f);
  key('B');  // upper-case B: the tempo scroll
  tap('+');
  key('B', false);
  EXPECT_FLOAT_EQ(player().bpm, 126.0f);
  key('m');
  tap('-');
  key('m', false);
  EXPECT_EQ(player().mainVolume, 62);
}

TEST_F(GrooveKeys, WithoutALetterPlusMinusUpAndDownAreTheTempoButtons) {
  ASSERT_TRUE(loadDemo());  // 125 BPM
  tap('+');
  EXPECT_FLOAT_EQ(player().bpm, 125.2f);
  tap(uloKeyDown);
  EXPECT_FLOAT_EQ(player().bpm, 125.0f);
  tap('-');
  EXPECT_FLOAT_EQ(player().bpm, 124.8f);
  tap(uloKeyUp);
  EXPECT_FLOAT_EQ(player().bpm, 125.0f);
  // Held, the keyboard's repeats go on stepping like a held tempo button,
  // 0.2 each also past eleven repeats.
  for (int i = 0; i < 15; i++) key('+');
  key('+', false);
  EXPECT_NEAR(player().bpm, 128.0f, 1e-3);
  // Left and Right alone stay free.
  tap(uloKeyLeft);
  tap(uloKeyRight);
  EXPECT_NEAR(player().bpm, 128.0f, 1e-3);
}

TEST_F(GrooveKeys, TheKeyOfPlusAndMinusStepsWithOrWithoutShift) {
  ASSERT_TRUE(loadDemo());
  // "b" and the "+" key without Shift types "=": still one step up.
  key('b');
  tap('=');
  key('b', false);
  EXPECT_FLOAT_EQ(player().bpm, 125.2f);
  // "B" is held with Shift, under which the "-" key types "_".
  key('B');
  tap('_');
  key('B', false);
  EXPECT_FLOAT_EQ(player().bpm, 124.0f) << "the tempo scroll one down from 125";
}

// From the window's key events: the B key held with Shift makes the step
// keys move the tempo by whole BPM, the B key alone by 0.2 (as the balloons
// say); letting Shift go before B does not leave an upper-case B held.
TEST_F(GrooveKeys, ShiftBHeldStepsTheTempoByOneBpmAndThePlainBKeyByAFifth) {
  ASSERT_TRUE(loadDemo());
  ASSERT_FLOAT_EQ(player().bpm, 125.0f);
  ULO_ResetKeyTranslation();
  auto send = [&](bool down, SDL_Keycode sym, SDL_Scancode sc, Uint16 mod) {
    SDL_Event e;
    SDL_zero(e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.sym = sym;
    e.key.keysym.scancode = sc;
    e.key.keysym.mod = mod;
    if (ULO_TranslateEvent(e, uloGlo, 1, uloGlo.when, nullptr, nullptr) == uloEventAction::handOver)
      QXScreen.events();
    uloGlo.what = uloEvtNull;
  };
  auto press = [&](SDL_Keycode sym, SDL_Scancode sc, Uint16 mod) {
    send(true, sym, sc, mod);
    send(false, sym, sc, mod);
  };
  send(true, SDLK_b, SDL_SCANCODE_B, KMOD_LSHIFT);
  press(SDLK_UP, SDL_SCANCODE_UP, KMOD_LSHIFT);
  EXPECT_FLOAT_EQ(player().bpm, 126.0f);
  press(SDLK_UP, SDL_SCANCODE_UP, KMOD_NONE);  // Shift let go, B still down
  EXPECT_FLOAT_EQ(player().bpm, 127.0f);
  press(SDLK_MINUS, SDL_SCANCODE_MINUS, KMOD_NONE);
  EXPECT_FLOAT_EQ(player().bpm, 126.0f);
  send(false, SDLK_b, SDL_SCANCODE_B, KMOD_NONE);
  EXPECT_EQ(QXScreen.keyPresses['B'], 0);
  send(true, SDLK_b, SDL_SCANCODE_B, KMOD_NONE);
  press(SDLK_UP, SDL_SCANCODE_UP, KMOD_NONE);
  EXPECT_NEAR(player().bpm, 126.2f, 1e-4);
  send(false, SDLK_b, SDL_SCANCODE_B, KMOD_NONE);
}

TEST_F(GrooveKeys, AReturnLetGoInAnotherWindowNoLongerHoldsBackTheLetters) {
  ASSERT_TRUE(loadDemo());
  ULO_ResetKeyTranslation();
  // Return goes down in this window (storing the groove) ...
  SDL_Event e;
  SDL_zero(e);
  e.type = SDL_KEYDOWN;
  e.key.keysym.sym = SDLK_RETURN;
  e.key.keysym.scancode = SDL_SCANCODE_RETURN;
  ASSERT_EQ(ULO_TranslateEvent(e, uloGlo, 1, uloGlo.when, nullptr, nullptr), uloEventAction::handOver);
  QXScreen.events();
  ASSERT_EQ(gp().sequence.grooveCount, 1);
  // ... and comes up where this window never hears it: while it counts as
  // held, S, G, A, E, T and Space are Return combinations and do nothing.
  tap('s');
  ASSERT_FALSE(gp().soloMode);
  // The window losing the keyboard lets go of every key held then.
  while (ULO_TakeHeldKeyRelease(uloGlo)) QXScreen.events();
  EXPECT_EQ(QXScreen.keyPresses[uloKeyReturn], 0);
  tap('s');
  EXPECT_TRUE(gp().soloMode);
  tap(' ');
  EXPECT_TRUE(player().playing);
  gp().randomize(4);  // a changed groove: Return stores it
  tap(uloKeyReturn);
  EXPECT_EQ(gp().sequence.grooveCount, 2);
}

TEST_F(GrooveKeys, NumericVolumeEntryAppliesOnReleaseOrAtTheLastDigit) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  tap('1');
  key('v');
  key(uloKeyReturn);
  key(uloKeyReturn, false);
  ASSERT_TRUE(jlks.active);
  EXPECT_EQ(text(118), std::string(1, kJLNumEntryPlaceholder));
  tap('1');
  tap('2');
  EXPECT_EQ(text(118), std::string("12") + kJLNumEntryPlaceholder);
  EXPECT_EQ(gp().groove.tracks[0].volume, gp().library.groups[gp().groove.tracks[0].group].volume[gp().groove.tracks[0].variant]);
  key('v', false);  // released: applied
  EXPECT_FALSE(jlks.active);
  EXPECT_EQ(gp().groove.tracks[0].volume, 12);
  EXPECT_EQ(value(34), 12);
  // Three digits apply at once, clamped to the range.
  key('v');
  key(uloKeyReturn);
  key(uloKeyReturn, false);
  tap('9');
  tap('9');
  tap('9');
  EXPECT_FALSE(jlks.active);
  EXPECT_EQ(gp().groove.tracks[0].volume, 127);
  key('v', false);
  // Only 0 typed: cancelled, the display shows what it showed.
  const std::string shown = text(118);
  key('v');
  key(uloKeyReturn);
  key(uloKeyReturn, false);
  tap('0');
  key('v', false);
  EXPECT_FALSE(jlks.active);
  EXPECT_EQ(text(118), shown);
  EXPECT_EQ(gp().groove.tracks[0].volume, 127);
}

TEST_F(GrooveKeys, NumericGrooveEntryRestoresTheGrooveWithThatId) {
  ASSERT_TRUE(loadDemo());
  for (int i = 0; i < 3; i++) {
    gp().randomize(4);
    item(12);
  }
  const JLGroove second = gp().sequence.grooves[1];
  gp().randomize(4);
  key('j');
  tap('2');  // J held with a digit: a groove number
  ASSERT_TRUE(jlks.active);
  key('j', false);
  EXPECT_EQ(gp().groove.id, 2);
  EXPECT_EQ(memcmp(&gp().groove, &second, sizeof second), 0);
  EXPECT_EQ(gp().grooveRow.selected, 1);
  // Two digits apply at once; 9 is a digit of a groove number too.
  for (int i = 0; i < 7; i++) {
    gp().randomize(4);
    item(12);
  }
  ASSERT_EQ(gp().sequence.grooveCount, 10);
  key('j');
  tap('1');
  tap('0');
  EXPECT_FALSE(jlks.active);
  EXPECT_EQ(gp().groove.id, 10);
  tap('9');
  key('j', false);
  EXPECT_EQ(gp().groove.id, 9);
  // An id not in the bank changes nothing.
  gp().randomize(4);
  const JLGroove before = gp().groove;
  key('j');
  tap('4');
  tap('2');
  key('j', false);
  EXPECT_EQ(memcmp(&gp().groove, &before, sizeof before), 0);
}

TEST_F(GrooveKeys, ReturnAloneStoresTheGroove) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  tap(uloKeyReturn);
  EXPECT_EQ(gp().sequence.grooveCount, 1);
}

TEST_F(GrooveKeys, AnItemEventCancelsANumericEntry) {
  ASSERT_TRUE(loadDemo());
  const std::string shown = text(119);
  key('p');
  key(uloKeyReturn);
  tap('4');
  item(25);
  EXPECT_FALSE(jlks.active);
  EXPECT_EQ(text(119), shown);
  key(uloKeyReturn, false);
  key('p', false);
}

TEST_F(GrooveKeys, LevelMetersShowPeaksAndFallByFourEachTick) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  std::atomic<short> left{-1}, right{-1};
  gp().tracks[1].peakLeft = &left;
  gp().tracks[1].peakRight = &right;
  gp().groove.tracks[1].volume = 127;
  left = 15000;  // (15000 / 150 x 127) / 255 = 49
  right = 3000;
  idleAt(5000);
  EXPECT_EQ(gp().tracks[1].levelShown, 49);
  EXPECT_EQ(value(46), 49);
  EXPECT_EQ(left.load(), -1) << "read peaks are taken";
  idleAt(5000);  // the same tick: no second step
  EXPECT_EQ(gp().tracks[1].levelShown, 49);
  idleAt(5001);
  EXPECT_EQ(gp().tracks[1].levelShown, 45);
  left = 2000;  // a peak below the shown level: still falling
  idleAt(5002);
  EXPECT_EQ(gp().tracks[1].levelShown, 41);
  right = 32000;
  idleAt(5003);
  EXPECT_EQ(gp().tracks[1].levelShown, 106);
  for (int t = 0; t < 40; t++) idleAt(5004 + t);
  EXPECT_EQ(gp().tracks[1].levelShown, 0);
  // Not shown: no meter work.
  QXScreen.hide(0);
  left = 15000;
  idleAt(6000);
  EXPECT_EQ(gp().tracks[1].levelShown, 0);
}

TEST_F(GrooveKeys, TheLightChaseRunsOverTheBarsAndPausesTheRest) {
  ASSERT_TRUE(loadDemo());
  uloGlo.when = 100;
  gp().lightGame_Start(10);
  ASSERT_EQ(gp().lightNext, 110);
  gp().onItem_keep(0);
  for (int32_t t = 100; t <= 122; t++) idleAt(t);
  // Lights went on at ticks 111 (index 1) and 122 (index 2), each fading
  // over six periods; the chase runs left to right or right to left.
  auto bar = [&](int i) { return value(JLGroovePanel::barItemsTable[gp().lightReverse ? i : 7 - i]); };
  EXPECT_EQ(bar(2), 99) << "the newest light is full (the bar's top)";
  EXPECT_EQ(bar(1), (171 - 122) * 100 / 60);
  EXPECT_EQ(bar(0), 0);
  EXPECT_EQ(gp().keepBlink, 0) << "Keep does not blink meanwhile";
  gp().lightGame_End();
  for (int t = 0; t < 8; t++) EXPECT_EQ(value(JLGroovePanel::barItemsTable[t]), 0);
  EXPECT_EQ(gp().lightNext, 0);
}

TEST_F(GrooveKeys, TheRandomSetUnderTheMouseIsNamed) {
  ASSERT_TRUE(loadDemo());
  uloGlo.mouseX = 336 + 60 * 2 + 10;  // over RND 3 (set 2)
  uloGlo.mouseY = 210;
  idleAt(200);
  EXPECT_EQ(text(86), "Melodic");
  uloGlo.mouseX = 20;
  uloGlo.mouseY = 20;
  idleAt(201);
  EXPECT_EQ(text(86), "-") << "nothing used yet";
  gp().randomize(1);
  uloGlo.mouseX = 21;
  idleAt(202);
  EXPECT_EQ(text(86), "Rhythm");
}

TEST_F(GrooveKeys, KeptTracksBlinkEveryQuarterSecond) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  gp().onItem_keep(2);
  int changes = 0;
  uint8_t last = gp().keepBlink;
  for (int32_t t = 0; t < 60; t++) {
    idleAt(t);
    if (gp().keepBlink != last) {
      changes++;
      last = gp().keepBlink;
    }
  }
  EXPECT_EQ(changes, 3);  // phases change at 15, 30, 45
  gp().onItem_keep(2);
  idleAt(75);
  EXPECT_EQ(gp().keepBlink, 0);
}

}  // namespace

namespace {
using groovetest::GroovePanelTest;

TEST_F(GroovePanelTest, AStepKeyStepsItsOwnWayWhateverElseIsHeld) {
  ASSERT_TRUE(loadDemo());
  // "+" is held (or was never seen going up); "-", Left and Down still step
  // the tempo down, each by one step.
  key('b');
  key('+');
  EXPECT_FLOAT_EQ(player().bpm, 125.2f);
  tap('-');
  EXPECT_FLOAT_EQ(player().bpm, 125.0f);
  tap(uloKeyLeft);
  tap(uloKeyDown);
  EXPECT_FLOAT_EQ(player().bpm, 124.6f);
  key('+', false);
  key('b', false);
}
}  // namespace

TEST_F(GrooveKeys, ACancelledEntryRestoresALongDisplayTextWhole) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);
  // A display item may hold up to 255 characters; the entry saves them all.
  const std::string shown = std::string(120, 'x') + std::string(120, 'y');
  ASSERT_TRUE(gp().control(118));
  gp().control(118)->setValue(const_cast<char*>(shown.c_str()));
  ASSERT_EQ(text(118), shown);
  key('v');
  key(uloKeyReturn);
  key(uloKeyReturn, false);
  ASSERT_TRUE(jlks.active);
  tap('0');
  key('v', false);  // only 0 typed: cancelled
  EXPECT_FALSE(jlks.active);
  EXPECT_EQ(text(118), shown);
}

// E with ALL (or a group) on empties several tracks at once, which no undo
// brings back: it asks first, and only Yes empties them. Shift skips the
// question, as clearing the groove bank does; one track empties at once.
TEST_F(GrooveKeys, EmptyingSeveralTracksAsksFirst) {
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);  // tracks 0-7 from the song's groups
  const JLGroove before = gp().groove;
  int filled = 0;
  for (const JLTrack& t : before.tracks) filled += t.group >= 0;
  ASSERT_GE(filled, 2);
  static int asked;
  static int16_t answer;
  asked = 0;
  answer = 2;
  ULO_SetMessageBoxHook([](const char*, const char* text, int16_t kind) -> int16_t {
    asked++;
    EXPECT_EQ(kind, 1) << "a Yes/No question";
    EXPECT_STREQ(text, "Empty every chosen track? Their loops are gone unless the groove is stored.");
    return answer;
  });
  tap('a');
  ASSERT_TRUE(gp().allMode);
  tap('e');  // No
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(memcmp(&before, &gp().groove, sizeof before), 0) << "No keeps every loop";
  answer = 1;
  tap('E');
  EXPECT_EQ(asked, 2);
  for (int t = 0; t < 8; t++) EXPECT_EQ(gp().groove.tracks[t].group, -1) << t;
  // Nothing left to lose: no question.
  tap('e');
  EXPECT_EQ(asked, 2);
  // Shift: at once.
  gp().randomize(4);
  uloGlo.shift = 1;
  tap('e');
  uloGlo.shift = 0;
  EXPECT_EQ(asked, 2);
  for (int t = 0; t < 8; t++) EXPECT_EQ(gp().groove.tracks[t].group, -1) << t;
  // The repeats of a held E ask nothing and empty nothing.
  gp().randomize(4);
  uloGlo.what = uloEvtAutoKey;
  uloGlo.keyCode = 'e';
  uloGlo.character = 'e';
  QXScreen.events();
  uloGlo.what = uloEvtNull;
  EXPECT_EQ(asked, 2);
  EXPECT_GE(gp().groove.tracks[0].group, 0);
  // One track: emptied without a question.
  gp().randomize(4);
  tap('a');
  ASSERT_FALSE(gp().allMode);
  tap('3');
  tap('e');
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(gp().groove.tracks[2].group, -1);
  EXPECT_EQ(gp().groove.tracks[1].group, before.tracks[1].group);
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t b) -> int16_t { return b <= 0 ? 1 : b == 1 ? 2 : 3; });
}

// A master that goes past full scale says so in the status line while it
// clips, and the player's line comes back three seconds after the last
// clipped block; a quiet master says nothing.
TEST_F(GrooveKeys, AClippingMasterSaysSoInTheStatusLineWhileItClips) {
  ASSERT_TRUE(loadDemo());
  gp().randomize(4);  // all eight tracks
  ASSERT_TRUE(player().playing);
  const std::string playing = text(99);
  ASSERT_FALSE(playing.empty());
  // Mixes blocks (the loader visiting first) and counts the output
  // samples at full scale; idle work after every block.
  auto mixBlocks = [&](int n) {
    std::vector<int16_t> block(2 * 2048);
    int atFullScale = 0;
    for (int i = 0; i < n; i++) {
      if (dowldproc.load()) PauseLoader();
      LoaderVisitAll();
      GetResampled(block.data(), 2048);
      for (int16_t v : block) atFullScale += v >= 32767 || v <= -32767;
      uloGlo.when++;
      uloGlo.what = uloEvtNull;
      gp().onIdle();
    }
    return atFullScale;
  };
  player().setMainVolume(10);
  const uint32_t before = gep->masterClips();
  EXPECT_EQ(mixBlocks(40), 0);
  EXPECT_EQ(gep->masterClips(), before);
  EXPECT_EQ(text(99), playing) << "a quiet master says nothing";
  // Every track and the master at the top.
  for (short t = 0; t < 8; t++) gep->setTrackVolume(t, 127);
  player().setMainVolume(127);
  EXPECT_GT(mixBlocks(40), 0) << "the loud groove reaches full scale";
  EXPECT_GT(gep->masterClips(), before);
  EXPECT_EQ(text(99), "Clips: lower MASTER");
  // Quiet again: the note stays three seconds, then the player's line.
  player().setMainVolume(10);
  mixBlocks(8);  // blocks mixed at the loud level may still wait in the resampler
  const uint32_t last = gep->masterClips();
  ASSERT_EQ(mixBlocks(1), 0);
  ASSERT_EQ(gep->masterClips(), last);
  EXPECT_EQ(text(99), "Clips: lower MASTER");
  const int32_t quietFrom = uloGlo.when;
  uloGlo.when = quietFrom + 3 * 60 + 1;
  uloGlo.what = uloEvtNull;
  gp().onIdle();
  EXPECT_EQ(text(99), playing);
  // The note fits the status line in every language.
  const int room = gp().control(99)->rect.width() - 4;
  for (int16_t language : {9, 7, 12, 16}) {
    jlIntl.startWithLanguage(QXCasts.resFile, language);
    const std::string note = jlIntl.message(kJLMsgClipping).c_str();
    EXPECT_GT(note.size(), 4u) << language;
    EXPECT_LE(QXFont.stringWidth(note.c_str()), room) << note;
  }
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
}
