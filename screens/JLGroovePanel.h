// JLGroovePanel: the main screen (screen entry 0). Eight tracks of the
// loaded song, their loops (group and variant pop-ups and browsers), mute,
// solo, group, all and keep, volume and pan, randomising from the song's
// random sets, play and tempo, the groove bank and the sequence (two rows
// of draggable balls), the keyboard, the idle work (level meters, light
// chase, random-set names, Keep blinking) and mix documents (open, save,
// disk mix).
//
// It owns the song model: the working groove, the loaded song, the bank and
// sequence, their backup for the virtual mixer, the mix-document image and
// the network link. Every change that must be heard goes to the engine
// facade `gep`; transport and tempo go through `jlPlayer`, which calls the
// panel back through the JLPlayCommon notifications and JLPlayerTransport.
//
// Other panels use: loadSong, randomize, lightGame_Start/End, setupVMix,
// seqActivateNext, the members groove / sequence / sequenceBackup / library,
// and the two ball rows (grooveRow / sequenceRow).
//
// User-interface thread only. Without an engine (gep null, tests) every
// engine call is skipped. Counts of 0 (a song without groups, a group
// without loops) make browsers, pop-ups and randomising change nothing.
//
// The implementation is split: JLGroovePanel.cpp (opening, items, tracks,
// modes), JLGroovePanelBank.cpp (bank, sequence, balls),
// JLGroovePanelKeys.cpp (keyboard, numeric entry, idle work),
// JLGroovePanelDocs.cpp (song loading, mix documents, disk mix).
#pragma once
#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "core/files/uloPath.h"
#include "screens/JLBallSelector.h"
#include "core/net/JLNet.h"
#include "framework/panel/uloPanel.h"
#include "song/JLGroove.h"
#include "song/JLMixDocument.h"
#include "song/JLPlayCommon.h"
#include "song/JLPlayer.h"
#include "song/JLSongLibrary.h"

// The numeric key entry typed into a display item, one global record.
struct jlgpKeyStatusRec {
  uint8_t keypadLayout = 0;  // digits laid out like a keypad (8 9 6 3 2 1 4 7)
  uint8_t active = 0;
  int16_t target = 0;        // item 118, 119, 120, or -10 = groove number
  int16_t value = 0;
  int16_t minimum = 0, maximum = 0, maxDigits = 0, digits = 0;
  char savedText[kUloControlTextBytes] = {0};  // what the item showed, restored on cancel
  int16_t startKey = 0;
  int16_t offset = 0;
  uint8_t negative = 0;
};
extern jlgpKeyStatusRec jlks;
// The tick of the last level-meter update (meters move once per tick).
extern int32_t peakNextTicks;
// The placeholder glyph of a numeric entry in the skin font.
constexpr char kJLNumEntryPlaceholder = char(0xC9);

// The question asked before another song replaces unsaved work
// (localised message number; its "%s" lists what changed).
constexpr int16_t kJLMsgLoseBank = 57;
// The same when the song loaded is loaded again.
constexpr int16_t kJLMsgReloadLosesWork = 85;
// The same question before quitting.
constexpr int16_t kJLMsgQuitLosesBank = 58;
// And before a mix document (opened, or handed over by another start)
// replaces it; a second "%s" names the document.
constexpr int16_t kJLMsgOpenLosesWork = 70;
// The names of what changed, listed by these questions: one message for
// each JLGroovePanel::WorkChange bit, from the lowest.
constexpr int16_t kJLMsgFirstChangeName = 71;
// Status-line answers to STORE: the groove is already in the bank (one
// "%d", its number), or the bank is full.
constexpr int16_t kJLMsgGrooveInBank = 59;
constexpr int16_t kJLMsgBankFull = 60;
// The question before EMPTY (or E) empties several tracks at once.
constexpr int16_t kJLMsgEmptyTracks = 78;
// The status-line note while the master clips.
constexpr int16_t kJLMsgClipping = 79;
// The status-line note after SAVE wrote the mix document.
constexpr int16_t kJLMsgMixSaved = 82;
// After a song load, the loops that will not play as they are: those that
// cannot be played, and those cut short (each "%s" the count, then the
// names), with the list's end when it names not all ("%s" the rest).
constexpr int16_t kJLMsgLoopsUnplayable = 87;
constexpr int16_t kJLMsgLoopsCut = 88;
constexpr int16_t kJLMsgLoopsMore = 89;

