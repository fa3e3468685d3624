#include "screens/JLLoadPanel.h"

#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/files/uloFiles.h"
#include "core/files/uloFolderOps.h"
#include "core/files/uloPath.h"
#include "core/files/uloPathPolicy.h"
#include "core/sys/jlPaths.h"
#include "engine/JLEngine.h"
#include "framework/intl/JLInternational.h"
#include "framework/panel/JLHelps.h"
#include "framework/platform/uloMessageBox.h"
#include "framework/platform/uloQuickTime.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "framework/text/uloFont.h"
#include "screens/JLGroovePanel.h"
#include "song/JLPlayer.h"

const int16_t JLLoadPanel::listItems[JLLoadPanel::kRows] = {14, 15, 16, 29, 17, 18, 30, 31, 32};

namespace {
constexpr char kSongLibrary[] = ":Library:Song:";
// The screen's double-click time (ticks between two presses).
constexpr int32_t kDoubleClickTicks = 30;
constexpr char kImages[] = ":Library:Images:";
constexpr int kInfoFirst = 19, kInfoLast = 27;
}  // namespace

JLLoadPanel::JLLoadPanel() {
  std::memset(songs, 0, sizeof songs);
  std::memset(homeCache, 0, sizeof homeCache);
}

JLLoadPanel::~JLLoadPanel() = default;

// ------------------------------------------------------------------ helpers

void JLLoadPanel::setText(int item, const char* text) { jlload::setFittedText(control(item), text); }

void JLLoadPanel::enableItem(int item, bool on) { jlload::enableControl(control(item), on); }

void JLLoadPanel::showPicture(bool shown) {
  if (uloPanelControl* c = control(12)) c->setValue(0, shown ? reinterpret_cast<unsigned char*>(&picture) : nullptr);
}

bool JLLoadPanel::songNameCompare(const char* a, const char* b) {
  if (std::strncmp(a, "Song", 4) == 0 && std::strncmp(b, "Song", 4) == 0) return std::atol(a + 4) < std::atol(b + 4);
  return std::strcmp(a, b) < 0;
}

bool JLLoadPanel::songListedBefore(const SongEntry& a, const SongEntry& b) {
  // The list is read by its titles; a copied folder keeps its title, so the
  // folder only orders rows that read alike.
  const bool numbered = strncasecmp(a.display, "Song", 4) == 0 && strncasecmp(b.display, "Song", 4) == 0;
  if (numbered && std::atol(a.display + 4) != std::atol(b.display + 4))
    return std::atol(a.display + 4) < std::atol(b.display + 4);
  if (const int c = strcasecmp(a.display, b.display)) return c < 0;
  if (const int c = std::strcmp(a.display, b.display)) return c < 0;
  return songNameCompare(a.folderName, b.folderName);
}

void JLLoadPanel::truncSongName(const char* title, char* out, size_t outSize) {
  if (!out || outSize == 0) return;
  char t[256];
  ULO_StrCopy(t, sizeof t, title ? title : "");
  if (char* dash = std::strstr(t, " -")) dash[1] = 0;
  if (std::strlen(t) > 25) {
    t[24] = char(0xC9);
    t[25] = 0;
  }
  ULO_StrCopy(out, outSize, t);
}

void JLLoadPanel::getSongDescChunk(const char* text, int n, char* out, size_t outSize) {
  if (!out || outSize == 0) return;
  out[0] = 0;
  if (!text || n < 0) return;
  const size_t kLine = 75;
  const char* p = text;
  for (int line = 0; *p; line++) {
    const size_t rest = std::strlen(p);
    size_t len = rest, next = rest;
    if (rest > kLine) {
      // Break at the last blank that keeps the line within 75 characters;
      // a word longer than a line is cut where the line ends.
      size_t blank = kLine;
      while (blank > 0 && p[blank] != ' ') blank--;
      if (blank == 0) {
        len = next = kLine;
      } else {
        len = blank;
        next = blank + 1;
      }
    }
    if (line == n) {
      const size_t m = std::min(len, outSize - 1);
      std::memcpy(out, p, m);
      out[m] = 0;
      return;
    }
    p += next;
  }
}

int32_t JLLoadPanel::lightChasePeriod(int bpm) { return bpm > 0 ? (3600 / bpm) / 4 : 0; }

// ---------------------------------------------------------------- lifecycle

uloPanelControl* JLLoadPanel::newCustomControl(short kind) {
  if (uloPanelControl* c = jlload::newBrowserControl(kind)) return c;
  return QXPanelClass::newCustomControl(kind);
}

