// The groove panel's songs and documents: loading a song into the library
// and the engine, the mix-document image (open, restore, save) and the disk
// mix, with the asynchronous file dialogs.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/files/uloFiles.h"
#include "core/files/uloPath.h"
#include "core/files/uloPathNames.h"
#include "engine/JLEngine.h"
#include "framework/intl/JLInternational.h"
#include "framework/panel/JLHelps.h"
#include "framework/platform/uloMessageBox.h"
#include "framework/platform/uloSoundConvert.h"
#include "framework/platform/uloSys.h"
#include "framework/prefs/JLprefs.h"
#include "framework/res/uloSwap.h"
#include "framework/screen/QXScreen.h"
#include "screens/JLGroovePanel.h"
#include "screens/JLGroovePanelSynth.h"
#include "screens/JLRenderToFile.h"
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

bool endsWithNoCase(const char* text, const char* tail) { return JLSongLibrary::isEndingwith(text, tail); }

// The path with its extension replaced (or added).
void withExtension(char* path, size_t size, const char* extension) {
  char* colon = strrchr(path, ':');
  char* dot = strrchr(path, '.');
  if (dot && (!colon || dot > colon)) *dot = 0;
  const size_t len = strlen(path);
  snprintf(path + len, size - len, ".%s", extension);
}

}  // namespace

// ------------------------------------------------------ start-up wiring

void JL_ShowSongMessage(int number, const char* songName) {
  // Names come from documents, descriptors and the disk (UTF-8, as file
  // names are); the boxes take Latin-1.
  const std::string name = ULO_Latin1OfUtf8(songName ? songName : "");
  if (number == kJLMsgNameRefused) {
    ULO_UserNotify(name.c_str(), jlNotifyOK);
    return;
  }
  if (number != kJLMsgSongNotInstalled) {
    JL_Notify(int16_t(number), jlNotifyOK);
    return;
  }
  // A statement: nothing for the user to decide, so only OK.
  const uloText item = jlIntl.message(int16_t(number));
  if (!item.c_str() || !item.c_str()[0]) {
    ULO_UserNotify(("The song \"" + name + "\" is not installed.").c_str(), jlNotifyOK);
    return;
  }
  JL_NotifyFilled(int16_t(number), jlNotifyOK, {name.c_str()});
}

void JL_ConnectGroovePanel(JLGroovePanel* groove, JLPlayCommon* vmix) {
  JL_SetSongMessageHook(JL_ShowSongMessage);
  if (!jlPlayer) return;
  jlPlayer->connectPanels(groove, groove, vmix, [](void*) { jlgp::synthPlayerSaidPlay(); }, nullptr);
  QXScreen.closeQuestion = [] {
    JLGroovePanel* gp = JL_GroovePanel();
    return gp ? gp->askQuitWithUnsavedBank() : int16_t(-1);
  };
  jlHelpsModeDisplay = [](int16_t mode) {
    if (jlPlayer) jlPlayer->setHelpModeDisplay(mode);
  };
}

// ------------------------------------------------------------ song loading

