// JLLoadPanel: the song browser (screen entry 6), the first screen at
// start. It lists the song folders of the library (Home) or of a removable
// disk, shows the selected song's title, tempo, collection, description and
// picture, previews it (its preview file in a loop, or else the song itself
// loaded and randomised), loads it into the groove panel (its first groove
// plays, or what the preview plays goes on; asking first when that would
// lose an unsaved groove bank), copies songs from
// a disk into the library and deletes songs from the library. Song headers
// are read with a library of its own in header-only mode. It cannot be
// closed while the groove panel has no song (at start, or after its song
// was deleted); the X then looks off and says why when pressed.
//
// User-interface thread only. A song whose descriptor cannot be read is
// listed as "<folder> Load error"; a copy that fails removes what it had
// copied and says so; nothing here throws or leaves a half-listed song.
#pragma once
#include <cstdint>
#include <string>

#include "core/drives/uloDisksList.h"
#include "core/files/uloPathNames.h"
#include "framework/offmap/uloOffmap.h"
#include "framework/panel/QXPanel.h"
#include "screens/loadCommon.h"
#include "song/JLPlayer.h"
#include "song/JLSongLibrary.h"

#include "screens/loadHost.h"
#include "screens/JLNewSong.h"

struct SongEntry {
  char folderName[64];
  char display[64];
};

class JLLoadPanel : public QXPanelClass {
 public:
  static constexpr int kMaxSongs = 64;
  static constexpr int kRows = 9;
  static const int16_t listItems[kRows];

  JLLoadPanel();
  ~JLLoadPanel() override;

  uloPanelControl* newCustomControl(short kind) override;
  void onPanelOpened() override;
  void beforeShow() override;
  void afterShow() override;
  void afterHide() override;
  // A mix handed over by another start opens over the browser at once.
  bool givesWayToDocument() const override { return true; }
  void onItem() override;
  void onKey() override;
  // Lets the preview player notice a lost device.
  void onIdle() override;
  virtual void ableButtons();
  // The close button stays off while the groove panel has no song; a press
  // on it then says why.
  bool songLoaded() const;
  void explainClose();
  // X and Escape: ends a preview (what the groove panel held comes back)
  // and closes; false (and says why) while there is no song.
  bool closeBrowser();
  void onClick() override;

  // Lists the current folder (or copies the Home cache back) and shows the
  // first song.
  void scanFolder();
  void refreshList();
  void refreshInfo();
  void onItem_list(int row);
  void moveSelection(int delta);
  bool onItem_load();
  void onItem_disk();
  void goHome();
  bool copyToHD();
  bool removeSong();
  bool deleteSong(const char* path);
  // Around a deletion or replacement: the engine closes every loop file,
  // then the groove panel's song is registered again (or forgotten).
  void releaseSongFiles();
  void reloadCurrentSong();
  void quietPreviews();
  bool lookForLibraryImage(const char* folder);

  // "Song" names compare by the number after the first four characters.
  static bool songNameCompare(const char* a, const char* b);
  // List order: by the listed title (ignoring case, "Song" numbers by
  // value), the folder name between rows that read alike.
  static bool songListedBefore(const SongEntry& a, const SongEntry& b);
  // The listed form of a title: cut at the first " -" (the blank stays),
  // then more than 25 characters become 24 and the character 0xC9.
  static void truncSongName(const char* title, char* out, size_t outSize);
  // Line n of a description cut into lines of at most 75 characters.
  static void getSongDescChunk(const char* text, int n, char* out, size_t outSize);
  // Ticks of a sixteenth note at a tempo.
  static int32_t lightChasePeriod(int bpm);

  // The groove panel (tests put their own host here).
  JLLoadHost* groovePanel = nullptr;
  SongEntry songs[kMaxSongs];
  int16_t songCount = 0;
  JLSongLibrary library;
  uloDisksList disks;
  uloOffmap picture;
  int16_t listFirst = 0;
  int16_t listSelected = 0;
  // A row whose preview took longer than a double click, and when (in event
  // ticks) it ended: a second press on it right after is a double click.
  int16_t slowRow = -1;
  int32_t slowRowDoneAt = 0;
  uint8_t homeMode = 1;
  SongEntry homeCache[kMaxSongs];
  int16_t homeCacheCount = 0;
  uint8_t homeCacheValid = 0;
  uint8_t noPreview = 0;
  uint8_t firstShow = 1;
  char folder[kUloPathMax] = {};
  char basePath[kUloPathMax] = {};
  // The picture file last shown (empty: a cast or none).
  std::string picturePath;
  jlload::TextList textList;
  // How the last preview went: 1 a preview file plays, 2 the song was
  // loaded as preview, 0 nothing (tests read it).
  int16_t lastPreview = 0;
  // The song folder a preview loaded into the groove panel (empty: none).
  char previewedSong[64] = {};
  // What played before a deletion or replacement restarted the engine.
  JLPlayer::Paused pausedForFiles;

  // New song (item 33): a song made from a folder of the user's sound
  // files, asked for or dropped on the browser; shown once made.
  static constexpr int kNewSongItem = 33;
  void startNewSong(const std::string& folder);
  bool onDrop(const char* path) override;
  void pollNewSong();
  void selectSong(const std::string& folderName);
  JLNewSong newSong;
  int newSongShown = -2;  // the percent item 19 shows, -2 none

 protected:
  void setText(int item, const char* text);
  void enableItem(int item, bool on);
  void showPicture(bool shown);
  bool hasSongs() const { return songCount > 0; }
};