void JLLoadPanel::onPanelOpened() {
  if (!groovePanel) groovePanel = JL_LoadHostOfGroovePanel();
  for (int16_t item : listItems) jlload::makeRow(control(item));
  for (int item = kInfoFirst; item <= kInfoLast; item++)
    if (auto* t = dynamic_cast<panProTextControl*>(control(item))) t->justification = 0;
  songCount = 0;
  homeMode = 1;
  homeCacheValid = 0;
  noPreview = 0;
  firstShow = 1;
  if (picture.allocate(uloDepthDirect16, jlload::kPictureSize, jlload::kPictureSize)) picture.fill(picture.bounds, 0);
  textList.load();
  ULO_StrCopy(folder, sizeof folder, kSongLibrary);
  ULO_StrCopy(basePath, sizeof basePath, ":Library:");
}

void JLLoadPanel::beforeShow() {
  if (screenIndex >= 0) QXScreen.setPanelPositionCentered(screenIndex);
  ULO_StrCopy(folder, sizeof folder, kSongLibrary);
  ULO_StrCopy(basePath, sizeof basePath, ":Library:");
  setText(1, "Home");
  if (JLNet* net = groovePanel ? groovePanel->net() : nullptr) {
    net->sendStop();
    net->muted = 1;
  }
  QXScreen.modalPanel = screenIndex;
}

void JLLoadPanel::afterShow() {
  homeMode = 1;
  // Song folders may have come or gone since the list was last read.
  homeCacheValid = 0;
  disks.start();
  scanFolder();
}

void JLLoadPanel::afterHide() {
  if (QXScreen.modalPanel == screenIndex) QXScreen.modalPanel = -1;
  // Closed by a mix opening over it as well as by its own buttons: the link
  // hears again and no preview is left to end.
  previewedSong[0] = 0;
  if (JLNet* net = groovePanel ? groovePanel->net() : nullptr) net->muted = 0;
  firstShow = 0;
  uloQt_PlaySoundStop();
}

void JLLoadPanel::ableButtons() {
  enableItem(3, !homeMode && disks.ejectable());
  enableItem(5, !homeMode);
  enableItem(6, !homeMode && hasSongs());
  enableItem(8, homeMode && hasSongs());
  enableItem(9, songLoaded());
  enableItem(2, true);
  enableItem(kNewSongItem, !newSong.busy());
}

bool JLLoadPanel::songLoaded() const { return groovePanel && groovePanel->songFolder()[0]; }

void JLLoadPanel::explainClose() { setText(27, "Load a song first, then X closes."); }

void JLLoadPanel::onClick() {
  // A press on the closed-off X says why it does nothing.
  uloPanelControl* x = control(9);
  if (x && !x->enabled && x->visible && x->rect.contains(uloGlo.mouseX, uloGlo.mouseY)) explainClose();
}

// ----------------------------------------------------------------- listing

void JLLoadPanel::scanFolder() {
  quietPreviews();
  library.headerOnly = 1;
  listFirst = 0;
  songCount = 0;
  refreshList();
  setText(19, textList.line(36));
  if (homeMode && homeCacheValid) {
    songCount = homeCacheCount;
    std::memcpy(songs, homeCache, sizeof songs);
  } else {
    std::string real;
    const bool found = jlload::resolvePath(folder, real);
    if (found) ULO_StrCopy(folder, sizeof folder, real.c_str());
    // Folder names that do not fit an entry could not be loaded again.
    const std::vector<std::string> names =
        found ? jlload::listFolders(folder, kMaxSongs, sizeof songs[0].folderName - 1) : std::vector<std::string>{};
    int errors = 0;
    const int count = int(names.size());
    for (int i = 0; i < count; i++) {
      char status[64];
      jlload::fmt(status, sizeof status, "Loading folder... %d%%", i * 100 / count);
      setText(19, status);
      SongEntry& e = songs[songCount++];
      ULO_StrCopy(e.folderName, sizeof e.folderName, names[size_t(i)].c_str());
      char path[kUloPathMax];
      jlload::fmt(path, sizeof path, "%s%s:", folder, e.folderName);
      if (library.load(path)) {
        // A song without a title is listed by its folder.
        truncSongName(library.songTitle[0] ? library.songTitle : e.folderName, e.display, sizeof e.display);
      } else {
        jlload::fmt(e.display, sizeof e.display, "%.40s Load error", e.folderName);
        errors++;
      }
    }
    if (count > 0 && errors == count) songCount = 0;
    setText(19, "Sorting folder...");
    for (int i = 1; i < songCount; i++) {
      const SongEntry key = songs[i];
      int j = i - 1;
      while (j >= 0 && songListedBefore(key, songs[j])) {
        songs[j + 1] = songs[j];
        j--;
      }
      songs[j + 1] = key;
    }
    if (homeMode) {
      std::memcpy(homeCache, songs, sizeof homeCache);
      homeCacheCount = songCount;
      homeCacheValid = 1;
    }
  }
  setText(19, "");
  listFirst = listSelected = 0;
  // The library's list starts at the song the groove panel holds.
  if (homeMode) {
    const char* loaded = groovePanel ? groovePanel->songFolder() : "";
    const size_t base = std::strlen(kSongLibrary);
    if (loaded && std::strncmp(loaded, kSongLibrary, base) == 0) {
      std::string name = loaded + base;
      if (!name.empty() && name.back() == ':') name.pop_back();
      for (int i = 0; i < songCount; i++)
        if (name == songs[i].folderName) {
          listSelected = int16_t(i);
          listFirst = int16_t(std::max(0, std::min(i, songCount - kRows)));
        }
    }
  }
  refreshList();
  refreshInfo();
  ableButtons();
}

