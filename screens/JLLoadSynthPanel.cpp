#include "screens/JLLoadSynthPanel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/files/uloFiles.h"
#include "core/sys/jlPaths.h"
#include "engine/JLEngine.h"
#include "framework/intl/JLInternational.h"
#include "framework/panel/JLHelps.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "framework/text/uloFont.h"
#include "screens/JLSynthPanel.h"
#include "song/JLPlayer.h"

namespace {
constexpr char kSynthLibrary[] = ":Library:Synth:";
constexpr int kFirstRow = 10;
}  // namespace

JLLoadSynthPanel::JLLoadSynthPanel() { std::memset(names, 0, sizeof names); }
JLLoadSynthPanel::~JLLoadSynthPanel() = default;

void JLLoadSynthPanel::setText(int item, const char* text) { jlload::setFittedText(control(item), text); }

void JLLoadSynthPanel::enableItem(int item, bool on) { jlload::enableControl(control(item), on); }

void JLLoadSynthPanel::showPicture(bool shown) {
  if (uloPanelControl* c = control(19)) c->setValue(0, shown ? reinterpret_cast<unsigned char*>(&picture) : nullptr);
}

std::string JLLoadSynthPanel::message(int number) const {
  const uloText t = jlIntl.message(int16_t(number));
  return t.c_str() ? t.c_str() : "";
}

uloPanelControl* JLLoadSynthPanel::newCustomControl(short kind) {
  if (uloPanelControl* c = jlload::newBrowserControl(kind)) return c;
  return QXPanelClass::newCustomControl(kind);
}

void JLLoadSynthPanel::onPanelOpened() {
  homeMode = 1;
  listFirst = current = 0;
  preview = 0;
  if (picture.allocate(uloDepthDirect16, jlload::kPictureSize, jlload::kPictureSize)) picture.fill(picture.bounds, 0);
  textList.load();
  for (int j = 0; j < kRows; j++) jlload::makeRow(control(kFirstRow + j));
  if (auto* t = dynamic_cast<panProTextControl*>(control(22))) t->justification = 0;
  if (uloPanelControl* c = control(20)) c->setValue(short(preview ? 0 : 1));
  ULO_StrCopy(folder, sizeof folder, kSynthLibrary);
  ULO_StrCopy(basePath, sizeof basePath, ":Library:");
}

void JLLoadSynthPanel::beforeShow() {
  onItem_home();
  QXScreen.modalPanel = screenIndex;
}

void JLLoadSynthPanel::afterHide() {
  if (QXScreen.modalPanel == screenIndex) QXScreen.modalPanel = -1;
}

void JLLoadSynthPanel::onItem_home() {
  disks.start();
  homeMode = 1;
  setText(21, "Home");
  ULO_StrCopy(basePath, sizeof basePath, ":Library:");
  ULO_StrCopy(folder, sizeof folder, kSynthLibrary);
  scanFolder();
}

void JLLoadSynthPanel::onItem_disk() {
  if (gep) gep->synth_Stop();
  char name[uloDisksList::kNameBytes];
  bool found = false;
  while (disks.next(name))
    if ((found = disks.ejectable())) break;
  if (!found) {
    // From the last disk NEXT DISK comes home; from home it found none.
    const bool none = homeMode;
    onItem_home();
    if (none) JL_Notify(jlload::kMsgNoDisk, jlNotifyOK);
    return;
  }
  homeMode = 0;
  char root[uloDisksList::kRootBytes], label[uloDisksList::kRootBytes];
  disks.get(root);
  // Without a volume label the mount's own name reads better than its path.
  disks.getExtended(label);
  ULO_StrCopy(diskName, sizeof diskName, std::strcmp(label, root) != 0 ? label : name);
  setText(21, diskName);
  jlload::fmt(basePath, sizeof basePath, "%sLibrary:", root);
  jlload::fmt(folder, sizeof folder, "%sSynth:", basePath);
  // The library's own layout first, then synths kept at the top of a disk.
  const char* const under[4] = {"Library:Synth:Synth44:", "Library:Synth:", "Synth:Synth44:", "Synth:"};
  for (int i = 0; i < 4; i++) {
    char p[kUloPathMax];
    jlload::fmt(p, sizeof p, "%s%s", root, under[i]);
    std::string real;
    if (!jlload::resolvePath(p, real)) continue;
    ULO_StrCopy(folder, sizeof folder, real.c_str());
    if (i >= 2) ULO_StrCopy(basePath, sizeof basePath, root);
    break;
  }
  scanFolder();
}