bool JLGroovePanel::loadSong(const char* folder) {
  if (!folder || !folder[0]) return false;
  // A song that cannot be read leaves the loaded one as it was: its
  // descriptor, loops and working groove stay, and so does what shows.
  char previous[sizeof songFolder];
  snprintf(previous, sizeof previous, "%s", songFolder);
  const JLGroove kept = groove;
  songFolder[0] = 0;
  if (gep) {
    gep->stop();
    gep->setMixerFrequency(44100);
  }
  groove.reset();
  bool ok;
  if (gep) {
    ok = JL_LoadSong(*gep, library, folder);
  } else {
    ok = library.load(folder);
    int16_t next = 0;
    if (ok) JL_RegisterSongSamples(library, folder, countingSink, &next);
  }
  if (!ok) {
    snprintf(songFolder, sizeof songFolder, "%s", previous);
    groove = kept;
    // The attempt stopped the engine under a playing transport.
    if (JLPlayer* p = player()) p->restartEngine();
    return false;
  }
  snprintf(songFolder, sizeof songFolder, "%s", folder);
  noteLoopFaults();

  setText(93, "");
  char name[256] = {0};
  if (!ULO_File_GetParentName(folder, name, sizeof name)) {
    snprintf(name, sizeof name, "%s", folder);
    size_t n = strlen(name);
    while (n > 0 && name[n - 1] == ':') name[--n] = 0;
    if (const char* c = strrchr(name, ':')) memmove(name, c + 1, strlen(c + 1) + 1);
  }
  snprintf(songShortName, sizeof songShortName, "%s", name);
  // Another song loaded for good is work of no document (a document being
  // opened names itself once its song is in).
  if (!preview.active && !holdWorkMark && strcmp(previous, folder) != 0) docName[0] = 0;
  setItem(89, 1405, 1);
  showSongTitle();
  for (short t = 0; t < 16; t++) tracks[t].filledGroup = -2;
  fillGroupPopups();
  jlgp::synthLedsForArpKeys(library.arpNote);
  setItem(85, qxMsgSetMaximum, short(std::max<int16_t>(0, library.groupCount - 1)));

  if (JLPlayer* p = player()) {
    p->resetCommon();
    p->gotSongBpm(library.songBpm);
    p->resetCommon();
    p->refreshCommon();
  }
  // A song always comes with something to hear: its first groove (the one
  // the renderer plays for a song), ready to be stored.
  JL_DefaultGroove(library, groove);
  grooveModified = 1;
  grooveChanged();
  showGrooveSet(-1);
  // What the virtual mixer would restore belongs to the song before; a
  // preview only borrows the panel (the mixer's backup is the user's work
  // still), and a song read again under the user's work keeps it too.
  if (preview.active && !holdWorkMark)
    preview.loadedSong = 1;
  else if (!holdWorkMark)
    forgetMixerEntry();
  groove_show();
  // A song loaded for good starts the work anew; a preview only borrows
  // the panel, and a song read again keeps the user's work.
  if (!preview.active && !holdWorkMark) markSongKept();
  return true;
}

void JLGroovePanel::forgetSong() {
  if (JLPlayer* p = player()) p->stop();
  if (gep) {
    gep->stop();
    gep->samplesListReset();
  }
  library.forget();
  songFolder[0] = songShortName[0] = docName[0] = 0;
  groove.reset();
  showSongTitle();
  setText(93, "");
  for (short t = 0; t < 16; t++) tracks[t].filledGroup = -2;
  fillGroupPopups();
  jlgp::synthLedsForArpKeys("");
  setItem(85, qxMsgSetMaximum, 0);
  // The bank and sequence were grooves of that song.
  if (JLPlayer* p = player()) p->resetCommon();
  groove_show();
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
  // What else is seen and heard: the mutes, the random set shown and
  // whether the synth plays.
  JLMixExtras extras;
  extras.synthOn = jlgp::synthPlaying();
  for (short t = 0; t < kTracks; t++)
    if (!tracks[t].active) extras.mutedTracks = uint8_t(extras.mutedTracks | (1u << t));
  extras.randomSet = lastRandomStyle;
  if (jlPlayer) extras.masterVolume = jlPlayer->mainVolume;
  JL_PutMixExtras(iceimage, extras);
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
  // Documents written before the extras were kept play every track, show
  // no random set and leave the synth as its block starts it.
  const JLMixExtras extras = JL_GetMixExtras(iceimage);
  for (short t = 0; t < 16; t++) tracks[t].on = tracks[t].active = t < kTracks && (extras.mutedTracks >> t & 1) ? 0 : 1;
  groove_show();
  refreshPopColors();
  onItem_trackButton(std::clamp<int16_t>(iceimage.selectedTrack, 0, kTracks - 1));
  lastRandomStyle = extras.randomSet;
  setRndStyleName(lastRandomStyle);
  if (extras.kept && jlgp::synthPlaying() != extras.synthOn) jlgp::switchSynth(extras.synthOn);
  if (JLPlayer* p = player()) {
    if (extras.masterVolume >= 0) p->setMainVolume(extras.masterVolume);
    p->setBpm(iceimage.bpm);
    p->refreshCommon();
  }
  grooveModified = 0;
  grooveRow.reset();
  sequenceRow.reset();
  grooveRow.select(bankBallOfGroove());
  sequenceRow.refresh();
  return true;
}