void JLLoadPanel::refreshList() {
  for (int j = 0; j < kRows; j++) {
    uloPanelControl* c = control(listItems[j]);
    if (!c) continue;
    const int e = listFirst + j;
    char row[80] = "";
    if (e < songCount) jlload::fmt(row, sizeof row, " %s", songs[e].display);
    c->setValue(uloMsgSelectPicture, short(e < songCount && e == listSelected ? 1 : 0));
    setText(listItems[j], row);
  }
  enableItem(10, listFirst > 0);
  enableItem(11, songCount > 8 && listFirst < songCount - 9);
}

void JLLoadPanel::refreshInfo() {
  for (int item = kInfoFirst; item <= kInfoLast; item++) setText(item, "");
  picturePath.clear();
  if (!hasSongs()) {
    showPicture(false);
    setText(19, textList.line(24));
    if (homeMode) setText(20, textList.line(25));
    return;
  }
  char path[kUloPathMax];
  jlload::fmt(path, sizeof path, "%s%s:", folder, songs[listSelected].folderName);
  library.headerOnly = 1;
  if (!library.load(path)) {
    showPicture(false);
    return;
  }
  showPicture(lookForLibraryImage(songs[listSelected].folderName));
  char line[256];
  jlload::fmt(line, sizeof line, "%s (%s) %d BPM", library.songTitle, library.songFolderName, library.songBpm);
  setText(19, line);
  setText(20, library.songLibraryName);
  for (int n = 0; n < 4; n++) {
    getSongDescChunk(library.songDescription, n, line, sizeof line);
    setText(21 + n, line);
  }
  setText(27, "");
}

bool JLLoadPanel::lookForLibraryImage(const char* songFolder) {
  picturePath.clear();
  if (!picture.bits) return false;
  const char* collection = library.songLibraryName;
  const std::string named = textList.pictureFor(collection);
  if (!named.empty() && jlload::castToPicture(named.c_str(), picture)) return true;
  char path[kUloPathMax];
  auto tryFile = [&](const char* format, const char* a, const char* b, const char* c) {
    jlload::fmt(path, sizeof path, format, a, b, c);
    std::string found;
    if (!jlload::fileToPicture(path, picture, &found)) return false;
    picturePath = found;
    return true;
  };
  // The collection comes from the descriptor: only a plain name is a file.
  const bool plain = ULO_IsSingleName(collection);
  if (plain && tryFile("%s%s.gif", kImages, collection, "")) return true;
  if (plain && tryFile("%s%s.gif", basePath, collection, "")) return true;
  if (tryFile("%slibrary.gif%s%s", basePath, "", "")) return true;
  if (tryFile("%ssong:%s:%s.gif", basePath, songFolder, songFolder)) return true;
  if (tryFile("%ssong:%s:library.gif%s", basePath, songFolder, "")) return true;
  // A disk lists its songs in "Song:Song44:": its own folder is tried too.
  if (std::strcmp(folder, basePath) != 0 && tryFile("%s%s:%s.gif", folder, songFolder, songFolder)) return true;
  char cast[128];
  jlload::fmt(cast, sizeof cast, "Lim_%s", collection);
  if (jlload::castToPicture(cast, picture)) return true;
  jlload::fmt(cast, sizeof cast, "Sim_%s", songFolder);
  if (jlload::castToPicture(cast, picture)) return true;
  return jlload::castToPicture("Lim_unknown", picture);
}

