#include "screens/JLPrefsPanel.h"

#include <cstring>

#include <cstdio>

#include "core/files/uloPathNames.h"
#include "engine/JLEngine.h"
#include "framework/intl/JLInternational.h"
#include "framework/panel/JLHelps.h"
#include "framework/panel/QXpopup.h"
#include "framework/platform/uloSoundConvert.h"
#include "framework/screen/QXScreen.h"
#include "screens/vmixHost.h"
#include "song/JLPlayer.h"
#include "song/JLSongLibrary.h"

namespace {
std::vector<std::string> rtMidiPorts(bool output) {
  JLRtMidiPort port(output);
  return port.available();
}
}  // namespace

JLPrefsPanel::MidiLister JLPrefsPanel::midiLister = &rtMidiPorts;

JLPrefsPanel::JLPrefsPanel() = default;
JLPrefsPanel::~JLPrefsPanel() = default;

const JLSongLibrary* JLPrefsPanel::song() const {
  if (songOverride) return songOverride;
  JLVMixHost* host = JL_GrooveVMixHost();
  return host ? &host->song() : nullptr;
}

void JLPrefsPanel::put(int16_t item, int16_t v) {
  if (uloPanelControl* c = control(item)) c->set(v);
}

void JLPrefsPanel::fillFormats(int32_t stored) {
  uloPanelControl* c = control(kFormat);
  if (!c) return;
  // Entry 0 starts the list afresh: the program's own choice (the code
  // older preferences store), which writes WAV 16-bit unless the name typed
  // for the file ends in another format's extension. Its name says so.
  const uloText own = jlIntl.message(kMsgOwnFormat);
  char ownName[QXpopupControl::kEntryBytes];
  snprintf(ownName, sizeof ownName, "%s", own.c_str() && own.c_str()[0] ? own.c_str() : "Standard (WAV 16-bit)");
  c->setValue(0, ownName);
  const int n = uloQt_soundConvert_formatCount();
  formatEntries = 0;
  for (int i = 0; i < n && formatEntries + 1 < kMaxFormatEntries; i++) {
    char name[128];
    int32_t code = 0;
    if (!uloQt_soundConvert_getFormat(i, &code, name, sizeof name)) continue;
    formatCodes[formatEntries++] = code;
    c->setValue(short(formatEntries), name);
  }
  // Older preferences may name a format no longer offered: it stays
  // listed, and kept, until the user picks another.
  char name[128];
  if (stored != kOwnFormat && uloQt_soundConvert_indexOf(stored) < 0 &&
      uloQt_soundConvert_describe(stored, name, sizeof name) && formatEntries + 1 < kMaxFormatEntries) {
    formatCodes[formatEntries++] = stored;
    c->setValue(short(formatEntries), name);
  }
}

int16_t JLPrefsPanel::formatEntryOf(int32_t code) const {
  const int index = uloQt_soundConvert_indexOf(code);
  int32_t offered = 0;
  if (index >= 0) uloQt_soundConvert_getFormat(index, &offered, nullptr, 0);
  for (int16_t i = 0; i < formatEntries; i++)
    if (formatCodes[i] == (index >= 0 ? offered : code)) return int16_t(i + 1);
  return 0;
}

void JLPrefsPanel::fillMidi(int16_t item, bool output, const char* stored, std::vector<std::string>& names) {
  names = midiLister ? midiLister(output) : std::vector<std::string>();
  const std::string want = stored ? stored : "";
  // A port is chosen by the start of its name (the number ALSA adds may
  // change when the device comes back), as the connection matches it.
  int16_t shown = 0;
  for (size_t i = 0; i < names.size(); i++)
    if (!want.empty() && !shown && names[i].compare(0, want.size(), want) == 0) shown = int16_t(i + 1);
  if (!want.empty() && !shown) {
    names.push_back(want);
    shown = int16_t(names.size());
  }
  if (names.size() + 1 > size_t(QXpopupControl::kMaxEntries)) names.resize(QXpopupControl::kMaxEntries - 1);
  uloPanelControl* c = control(item);
  if (!c) return;
  c->setValue(0, const_cast<char*>("None"));
  for (size_t i = 0; i < names.size(); i++) {
    char text[QXpopupControl::kEntryBytes];
    snprintf(text, sizeof text, "%s", names[i].c_str());
    c->setValue(short(i + 1), text);
  }
  c->set(shown);
}

