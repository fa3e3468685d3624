// Preferences: random-set limit lamps, the export format list, colour
// schemes tried live and Cancel restoring the stored one, OK storing.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "framework/intl/JLInternational.h"
#include "framework/panel/QXpopup.h"
#include "framework/platform/uloSoundConvert.h"
#include "framework/platform/uloSys.h"
#include "framework/prefs/JLprefs.h"
#include "engine/JLEngine.h"
#include "engine/JLStretch.h"
#include "engine/Mixer.h"
#include "screens/JLPrefsPanel.h"
#include "song/JLDiskMix.h"
#include "song/JLSongLibrary.h"
#include "tests/screens/vmixSkinSupport.h"
#include "tests/support/tempFolder.h"

namespace {

struct Prefs {
  TempFolder dir;
  JLSongLibrary lib;
  QXPanelClass groove;  // stands for a recoloured main panel
  mixtest::Mounted<JLPrefsPanel> m{13, 8, false};
  Prefs() {
    snprintf(jlPrefs.fileName, sizeof jlPrefs.fileName, "%s", (dir.ulo() + "Jamloom.prf").c_str());
    jlPrefs.interfaceColor = 2;
    jlPrefs.randomLimit[2] = 3;
    lib.randomSetCount = 3;
    for (int s = 0; s < 3; s++) {
      lib.randomSets[s].count = 8;
      snprintf(lib.randomSets[s].name, sizeof lib.randomSets[s].name, "set %d", s);
    }
    groove.attachLayouts(5, -1, -1, &QXCasts, uloRect(0, 0, 640, 480));
    QXScreen.connect(&groove, 1, 1);
    QXScreen.show(1);
    m.panel.setSong(&lib);
    QXScreen.show(8);
  }
  ~Prefs() {
    QXScreen.hide(1);
    QXScreen.disconnect(1);
    jlPrefs.interfaceColor = 0;
  }
  short backgroundOfMain() { return groove.background()->get(); }
};

}  // namespace

TEST(PrefsPanel, LimitLampsFollowTheSetsAndTheChosenLimit) {
  Prefs p;
  EXPECT_EQ("set 1", p.m.text(27));
  EXPECT_EQ("", p.m.text(29));
  // Lamp 4 of set 2: the limit becomes 7 and lamps 0-4 are drawn bright.
  p.m.click(6 + 5 * 2 + 4);
  EXPECT_EQ(7, p.m.panel.randLimits[2]);
  for (int j = 0; j < 5; j++) {
    EXPECT_EQ(1, p.m.value(int16_t(6 + 10 + j)));
    auto* lamp = dynamic_cast<QXPanelImageControl*>(p.m.panel.control(int16_t(6 + 10 + j)));
    ASSERT_NE(nullptr, lamp);
    EXPECT_EQ(255, lamp->level) << j;
  }
  p.m.click(6 + 5 * 1 + 0);
  EXPECT_EQ(3, p.m.panel.randLimits[1]);
  // A set the song does not have shows no lamp.
  EXPECT_EQ(0, p.m.value(6 + 15));
  p.m.click(1);
  EXPECT_EQ(7, jlPrefs.randomLimit[2]);
  EXPECT_EQ(3, jlPrefs.randomLimit[1]);
  EXPECT_FALSE(QXScreen.isShown(8));
}

TEST(PrefsPanel, CancelRestoresTheStoredColoursAndOkStoresTheLast) {
  Prefs p;
  EXPECT_EQ(2, p.backgroundOfMain());
  EXPECT_EQ(1, p.m.value(34));
  p.m.click(32 + 5);
  EXPECT_EQ(5, p.backgroundOfMain());
  p.m.click(32 + 6);
  EXPECT_EQ(6, p.backgroundOfMain());
  EXPECT_EQ(1, p.m.value(38));
  EXPECT_EQ(0, p.m.value(37));
  p.m.click(2);
  EXPECT_EQ(2, p.backgroundOfMain());
  EXPECT_EQ(2, jlPrefs.interfaceColor);
  QXScreen.show(8);
  p.m.click(32 + 4);
  p.m.click(1);
  EXPECT_EQ(4, jlPrefs.interfaceColor);
  EXPECT_EQ(4, p.backgroundOfMain());
}