short JLGroovePanel::bankBallOfGroove() const {
  if (sequence.grooveCount <= 0) return -1;
  // A document keeps no bank selection (the image's spare bytes are all in
  // use, and another atom would be one more thing older copies drop). The
  // ball the user had is found from the groove heard: the ball that holds
  // it (as stored, without its muted tracks; of two such, the one it was
  // taken from), else the ball it was taken from or stored as (its id, kept
  // while the groove is changed), else the first.
  const short n = std::min<short>(sequence.grooveCount, JLSequence::kMaxGrooves);
  // Track by track: both play no loop, or both play the same one alike.
  auto holds = [&](short p) {
    for (short t = 0; t < JLGroove::kTracks; t++) {
      const JLTrack& a = groove.tracks[t];
      const JLTrack& b = sequence.grooves[p].tracks[t];
      const bool silentA = a.group < 0 || a.variant < 0 || (t < kTracks && !tracks[t].active);
      const bool silentB = b.group < 0 || b.variant < 0;
      if (silentA != silentB || (!silentA && memcmp(&a, &b, sizeof a) != 0)) return false;
    }
    return true;
  };
  auto takenFrom = [&](short p) { return groove.id != 0 && sequence.grooves[p].id == groove.id; };
  short best = 0, rank = 0;
  for (short p = 0; p < n; p++) {
    const short r = short((holds(p) ? 2 : 0) + (takenFrom(p) ? 1 : 0));
    if (r > rank) best = p, rank = r;
  }
  return best;
}

// ------------------------------------------------- the bank's safety

namespace {
// Which parts of two banks differ: the stored grooves (changedBank) or the
// steps (changedSequence). The records have no padding (their stored
// layout), so bytes compare.
uint8_t bankDifferences(const JLSequence& a, const JLSequence& b) {
  uint8_t parts = 0;
  const size_t grooves = size_t(std::clamp<int>(a.grooveCount, 0, JLSequence::kMaxGrooves));
  const size_t steps = size_t(std::clamp<int>(a.stepCount, 0, JLSequence::kMaxSteps));
  if (a.grooveCount != b.grooveCount || memcmp(a.grooves, b.grooves, sizeof(JLGroove) * grooves) != 0)
    parts |= JLGroovePanel::changedBank;
  if (a.stepCount != b.stepCount || memcmp(a.steps, b.steps, sizeof(int16_t) * steps) != 0)
    parts |= JLGroovePanel::changedSequence;
  return parts;
}
}  // namespace

uint8_t JLGroovePanel::unsavedBankParts() const {
  // A preview only borrows the panel: the user's own bank is the one kept.
  // While the virtual mixer plays its mixes (a preview from its SONGS page
  // included) the user's own bank is the one it took aside.
  const bool mixer = QXScreen.isShown(1);
  const JLSequence& own = mixer ? sequenceBackup : preview.active ? preview.sequence : sequence;
  const JLSequence& document = preview.active ? preview.documentSequence : documentSequence;
  if (own.grooveCount <= 0 && own.stepCount <= 0) return 0;
  return bankDifferences(own, document);
}

JLGroovePanel::WorkMark JLGroovePanel::currentWork() const {
  WorkMark w;
  w.set = true;
  // While the virtual mixer plays its mixes (a preview from its SONGS page
  // included), the user's own work is what it took aside.
  const bool mixer = QXScreen.isShown(1);
  w.song = preview.active ? preview.song : songFolder;
  w.bpm = preview.active ? preview.bpm : jlPlayer ? jlPlayer->bpm : float(library.songBpm);
  if (mixer) {
    w.groove = mixerEntry.groove;
    w.sequence = sequenceBackup;
  } else {
    w.groove = preview.active ? preview.groove : groove;
    w.sequence = preview.active ? preview.sequence : sequence;
  }
  for (short t = 0; t < kTracks; t++) {
    const uint8_t on = mixer ? mixerEntry.on[t] : preview.active ? preview.on[t] : tracks[t].active;
    if (!on) w.muted = uint8_t(w.muted | (1u << t));
  }
  // The master volume is the player's whatever the panel shows.
  w.master = jlPlayer ? jlPlayer->mainVolume : int16_t(0);
  w.synthOn = jlgp::synthPlaying();
  if (!jlgp::synthIcedSave(w.synth)) memcpy(w.synth, synthBlock, sizeof w.synth);
  return w;
}