// ----------------------------------------------------------------- preview

void JLLoadPanel::quietPreviews() {
  if (groovePanel) groovePanel->lightGame_End();
  // What played before the browser opened plays on while the user browses;
  // once a preview has replaced it, what plays is the preview's.
  if (jlPlayer && groovePanel && groovePanel->previewing()) jlPlayer->stop();
  uloQt_PlaySoundStop();
  lastPreview = 0;
}

bool JLLoadPanel::closeBrowser() {
  if (!songLoaded()) {
    explainClose();
    return false;
  }
  quietPreviews();
  if (groovePanel && groovePanel->previewing()) {
    if (groovePanel->previewedFrom()[0]) {
      // A preview only borrowed the groove panel: what was there comes back.
      if (!groovePanel->endPreview(true, false)) {
        firstShow = 1;
        ableButtons();
        explainClose();
        return false;
      }
    } else {
      // Nothing was loaded before: the previewed song stays, playing.
      groovePanel->keepPreview();
      if (jlPlayer) jlPlayer->play();
    }
  }
  previewedSong[0] = 0;
  if (JLNet* net = groovePanel ? groovePanel->net() : nullptr) net->muted = 0;
  QXScreen.hide(screenIndex);
  return true;
}

void JLLoadPanel::onItem_list(int row) {
  quietPreviews();
  const int e = listFirst + row;
  if (row < 0 || row >= kRows || e >= songCount) return;
  listSelected = int16_t(e);
  refreshList();
  refreshInfo();
  ableButtons();
  if (noPreview) return;
  char path[kUloPathMax];
  jlload::fmt(path, sizeof path, "%s%s:", folder, songs[e].folderName);
  // A song whose header does not read has nothing to preview.
  if (!library.load(path)) return;
  const char* const files[2] = {"preview.swa", "preview.wav"};
  for (const char* f : files) {
    char file[kUloPathMax];
    jlload::fmt(file, sizeof file, "%s%s", path, f);
    std::string real;
    if (!jlload::resolvePath(file, real) || !uloQt_PlaySoundStart(real.c_str())) continue;
    // The preview file replaces the music until the browser closes.
    if (groovePanel) groovePanel->beginPreview();
    if (jlPlayer) jlPlayer->stop();
    lastPreview = 1;
    if (groovePanel) groovePanel->lightGame_Start(lightChasePeriod(library.songBpm));
    return;
  }
  if (!homeMode || !groovePanel) return;
  // Previewing by loading only borrows the groove panel: what it held comes
  // back on X, so nothing is asked.
  groovePanel->beginPreview();
  jlload::fmt(path, sizeof path, "%s%s:", kSongLibrary, songs[e].folderName);
  if (!groovePanel->loadSong(path)) {
    // The folder may have gone since the list was read.
    ULO_UserNotify("This song cannot be loaded: its folder is missing or unreadable.", 0);
    return;
  }
  groovePanel->randomize(0);
  // Loading stopped the engine under a player that may still be playing
  // what was there: the preview's groove starts now, as a groove.
  if (jlPlayer) {
    jlPlayer->stop();
    jlPlayer->play();
  }
  // With a song loaded the browser may be closed.
  ableButtons();
  lastPreview = 2;
  ULO_StrCopy(previewedSong, sizeof previewedSong, songs[e].folderName);
}

void JLLoadPanel::moveSelection(int d) {
  if (!hasSongs()) return;
  listSelected = int16_t(std::clamp(listSelected - d, 0, songCount - 1));
  if (listSelected < listFirst) listFirst = listSelected;
  if (listSelected > listFirst + kRows - 1) listFirst = int16_t(listSelected - (kRows - 1));
  onItem_list(listSelected - listFirst);
}

// -------------------------------------------------------------------- load