namespace jlgp {
// A message of the chosen language, or `english` when the table lacks it
// (interface thread).
std::string localised(int16_t number, const char* english);
}  // namespace jlgp

// Per-track display state.
struct JLGrooveTrackState {
  uint8_t on = 1;
  uint8_t soloOn = 0;
  uint8_t groupSel = 0;
  uint8_t active = 1;
  uint8_t keepOn = 0;
  int16_t savedVolume = 0;
  int16_t savedPan = 0;
  std::atomic<short>* peakLeft = nullptr;
  std::atomic<short>* peakRight = nullptr;
  int16_t levelShown = 0;
  int16_t sampleNo = -1;
  int16_t filledGroup = -2;
};

class JLGroovePanel : public JLPlayCommon, public JLPlayerTransport {
 public:
  static constexpr int kTracks = 8;
  static const int16_t barItemsTable[8];
  static const int16_t sampGrSelTable[8];
  static const int16_t sampInSelTable[8];
  static const int16_t grooveItemsTable[4];

  JLGroovePanel();
  ~JLGroovePanel() override;

  // ---- panel virtuals ----
  uloPanelControl* newCustomControl(short kind) override;
  void onItem() override;
  void onKey() override;
  void onIdle() override;
  // A sound file dropped on a track joins that track's instrument in the
  // song (converted and fitted to whole beats) and plays on the track.
  bool onDrop(const char* path) override;
  // The track (0..7) whose controls span the point, or -1.
  short trackAt(int x, int y);
  void beforeShow() override;
  void onPanelOpened() override;
  void onPanelClosed() override;
  void asyncDialogMessage(JLPath* path) override;

  // ---- JLPlayCommon ----
  void common_setPlayDisplay(bool playing) override;
  void common_setSeqPlayLed(bool on) override;
  void common_setPlaybarLed(short lamp, short state) override;
  void common_setSyncingLed(bool on) override;
  using JLPlayCommon::common_setPlaybarLabel;
  void common_setPlaybarLabel(const char* text) override;
  void common_setMainVolLabel(short v) override;
  void common_setSynthLed(bool on) override;
  void common_eventGrooveStart() override;
  void common_eventGrooveSync() override;
  void common_eventSeqPlayStart() override;
  void common_eventSeqPlayStop() override {}
  void common_setBpmLabel(const char* text) override;
  void common_setBpmScroll(short v) override;
  void common_setLabel(short n, const char* text) override;
  void common_doInterfaceReset() override;
  void common_setHelpModeDisplay(short mode) override;
  // A MIDI control switches a track's mute as its on-screen switch does.
  void common_midiMuteTrack(short t) override {
    if (t >= 0 && t < kTracks && tracks[t].sampleNo != -1) enableTrack(t, !tracks[t].active);
  }
  // A latched MIDI key goes to the synth panel's arpeggio.
  void common_midiLatchNote(short note) override;
  void common_midiHoldNote(short note, bool down) override;

  // ---- JLPlayerTransport ----
  void setPlayMode(bool on) override;
  void onItem_seq_Play() override;

