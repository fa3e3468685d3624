#include "screens/JLRenderToFile.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/platform/uloSoundConvert.h"
#include "framework/platform/uloMessageBox.h"
#include "framework/platform/uloSys.h"
#include "framework/prefs/JLprefs.h"
#include "framework/res/uloSwap.h"
#include "screens/JLProgressPanel.h"
#include "song/JLPlayer.h"

namespace jlrender {

namespace {
// About one frame of the window between two looks at the job.
constexpr int kPollMs = 16;
}  // namespace

ExportKind exportKind(int32_t code) {
  int format = 0;
  const char* extension = nullptr;
  // The program's own, or a format libsndfile cannot write here: WAV.
  if (!uloQt_soundConvert_fileFormat(code, &format, &extension)) return {"wav", 0};
  return {extension, format};
}

std::string withExportExtension(const char* systemPath, const ExportKind& kind) {
  std::string out = systemPath ? systemPath : "";
  const size_t slash = out.rfind('/');
  const size_t dot = out.rfind('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string want = std::string(".") + kind.extension;
  if (hasExt) {
    std::string ext = out.substr(dot);
    for (char& c : ext) c = char(tolower((unsigned char)c));
    if (ext == want) return out;
    out.erase(dot);
  }
  return out + want;
}

ExportKind exportKindForName(const char* systemPath, int32_t prefsCode) {
  const ExportKind preferred = exportKind(prefsCode);
  const std::string path = systemPath ? systemPath : "";
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return preferred;
  std::string typed = path.substr(dot + 1);
  for (char& c : typed) c = char(tolower((unsigned char)c));
  if (typed == "aif") typed = "aiff";
  if (typed == preferred.extension) return preferred;
  for (int i = 0; i < uloQt_soundConvert_formatCount(); i++) {
    int32_t code = 0;
    char name[64];
    if (!uloQt_soundConvert_getFormat(i, &code, name, sizeof name)) continue;
    const ExportKind k = exportKind(code);
    if (typed == k.extension) return k;
  }
  return preferred;
}

Export prepareExport(const char* systemPath) {
  const ExportKind kind = exportKindForName(systemPath, jlPrefs.outputType);
  Export e;
  e.path = withExportExtension(systemPath, kind);
  e.options.majorFormat = kind.major;
  e.options.volume = int16_t(std::clamp(jlPlayer ? int(jlPlayer->mainVolume) : int(kJLDefaultMasterVolume), 0, 128));
  return e;
}

bool mayWriteExport(const Export& e, const char* chosenPath) {
  if (chosenPath && e.path == chosenPath) return true;
  struct stat st;
  if (lstat(e.path.c_str(), &st) != 0) return true;
  const size_t slash = e.path.rfind('/');
  const std::string name = slash == std::string::npos ? e.path : e.path.substr(slash + 1);
  char text[512];
  snprintf(text, sizeof text, "The file \"%s\" already exists. Replace it?", name.c_str());
  return ULO_UserNotifyUtf8(text, 1) == 1;
}

bool runWithProgress(JLDiskMixJob& job, const char* title, JLDiskMixReport& report,
                     const std::function<void()>& eachLook) {
  JLProgressPanel* panel = JL_ProgressPanel();
  char text[96];
  int shown = -1;
  if (panel) {
    snprintf(text, sizeof text, "%s: 0%%", title);
    panel->begin(text, true);
    shown = 0;
  }
  while (!job.waitFinished(kPollMs)) {
    if (eachLook) eachLook();
    if (!panel) continue;
    const float done = job.fraction();
    const int percent = int(std::lround(done * 100.0f));
    if (percent != shown) {
      snprintf(text, sizeof text, "%s: %d%%", title, percent);
      panel->message(text);
      shown = percent;
    }
    if (!panel->set(done)) job.stop();
  }
  const bool ok = job.finish(report);
  if (panel) {
    if (ok) {
      snprintf(text, sizeof text, "%s: 100%%", title);
      panel->message(text);
      panel->end();
    } else {
      panel->hide();
    }
  }
  return ok;
}

bool tellResult(bool ok, const char* title, const std::string& path, const JLDiskMixReport& report) {
  char text[600];
  if (ok) {
    // Good news, not a warning: an information box.
    snprintf(text, sizeof text, "%s written: %.500s", title, path.c_str());
    ULO_MessageBox("Jamloom", ULO_Latin1OfUtf8(text).c_str(), 0, false);
  } else if (strcmp(report.error, "stopped") != 0) {
    snprintf(text, sizeof text, "%s failed: %s", title, report.error);
    ULO_UserNotifyUtf8(text, 0);
  }
  return ok;
}

bool runAndTell(JLDiskMixJob& job, const char* title, const std::string& path) {
  JLDiskMixReport report;
  const bool ok = runWithProgress(job, title, report);
  return tellResult(ok, title, path, report);
}

}  // namespace jlrender