void JLGroovePanel::markSongKept() {
  const WorkMark before = keptWork;
  keptWork = currentWork();
  if (!before.set) return;
  keptWork.master = before.master;
  keptWork.synthOn = before.synthOn;
  memcpy(keptWork.synth, before.synth, sizeof keptWork.synth);
}

uint8_t JLGroovePanel::workChanges() const {
  uint8_t changes = unsavedBankParts();
  const WorkMark now = currentWork();
  // A mix document needs a song: without one there is nothing else to keep.
  if (now.song.empty()) return changes;
  // A song never kept: its groove at least is new work.
  if (!keptWork.set || now.song != keptWork.song) return uint8_t(changes | changedGroove);
  // Sequence play and the bank's balls put stored grooves to work; such a
  // groove is kept in the bank (whose own changes count below).
  bool grooveKept = memcmp(now.groove.tracks, keptWork.groove.tracks, sizeof now.groove.tracks) == 0;
  const int stored = std::clamp<int>(now.sequence.grooveCount, 0, JLSequence::kMaxGrooves);
  for (int i = 0; i < stored && !grooveKept; i++)
    grooveKept = memcmp(&now.sequence.grooves[i], &now.groove, sizeof now.groove) == 0;
  if (!grooveKept) changes |= changedGroove;
  changes |= bankDifferences(now.sequence, keptWork.sequence);
  if (now.bpm != keptWork.bpm) changes |= changedTempo;
  if (now.muted != keptWork.muted) changes |= changedMutes;
  if (now.master != keptWork.master) changes |= changedMaster;
  if (now.synthOn != keptWork.synthOn || memcmp(now.synth, keptWork.synth, sizeof now.synth) != 0)
    changes |= changedSynth;
  return changes;
}

int16_t JLGroovePanel::askAboutWork(int16_t number, uint8_t changes, const char* documentPath) {
  std::string names;
  for (int k = 0; k < kWorkChangeKinds; k++) {
    if (!(changes >> k & 1)) continue;
    if (!names.empty()) names += ", ";
    names += jlIntl.message(int16_t(kJLMsgFirstChangeName + k)).c_str();
  }
  std::string document;
  if (documentPath) {
    char name[256] = {0};
    uloPath path;
    path.set(documentPath);
    if (!path.getName(name, sizeof name)) snprintf(name, sizeof name, "%s", documentPath);
    document = ULO_Latin1OfUtf8(name);
  }
  const int16_t answer = JL_NotifyFilled(number, jlNotifyYesNo, {names.c_str(), document.c_str()});
  QXScreen.update(QXScreen.screenRect);
  return answer;
}

int16_t JLGroovePanel::askQuitWithUnsavedBank() {
  // The preferences keep the master volume for the next start: quitting
  // loses it no more than the rest of the preferences.
  const uint8_t changes = uint8_t(workChanges() & ~changedMaster);
  return changes ? askAboutWork(kJLMsgQuitLosesBank, changes) : int16_t(-1);
}

// ------------------------------------------------------------- previews

void JLGroovePanel::beginPreview() {
  if (preview.active) return;
  JLPlayer* p = player();
  preview.active = 1;
  snprintf(preview.song, sizeof preview.song, "%s", songFolder);
  preview.loadedSong = 0;
  preview.groove = groove;
  preview.sequence = sequence;
  preview.documentSequence = documentSequence;
  for (short t = 0; t < kTracks; t++) preview.on[t] = tracks[t].active;
  preview.bpm = p ? p->bpm : float(library.songBpm);
  preview.playing = p && p->playing;
  preview.sequencePlay = p && p->playing && p->sequenceMode;
  preview.step = sequenceRow.selected;
  preview.bankSelected = grooveRow.selected;
  preview.selectedTrack = selectedTrack;
  preview.grooveModified = grooveModified;
  preview.randomStyle = lastRandomStyle;
  preview.shownStyle = shownStyle;
  preview.styleText[0] = 0;
  if (uloPanelControl* c = control(86)) c->getValue(preview.styleText);
  preview.position[0] = 0;
  if (uloPanelControl* c = control(96)) c->getValue(preview.position);
  preview.title[0] = 0;
  if (songFolder[0])
    if (uloPanelControl* c = control(89)) c->getValue(preview.title);
}

void JLGroovePanel::forgetMixerEntry() {
  sequenceBackup = JLSequence();
  mixerEntry = MixerEntry();
  mixerEntry.groove = groove;
}

