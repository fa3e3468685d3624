// The small panels: information page (15), progress (16), network (9) and
// random mix (11).
#include "tools/skingen/skinDecl.h"

namespace skin {

Layout MakeInfo15() {
  Layout L;
  L.id = 15;
  L.panelEntry = 9;
  L.name = "info";
  // The background only shows the page: were it clickable, as the first
  // slot it would take every press before the buttons.
  Item& bg = L.add(0, kBackpane, 0, 0, 640, 480, Look::InfoPage);
  bg.state = 1;
  // Items 1 and 2 close the page (one shows over each main panel); 3 and 4
  // open the web page; 5 is the page itself, which closes on a click.
  L.button(1, 524, 440, 100, 28, "BACK");
  L.button(2, 524, 440, 100, 28, "BACK").samplePicture = -2;
  L.button(3, 412, 440, 104, 28, "WEBSITE");
  L.button(4, 412, 440, 104, 28, "WEBSITE").samplePicture = -2;
  Item& page = L.add(5, kImage, 0, 0, 640, 430, Look::None);
  page.state = 2;
  return L;
}

Layout MakeProgress16() {
  using namespace colours;
  Layout L;
  L.id = 16;
  L.panelEntry = 10;
  L.name = "progress";
  L.title = "PLEASE WAIT";
  L.floating = true;
  L.w = 400;
  L.h = 96;
  L.screenX = 120;
  L.screenY = 100;
  L.add(0, kBackpane, 0, 0, L.w, L.h, Look::Background);
  // The background only shows the panel: presses on it go to the controls
  // above it, or drag the panel.
  L.items.back().state = 1;
  L.text(2, 16, 32, 368, 20, "Converting the sound file...");
  Item& bar = L.add(3, kProgress, 16, 62, 288, 16, Look::Progress);
  bar.state = 1;
  bar.samplePicture = 0;
  L.button(1, 312, 58, 72, 24, "STOP");
  return L;
}

Layout MakeNet9() {
  Layout L;
  L.id = 9;
  L.panelEntry = 3;
  L.name = "network";
  L.title = "NETWORK LINK";
  L.floating = true;
  L.w = 300;
  L.h = 150;
  L.screenX = 100;
  L.screenY = 200;
  L.add(0, kBackpane, 0, 0, L.w, L.h, Look::Background);
  // The background only shows the panel: presses on it go to the controls
  // above it, or drag the panel.
  L.items.back().state = 1;
  L.caption(16, 40, "LINK", 10, 0, true);
  Item& mode = L.add(1, kImage, 60, 34, 120, 24, Look::ModeSwitch);
  mode.states = {"", "OFF", "CONNECT", "LISTEN"};
  mode.samplePicture = 1;
  mode.helpTitle = "Link";
  mode.helpText = "Click to step: off, connect, listen.";
  L.caption(16, 74, "TRACKS SHARED", 10, 0, true);
  for (int t = 0; t < 8; t++) {
    L.caption(16 + 34 * t + 15, 90, std::to_string(t + 1), 10, 1);
    Item& u = L.add(2 + t, kImage, 16 + 34 * t, 104, 30, 22, Look::ModeSwitch);
    u.states = {"", "-", "OUT", "IN"};
    u.samplePicture = 1;
  }
  return L;
}

Layout MakeRandMix11() {
  Layout L;
  L.id = 11;
  L.panelEntry = 5;
  L.name = "randmix";
  L.title = "RANDOM MIX";
  L.floating = true;
  L.w = 260;
  L.h = 130;
  L.screenX = 100;
  L.screenY = 100;
  L.add(0, kBackpane, 0, 0, L.w, L.h, Look::Background);
  // The background only shows the panel: presses on it go to the controls
  // above it, or drag the panel.
  L.items.back().state = 1;
  static const char* const labels[6] = {"Min", "Max", "Dark", "Brght", "-----", "Color"};
  for (int i = 0; i < 6; i++) {
    Item& cell = L.text(1 + i, 16 + 80 * (i % 3), 44 + 40 * (i / 3), 68, 22, labels[i]);
    cell.helpTitle = "Random mix (not in use)";
    cell.helpText = "This setting does nothing yet.";
  }
  L.caption(16, 112, "These settings are not in use yet.", 9);
  // Closed like the other floating panels.
  L.button(7, 230, 3, 24, 20, "X").helpTitle = "Close";
  L.items.back().helpText = "Close the random mix panel.";
  return L;
}

const std::vector<TourStep>& TourSteps() {
  static const std::vector<TourStep> steps = {
      // Above SONGS, over PLAY SEQUENCE and the first sequence slots: SONGS
      // sits in the bottom row, so no balloon fits below it, and beside it
      // the balloon would run off the screen's bottom edge. With no song
      // loaded the sequence is empty, so nothing the user needs now is hidden.
      {0, 61, "1. Choose a song", "Click SONGS to open the song list."},
      // Above LOAD SONG, over the browser's top row (EJECT and COPY TO
      // LIBRARY, which only a song on a disk needs): below it the balloon
      // would hide NO PREVIEW and the picked song's name, left of it the
      // song list the step picks from, and right of it runs off the screen.
      {6, 8, "2. Load it", "Pick a song, then click LOAD SONG.", TourStep::Side::above},
      // Above the pop-up, over the track buttons: below it the balloon would
      // hide the loop pop-ups that show what the chosen group plays.
      {0, 77, "3. Change an instrument", "Hold the pop-up and choose a group.", TourStep::Side::above},
      // Left of RND 1, over the selected track's browsers: above it the
      // balloon would hide SOLO, GROUP, ALL and KEEP, below it the random
      // set's name, which tells what RND 1 chose, and right of it both (the
      // gap between them is lower than a balloon). The loop pop-ups at the
      // top still show every track's new loop.
      {0, 21, "4. Randomise", "RND 1 fills the tracks with new loops.", TourStep::Side::left},
      // Right of STORE, between the status line and the sequence: above it
      // the balloon would hide PLAY, STOP and SYNC, below it PLAY SEQUENCE
      // and the first sequence slots. It lies over the bank's first balls
      // until the click, and the tour ends a second after the click, so the
      // stored ball shows.
      {0, 12, "5. Store the groove", "STORE keeps it as a ball in the bank.", TourStep::Side::right},
  };
  return steps;
}

}  // namespace skin