  // ---- used by other panels ----
  // Loads the song of a folder (internal path ending with ':') into the
  // library and the engine and shows it with its first groove (what PLAY
  // then plays). False when no descriptor is found; the song loaded before
  // then stays loaded, shown and playing.
  bool loadSong(const char* folder);
  // The loaded song has gone from the library: nothing plays from its
  // files and the panel shows no song, as before the first load.
  void forgetSong();
  void randomize(short set);
  void lightGame_Start(int32_t period);
  void lightGame_End();
  // Fills bank and sequence from mix style n of the song (virtual mixer).
  void setupVMix(short n);
  // Restores from the mix-document image; keepSong: do not reload the song.
  // False when nothing was restored (no valid image, song not installed).
  bool iced_restore(bool keepSong);
  // Freezes the working state into the image (for saving).
  void iced_capture();
  // Whether the user's bank or sequence holds grooves that no mix document
  // opened or saved since has (while the virtual mixer plays its mixes the
  // user's own bank is the backup).
  bool bankUnsaved() const { return unsavedBankParts() != 0; }
  // Before another song replaces the work: asks when what a song load
  // replaces (all but the synth and the master volume) is unsaved, naming
  // what changed, and whether `folder` is the loaded song again. True when
  // the load may go on.
  bool mayReplaceBank(const char* folder = nullptr);
  // Before a mix document replaces the work: asks as quitting does, naming
  // the document (its file name). True when it may be opened.
  bool mayOpenDocument(const char* documentPath);
  // The work a mix document keeps (song, working groove, bank and
  // sequence, tempo, mutes, whether the synth plays and its block), as it
  // stands now; while a preview borrows the panel, the user's own.
  struct WorkMark {
    bool set = false;
    std::string song;
    JLGroove groove;
    JLSequence sequence;
    float bpm = 0;
    uint8_t muted = 0;
    int16_t master = 0;
    bool synthOn = false;
    uint8_t synth[kJLSynthBlockBytes] = {0};
  };
  WorkMark currentWork() const;
  // The work is kept as it stands: a mix document was opened or saved.
  void markWorkKept() { keptWork = currentWork(); }
  // A song was loaded for good (not by a preview): what it replaced starts
  // anew; the synth and the master volume, which a song leaves alone, still
  // count from where they were last kept.
  void markSongKept();
  // What a mix document keeps, one bit each, as the questions name them.
  enum WorkChange : uint8_t {
    changedGroove = 1,
    changedTempo = 2,
    changedMutes = 4,
    changedSynth = 8,
    changedMaster = 16,
    changedBank = 32,
    changedSequence = 64,
  };
  static constexpr int kWorkChangeKinds = 7;
  // What quitting would lose (WorkChange bits): anything changed since it
  // was last kept, and a bank or sequence no document opened or saved
  // since has. A working groove that the bank holds as it is (a sequence
  // step, a restored ball) is kept there. Only the bank without a song.
  uint8_t workChanges() const;
  bool workUnsaved() const { return workChanges() != 0; }
  // Quitting: asks the same when the bank or any other work is unsaved;
  // -1 when there is nothing to lose (the program then ends without a
  // question), else the answer (1 yes).
  int16_t askQuitWithUnsavedBank();
  // A song preview borrows the panel: beginPreview remembers the song, its
  // working groove, bank, sequence, mutes, tempo and transport (once, until
  // the preview ends); endPreview puts all of that back (reloading the song
  // when another one was previewed, or always with reload, after the engine
  // let go of its loops) and plays again what played when play is true.
  // keepPreview forgets what was remembered (the song is loaded for good,
  // and the work counts as kept from there).
  // While a preview lasts, the bank's safety looks at the remembered bank.
  // endPreview returns false when nothing was remembered or the remembered
  // song can no longer be loaded (the panel then has no song).
  void beginPreview();
  bool endPreview(bool play, bool reload = false);
  void keepPreview();
  // The header (item 89) names the song loaded for good, after the name of
  // the mix document the work belongs to when there is one ("NAME - Song");
  // the window's title is "NAME - Jamloom" then, else the program's own.
  // During a preview it keeps naming the one from before (none when there
  // was none).
  void showSongTitle();
  // The mix document the work was opened from or saved as: its file name
  // without ".jld" (UTF-8), or "" when the work belongs to none (a song
  // loaded without one, another song kept from a preview).
  const char* documentName() const { return docName; }
  bool previewing() const { return preview.active != 0; }
  // A song is loaded that does not stay: a preview's, or the user's read
  // again at its end. The virtual mixer keeps its mixes meanwhile.
  bool songBorrowed() const { return preview.active != 0 || holdWorkMark; }
  // The song folder a preview would restore ("" none).
  const char* previewedFrom() const { return preview.active ? preview.song : ""; }
  // The sequence-play step: next step's groove becomes the working groove
  // at the next 32-beat boundary.
  void seqActivateNext();
  // The virtual mixer: entering it keeps what plays playing (the mixer's
  // mixes take over when one is chosen) and remembers bank, sequence,
  // working groove, mutes and transport; restoring brings all of that back,
  // resumePlay then plays again what played when the mixer was entered.
  void enterVirtualMixer();
  void restoreFromVirtualMixer();
  void resumeAfterVirtualMixer();