void JLGroovePanel::keepPreview() {
  if (!preview.active) return;
  preview.active = 0;
  if (preview.loadedSong) {
    // The song a preview loaded stays: the mixer's backup and mixes were
    // the song before's (the mixer kept them while the preview lasted).
    forgetMixerEntry();
    JLPlayer* p = player();
    if (p && p->vmixPanel && p->vmixPanel != this) p->vmixPanel->common_doInterfaceReset();
  }
  markSongKept();
  // The previewed song kept instead of the document's one.
  if (strcmp(preview.song, songFolder) != 0) docName[0] = 0;
  showSongTitle();
}

void JLGroovePanel::showSongTitle() {
  if (preview.active) {
    setText(89, preview.title);
    return;
  }
  const std::string song = !songFolder[0] ? "" : library.songTitle[0] ? library.songTitle : songShortName;
  const bool named = docName[0] && songFolder[0];
  setText(89, named ? (ULO_Latin1OfUtf8(docName) + " - " + song).c_str() : song.c_str());
  // The document first, as desktops list windows; "Jamloom - ..." is what
  // the message boxes' titles begin with.
  ULO_SetWindowTitle(named ? (std::string(docName) + " - Jamloom").c_str() : kQXWindowTitle);
}

void JLGroovePanel::setDocumentName(const char* path) {
  uloPath p;
  p.set(path);
  char name[sizeof docName] = {0};
  if (!p.getName(name, sizeof name)) name[0] = 0;
  if (endsWithNoCase(name, ".jld")) name[strlen(name) - 4] = 0;
  snprintf(docName, sizeof docName, "%s", name);
  showSongTitle();
}

bool JLGroovePanel::endPreview(bool play, bool reload) {
  if (!preview.active) return false;
  preview.active = 0;
  JLPlayer* p = player();
  if (p) p->stop();
  if (!preview.song[0]) {
    if (songFolder[0]) forgetSong();
    return false;
  }
  if (reload || strcmp(songFolder, preview.song) != 0) {
    // The song may have been deleted meanwhile.
    holdWorkMark = true;
    const bool loaded = ULO_FileExists(preview.song) && loadSong(preview.song);
    holdWorkMark = false;
    if (!loaded) {
      forgetSong();
      return false;
    }
  }
  if (soloMode) setSoloMode(false);
  if (groupMode) setGroupMode(false);
  if (allMode) setAllMode(false);
  sequence = preview.sequence;
  documentSequence = preview.documentSequence;
  groove = preview.groove;
  for (short t = 0; t < kTracks; t++) tracks[t].on = tracks[t].active = preview.on[t];
  groove_show();
  groove_activate();
  for (short t = 0; t < kTracks; t++) adjustTrackLed(t);
  refreshPopColors();
  grooveRow.reset();
  sequenceRow.reset();
  grooveRow.refresh();
  sequenceRow.refresh();
  if (preview.bankSelected >= 0 && preview.bankSelected < sequence.grooveCount) grooveRow.select(preview.bankSelected);
  if (preview.step >= 0 && preview.step < sequence.stepCount) sequenceRow.select(preview.step);
  if (preview.selectedTrack >= 0) onItem_trackButton(preview.selectedTrack);
  if (p) {
    p->setBpm(preview.bpm);
    p->refreshCommon();
  }
  grooveModified = preview.grooveModified;
  lastRandomStyle = preview.randomStyle;
  shownStyle = preview.shownStyle;
  setText(86, preview.styleText);
  // A stopped song shows where it stopped, not where the preview was cut off
  // (playing on, the player moves the position on from the next beat).
  setText(96, preview.position);
  if (play && preview.playing && p) {
    if (preview.sequencePlay && sequence.stepCount > 0)
      p->playSequence();
    else
      p->play();
  }
  return true;
}

bool JLGroovePanel::mayReplaceBank(const char* folder) {
  const uint8_t lost = uint8_t(workChanges() & ~(changedSynth | changedMaster));
  // The song loaded for good (a preview only borrows the panel).
  const char* loaded = preview.active ? preview.song : songFolder;
  const bool same = folder && loaded[0] && strcmp(folder, loaded) == 0;
  return !lost || askAboutWork(same ? kJLMsgReloadLosesWork : kJLMsgLoseBank, lost) == 1;
}