bool JLLoadPanel::onItem_load() {
  if (!homeMode || !hasSongs()) return false;
  const SongEntry& e = songs[listSelected];
  char path[kUloPathMax];
  jlload::fmt(path, sizeof path, "%s%s:", kSongLibrary, e.folderName);
  uloQt_PlaySoundStop();
  if (groovePanel) groovePanel->lightGame_End();
  // Even the previewed song loads afresh: loading gives the song's first
  // groove, not the preview's random one. The bank asked about is the
  // user's own (a preview keeps it aside).
  if (groovePanel && !groovePanel->mayReplaceBank(path)) return false;
  if (jlPlayer) jlPlayer->stop();
  if (!groovePanel || !groovePanel->loadSong(path)) {
    if (groovePanel && groovePanel->previewing()) groovePanel->endPreview(false, false);
    ULO_UserNotify("This song cannot be loaded: its folder is missing or unreadable.", 0);
    return false;
  }
  groovePanel->keepPreview();
  QXScreen.hide(screenIndex);
  if (jlPlayer) jlPlayer->play();
  previewedSong[0] = 0;
  JLNet* net = groovePanel ? groovePanel->net() : nullptr;
  const JLGroove* groove = groovePanel ? groovePanel->groove() : nullptr;
  if (net && groove) {
    net->muted = 0;
    net->sendSong(e.folderName);
    net->sendStop();
    for (short t = 0; t < 8; t++) {
      const JLTrack& tr = groove->tracks[t];
      net->sendSample(t, tr.group, tr.variant);
      net->sendVolume(t, tr.volume);
      net->sendPan(t, tr.pan);
    }
    net->sendPlay();
  }
  return true;
}

// ------------------------------------------------------------------- disks

void JLLoadPanel::goHome() {
  homeMode = 1;
  disks.start();
  setText(1, "Home");
  ULO_StrCopy(basePath, sizeof basePath, ":Library:");
  ULO_StrCopy(folder, sizeof folder, kSongLibrary);
  scanFolder();
}

void JLLoadPanel::onItem_disk() {
  uloQt_PlaySoundStop();
  char name[uloDisksList::kNameBytes];
  bool found = false;
  while (disks.next(name))
    if ((found = disks.ejectable())) break;
  if (!found) {
    // From the last disk NEXT DISK comes home; from home it found none.
    const bool none = homeMode;
    goHome();
    if (none) JL_Notify(jlload::kMsgNoDisk, jlNotifyOK);
    return;
  }
  homeMode = 0;
  char root[uloDisksList::kRootBytes], label[uloDisksList::kRootBytes];
  disks.get(root);
  // Without a volume label the mount's own name reads better than its path.
  disks.getExtended(label);
  setText(1, std::strcmp(label, root) != 0 ? label : name);
  ULO_StrCopy(basePath, sizeof basePath, root);
  const char* const tries[3] = {"Song:Song44:", "Song:", "Library:Song:"};
  jlload::fmt(folder, sizeof folder, "%s%s", root, tries[0]);
  for (const char* t : tries) {
    char p[kUloPathMax];
    jlload::fmt(p, sizeof p, "%s%s", root, t);
    std::string real;
    if (jlload::resolvePath(p, real)) {
      ULO_StrCopy(folder, sizeof folder, real.c_str());
      break;
    }
  }
  scanFolder();
}

namespace {
// Whether a file of a library song belongs to the song itself (its
// descriptor, previews, pictures and the loops its descriptor names) rather
// than to the user.
bool songOwnsFile(const JLSongLibrary& old, const std::string& relative) {
  if (relative.find(':') != std::string::npos) return false;  // "User:" and the like
  const char* f = relative.c_str();
  if (ULO_File_IsKind(f, "jls") || ULO_File_IsKind(f, "gif") || ULO_File_IsKind(f, "ref")) return true;
  if (strcasecmp(f, "preview.wav") == 0 || strcasecmp(f, "preview.swa") == 0) return true;
  for (int g = 0; g < old.groupCount; g++)
    for (int v = 0; v < old.groups[g].count && v < kJLMaxVariants; v++) {
      const char* loop = old.groups[g].files[v];
      if (!loop[0]) continue;
      if (strcasecmp(f, loop) == 0) return true;
      const size_t n = std::strlen(loop);
      if (std::strncmp(f, loop, n) == 0 && ULO_File_IsKind(f, "wav") && std::strlen(f) == n + 4) return true;
    }
  return false;
}
}  // namespace

void JLLoadPanel::releaseSongFiles() {
  quietPreviews();
  // The restart below silences the engine; what played plays again after.
  pausedForFiles = jlPlayer ? jlPlayer->pauseFor() : JLPlayer::Paused();
  // The engine lets go of every loop file it holds open.
  if (gep) {
    gep->exit();
    gep->init();
  }
}