std::string JLPrefsPanel::chosenMidi(int16_t item, const std::vector<std::string>& names) {
  uloPanelControl* c = control(item);
  const int16_t entry = c ? c->get() : 0;
  return entry > 0 && size_t(entry) <= names.size() ? JL_MidiPortStableName(names[size_t(entry - 1)]) : std::string();
}

void JLPrefsPanel::fillOnOff(int16_t item, const char* off, const char* on, int16_t value) {
  uloPanelControl* c = control(item);
  if (!c) return;
  c->setValue(0, const_cast<char*>(off));
  c->setValue(1, const_cast<char*>(on));
  c->set(int16_t(value ? 1 : 0));
}

void JLPrefsPanel::onPanelOpened() {
  std::memset(formatSettings, 0, sizeof formatSettings);
  formatCode = kOwnFormat;
  fillFormats(kOwnFormat);
  put(kFormat, 0);
  put(kOptionOff, 0);
  // The option has no use in this version: it is kept with the
  // preferences and written back unchanged, and its radios look and act
  // disabled so that nothing promises an effect.
  for (int16_t item : {kOptionOff, kOptionOn})
    if (uloPanelControl* c = control(item)) c->disable();
  // Each format the pop-up offers is whole in its entry (container and
  // encoding; files are stereo at 44100 Hz): none has settings of its own,
  // so OPTIONS looks and acts disabled rather than open a box saying so.
  if (uloPanelControl* c = control(kFormatOptions)) c->disable();
  if (uloPanelControl* c = control(kLatency)) {
    c->setValue(0, const_cast<char*>("Low"));
    c->setValue(1, const_cast<char*>("Normal"));
    c->setValue(2, const_cast<char*>("Safe"));
  }
  const int16_t defaults[kRandomSets] = {5, 6, 4, 3};
  std::memcpy(randLimits, defaults, sizeof randLimits);
}

void JLPrefsPanel::onPanelClosed() { std::memset(formatSettings, 0, sizeof formatSettings); }

void JLPrefsPanel::beforeShow() {
  const JLSongLibrary* s = song();
  for (int16_t set = 0; set < kRandomSets; set++) {
    uloPanelControl* c = control(int16_t(kFirstSetName + set));
    if (!c) continue;
    c->setString(s && set < s->randomSetCount ? s->randomSets[set].name : "");
  }
  std::memcpy(randLimits, jlPrefs.randomLimit, sizeof randLimits);
  // The two radios are one group: setting its value checks the member
  // whose own value it is.
  put(kOptionOff, jlPrefs.mtrmValue ? 1 : 0);
  if (uloPanelControl* c = control(kTempoQuality)) {
    c->setValue(0, const_cast<char*>("High"));
    c->setValue(1, const_cast<char*>("Original"));
    c->set(int16_t(jlPrefs.tempoQuality ? 0 : 1));
  }
  if (uloPanelControl* c = control(kKeepPitch)) {
    c->setValue(0, const_cast<char*>("Pitch moves"));
    c->setValue(1, const_cast<char*>("Keep pitch"));
    c->set(int16_t(jlPrefs.keepPitch ? 1 : 0));
  }
  std::memset(formatSettings, 0, sizeof formatSettings);
  if (jlPrefs.soundConvertSettings && jlPrefs.soundConvertLength > 0) {
    const int32_t n = jlPrefs.soundConvertLength < int32_t(sizeof formatSettings) ? jlPrefs.soundConvertLength
                                                                                  : int32_t(sizeof formatSettings);
    std::memcpy(formatSettings, jlPrefs.soundConvertSettings, size_t(n));
  }
  fillFormats(jlPrefs.outputType);
  const int16_t entry = formatEntryOf(jlPrefs.outputType);
  formatCode = entry > 0 ? formatCodes[entry - 1] : kOwnFormat;
  put(kFormat, entry);
  latency = jlPrefs.latency;
  put(kLatency, latency);
  fillOnOff(kStems, "Mix only", "Mix and stems", jlPrefs.diskMixStems);
  fillMidi(kMidiIn, false, jlPrefs.midiInput, midiInNames);
  fillMidi(kMidiOut, true, jlPrefs.midiOutput, midiOutNames);
  fillOnOff(kClockOut, "Off", "On", jlPrefs.midiClockOut);
  fillOnOff(kClockIn, "Off", "On", jlPrefs.midiClockIn);
  updateRandLeds();
  QXScreen.modalPanel = kEntry;
  chooseNewColor(jlPrefs.interfaceColor);
}

