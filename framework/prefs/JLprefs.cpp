#include "framework/prefs/JLprefs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "core/files/uloFiles.h"
#include "core/files/uloFolderOps.h"
#include "core/files/uloPathNames.h"
#include "framework/platform/uloSys.h"
#include "framework/res/uloRes.h"

jlPrefsClass jlPrefs;

namespace {

const int32_t kWindow = ULO_FourCC("mwin");
const int32_t kOutputType = ULO_FourCC("otyp");
const int32_t kSettingsLength = ULO_FourCC("olen");
const int32_t kSettingsData = ULO_FourCC("odat");
const int32_t kRandomLimit = ULO_FourCC("usrr");
const int32_t kMtrm = ULO_FourCC("mtrm");
const int32_t kInterfaceColor = ULO_FourCC("intc");
const int32_t kTempoQuality = ULO_FourCC("tmpq");
const int32_t kKeepPitch = ULO_FourCC("kpit");
const int32_t kLatency = ULO_FourCC("olat");
const int32_t kMidiPort = ULO_FourCC("midp");  // id 0 input, 1 output: 64 bytes
const int32_t kMasterVolume = ULO_FourCC("mvol");
const int32_t kMidiValue = ULO_FourCC("midv");  // id 0 channel, 1 clock out, 10.. bindings

// A fixed-size name item; a stored name is always cut at its last byte.
void loadName(UloResFile& res, int32_t type, int32_t id, char (&name)[64]) {
  char b[64];
  if (!res.LoadData(b, 64, type, id)) return;
  b[63] = 0;
  memcpy(name, b, 64);
}

bool load16(UloResFile& res, int32_t type, int32_t id, int16_t* value) {
  uint8_t b[2];
  if (!res.LoadData(b, 2, type, id)) return false;
  *value = ULO_GetBE16(b);
  return true;
}

bool load32(UloResFile& res, int32_t type, int32_t id, int32_t* value) {
  uint8_t b[4];
  if (!res.LoadData(b, 4, type, id)) return false;
  *value = ULO_GetBE32(b);
  return true;
}

bool save16(UloResFile& res, int32_t type, int32_t id, int16_t value) {
  uint8_t b[2];
  ULO_PutBE16(b, value);
  return res.SaveData(b, 2, type, id);
}

bool save32(UloResFile& res, int32_t type, int32_t id, int32_t value) {
  uint8_t b[4];
  ULO_PutBE32(b, value);
  return res.SaveData(b, 4, type, id);
}

// The container routines close without flushing; a rename must not make a
// file visible whose data may still be lost in a crash.
bool flushToDisk(const char* uloPath) {
  char sys[kUloPathMax];
  if (!ULO_UloPathToSystemPath(uloPath, sys, sizeof sys)) return false;
  const int fd = ULO_OpenRegularSystemFile(sys, O_RDONLY);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

}  // namespace

jlPrefsClass::jlPrefsClass() = default;

jlPrefsClass::~jlPrefsClass() { clearSoundConvertSettings(); }

void jlPrefsClass::clearSoundConvertSettings() {
  ULO_DisposePtrT(&soundConvertSettings);
  soundConvertLength = 0;
}

bool jlPrefsClass::setSoundConvertSettings(const void* data, int32_t length) {
  clearSoundConvertSettings();
  if (!data || length <= 0) return length == 0;
  if (!ULO_NewPtrT(&soundConvertSettings, length)) return false;
  memcpy(soundConvertSettings, data, length);
  soundConvertLength = length;
  return true;
}

int jlPrefsClass::outputFrames() const {
  return latency == kLatencyLow ? 256 : latency == kLatencySafe ? 0 : 512;
}

void jlPrefsClass::load() {
  UloResFile res;
  res.SetWorkName(fileName);
  res.readOnly = 1;
  if (!res.Open()) return;

  uint8_t w[8];
  if (res.LoadData(w, 8, kWindow, 0)) {
    windowPosition.left = ULO_GetBE16(w);
    windowPosition.top = ULO_GetBE16(w + 2);
    windowPosition.right = ULO_GetBE16(w + 4);
    windowPosition.bottom = ULO_GetBE16(w + 6);
  }
  load32(res, kOutputType, 0, &outputType);
  for (int k = 0; k < kRandomSets; k++) load16(res, kRandomLimit, k, &randomLimit[k]);
  load16(res, kMtrm, 0, &mtrmValue);
  load16(res, kInterfaceColor, 0, &interfaceColor);
  // Files from before the setting have no item and keep the default.
  if (load16(res, kTempoQuality, 0, &tempoQuality)) tempoQuality = tempoQuality == 0 ? 0 : 1;
  if (load16(res, kKeepPitch, 0, &keepPitch)) keepPitch = keepPitch == 1 ? 1 : 0;
  if (!load16(res, kLatency, 0, &latency) || latency < kLatencyLow || latency > kLatencySafe) latency = kLatencyNormal;
  loadName(res, kMidiPort, 0, midiInput);
  loadName(res, kMidiPort, 1, midiOutput);
  load16(res, kMidiValue, 0, &midiChannel);
  if (midiChannel < -1 || midiChannel > 15) midiChannel = -1;
  load16(res, kMidiValue, 1, &midiClockOut);
  if (load16(res, kMidiValue, 2, &midiClockIn)) midiClockIn = midiClockIn ? 1 : 0;
  if (load16(res, kMidiValue, 3, &diskMixStems)) diskMixStems = diskMixStems ? 1 : 0;
  if (!load16(res, kMasterVolume, 0, &masterVolume) || masterVolume < 0 || masterVolume > 127) masterVolume = 63;
  for (int k = 0; k < 12; k++) {
    load16(res, kMidiValue, 10 + k, &midiBindings[k]);
    if (midiBindings[k] < -1 || midiBindings[k] > 255) midiBindings[k] = -1;
  }

  int32_t length = 0;
  if (load32(res, kSettingsLength, 0, &length)) {
    clearSoundConvertSettings();
    // The data item must match the stored length before anything is
    // allocated for it: the length is outside input.
    if (length > 0 && res.IsDataLenAvailable(length, kSettingsData, 0) &&
        ULO_NewPtrT(&soundConvertSettings, length)) {
      if (res.LoadData(soundConvertSettings, length, kSettingsData, 0)) soundConvertLength = length;
      else clearSoundConvertSettings();
    }
  }
  res.Close();
}

bool jlPrefsClass::save() {
  // Leftovers of interrupted saves are removed with the name chosen (Create
  // refuses to overwrite).
  char temp[kUloPathMax];
  if (!ULO_FreshTempPath(fileName, temp, sizeof temp)) return false;

  bool ok;
  {
    UloResFile res;
    res.SetWorkName(temp);
    if (!res.Create()) return false;
    uint8_t w[8];
    ULO_PutBE16(w, windowPosition.left);
    ULO_PutBE16(w + 2, windowPosition.top);
    ULO_PutBE16(w + 4, windowPosition.right);
    ULO_PutBE16(w + 6, windowPosition.bottom);
    const int32_t length = soundConvertSettings ? soundConvertLength : 0;
    ok = res.SaveData(w, 8, kWindow, 0) && save32(res, kOutputType, 0, outputType) &&
         save32(res, kSettingsLength, 0, length) &&
         res.SaveData(soundConvertSettings, length, kSettingsData, 0);
    for (int k = 0; k < kRandomSets && ok; k++) ok = save16(res, kRandomLimit, k, randomLimit[k]);
    ok = ok && save16(res, kMtrm, 0, mtrmValue) && save16(res, kInterfaceColor, 0, interfaceColor);
    ok = ok && save16(res, kTempoQuality, 0, tempoQuality);
    ok = ok && save16(res, kKeepPitch, 0, keepPitch);
    ok = ok && save16(res, kLatency, 0, latency);
    ok = ok && res.SaveData(midiInput, 64, kMidiPort, 0) && res.SaveData(midiOutput, 64, kMidiPort, 1) &&
         save16(res, kMidiValue, 0, midiChannel) && save16(res, kMidiValue, 1, midiClockOut);
    ok = ok && save16(res, kMidiValue, 2, midiClockIn) && save16(res, kMidiValue, 3, diskMixStems);
    for (int k = 0; k < 12 && ok; k++) ok = save16(res, kMidiValue, 10 + k, midiBindings[k]);
    ok = ok && save16(res, kMasterVolume, 0, masterVolume);
    ok = res.Close() && ok;
  }
  ok = ok && flushToDisk(temp) && ULO_FileRename(temp, fileName);
  if (!ok) ULO_FileDelete(temp);
  return ok;
}