void JLLoadPanel::reloadCurrentSong() {
  // The restart emptied the engine's loop list: the groove panel's song is
  // registered again, or, when it is gone, the browser stays until another
  // song is loaded. A preview ends there: the song from before it comes
  // back (playing when it played), as X would bring it.
  if (groovePanel && groovePanel->previewing() && groovePanel->previewedFrom()[0]) {
    if (!groovePanel->endPreview(true, true)) firstShow = 1;
    previewedSong[0] = 0;
    return;
  }
  if (groovePanel) groovePanel->keepPreview();
  if (groovePanel && groovePanel->songFolder()[0]) {
    char song[kUloPathMax];
    ULO_StrCopy(song, sizeof song, groovePanel->songFolder());
    if (!ULO_FileExists(song) || !groovePanel->loadSong(song)) {
      groovePanel->forgetSong();
      firstShow = 1;
    } else if (jlPlayer) {
      jlPlayer->resumeAfter(pausedForFiles);
    }
  }
  pausedForFiles = JLPlayer::Paused();
  previewedSong[0] = 0;
}

bool JLLoadPanel::copyToHD() {
  if (homeMode || !hasSongs()) return false;
  const SongEntry e = songs[listSelected];
  for (int item = kInfoFirst; item <= kInfoLast; item++) setText(item, "");
  quietPreviews();
  char source[kUloPathMax], target[kUloPathMax];
  jlload::fmt(source, sizeof source, "%s%s:", folder, e.folderName);
  jlload::fmt(target, sizeof target, "%s%s:", kSongLibrary, e.folderName);
  // The collection and picture of the song being copied, read before the
  // library's copy is looked at.
  library.headerOnly = 1;
  library.load(source);
  const std::string collection = library.songLibraryName;
  const std::string picture = picturePath;
  const bool replacing = ULO_FileExists(target);
  // The library's song as its descriptor has it (large: not on the stack).
  auto old = std::make_unique<JLSongLibrary>();
  if (replacing) {
    if (JL_Notify(20, 1) != 1) return false;
    QXScreen.update(QXScreen.screenRect);
    if (!old->load(target)) old->groupCount = 0;
    releaseSongFiles();
  }
  auto copyOne = [](const char* src, const char* dst) { return ULO_FileCopy(src, dst); };
  auto progress = [this](const char* name) {
    setText(19, jlload::formatOne(textList.line(21)[0] ? textList.line(21) : "%s", name).c_str());
  };
  // The descriptor may be kept apart: <three levels up>JLS:JLS44:<song>.jls.
  auto complete = [&](const char* temp, std::string* why) {
    uloPath up;
    up.set(source);
    for (int i = 0; i < 3; i++) up.parent();
    char jls[kUloPathMax];
    jlload::fmt(jls, sizeof jls, "%sJLS:JLS44:%s.jls", up.c_str(), e.folderName);
    std::string realJls;
    if (!jlload::resolvePath(jls, realJls)) return true;
    char dst[kUloPathMax];
    jlload::fmt(dst, sizeof dst, "%s%s.jls", temp, e.folderName);
    if (ULO_FileCopy(realJls.c_str(), dst)) return true;
    *why = "The song's descriptor could not be copied.";
    return false;
  };
  auto ownFile = [&](const std::string& rel) { return songOwnsFile(*old, rel); };
  const jlload::CopyOutcome done =
      jlload::copyIntoLibrary(source, kSongLibrary, e.folderName, "song", copyOne, progress, complete, ownFile);
  homeCacheValid = 0;
  if (replacing) reloadCurrentSong();
  if (!jlload::copySucceeded(done, control(19))) return false;
  // The picture shown becomes the collection's picture in the library. Its
  // name comes from the disk's descriptor: one plain name inside the
  // library's picture folder, else nothing is written.
  if (!picture.empty() && !collection.empty() && ULO_FileExists(picture.c_str())) {
    char dst[kUloPathMax], tmp[kUloPathMax];
    std::string refused;
    const std::string file = collection + ".gif";
    std::string realDst;
    if (!ULO_IsSingleName(collection.c_str()) || !ULO_PathInside(kImages, file.c_str(), dst, sizeof dst, &refused)) {
      if (refused.empty()) refused = ULO_RefusedNameMessage(collection.c_str(), "it is not a plain collection name");
      ULO_UserNotifyUtf8((refused + " The song was copied without its collection picture.").c_str(), 0);
    } else if (!(jlload::resolvePath(dst, realDst) && realDst == picture) &&
               ULO_FreshTempPath(dst, tmp, sizeof tmp)) {
      // Replaced through a temporary file so a failed copy keeps the old.
      if (!ULO_FileCopy(picture.c_str(), tmp) || !ULO_FileRename(tmp, dst)) ULO_FileDelete(tmp);
    }
  }
  setText(19, "Copy completed");
  return true;
}