void JLLoadSynthPanel::scanFolder() {
  setText(22, "Loading list...");
  synthCount = 0;
  std::memset(marked, 0, sizeof marked);
  std::string real;
  if (jlload::resolvePath(folder, real)) {
    ULO_StrCopy(folder, sizeof folder, real.c_str());
    std::vector<std::string> found = jlload::listFolders(folder, kMaxSynths, sizeof names[0] - 1);
    // Listing order is the file system's; people look for names.
    std::sort(found.begin(), found.end());
    for (const std::string& n : found) ULO_StrCopy(names[synthCount++], sizeof names[0], n.c_str());
  }
  setText(22, "");
  current = listFirst = 0;
  refreshList();
  refreshInfo();
}

void JLLoadSynthPanel::refreshList() {
  for (int j = 0; j < kRows; j++) {
    uloPanelControl* c = control(kFirstRow + j);
    if (!c) continue;
    const int e = listFirst + j;
    c->setValue(uloMsgSelectPicture, short(e < synthCount && marked[e] ? 1 : 0));
    setText(kFirstRow + j, e < synthCount ? names[e] : "");
  }
  enableItem(7, listFirst > 0);
  enableItem(8, listFirst < synthCount - kRows);
  enableItem(1, !homeMode);
  enableItem(3, !homeMode && synthCount > 0);
  enableItem(4, !homeMode && disks.ejectable());
}

void JLLoadSynthPanel::refreshInfo() {
  if (homeMode) showPicture(synthCount > 0 && lookForSynthImage(names[current]));
  else showPicture(false);
  setText(22, synthCount == 0 ? "No synths in folder" : "");
}

bool JLLoadSynthPanel::lookForSynthImage(const char* synth) {
  if (!picture.bits || !synth || !synth[0]) return false;
  char path[kUloPathMax];
  // The synth lives in the listed folder; its picture and reference file
  // are looked for there.
  jlload::fmt(path, sizeof path, "%s%s:library.gif", folder, synth);
  if (jlload::fileToPicture(path, picture)) return true;
  jlload::fmt(path, sizeof path, "%s%s:library.ref", folder, synth);
  std::string ref;
  if (jlload::resolvePath(path, ref)) {
    char collection[128] = {};
    uloFile f;
    if (ULO_FileOpenReadOnly(ref.c_str(), &f)) {
      int32_t got = 0;
      ULO_FileRead(&f, collection, sizeof collection - 1, &got);
      collection[std::clamp<int32_t>(got, 0, int32_t(sizeof collection - 1))] = 0;
      // One line: the collection's name.
      collection[std::strcspn(collection, "\r\n")] = 0;
    }
    if (collection[0]) {
      char cast[160];
      jlload::fmt(cast, sizeof cast, "Lim_%s", collection);
      if (jlload::castToPicture(cast, picture)) return true;
      const std::string named = textList.pictureFor(collection);
      if (!named.empty() && jlload::castToPicture(named.c_str(), picture)) return true;
      jlload::fmt(path, sizeof path, "%slibrary.gif", folder);
      if (jlload::fileToPicture(path, picture)) return true;
      jlload::fmt(path, sizeof path, "%slibrary.gif", basePath);
      if (jlload::fileToPicture(path, picture)) return true;
    }
  }
  return jlload::castToPicture("Lim_unknown", picture);
}

void JLLoadSynthPanel::onItem_list(int row, bool shift) {
  const int e = listFirst + row;
  if (row < 0 || row >= kRows || e >= synthCount) return;
  if (!shift) std::memset(marked, 0, sizeof marked);
  current = int16_t(e);
  marked[e] = 1;
  if (preview) {
    if (jlPlayer) jlPlayer->play();
    if (gep) {
      gep->synth_Stop();
      char path[kUloPathMax];
      jlload::fmt(path, sizeof path, "%s%s:", folder, names[e]);
      gep->synth_SetFolder(path);
      gep->synth_Arp(0, 4, kPreviewArp);
      previewed = 1;
    }
  }
  refreshList();
  refreshInfo();
}

// A synth set installed with the program is a link into the read-only
// system library: kept, and reported like any set that could not go.
bool JLLoadSynthPanel::deleteSynth(const char* path) {
  char sys[kUloPathMax];
  if (ULO_UloPathToSystemPath(path, sys, sizeof sys) && JL_IsSystemLibraryEntry(sys)) return false;
  return jlload::deleteFolder(path);
}