TEST(PrefsPanel, ExportFormatsListTheOwnFormatFirst) {
  Prefs p;
  auto* pop = p.m.panel.control(4);
  char name[128] = "";
  pop->getValue(0, name);
  // Named for what it writes, in each language.
  EXPECT_STREQ("Standard (WAV 16-bit)", name);
  const std::pair<int16_t, const char*> languages[] = {
      {7, "Standard (WAV 16 Bit)"}, {12, "Standard (WAV 16 bits)"}, {16, "Standard (WAV 16 bit)"}};
  for (const auto& [language, named] : languages) {
    jlIntl.startWithLanguage(QXCasts.resFile, language);
    QXScreen.hide(8);
    QXScreen.show(8);
    pop->getValue(0, name);
    EXPECT_STREQ(named, name);
  }
  jlIntl.startWithLanguage(QXCasts.resFile, 9);
  QXScreen.hide(8);
  QXScreen.show(8);
  EXPECT_EQ(0, pop->get());
  pop->set(1);
  p.m.click(4);
  EXPECT_NE(JLPrefsPanel::kOwnFormat, p.m.panel.formatCode);
  p.m.click(1);
  EXPECT_EQ(p.m.panel.formatCode, jlPrefs.outputType);
  // Shown again, the stored format is the one chosen.
  QXScreen.show(8);
  EXPECT_EQ(1, pop->get());
  jlPrefs.outputType = JLPrefsPanel::kOwnFormat;
}

namespace {

// A press and release at the centre of a control, through the screen, as
// the user clicks it.
void clickOn(QXPanelClass& panel, int16_t item) {
  const uloRect r = panel.control(item)->rect;
  uloGlo.when += 100;  // never a double click
  uloGlo.what = uloEvtMouseDown;
  uloGlo.mouseX = int16_t((r.left + r.right) / 2);
  uloGlo.mouseY = int16_t((r.top + r.bottom) / 2);
  uloGlo.buttonDown = 0;
  QXScreen.events();
  uloGlo.what = uloEvtNull;
}

std::vector<std::string> formatEntries(uloPanelControl* pop) {
  std::vector<std::string> names;
  auto* p = dynamic_cast<QXpopupControl*>(pop);
  for (short i = 0; p && i < p->count; i++) {
    char name[128] = "";
    p->getValue(i, name);
    names.push_back(name);
  }
  return names;
}

bool writes(int format) {
  SF_INFO info = {};
  info.channels = 2;
  info.samplerate = 44100;
  info.format = format;
  return sf_format_check(&info) != 0;
}

}  // namespace

// The brightest pixel of a control's rectangle in the update buffer (the
// sum of its three 5-bit channels): its label and lamp as painted.
long brightnessOf(QXPanelClass& panel, int16_t item) {
  const uloRect r = panel.control(item)->rect;
  long most = 0;
  for (int y = r.top; y < r.bottom; y++)
    for (int x = r.left; x < r.right; x++) {
      const uint16_t c = uint16_t(QXScreen.updateBuffer.getPixel(x, y));
      most = std::max<long>(most, ((c >> 10) & 31) + ((c >> 5) & 31) + (c & 31));
    }
  return most;
}

TEST(PrefsPanel, TheUnusedOptionIsPaintedFaintIgnoresClicksAndKeepsItsStoredValue) {
  Prefs p;
  jlPrefs.mtrmValue = 1;
  QXScreen.hide(8);
  QXScreen.show(8);
  EXPECT_EQ(1, p.m.value(JLPrefsPanel::kOptionOn)) << "the stored value is shown";
  for (int16_t item : {JLPrefsPanel::kOptionOff, JLPrefsPanel::kOptionOn})
    EXPECT_FALSE(p.m.panel.control(item)->enabled) << item;
  // Faint: the screen paints a disabled control at level 63 of 256, so the
  // same radio's label drawn live is much brighter.
  const long faint = brightnessOf(p.m.panel, JLPrefsPanel::kOptionOff);
  p.m.panel.control(JLPrefsPanel::kOptionOff)->enable();
  const long live = brightnessOf(p.m.panel, JLPrefsPanel::kOptionOff);
  p.m.panel.control(JLPrefsPanel::kOptionOff)->disable();
  EXPECT_EQ(faint, brightnessOf(p.m.panel, JLPrefsPanel::kOptionOff));
  EXPECT_LT(faint * 3, live * 2) << "faint " << faint << ", live " << live;

  clickOn(p.m.panel, JLPrefsPanel::kOptionOff);
  EXPECT_EQ(1, p.m.value(JLPrefsPanel::kOptionOn)) << "a click on OFF changes nothing";
  clickOn(p.m.panel, JLPrefsPanel::kOK);
  EXPECT_EQ(1, jlPrefs.mtrmValue) << "written back as it was read";
  jlPrefs.mtrmValue = 0;
}