  // ---- dialog results (request kinds 0, 1, 2) ----
  void onItem_Load();
  void onItem_Save();
  void onItem_DiskMix();
  void loadResult();
  void saveResult();
  void diskMixResult();
  // Opens a mix document directly (command line, tests).
  bool openDocument(const char* internalPath);
  bool saveDocument(const char* internalPath);
  // Renders the sequence (or the working groove when it is empty) into a
  // sound file (system path), as the player plays it: each sequence step's
  // groove with every track on, the working groove with the mutes on
  // screen; at the player's master
  // volume; the format follows jlPrefs.outputType. Playback stops; the
  // render runs on a worker thread while the progress panel counts it and
  // offers STOP; the user is told where the file went (or why not). True
  // when the file was written.
  bool diskMixTo(const char* systemPath);

  // ---- tracks ----
  void onItem_trackButton(short t);
  void onItem_trackLed(short t);
  void onItem_keep(short t);
  void onItem_empty();
  void onItem_volume();
  void onItem_pan();
  void onItem_groupBrowser();
  void onItem_instBrowser();
  void onItem_sampSelGroup(short t);
  void onItem_sampSelIndex(short t);
  void setGroupMode(bool on);
  void setAllMode(bool on);
  // What group and all modes share: the relative sliders and which track
  // buttons and solo lamps follow.
  void showRelativeMode(bool on, bool allTracks);
  void setSoloMode(bool on);
  void sync_SetMode(bool on);
  void enableTrack(short t, bool on);
  void adjustTrackIndex(short t);
  void adjustTrackLed(short t);
  void userChangedTrack(short t);
  void changedTrackVolume(short t);
  // The volume mark on track t's meter: shown while playing only.
  void showVolumeMark(short t);
  void changedTrackPan(short t);
  void trackSelectionChanged();
  void groove_activate(short t);
  void groove_activate();
  void groove_show();
  void groove_showTrack(short t);
  void groove_activateAndShow();
  void setSampPopColor(short t, short colour, short level);
  void refreshPopColors();
  void assingInstPopNames(short t);
  void fillGroupPopups();
  void setRndStyleName(short set);
  // Every edit of the working groove: it is no longer what was stored.
  void markModified() {
    grooveModified = 1;
    grooveChanged();
  }
  // The working groove became another one (edited, randomised, restored,
  // a new song): a note the status line gave about the groove before
  // ("Same as groove 3", "The bank is full.") gives way to the player's
  // state.
  void grooveChanged();
  // A note about the bank in the status line, until the groove changes or
  // the player says something.
  void showBankNote(const char* text);
  // The random set a groove was made with, as remembered when it was
  // stored (-1 when not known: a document's grooves, a song's first one).
  int16_t knownSetOf(const JLGroove& g) const;
  void rememberSetOf(const JLGroove& g, int16_t set);
  // The working groove's set is shown (unless the mouse is over an RND
  // button, whose set is shown instead).
  void showGrooveSet(int16_t set);
  // Group or all mode members.
  bool isMember(short t) const { return allMode || (groupMode && tracks[t].groupSel); }
  int16_t loopsInGroup(int16_t group) const;

