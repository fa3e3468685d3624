// Composing the whole 640 x 480 screen with a full panel of skin controls
// (background, buttons, checks, radios, knobs, sliders, meters, pop-ups,
// texts), as after a show or an update event.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "core/files/uloPathNames.h"

#include "framework/panel/QXPanel.h"
#include "framework/platform/uloSys.h"
#include "framework/screen/QXScreen.h"
#include "tests/framework/panelFixtures.h"

namespace {

struct FullPanel {
  std::string path;
  UloResFile res;
  UloCasts casts;
  QXPanelClass panel;
  FullPanel() {
    char name[] = "/tmp/jl-bench-screen-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    remove(name);
    path = std::string(name);
    // 50 controls: the demonstration items repeated over the panel.
    std::vector<skinfix::Item> items = skinfix::demoItems();
    items[0].width = 640;
    items[0].height = 480;
    const std::vector<skinfix::Item> demo = skinfix::demoItems();
    for (int row = 1; items.size() < 50; row++)
      for (size_t k = 1; k < demo.size() && items.size() < 50; k++) {
        skinfix::Item it = demo[k];
        it.x = int16_t(it.x + 200 * (row % 3));
        it.y = int16_t(it.y + 30 * row);
        items.push_back(it);
      }
    char ulo[kUloPathMax];
    ULO_SystemPathToUloPath(path.c_str(), ulo, sizeof ulo);
    skinfix::SkinWriter w(ulo);
    skinfix::writeDemoCasts(w);
    w.layout(1, skinfix::layoutOf(items));
    w.close();
    res.SetWorkName(ulo);
    res.readOnly = 1;
    res.Open();
    casts.resFile = &res;
    casts.ParseResources();
    QXFont.setup(&casts, skinfix::kCastFont);
    uloGlo.windowWidth = 640;
    uloGlo.windowHeight = 480;
    QXScreen.setup(640, 480);
    panel.attachLayouts(1, -1, -1, &casts, uloRect(0, 0, 640, 480));
    QXScreen.connect(&panel, 0, 0);
    for (int16_t i = 0; i < panel.controlsCount; i++) {
      uloPanelControl* c = panel.control(i);
      if (c->kind == 230) c->set(short(37 + i));
      if (c->kind == 38) c->setString("Level 42");
      if (c->kind == 70) {
        char e[] = "Bass 1";
        c->setValue(short(0), e);
      }
    }
  }
  ~FullPanel() {
    QXScreen.disconnect(0);
    remove(path.c_str());
  }
};

void BM_ComposeFullScreen(benchmark::State& state) {
  static FullPanel fixture;
  state.counters["controls"] = fixture.panel.controlsCount;
  for (auto _ : state) QXScreen.update(uloRect(0, 0, 640, 480));
}
BENCHMARK(BM_ComposeFullScreen)->Unit(benchmark::kMicrosecond);

}  // namespace