bool JLGroovePanel::mayOpenDocument(const char* documentPath) {
  const uint8_t lost = workChanges();
  return !lost || askAboutWork(kJLMsgOpenLosesWork, lost, documentPath) == 1;
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
    // The document replaces whatever a preview borrowed.
    keepPreview();
    QXScreen.hide(6);
  }
  file.close();
  const bool ok = iced_restore(false) && r == JLMixReadResult::ok;
  if (ok) {
    documentSequence = sequence;
    markWorkKept();
    setDocumentName(path);
  }
  return ok;
}

bool JLGroovePanel::saveDocument(const char* path) {
  if (!path || !path[0]) return false;
  iced_capture();
  uint8_t block[sizeof synthBlock];
  if (!jlgp::synthIcedSave(block)) memcpy(block, synthBlock, sizeof block);
  if (!JL_WriteMixDocument(path, iceimage, block)) return false;
  documentSequence = iceimage.sequence;
  markWorkKept();
  setDocumentName(path);
  return true;
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
  const jlrender::ExportKind kind = jlrender::exportKind(jlPrefs.outputType);
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
  if (!mayOpenDocument(dialogPath.path)) return;
  // The document path names what SAVE writes: a file that could not be
  // opened must not become it (the next SAVE would offer to overwrite it
  // with the work still on screen).
  const uloPath before = docPath;
  docPath.set(dialogPath);
  if (!openDocument(dialogPath.path)) docPath = before;
}

void JLGroovePanel::saveResult() {
  if (!dialogPath.ready) return;
  char path[kUloPathMax];
  snprintf(path, sizeof path, "%s", dialogPath.path);
  if (!endsWithNoCase(path, ".jld")) withExtension(path, sizeof path, "jld");
  if (saveDocument(path)) {
    docPath.set(path);
    // DISK MIX says when it is done; a save, quick and silent, says so here.
    showBankNote(jlgp::localised(kJLMsgMixSaved, "Mix saved").c_str());
  } else {
    char text[300];
    char sys[256] = {0};
    uloPath p;
    p.set(path);
    if (!p.toSystemPath(sys, sizeof sys)) snprintf(sys, sizeof sys, "%.200s", path);
    snprintf(text, sizeof text, "The mix could not be saved as %s.", sys);
    ULO_UserNotifyUtf8(text, 0);
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
  // The file name carries the format's extension, so other programs know it.
  jlrender::Export e = jlrender::prepareExport(systemPath);
  if (!jlrender::mayWriteExport(e, systemPath)) return false;
  // The render has the engine alone; what played starts again after it.
  JLPlayer* p = player();
  const JLPlayer::Paused was = p ? p->pauseFor() : JLPlayer::Paused();
  iced_capture();
  e.options.cycles = 1;
  e.options.useSequence = sequence.stepCount > 0;
  // What is heard: the mutes on screen silence the working groove; the
  // sequence steps play every track, as the player starts each step.
  for (short t = 0; t < kTracks; t++)
    if (!tracks[t].active) e.options.mutedTracks = uint8_t(e.options.mutedTracks | (1u << t));
  JLDiskMixJob job;
  bool ok = false;
  // The engine is the worker's until the job ends, and is then back as it
  // was (same loops, same sample numbers).
  // With stems chosen, the same job writes each source alone into a folder
  // beside the mix, and the mix itself once they are all there.
  const bool stems = jlPrefs.diskMixStems != 0;
  if (stems ? job.startMixWithStems(iceimage, e.path.c_str(), e.options)
            : job.startMix(iceimage, e.path.c_str(), e.options))
    ok = jlrender::runAndTell(job, stems ? "Disk mix with stems" : "Disk mix",
                              stems ? e.path + " (stems in " + JL_DiskMixStemsFolderFor(e.path) + ")" : e.path);
  // Play goes on where it was heard. A sequence that had already taken its
  // next step (ahead of the cycle's end) takes it again from the step
  // before, at the same point, so no step is skipped.
  if (was.synced && sequence.stepCount > 0 && sequenceRow.selected >= 0)
    sequenceRow.select(short((sequenceRow.selected + sequence.stepCount - 1) % sequence.stepCount));
  if (p) p->resumeAfter(was, true);
  return ok;
}