// No export format has settings of its own: OPTIONS is painted faint
// whichever is chosen, and a click on it opens no box.
TEST(PrefsPanel, FormatOptionsArePaintedFaintAndIgnoreClicksWhateverTheFormat) {
  Prefs p;
  static int boxes;
  boxes = 0;
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t) -> int16_t { return int16_t(++boxes > 0); });
  uloPanelControl* options = p.m.panel.control(JLPrefsPanel::kFormatOptions);
  uloPanelControl* pop = p.m.panel.control(JLPrefsPanel::kFormat);
  const int entries = int(formatEntries(pop).size());
  ASSERT_GE(entries, 2) << "the own format and WAV at least";
  for (int16_t entry = 0; entry < entries; entry++) {
    pop->set(entry);
    p.m.click(JLPrefsPanel::kFormat);
    EXPECT_FALSE(options->enabled) << "entry " << entry;
    clickOn(p.m.panel, JLPrefsPanel::kFormatOptions);
    EXPECT_EQ(0, boxes) << "entry " << entry;
    EXPECT_TRUE(QXScreen.isShown(8));
  }
  const long faint = brightnessOf(p.m.panel, JLPrefsPanel::kFormatOptions);
  options->enable();
  const long live = brightnessOf(p.m.panel, JLPrefsPanel::kFormatOptions);
  options->disable();
  EXPECT_LT(faint * 3, live * 2) << "faint " << faint << ", live " << live;
  // Shown again (the stored format chosen), it is still faint.
  p.m.click(JLPrefsPanel::kOK);
  QXScreen.show(8);
  EXPECT_FALSE(options->enabled);
  jlPrefs.outputType = JLPrefsPanel::kOwnFormat;
  ULO_SetMessageBoxHook([](const char*, const char*, int16_t b) -> int16_t { return b <= 0 ? 1 : b == 1 ? 2 : 3; });
}

// The pop-up's list as it should read: the program's own format, then the
// formats a musician uses that this libsndfile writes, in that order.
std::vector<std::string> expectedFormats() {
  std::vector<std::string> want = {"Standard (WAV 16-bit)"};
  const std::pair<int, const char*> offered[] = {{SF_FORMAT_WAV | SF_FORMAT_PCM_16, "WAV 16-bit"},
                                                 {SF_FORMAT_WAV | SF_FORMAT_PCM_24, "WAV 24-bit"},
                                                 {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, "FLAC"},
                                                 {SF_FORMAT_OGG | SF_FORMAT_VORBIS, "OGG Vorbis"},
                                                 {SF_FORMAT_AIFF | SF_FORMAT_PCM_16, "AIFF"},
                                                 {SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, "MP3"}};
  for (const auto& [format, name] : offered)
    if (writes(format)) want.push_back(name);
  return want;
}

TEST(PrefsPanel, ExportFormatsAreTheOnesMusiciansUseThatTheLibraryWrites) {
  const std::vector<std::string> want = expectedFormats();
  ASSERT_GE(want.size(), 6u) << "this libsndfile writes at least WAV, FLAC, OGG and AIFF";
  Prefs p;
  EXPECT_EQ(want, formatEntries(p.m.panel.control(JLPrefsPanel::kFormat)));

  // WAV 24-bit is stored as container and encoding, and the disk mix
  // writes exactly that.
  p.m.set(JLPrefsPanel::kFormat, 2);
  p.m.click(JLPrefsPanel::kFormat);
  p.m.click(JLPrefsPanel::kOK);
  EXPECT_EQ(SF_FORMAT_WAV | SF_FORMAT_PCM_24, jlPrefs.outputType);
  int format = 0;
  const char* extension = nullptr;
  ASSERT_TRUE(uloQt_soundConvert_fileFormat(jlPrefs.outputType, &format, &extension));
  EXPECT_EQ(SF_FORMAT_WAV | SF_FORMAT_PCM_24, format);
  EXPECT_STREQ("wav", extension);
  EXPECT_EQ(SF_FORMAT_WAV | SF_FORMAT_PCM_24, JL_DiskMixSndfileFormat(format));
  EXPECT_EQ(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, JL_DiskMixSndfileFormat(SF_FORMAT_FLAC));
  jlPrefs.outputType = JLPrefsPanel::kOwnFormat;
}

