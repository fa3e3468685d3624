// The groove panel's songs and documents: loading a song into the library
// and the engine, the mix-document image (open, restore, save) and the disk
// mix, with the asynchronous file dialogs.
#include <sndfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/files/uloFiles.h"
#include "core/files/uloPathNames.h"
#include "engine/JLEngine.h"
#include "framework/intl/JLInternational.h"
#include "framework/panel/JLHelps.h"
#include "framework/platform/uloSys.h"
#include "framework/prefs/JLprefs.h"
#include "framework/res/uloSwap.h"
#include "framework/screen/QXScreen.h"
#include "screens/JLGroovePanel.h"
#include "screens/JLGroovePanelSynth.h"
#include "song/JLDiskMix.h"
#include "song/JLMixDocument.h"
#include "song/JLSongLoading.h"
#include "song/jlSongMessages.h"

namespace {

JLPlayer* player() { return jlPlayer; }

int16_t countingSink(void* context, const char*, int16_t) {
  int16_t& n = *static_cast<int16_t*>(context);
  return n++;
}

// The extension of the chosen export format and its libsndfile major
// format (0: the program's own, written as WAV).
struct ExportKind {
  const char* extension;
  int32_t major;
};

ExportKind exportKind(int32_t code) {
  if (code == ULO_FourCC("JLMX") || code == 0) return {"wav", 0};
  switch (code & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
    case SF_FORMAT_W64:
      return {"wav", code & SF_FORMAT_TYPEMASK};
    case SF_FORMAT_AIFF:
      return {"aiff", SF_FORMAT_AIFF};
    case SF_FORMAT_FLAC:
      return {"flac", SF_FORMAT_FLAC};
    case SF_FORMAT_OGG:
      return {"ogg", SF_FORMAT_OGG};
    case SF_FORMAT_CAF:
      return {"caf", SF_FORMAT_CAF};
    case SF_FORMAT_AU:
      return {"au", SF_FORMAT_AU};
    default:
      break;
  }
  // A format libsndfile cannot write as 16-bit stereo: the program's own.
  return {"wav", 0};
}

bool endsWithNoCase(const char* text, const char* tail) { return JLSongLibrary::isEndingwith(text, tail); }

// The path with its extension replaced (or added).
void withExtension(char* path, size_t size, const char* extension) {
  char* colon = strrchr(path, ':');
  char* dot = strrchr(path, '.');
  if (dot && (!colon || dot > colon)) *dot = 0;
  const size_t len = strlen(path);
  snprintf(path + len, size - len, ".%s", extension);
}

bool diskMixProgress(void*, float done) {
  char text[64];
  snprintf(text, sizeof text, "Disk mix: %d%%", int(done * 100.0f + 0.5f));
  jlgp::progressAmount(done, text);
  ULO_PresentIfDirty();
  return !jlgp::progressStopRequested();
}

}  // namespace

// ------------------------------------------------------ start-up wiring

void JL_ShowSongMessage(int number, const char* songName) {
  if (number == kJLMsgNameRefused) {
    ULO_UserNotify(songName ? songName : "", jlNotifyOK);
    return;
  }
  if (number != kJLMsgSongNotInstalled) {
    JL_Notify(int16_t(number), jlNotifyOK);
    return;
  }
  uloText item = jlIntl.message(int16_t(number));
  std::string format = item.c_str() && item.c_str()[0] ? item.c_str() : "The song \"%s\" is not installed.";
  // Only the first "%s" takes the name; the text is never used as a format.
  const size_t at = format.find("%s");
  if (at != std::string::npos) format.replace(at, 2, songName ? songName : "");
  ULO_UserNotify(format.c_str(), jlNotifyYesNo);
}

void JL_ConnectGroovePanel(JLGroovePanel* groove, JLPlayCommon* vmix) {
  JL_SetSongMessageHook(JL_ShowSongMessage);
  if (!jlPlayer) return;
  jlPlayer->connectPanels(groove, groove, vmix, [](void*) { jlgp::synthPlayerSaidPlay(); }, nullptr);
  jlHelpsModeDisplay = [](int16_t mode) {
    if (jlPlayer) jlPlayer->setHelpModeDisplay(mode);
  };
}

// ------------------------------------------------------------ song loading

