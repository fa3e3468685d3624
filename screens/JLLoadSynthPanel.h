// JLLoadSynthPanel: the synth browser (screen entry 7, opened from the
// synth panel). It lists the synth folders of the library (Home) or of a
// removable disk, previews a synth with a fixed arpeggio, copies the marked
// synths (Shift-click marks several) from a disk into the library and
// deletes marked synths from the library. Closing makes the synth panel
// read the library's synths again; DONE also makes the sound last clicked
// the synth's sound.
//
// User-interface thread only. A copy that fails part-way removes the
// half-copied synth and stops; a refusal to replace a synth stops a
// multi-copy at that synth. Results are false then, never exceptions.
#pragma once
#include <cstdint>
#include <string>

#include "core/drives/uloDisksList.h"
#include "core/files/uloPathNames.h"
#include "framework/offmap/uloOffmap.h"
#include "framework/panel/QXPanel.h"
#include "screens/loadCommon.h"

class JLLoadSynthPanel : public QXPanelClass {
 public:
  static constexpr int kMaxSynths = 256;
  static constexpr int kRows = 9;
  // The preview: an up arpeggio, four steps a beat.
  static constexpr const char* kPreviewArp = "c1e1g1a#2c2e2g2a#3c3e3g3a#4";

  JLLoadSynthPanel();
  ~JLLoadSynthPanel() override;

  uloPanelControl* newCustomControl(short kind) override;
  void onPanelOpened() override;
  void beforeShow() override;
  void afterHide() override;
  void onItem() override;
  void onKey() override;
  // Escape is the X: back to the synth panel, which keeps its sound.
  bool closeOnEscape() override;

  void onItem_home();
  void onItem_disk();
  void onItem_list(int row, bool shift);
  void scanFolder();
  void refreshList();
  void refreshInfo();
  bool copyListToHD();
  bool copyToHD();
  bool deleteSynth(const char* path);
  bool deleteMarked();
  bool lookForSynthImage(const char* synth);
  // Back to the synth panel. With takeChosen (DONE) the sound last clicked
  // becomes the synth's sound when the library holds it; otherwise (X) the
  // synth keeps its sound.
  void close(bool takeChosen);

  char names[kMaxSynths][256];
  uint8_t marked[kMaxSynths] = {};
  int16_t synthCount = 0;
  uloDisksList disks;
  uloOffmap picture;
  int16_t listFirst = 0;
  int16_t current = 0;
  char folder[kUloPathMax] = {};
  char basePath[kUloPathMax] = {};
  uint8_t homeMode = 1;
  uint8_t preview = 0;
  // A preview loaded another sound into the engine since the panel opened.
  uint8_t previewed = 0;
  // The name the disk view shows (its label, else its mount's name).
  char diskName[uloDisksList::kNameBytes] = {};
  jlload::TextList textList;

 private:
  void setText(int item, const char* text);
  void enableItem(int item, bool on);
  void showPicture(bool shown);
  std::string message(int number) const;
};
