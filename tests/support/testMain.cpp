#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "framework/platform/uloSys.h"

namespace {
// No test may block on a message box: answer with each kind's default button.
int16_t answerDefault(const char*, const char*, int16_t buttons) {
  return buttons <= 0 ? 1 : buttons == 1 ? 2 : 3;
}

// Every test program runs the same whoever starts it: with SDL's drivers that
// need no display or sound card, and a home and XDG folders of its own (the
// program writes its desktop entry and settings there), whatever the caller's
// environment holds.
class Hermetic : public ::testing::Environment {
 public:
  void SetUp() override {
    char folder[] = "/tmp/jltest-home.XXXXXX";
    if (mkdtemp(folder)) home_ = folder;
    const std::string h = home_.empty() ? std::string("/nonexistent") : home_;
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("HOME", h.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (h + "/config").c_str(), 1);
    setenv("XDG_DATA_HOME", (h + "/data").c_str(), 1);
    setenv("XDG_CACHE_HOME", (h + "/cache").c_str(), 1);
    setenv("XDG_STATE_HOME", (h + "/state").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", h.c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("XDG_DATA_DIRS");
    unsetenv("XDG_CONFIG_DIRS");
  }
  void TearDown() override {
    std::error_code ignored;
    if (!home_.empty()) std::filesystem::remove_all(home_, ignored);
  }

 private:
  std::string home_;
};
}  // namespace

int main(int argc, char** argv) {
  ::testing::AddGlobalTestEnvironment(new Hermetic);
  ULO_SetMessageBoxHook(answerDefault);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