  // ---- bank and sequence ----
  void grooves_hit(short ball);
  void sequencer_hit(short ball);
  // Store: appends the working groove (its sounding tracks) to the bank,
  // unless the bank already holds that groove (its ball is then selected)
  // or is full; either is said in the status line.
  void grooves_add();
  // The bank position of a stored groove with the same tracks, or -1.
  short findStoredGroove(const JLGroove& g) const;
  // The bank ball that goes with the working groove of an opened document
  // (-1 for an empty bank).
  short bankBallOfGroove() const;
  void grooves_rewrite();
  void grooves_remove();
  void sequencer_addAll();
  void sequencer_removeAll();
  void groove_store();
  void groove_restore();
  // Selects, copies and restores the bank groove with this id; false when
  // the bank has none.
  bool selectGrooveById(short id);
  // The drop of bank groove p on sequence ball item r (the insertion rule).
  void insertIntoSequence(short bankPosition, short targetItem);
  void removeStep(short position);
  void moveStep(short from, short targetItem);

  // ---- keyboard and idle work ----
  void key_numEnterStartAny(short key, short target, short minimum, short maximum, short digits);
  void key_numEnterStart(short key, short target, short minimum, short maximum, short digits);
  void key_numEnterType();
  void key_numEnterEnd();
  void key_numEnterCancel();
  void key_numEnterShow();
  void idleLevels();
  // Tells the user about a loop the engine could not read.
  void idleLoadFailures();
  int32_t loadFailureDeadline = 0;
  // What the last song load found wrong with its loops, told by
  // idleLoadFailures ("" when nothing); set by loadSong. Each song's
  // faults are told once a session: its preview and then LOAD SONG, or a
  // preview given up that loads it back, load it again unchanged.
  std::string loopFaultNotice;
  std::set<std::string> loopFaultsTold;  // song folder, then the notice
  void noteLoopFaults();
  // Says in the status line while the master clips (the engine's count of
  // clipped blocks grew), for three seconds after the last clip.
  void idleClipNote();
  uint32_t clipsSeen = 0;
  bool clipsKnown = false;
  bool clipNoteShown = false;
  int32_t clipNoteUntil = 0;
  void idleLightChase();
  void idleHover();
  void idleKeepBlink();
  // Ends a numeric entry whose start key was released.
  void onIdleKeys();
  // The clock the idle work reads (ULO_Ticks; tests install their own).
  static uint32_t (*tickSource)();
  // Key state of a character in the screen's key table (0 up).
  static short keyState(int code);