bool JLGroovePanel::loadSong(const char* folder) {
  songFolder[0] = 0;
  if (gep) {
    gep->stop();
    gep->setMixerFrequency(44100);
  }
  groove.reset();
  if (!folder || !folder[0]) return false;
  bool ok;
  if (gep) {
    ok = JL_LoadSong(*gep, library, folder);
  } else {
    ok = library.load(folder);
    int16_t next = 0;
    if (ok) JL_RegisterSongSamples(library, folder, countingSink, &next);
  }
  if (!ok) return false;
  snprintf(songFolder, sizeof songFolder, "%s", folder);

  setText(93, "");
  char name[256] = {0};
  if (!ULO_File_GetParentName(folder, name, sizeof name)) {
    snprintf(name, sizeof name, "%s", folder);
    size_t n = strlen(name);
    while (n > 0 && name[n - 1] == ':') name[--n] = 0;
    if (const char* c = strrchr(name, ':')) memmove(name, c + 1, strlen(c + 1) + 1);
  }
  snprintf(songShortName, sizeof songShortName, "%s", name);
  setItem(89, 1405, 1);
  setText(89, library.songTitle[0] ? library.songTitle : songShortName);
  for (short t = 0; t < 16; t++) tracks[t].filledGroup = -2;
  fillGroupPopups();
  jlgp::synthLedsForArpKeys(library.arpNote);
  jlgp::synthRestoreAll();
  setItem(85, qxMsgSetMaximum, short(std::max<int16_t>(0, library.groupCount - 1)));

  if (JLPlayer* p = player()) {
    p->resetCommon();
    p->gotSongBpm(library.songBpm);
    p->resetCommon();
    p->refreshCommon();
  }
  groove_show();
  return true;
}

// ------------------------------------------------------- the image

void JLGroovePanel::iced_capture() {
  iceimage.valid = 1;
  memset(iceimage.songName, 0, sizeof iceimage.songName);
  snprintf(iceimage.songName, sizeof iceimage.songName, "%s", songShortName);
  iceimage.sequence = sequence;
  iceimage.groove = groove;
  iceimage.selectedTrack = selectedTrack >= 0 ? selectedTrack : int16_t(0);
  iceimage.bpm = jlPlayer ? jlPlayer->bpm : float(library.songBpm);
  memset(iceimage.unused, 0, sizeof iceimage.unused);
}

bool JLGroovePanel::iced_restore(bool keepSong) {
  if (JLPlayer* p = player()) p->stop();
  if (!iceimage.valid) return false;
  if (!keepSong) {
    char folder[256];
    if (!JL_MixSongFolder(iceimage, folder, sizeof folder)) return false;
    if (!loadSong(folder)) {
      JL_SongMessage(kJLMsgSongNotInstalled, iceimage.songName);
      return false;
    }
  }
  if (soloMode) setSoloMode(false);
  if (groupMode) setGroupMode(false);
  if (allMode) setAllMode(false);
  sequence = iceimage.sequence;
  groove = iceimage.groove;
  for (short t = 0; t < 16; t++) tracks[t].on = tracks[t].active = 1;
  groove_show();
  onItem_trackButton(std::clamp<int16_t>(iceimage.selectedTrack, 0, kTracks - 1));
  if (JLPlayer* p = player()) {
    p->setBpm(iceimage.bpm);
    p->refreshCommon();
  }
  grooveModified = 0;
  grooveRow.reset();
  sequenceRow.reset();
  grooveRow.refresh();
  sequenceRow.refresh();
  return true;
}

// ------------------------------------------------------------- documents

bool JLGroovePanel::openDocument(const char* path) {
  uloAtomsFile file;
  if (!path || !file.openForRead(path)) {
    JL_SongMessage(kJLMsgMixDocumentUnreadable);
    return false;
  }
  iceimage.valid = 0;
  const JLMixReadResult r = JL_ReadMixImage(file, iceimage);
  if (r == JLMixReadResult::ok) {
    if (jlgp::synthIcedLoad(file) < 0) {
      uint8_t block[sizeof synthBlock];
      synthBlockValid = file.read(kJLAtomSynth, kJLSynthBlockBytes, block);
      if (synthBlockValid) memcpy(synthBlock, block, sizeof block);
    }
    QXScreen.hide(6);
  }
  file.close();
  return iced_restore(false) && r == JLMixReadResult::ok;
}

bool JLGroovePanel::saveDocument(const char* path) {
  if (!path || !path[0]) return false;
  iced_capture();
  uint8_t block[sizeof synthBlock];
  if (!jlgp::synthIcedSave(block)) memcpy(block, synthBlock, sizeof block);
  return JL_WriteMixDocument(path, iceimage, block);
}

void JLGroovePanel::onItem_Load() {
  dialogPath.set(docPath);
  dialogPath.userDialogTypes(0, 0, 0, 0, "*.jld");
  dialogPath.asyncDialogGet(screenIndex, 0, 0);
}

void JLGroovePanel::onItem_Save() {
  dialogPath.set(docPath);
  if (!endsWithNoCase(dialogPath.path, ".jld")) withExtension(dialogPath.path, sizeof dialogPath.path, "jld");
  dialogPath.userDialogTypes(0, 0, 0, 0, "*.jld");
  dialogPath.asyncDialogPut(screenIndex, 1, 0);
}