bool JLLoadSynthPanel::copyToHD() {
  if (homeMode || current < 0 || current >= synthCount) return false;
  const char* name = names[current];
  char source[kUloPathMax], target[kUloPathMax];
  jlload::fmt(source, sizeof source, "%s%s:", folder, name);
  jlload::fmt(target, sizeof target, "%s%s:", kSynthLibrary, name);
  if (ULO_FileExists(target)) {
    if (JL_Notify(28, 1) != 1) return false;
    QXScreen.update(QXScreen.screenRect);
    setText(22, message(29).c_str());
    // The engine may be playing from the old copy.
    if (gep) gep->synth_Stop();
  }
  const std::string copying = message(30);
  auto progress = [&](const char* file) { setText(22, jlload::formatOne(copying.c_str(), file).c_str()); };
  auto copyOne = [](const char* src, const char* dst) { return ULO_FileCopy(src, dst); };
  // A set copied from a disk remembers the disk's name as its collection.
  auto complete = [&](const char* temp, std::string* why) {
    char ref[kUloPathMax];
    jlload::fmt(ref, sizeof ref, "%slibrary.ref", temp);
    if (ULO_FileExists(ref)) return true;
    uloFile f;
    if (ULO_FileCreateAndOpen(ref, &f) && ULO_FileWrite(&f, diskName, int32_t(std::strlen(diskName))) && f.close())
      return true;
    *why = "The file library.ref could not be written.";
    return false;
  };
  auto ownFile = [](const std::string& rel) { return rel == "library.ref" || rel == "library.gif"; };
  const jlload::CopyOutcome done =
      jlload::copyIntoLibrary(source, kSynthLibrary, name, "synth sound", copyOne, progress, complete, ownFile);
  if (!jlload::copySucceeded(done, control(22))) return false;
  setText(22, message(39).c_str());
  return true;
}

bool JLLoadSynthPanel::copyListToHD() {
  if (homeMode) return false;
  bool ok = true;
  for (int i = 0; i < synthCount; i++) {
    if (!marked[i]) continue;
    current = int16_t(i);
    refreshList();
    if (!copyToHD()) {
      ok = false;
      break;
    }
    marked[i] = 0;
  }
  if (current >= 0 && current < synthCount) marked[current] = 1;
  refreshList();
  return ok;
}

bool JLLoadSynthPanel::deleteMarked() {
  if (!homeMode || current < 0 || current >= synthCount) return false;
  if (JL_Notify(27, 1) != 1) return false;
  QXScreen.update(QXScreen.screenRect);
  if (gep) gep->synth_Stop();
  bool ok = true;
  for (int i = 0; i < synthCount; i++) {
    if (!marked[i]) continue;
    char path[kUloPathMax];
    jlload::fmt(path, sizeof path, "%s%s:", kSynthLibrary, names[i]);
    ok = deleteSynth(path) && ok;
  }
  onItem_home();
  if (!ok) ULO_UserNotify("Some synth sounds could not be deleted (those installed with Jamloom are kept).", 0);
  return ok;
}

void JLLoadSynthPanel::close(bool takeChosen) {
  // The sound last clicked, when the library holds it (a disk's sound once
  // it has been copied).
  char chosen[sizeof names[0]] = {};
  if (takeChosen && current >= 0 && current < synthCount && marked[current])
    ULO_StrCopy(chosen, sizeof chosen, names[current]);
  QXScreen.hide(screenIndex);
  if (gep) gep->synth_Stop();
  if (auto* synth = dynamic_cast<JLSynthPanel*>(QXScreen.panelAt(2))) {
    synth->loadSynthsList();
    const bool took = chosen[0] && synth->chooseSynth(chosen);
    // A preview left its own sound in the engine.
    if (!took && previewed) synth->reloadSynth();
    else if (!took) synth->synth_activate();
  }
  previewed = 0;
}

bool JLLoadSynthPanel::closeOnEscape() {
  close(false);
  return true;
}

void JLLoadSynthPanel::onKey() {
  if (uloGlo.what != uloEvtKeyDown) return;
  if (uloGlo.keyCode == 8) deleteMarked();
}

void JLLoadSynthPanel::onItem() {
  if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
  const int item = currentItem;
  if (item >= kFirstRow && item < kFirstRow + kRows) {
    onItem_list(item - kFirstRow, uloGlo.shift != 0);
    return;
  }
  switch (item) {
    case 1: onItem_home(); break;
    case 2: onItem_disk(); break;
    case 3: copyListToHD(); break;
    case 4:
      if (!homeMode && disks.ejectable()) {
        disks.eject();
        onItem_disk();
      }
      break;
    case 5: close(false); break;
    case 6: close(true); break;
    case 7:
    case 8:
      listFirst = int16_t(std::clamp(listFirst + (item == 7 ? -1 : 1), 0, std::max(0, synthCount - kRows)));
      refreshList();
      break;
    case 20:
      preview = control(20) && control(20)->get() == 0 ? 1 : 0;
      if (gep) gep->synth_Stop();
      break;
    default: break;
  }
}