TEST(PrefsPanel, OlderPreferencesNamingAnotherFormatAreStillRead) {
  Prefs p;
  QXScreen.hide(8);
  // Earlier versions stored the container alone: FLAC is the offered FLAC.
  jlPrefs.outputType = SF_FORMAT_FLAC;
  QXScreen.show(8);
  EXPECT_EQ("FLAC", p.m.text(JLPrefsPanel::kFormat));
  EXPECT_EQ(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, p.m.panel.formatCode);
  p.m.click(JLPrefsPanel::kCancel);

  // A container no longer offered stays listed and chosen, and OK keeps it.
  jlPrefs.outputType = SF_FORMAT_CAF;
  QXScreen.show(8);
  const std::vector<std::string> names = formatEntries(p.m.panel.control(JLPrefsPanel::kFormat));
  EXPECT_EQ("CAF (Apple Core Audio File)", names.back());
  EXPECT_EQ(short(names.size() - 1), p.m.value(JLPrefsPanel::kFormat));
  p.m.click(JLPrefsPanel::kOK);
  EXPECT_EQ(SF_FORMAT_CAF, jlPrefs.outputType);
  int format = 0;
  const char* extension = nullptr;
  ASSERT_TRUE(uloQt_soundConvert_fileFormat(SF_FORMAT_CAF, &format, &extension));
  EXPECT_EQ(SF_FORMAT_CAF | SF_FORMAT_PCM_16, format);
  EXPECT_STREQ("caf", extension);

  // A code nothing writes (damaged preferences) shows the program's own.
  jlPrefs.outputType = 0x7fff0000;
  QXScreen.show(8);
  EXPECT_EQ(0, p.m.value(JLPrefsPanel::kFormat));
  EXPECT_EQ(JLPrefsPanel::kOwnFormat, p.m.panel.formatCode);
  EXPECT_EQ(expectedFormats(), formatEntries(p.m.panel.control(JLPrefsPanel::kFormat)));
  p.m.click(JLPrefsPanel::kCancel);
  jlPrefs.outputType = JLPrefsPanel::kOwnFormat;
}

// The tempo quality pop-up shows the stored choice and OK stores the one
// picked and hands it to the engine's resampler at once.
TEST(PrefsPanel, TempoQualityPopUpStoresAndAppliesTheChoice) {
  Prefs p;
  jlPrefs.tempoQuality = 1;
  QXScreen.hide(8);
  QXScreen.show(8);
  EXPECT_EQ("High", p.m.text(JLPrefsPanel::kTempoQuality));
  p.m.set(JLPrefsPanel::kTempoQuality, 1);
  p.m.click(JLPrefsPanel::kTempoQuality);
  clickOn(p.m.panel, JLPrefsPanel::kOK);
  EXPECT_EQ(0, jlPrefs.tempoQuality);
  if (gep) EXPECT_EQ(kTempoOriginal, GetTempoQuality());
  QXScreen.show(8);
  EXPECT_EQ("Original", p.m.text(JLPrefsPanel::kTempoQuality));
  p.m.set(JLPrefsPanel::kTempoQuality, 0);
  clickOn(p.m.panel, JLPrefsPanel::kOK);
  EXPECT_EQ(1, jlPrefs.tempoQuality);
  SetTempoQuality(kTempoHigh);
}

// The keep pitch pop-up shows the stored choice (off by default) and OK
// stores the one picked and turns it on or off in the engine at once.
TEST(PrefsPanel, KeepPitchPopUpStoresAndAppliesTheChoice) {
  Prefs p;
  jlPrefs.keepPitch = 0;
  QXScreen.hide(8);
  QXScreen.show(8);
  EXPECT_EQ("Pitch moves", p.m.text(JLPrefsPanel::kKeepPitch));
  p.m.set(JLPrefsPanel::kKeepPitch, 1);
  p.m.click(JLPrefsPanel::kKeepPitch);
  clickOn(p.m.panel, JLPrefsPanel::kOK);
  EXPECT_EQ(1, jlPrefs.keepPitch);
  if (gep) EXPECT_TRUE(JLStretchEnabled());
  QXScreen.show(8);
  EXPECT_EQ("Keep pitch", p.m.text(JLPrefsPanel::kKeepPitch));
  p.m.set(JLPrefsPanel::kKeepPitch, 0);
  clickOn(p.m.panel, JLPrefsPanel::kOK);
  EXPECT_EQ(0, jlPrefs.keepPitch);
  EXPECT_FALSE(JLStretchEnabled());
}

