#include <gtest/gtest.h>

#include "framework/platform/uloSys.h"

namespace {
// No test may block on a message box: answer with each kind's default button.
int16_t answerDefault(const char*, const char*, int16_t buttons) {
  return buttons <= 0 ? 1 : buttons == 1 ? 2 : 3;
}
}  // namespace

int main(int argc, char** argv) {
  ULO_SetMessageBoxHook(answerDefault);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