bool JLLoadPanel::deleteSong(const char* path) {
  releaseSongFiles();
  const bool ok = jlload::deleteFolder(path);
  reloadCurrentSong();
  return ok;
}

bool JLLoadPanel::removeSong() {
  if (!homeMode || !hasSongs() || listSelected < 0 || listSelected >= songCount) return false;
  char path[kUloPathMax], sys[kUloPathMax];
  jlload::fmt(path, sizeof path, "%s%s:", kSongLibrary, songs[listSelected].folderName);
  if (ULO_UloPathToSystemPath(path, sys, sizeof sys) && JL_IsSystemLibraryEntry(sys)) {
    const std::string text = std::string("\"") + songs[listSelected].folderName +
                             "\" is a demo song installed with Jamloom; it cannot be deleted.";
    ULO_UserNotifyUtf8(text.c_str(), 0);
    return false;
  }
  // Named as the list shows it, so the question says which song goes.
  const SongEntry& doomed = songs[listSelected];
  if (JL_NotifyFilled(19, 1, {doomed.display[0] ? doomed.display : doomed.folderName}) != 1) return false;
  QXScreen.update(QXScreen.screenRect);
  const bool ok = deleteSong(path);
  homeCacheValid = 0;
  disks.start();
  setText(1, "Home");
  ULO_StrCopy(folder, sizeof folder, kSongLibrary);
  scanFolder();
  if (!ok) ULO_UserNotify("Some files of the song could not be deleted.", 0);
  return ok;
}

// ------------------------------------------------------------------ events

void JLLoadPanel::onIdle() {
  uloQt_Idle();
  pollNewSong();
}

void JLLoadPanel::onKey() {
  const bool down = uloGlo.what == uloEvtKeyDown, repeat = uloGlo.what == uloEvtAutoKey;
  if (!down && !repeat) return;
  const int code = uloGlo.keyCode;
  if (code == uloKeyDown || code == 63) {
    moveSelection(-1);
  } else if (code == uloKeyUp || code == 62) {
    moveSelection(1);
  } else if (!down) {
    return;
  } else if (code == 8) {
    removeSong();
  } else if (code == uloKeyEscape) {
    closeBrowser();
  } else if (code == uloKeyReturn) {
    if (!homeMode || !hasSongs()) return;
    uloPanelControl* load = control(8);
    if (load) load->setValue(short(1));
    onItem_load();
    if (load) load->setValue(short(0));
  } else if (code == 'p' || code == 'P') {
    if (uloPanelControl* c = control(28)) {
      c->setValue(short(c->get() ? 0 : 1));
      currentItem = 28;
      onItem();
    }
  }
}

void JLLoadPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
  const int item = currentItem;
  for (int j = 0; j < kRows; j++)
    if (listItems[j] == item) {
      // The second press of a double click on the row just previewed loads
      // that song, as LOAD SONG does; any other press previews.
      auto* row = dynamic_cast<jlload::ListRowControl*>(control(item));
      const int e = listFirst + j;
      bool doubled = row && row->takeDoubled();
      // A preview that loads a song can outlast a double click: the second
      // press waited in the queue and arrives just after it. Counted from
      // the end of that preview it is still a double click.
      if (!doubled && slowRow == e && uloGlo.when >= slowRowDoneAt && uloGlo.when - slowRowDoneAt < kDoubleClickTicks)
        doubled = true;
      slowRow = -1;
      if (doubled && homeMode && e == listSelected && listSelected < songCount) {
        // As LOAD SONG: the tour's step that waits for it is done too.
        if (jlHelpp) jlHelpp->hit(screenIndex, 8);
        onItem_load();
        return;
      }
      const int32_t pressed = uloGlo.when;
      const uint32_t started = ULO_Ticks();
      onItem_list(j);
      const int32_t took = int32_t(ULO_Ticks() - started);
      if (took >= kDoubleClickTicks) {
        slowRow = int16_t(e);
        slowRowDoneAt = pressed + took;
      }
      return;
    }
  switch (item) {
    case 2: QXGoUrl(textList.line(22)); break;
    case 3:
      if (disks.ejectable()) {
        uloQt_PlaySoundStop();
        disks.eject();
        onItem_disk();
      }
      break;
    case 4: onItem_disk(); break;
    case 5: goHome(); break;
    case 6: copyToHD(); break;
    case 8: onItem_load(); break;
    case kNewSongItem: startNewSong(""); break;
    case 9: closeBrowser(); break;
    case 10:
    case 11: {
      quietPreviews();
      const int top = std::max(0, songCount - kRows);
      listFirst = int16_t(std::clamp(listFirst + (item == 10 ? -1 : 1), 0, top));
      refreshList();
      break;
    }
    case 28:
      noPreview = control(28) && control(28)->get() ? 1 : 0;
      quietPreviews();
      if (JLNet* net = groovePanel ? groovePanel->net() : nullptr) net->muted = 0;
      break;
    default: break;
  }
}