TEST(PrefsPanel, LatencyPopUpShowsTheStoredSettingAndOkStoresTheChoice) {
  jlPrefs.latency = jlPrefsClass::kLatencySafe;
  Prefs p;
  auto* pop = p.m.panel.control(JLPrefsPanel::kLatency);
  ASSERT_NE(nullptr, pop);
  const std::vector<std::string> want = {"Low", "Normal", "Safe"};
  EXPECT_EQ(want, formatEntries(pop));
  EXPECT_EQ(2, pop->get());
  pop->set(0);
  p.m.click(JLPrefsPanel::kLatency);
  p.m.click(JLPrefsPanel::kCancel);
  EXPECT_EQ(jlPrefsClass::kLatencySafe, jlPrefs.latency) << "Cancel keeps the stored one";
  QXScreen.show(8);
  EXPECT_EQ(2, pop->get());
  pop->set(0);
  p.m.click(JLPrefsPanel::kLatency);
  p.m.click(JLPrefsPanel::kOK);
  EXPECT_EQ(jlPrefsClass::kLatencyLow, jlPrefs.latency);
  jlPrefsClass saved;
  ULO_StrCopy(saved.fileName, sizeof saved.fileName, jlPrefs.fileName);
  saved.load();
  EXPECT_EQ(jlPrefsClass::kLatencyLow, saved.latency);
  jlPrefs.latency = jlPrefsClass::kLatencyNormal;
}

namespace {
std::vector<std::string> fakeMidiPorts(bool output) {
  if (output) return {"Synth Box:Synth Box MIDI 1 28:0", "Midi Through:Midi Through Port-0 14:0"};
  return {"Keys 49:Keys 49 MIDI 1 24:0"};
}
}  // namespace

// The MIDI block lists the ports the system offers after "None", shows the
// stored choice (kept, and listed, while its device is unplugged), and OK
// stores the chosen names without ALSA's numbers, the clock switches and
// the stems choice.
TEST(PrefsPanel, MidiBlockListsThePortsAndOkStoresTheChoicesByName) {
  JLPrefsPanel::MidiLister was = JLPrefsPanel::midiLister;
  JLPrefsPanel::midiLister = &fakeMidiPorts;
  snprintf(jlPrefs.midiInput, sizeof jlPrefs.midiInput, "%s", "Gone Pad:Gone Pad MIDI 1");
  snprintf(jlPrefs.midiOutput, sizeof jlPrefs.midiOutput, "%s", "");
  jlPrefs.midiClockOut = 0;
  jlPrefs.midiClockIn = 1;
  jlPrefs.diskMixStems = 0;
  Prefs p;
  auto* in = p.m.panel.control(JLPrefsPanel::kMidiIn);
  auto* out = p.m.panel.control(JLPrefsPanel::kMidiOut);
  ASSERT_NE(nullptr, in);
  ASSERT_NE(nullptr, out);
  EXPECT_EQ((std::vector<std::string>{"None", "Keys 49:Keys 49 MIDI 1 24:0", "Gone Pad:Gone Pad MIDI 1"}),
            formatEntries(in));
  EXPECT_EQ(2, in->get()) << "the absent device stays chosen";
  EXPECT_EQ(0, out->get());
  EXPECT_EQ("Off", p.m.text(JLPrefsPanel::kClockOut));
  EXPECT_EQ("On", p.m.text(JLPrefsPanel::kClockIn));
  EXPECT_EQ("Mix only", p.m.text(JLPrefsPanel::kStems));
  in->set(1);
  out->set(1);
  p.m.set(JLPrefsPanel::kClockOut, 1);
  p.m.set(JLPrefsPanel::kClockIn, 0);
  p.m.set(JLPrefsPanel::kStems, 1);
  clickOn(p.m.panel, JLPrefsPanel::kOK);
  EXPECT_STREQ("Keys 49:Keys 49 MIDI 1", jlPrefs.midiInput);
  EXPECT_STREQ("Synth Box:Synth Box MIDI 1", jlPrefs.midiOutput);
  EXPECT_EQ(1, jlPrefs.midiClockOut);
  EXPECT_EQ(0, jlPrefs.midiClockIn);
  EXPECT_EQ(1, jlPrefs.diskMixStems);
  jlPrefsClass saved;
  ULO_StrCopy(saved.fileName, sizeof saved.fileName, jlPrefs.fileName);
  saved.load();
  EXPECT_STREQ("Keys 49:Keys 49 MIDI 1", saved.midiInput);
  EXPECT_EQ(1, saved.diskMixStems);
  EXPECT_EQ(1, saved.midiClockOut);
  // Shown again: the stored names pick their ports; None clears them.
  QXScreen.show(8);
  EXPECT_EQ(1, in->get());
  EXPECT_EQ(2u, formatEntries(in).size()) << "a present device is not listed twice";
  EXPECT_EQ(1, out->get());
  in->set(0);
  clickOn(p.m.panel, JLPrefsPanel::kOK);
  EXPECT_STREQ("", jlPrefs.midiInput);
  jlPrefs.midiOutput[0] = 0;
  jlPrefs.midiClockOut = jlPrefs.midiClockIn = jlPrefs.diskMixStems = 0;
  JLPrefsPanel::midiLister = was;
}