void JLGroovePanel::onItem_DiskMix() {
  dialogPath.set(docPath);
  const ExportKind kind = exportKind(jlPrefs.outputType);
  withExtension(dialogPath.path, sizeof dialogPath.path, kind.extension);
  char filter[16];
  snprintf(filter, sizeof filter, "*.%s", kind.extension);
  dialogPath.userDialogTypes(0, 0, 0, 0, filter);
  dialogPath.asyncDialogPut(screenIndex, 2, 0);
}

void JLGroovePanel::asyncDialogMessage(JLPath* path) {
  if (!path) return;
  if (path != &dialogPath) {
    // The command-line document arrives on the screen's own path.
    dialogPath.set(path->path);
    dialogPath.ready = path->ready;
    for (int i = 0; i < 3; i++) dialogPath.request[i] = path->request[i];
  }
  switch (dialogPath.request[1]) {
    case 0:
      loadResult();
      break;
    case 1:
      saveResult();
      break;
    case 2:
      diskMixResult();
      break;
    default:
      break;
  }
}

void JLGroovePanel::loadResult() {
  if (!dialogPath.ready) return;
  docPath.set(dialogPath);
  openDocument(dialogPath.path);
}

void JLGroovePanel::saveResult() {
  if (!dialogPath.ready) return;
  char path[kUloPathMax];
  snprintf(path, sizeof path, "%s", dialogPath.path);
  if (!endsWithNoCase(path, ".jld")) withExtension(path, sizeof path, "jld");
  if (saveDocument(path)) {
    docPath.set(path);
  } else {
    char text[300];
    char sys[256] = {0};
    uloPath p;
    p.set(path);
    if (!p.toSystemPath(sys, sizeof sys)) snprintf(sys, sizeof sys, "%.200s", path);
    snprintf(text, sizeof text, "The mix could not be saved as %s.", sys);
    ULO_UserNotify(text, 0);
  }
}

void JLGroovePanel::diskMixResult() {
  if (!dialogPath.ready) return;
  char sys[kUloPathMax];
  if (!dialogPath.toSystemPath(sys, sizeof sys)) return;
  diskMixTo(sys);
}

bool JLGroovePanel::diskMixTo(const char* systemPath) {
  if (!systemPath || !systemPath[0]) return false;
  if (!songShortName[0]) {
    ULO_UserNotify("Load a song before mixing it to disk.", 0);
    return false;
  }
  if (JLPlayer* p = player()) p->stop();
  iced_capture();
  const ExportKind kind = exportKind(jlPrefs.outputType);
  char out[kUloPathMax];
  snprintf(out, sizeof out, "%s", systemPath);
  // The file name carries the format's extension, so other programs know it.
  {
    const char* slash = strrchr(out, '/');
    const char* dot = strrchr(out, '.');
    char want[16];
    snprintf(want, sizeof want, ".%s", kind.extension);
    const bool hasExt = dot && (!slash || dot > slash);
    if (!hasExt || (kind.major != 0 && !endsWithNoCase(out, want)) ||
        (kind.major == 0 && !endsWithNoCase(out, ".wav"))) {
      char* cut = hasExt ? const_cast<char*>(dot) : out + strlen(out);
      *cut = 0;
      const size_t len = strlen(out);
      snprintf(out + len, sizeof out - len, "%s", want);
    }
  }
  JLDiskMixOptions options;
  options.majorFormat = kind.major;
  options.cycles = 1;
  options.useSequence = sequence.stepCount > 0;
  options.volume = int16_t(std::clamp(jlPlayer ? int(jlPlayer->mainVolume) : 128, 0, 128));
  options.progress = diskMixProgress;
  jlgp::progressShow("Disk mix");
  JLDiskMixReport report;
  const bool ok = JL_DiskMix(iceimage, out, options, report);
  jlgp::progressHide();
  // The disk mix used the engine on its own: the song's loops go back in
  // (the same registration order gives the same sample numbers).
  if (songFolder[0] && gep) {
    char folder[sizeof songFolder];
    snprintf(folder, sizeof folder, "%s", songFolder);
    JL_LoadSong(*gep, library, folder);
    if (JLPlayer* p = player()) {
      gep->setMixerBpm(p->bpm);
      gep->setMixerVolume(p->mainVolume);
    }
  }
  if (!ok) {
    char text[400];
    snprintf(text, sizeof text, "The disk mix failed: %s", report.error);
    if (strcmp(report.error, "stopped") != 0) ULO_UserNotify(text, 0);
  }
  return ok;
}