  // ---- model ----
  JLGroove groove;            // the working groove
  JLSongLibrary library;      // the song in play
  uloPath docPath;            // the document path ("Untitled" at opening)
  uloPoint lastMouse;
  JLNet net;
  JLSequence sequence;        // bank and sequence
  JLSequence sequenceBackup;  // taken when switching to the virtual mixer
  JLSequence documentSequence;  // bank and sequence as last opened or saved
  // The rest of what the virtual mixer restores (sequenceBackup holds the
  // bank and sequence).
  struct MixerEntry {
    JLGroove groove;
    uint8_t on[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    uint8_t playing = 0;
    uint8_t sequencePlay = 0;
    int16_t step = -1;
    int16_t bankSelected = -1;
  } mixerEntry;
  struct PreviewEntry {
    uint8_t active = 0;
    char song[256] = {0};
    JLGroove groove;
    JLSequence sequence, documentSequence;
    uint8_t on[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    float bpm = 0;
    uint8_t playing = 0, sequencePlay = 0, grooveModified = 0;
    // The preview loaded a song (keeping the preview then keeps that song).
    uint8_t loadedSong = 0;
    int16_t step = -1, bankSelected = -1, selectedTrack = -1, randomStyle = -1, shownStyle = -1;
    char styleText[kUloControlTextBytes] = {0};
    char title[kUloControlTextBytes] = {0};
    // The position shown for the song the preview interrupted.
    char position[kUloControlTextBytes] = {0};
  } preview;
  JLIceimage iceimage;
  WorkMark keptWork;
  // The parts of the user's bank (changedBank, changedSequence) that differ
  // from the last document's; none while it is empty.
  uint8_t unsavedBankParts() const;
  // Asks message `number` about the changes (WorkChange bits), the
  // document's name filled in when given; the answer (1 yes).
  int16_t askAboutWork(int16_t number, uint8_t changes, const char* documentPath = nullptr);
  // Set while a song is read again under the user's work (a preview's end,
  // a dropped loop): that load keeps the mark as it was.
  bool holdWorkMark = false;
  // The virtual mixer's backup (bank, sequence, groove) starts anew with
  // the song's working groove.
  void forgetMixerEntry();
  JLPath dialogPath;
  JLBallGroovesSelector grooveRow;
  JLBallSequenceSelector sequenceRow;

  // ---- panel state ----
  JLGrooveTrackState tracks[16];
  uint8_t soloMode = 0, groupMode = 0, allMode = 0;
  uint8_t soloFollows = 0;
  uint8_t syncMode = 0;
  uint8_t grooveSyncSeen = 0;
  uint8_t grooveModified = 0;
  int16_t selectedTrack = -1;
  int16_t keepCount = 0;
  uint8_t keepBlink = 0;
  int16_t lastRandomStyle = -1;
  int16_t shownStyle = -1;
  int16_t hoverRegion = -1;
  // What the player last wrote in the status line (item 99), and whether a
  // bank note covers it now.
  char playerLabel[64] = {0};
  uint8_t bankNoteShown = 0;
  // Stored grooves' random sets, by song and by what the groove holds (ids
  // are given out again, and the mixer, previews and documents bring
  // grooves back as copies); the oldest are forgotten past kKnownSets.
  struct KnownSet {
    std::string song;
    JLTrack tracks[JLGroove::kTracks];
    int16_t set = -1;
  };
  static constexpr size_t kKnownSets = 256;
  std::vector<KnownSet> knownSets;
  char songFolder[256] = {0};
  char songShortName[65] = {0};
  char docName[256] = {0};
  void setDocumentName(const char* path);
  int32_t lightNext = 0;
  int32_t lightPeriod = 0;
  int32_t lightExpiry[8] = {0};
  int16_t lightIndex = 0;
  int16_t lightReverse = 0;
  // Synth settings block of the last document ('syic'), kept when the synth
  // panel cannot read it itself.
  uint8_t synthBlock[kJLSynthBlockBytes] = {0};
  bool synthBlockValid = false;

 protected:
  void setItem(short item, short value);
  void setItem(short item, short message, short value);
  void setText(short item, const char* text);
  short itemValue(short item);
  void redraw(short item);
};

// The groove panel of the screen (entry 0), or null.
JLGroovePanel* JL_GroovePanel();
// Start-up: connects jlPlayer with the groove panel, the virtual mixer (any
// JLPlayCommon, may be null) and the synth panel of screen entry 2, and
// installs the song-message hook (JL_ShowSongMessage) and the help-mode
// display. Safe to call again (tests).
void JL_ConnectGroovePanel(JLGroovePanel* groove, JLPlayCommon* vmix);
// Shows a numbered song message: 17 fills localised item 17 with the song
// name in a yes/no box (JL_NotifyFilled), 0 shows the refusal text it is
// given, every other number is JL_Notify(number, OK). Names are UTF-8.
void JL_ShowSongMessage(int number, const char* songName);