// ---------------------------------------------------------------- new song

void JLLoadPanel::startNewSong(const std::string& sourceFolder) {
  if (newSong.busy()) return;
  quietPreviews();
  if (!newSong.start(sourceFolder)) {
    ULO_UserNotify("New song cannot start now.", 0);
    return;
  }
  ableButtons();
}

bool JLLoadPanel::onDrop(const char* path) {
  struct stat st {};
  if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
    startNewSong(path);
    return true;
  }
  ULO_UserNotify("Drop a folder of sound files here to make a song of them, or drop one sound file on a track of "
                 "the groove panel to add it to that track's instrument.",
                 0);
  return true;
}

void JLLoadPanel::selectSong(const std::string& folderName) {
  for (int i = 0; i < songCount; i++)
    if (folderName == songs[i].folderName) {
      listSelected = int16_t(i);
      listFirst = int16_t(std::max(0, std::min(i, songCount - kRows)));
      refreshList();
      refreshInfo();
      return;
    }
}

void JLLoadPanel::pollNewSong() {
  std::string message, made;
  const JLNewSong::Outcome o = newSong.poll(&message, &made);
  if (o == JLNewSong::Outcome::none) return;
  if (o == JLNewSong::Outcome::running) {
    const int p = newSong.percent();
    if (p == newSongShown) return;
    newSongShown = p;
    char text[64];
    if (p < 0) ULO_StrCopy(text, sizeof text, "New song: answer the questions...");
    else jlload::fmt(text, sizeof text, "Making the new song... %d%%", p);
    setText(19, text);
    return;
  }
  newSongShown = -2;
  setText(19, "");
  if (o == JLNewSong::Outcome::made) {
    // The new song is in the library: list it and select it.
    homeCacheValid = 0;
    if (!homeMode) goHome();
    else scanFolder();
    selectSong(made);
    // Loops left out or fitted are worth a word; the rest shows in the list.
    if (message.find('\n') != std::string::npos)
      ULO_MessageBox("New song", ULO_Latin1OfUtf8(message.c_str()).c_str(), 0, false);
    else setText(27, message.c_str());
  } else {
    refreshInfo();
    if (o == JLNewSong::Outcome::failed) ULO_UserNotifyUtf8(("No new song: " + message).c_str(), 0);
  }
  ableButtons();
}

// ------------------------------------------------------- groove panel host

namespace {
class GroovePanelHost : public JLLoadHost {
 public:
  bool loadSong(const char* folder) override { return gp() && gp()->loadSong(folder); }
  void randomize(short set) override {
    if (gp()) gp()->randomize(set);
  }
  bool mayReplaceBank(const char* folder) override { return !gp() || gp()->mayReplaceBank(folder); }
  void lightGame_Start(int32_t period) override {
    if (gp()) gp()->lightGame_Start(period);
  }
  void lightGame_End() override {
    if (gp()) gp()->lightGame_End();
  }
  JLNet* net() override { return gp() ? &gp()->net : nullptr; }
  const JLGroove* groove() override { return gp() ? &gp()->groove : nullptr; }
  const char* songFolder() override { return gp() ? gp()->songFolder : ""; }
  void forgetSong() override {
    if (gp()) gp()->forgetSong();
  }
  void beginPreview() override {
    if (gp()) gp()->beginPreview();
  }
  bool endPreview(bool play, bool reload) override { return gp() && gp()->endPreview(play, reload); }
  void keepPreview() override {
    if (gp()) gp()->keepPreview();
  }
  bool previewing() override { return gp() && gp()->previewing(); }
  const char* previewedFrom() override { return gp() ? gp()->previewedFrom() : ""; }

 private:
  static JLGroovePanel* gp() { return JL_GroovePanel(); }
};
}  // namespace

JLLoadHost* JL_LoadHostOfGroovePanel() {
  static GroovePanelHost host;
  return &host;
}
