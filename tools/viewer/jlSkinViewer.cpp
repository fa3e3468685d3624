// jl-skin-viewer: shows one layout of a skin container on a panel in a real
// window, with the screen, the controls, pop-ups and F1 help working, and
// prints every item the panel reports. Without a container of your own,
// --demo writes a small generated skin first and shows that.
//
//   jl-skin-viewer CONTAINER [LAYOUT_ID [HELPS_TXT]]
//   jl-skin-viewer --demo [FOLDER]
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "core/files/uloPath.h"
#include "framework/panel/JLHelps.h"
#include "framework/panel/QXPanel.h"
#include "framework/panel/QXpopup.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "tests/framework/panelFixtures.h"

namespace {

std::string gContainer, gHelps;
int32_t gLayout = 1;
UloResFile gRes;

// Reports what the user does; animates meters so that they show.
class ViewerPanel : public QXPanelClass {
 public:
  void onItem() override {
    uloPanelControl* c = control(currentItem);
    if (!c) return;
    char text[256] = "";
    c->getValue(text);
    printf("item %d kind %d value %d%s%s%s\n", currentItem, c->kind, c->get(), text[0] ? " text " : "", text,
           realTime ? " (live)" : "");
    fflush(stdout);
    if (jlHelpp) jlHelpp->hit(screenIndex, currentItem);
  }
  void onIdle() override {
    if (!ULO_EveTimeoutRepeated(nextTick, 3)) return;
    phase++;
    for (int16_t i = 0; i < controlsCount; i++) {
      uloPanelControl* c = controls[i];
      if (c->kind == 230) c->set(short(50 + 45 * std::sin(phase * 0.15 + i)));
      if (c->kind == 232) c->set(short(phase % 101));
      if (c->wantsIdle) c->idle();
    }
  }
  int32_t nextTick = 0;
  int phase = 0;
};

ViewerPanel* gPanel = nullptr;

std::string toUlo(const std::string& sys) {
  std::string abs = sys;
  if (!abs.empty() && abs[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) abs = std::string(cwd) + "/" + sys;
  }
  char ulo[kUloPathMax];
  return ULO_SystemPathToUloPath(abs.c_str(), ulo, sizeof ulo) ? std::string(ulo) : std::string();
}

bool writeDemo(const std::string& folder) {
  mkdir(folder.c_str(), 0755);
  gContainer = folder + "/demo.xrs";
  gHelps = folder + "/Helps.txt";
  std::ofstream(gHelps, std::ios::binary) << skinfix::demoHelps();
  gLayout = 1;
  unlink(gContainer.c_str());  // a container is created anew, never reused
  return skinfix::writeDemoSkin(toUlo(gContainer));
}

}  // namespace

int QX_InitAll() {
  gRes.SetWorkName(toUlo(gContainer).c_str());
  gRes.readOnly = 1;
  if (!gRes.Open()) {
    fprintf(stderr, "jl-skin-viewer: cannot open %s\n", gContainer.c_str());
    uloGlo.running = 0;
    return 0;
  }
  QXCasts.resFile = &gRes;
  QXCasts.ParseResources();
  QXFont.setup(&QXCasts, 500);
  QXFont.colorize(256, 256, 0);
  uloGlo.windowWidth = 640;
  uloGlo.windowHeight = 480;
  QXScreen.setup();
  jlHelpp = new JLHelps(true);
  const std::string helps = gHelps.empty() ? std::string() : toUlo(gHelps);
  jlHelpp->init(&QXCasts, helps.empty() ? ":Helps.txt" : helps.c_str(), ":JLHelps.xrs");
  gPanel = new ViewerPanel;
  gPanel->attachLayouts(gLayout, -1, -1, &QXCasts, uloRect(0, 0, 640, 480));
  printf("layout %d: %d controls\n", gLayout, gPanel->controlsCount);
  for (int16_t i = 0; i < gPanel->controlsCount; i++) {
    if (auto* pop = dynamic_cast<QXpopupControl*>(gPanel->control(i))) {
      for (short e = 0; e < 40; e++) {
        char name[32];
        snprintf(name, sizeof name, e == 5 ? "-" : "Entry %d", e + 1);
        pop->setValue(e, name);
      }
      pop->set(3);
    }
  }
  QXScreen.connect(gPanel, 0, 0);
  QXScreen.setProps(0, 0, 0, false, 0);
  QXScreen.openWindow();
  QXScreen.windowOpen = true;
  QXScreen.update(QXScreen.updateBuffer.bounds);
  fflush(stdout);
  return 1;
}

void QX_ExitAll() {
  delete gPanel;
  gPanel = nullptr;
  delete jlHelpp;
  jlHelpp = nullptr;
  QXCasts.UnloadResources();
  QXScreen.closeWindow();
  gRes.Close();
}

int main(int argc, char** argv) {
  if (argc >= 2 && strcmp(argv[1], "--demo") == 0) {
    if (!writeDemo(argc >= 3 ? argv[2] : "/tmp/jl-skin-viewer-demo")) {
      fprintf(stderr, "jl-skin-viewer: cannot write the demonstration skin\n");
      return 1;
    }
  } else if (argc >= 2) {
    gContainer = argv[1];
    if (argc >= 3) gLayout = atoi(argv[2]);
    if (argc >= 4) gHelps = argv[3];
  } else {
    fprintf(stderr, "usage: jl-skin-viewer CONTAINER [LAYOUT_ID [HELPS_TXT]] | --demo [FOLDER]\n");
    return 2;
  }
  if (!getcwd(uloLaunchFolder, sizeof uloLaunchFolder)) uloLaunchFolder[0] = 0;
  if (!ULO_Platform_Init()) return 1;
  ULO_Init();
  ULO_Main2();
  ULO_Exit();
  return ULO_Platform_Exit();
}