void JLPrefsPanel::afterHide() { QXScreen.modalPanel = -1; }

void JLPrefsPanel::updateRandLeds() {
  const JLSongLibrary* s = song();
  for (int16_t set = 0; set < kRandomSets; set++) {
    const bool exists = s && set < s->randomSetCount;
    for (int16_t j = 0; j < 5; j++) {
      uloPanelControl* c = control(int16_t(kFirstLamp + 5 * set + j));
      if (!c) continue;
      c->set(int16_t(exists && j < s->randomSets[set].count - 2 ? 1 : 0));
      c->set(qxMsgLevel, int16_t(j < randLimits[set] - 2 ? 255 : 64));
    }
  }
}

void JLPrefsPanel::chooseNewColor(int16_t n) {
  if (n < 0 || n >= kSchemes) n = 0;
  for (int16_t i = 0; i < kSchemes; i++) put(int16_t(kFirstScheme + i), i == n ? 1 : 0);
  QXScreen.changeAllColors(n);
  colorScheme = n;
}

void JLPrefsPanel::storePrefs() {
  std::memcpy(jlPrefs.randomLimit, randLimits, sizeof randLimits);
  // The option (mtrmValue) is not offered: its stored value stays.
  jlPrefs.setSoundConvertSettings(formatSettings, int32_t(sizeof formatSettings));
  jlPrefs.outputType = formatCode;
  uloPanelControl* quality = control(kTempoQuality);
  jlPrefs.tempoQuality = quality && quality->get() == 1 ? 0 : 1;
  if (gep) gep->setTempoQuality(jlPrefs.tempoQuality != 0);
  uloPanelControl* keep = control(kKeepPitch);
  jlPrefs.keepPitch = keep && keep->get() == 1 ? 1 : 0;
  if (gep) gep->setKeepPitch(jlPrefs.keepPitch != 0);
  jlPrefs.latency = latency;
  auto onOff = [this](int16_t item) {
    uloPanelControl* c = control(item);
    return int16_t(c && c->get() == 1 ? 1 : 0);
  };
  jlPrefs.diskMixStems = onOff(kStems);
  jlPrefs.midiClockOut = onOff(kClockOut);
  jlPrefs.midiClockIn = onOff(kClockIn);
  // The player connects the chosen ports on its next look (about once a
  // second) and keeps them connected by name.
  ULO_StrCopy(jlPrefs.midiInput, sizeof jlPrefs.midiInput, chosenMidi(kMidiIn, midiInNames).c_str());
  ULO_StrCopy(jlPrefs.midiOutput, sizeof jlPrefs.midiOutput, chosenMidi(kMidiOut, midiOutNames).c_str());
  // Heard from the next start of play.
  if (gep) gep->setOutputFrames(jlPrefs.outputFrames());
  if (jlPlayer) jlPlayer->keepMainVolumeInPrefs();
  jlPrefs.save();
  jlPrefs.interfaceColor = colorScheme;
}

bool JLPrefsPanel::closeOnEscape() {
  QXScreen.changeAllColors(jlPrefs.interfaceColor);
  colorScheme = jlPrefs.interfaceColor;
  QXScreen.hide(kEntry);
  return true;
}

void JLPrefsPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
  const int16_t item = currentItem;
  if (item == kOK) {
    storePrefs();
    QXScreen.hide(kEntry);
  } else if (item == kCancel) {
    closeOnEscape();
  } else if (item == kFormat) {
    uloPanelControl* c = control(kFormat);
    const int16_t entry = c ? c->get() : 0;
    formatCode = entry > 0 && entry <= formatEntries ? formatCodes[entry - 1] : kOwnFormat;
  } else if (item == kLatency) {
    uloPanelControl* c = control(kLatency);
    const int16_t entry = c ? c->get() : jlPrefsClass::kLatencyNormal;
    latency = entry >= jlPrefsClass::kLatencyLow && entry <= jlPrefsClass::kLatencySafe ? entry
                                                                                        : jlPrefsClass::kLatencyNormal;
  } else if (item >= kFirstLamp && item < kFirstLamp + 5 * kRandomSets) {
    const int16_t set = int16_t((item - kFirstLamp) / 5), j = int16_t((item - kFirstLamp) % 5);
    randLimits[set] = int16_t(j + 3);
    updateRandLeds();
  } else if (item >= kFirstScheme && item < kFirstScheme + kSchemes) {
    chooseNewColor(int16_t(item - kFirstScheme));
  }
}
