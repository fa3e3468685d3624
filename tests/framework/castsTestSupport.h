// Shared by the skin-resource tests: containers built item by item in a
// temporary folder, cast headers in their stored form, and a message box
// recorder.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/casts/uloCasts.h"
#include "framework/platform/uloSys.h"
#include "framework/res/uloRes.h"
#include "support/tempFolder.h"

namespace skintest {

inline std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s += char(b);
  return s;
}

// A container that is written through the program's own container code and
// then reopened read-only, as the skin is at start-up.
struct Container {
  TempFolder dir;
  std::string path = dir.ulo() + "skin.xrs";
  UloResFile res;

  Container() {
    res.SetWorkName(path.c_str());
    EXPECT_TRUE(res.Create());
  }
  void put(const char (&type)[5], int32_t id, const std::string& data) {
    ASSERT_TRUE(res.SaveData(data.data(), int32_t(data.size()), ULO_FourCC(type), id));
  }
  void reopen() {
    ASSERT_TRUE(res.Close());
    res.readOnly = 1;
    ASSERT_TRUE(res.Open());
  }
};

inline std::string castHeader(int width, int height, std::initializer_list<int> rowBytes) {
  castHeaderRec h;
  h.width = int16_t(width);
  h.height = int16_t(height);
  int d = 0;
  for (int rb : rowBytes) h.depths[d++].rowBytes = int16_t(rb);
  std::string s(kCastHeaderSize, '\0');
  ULO_CastHeaderToBytes(h, reinterpret_cast<uint8_t*>(&s[0]));
  return s;
}

// Records every message box and answers with a chosen button (or each
// kind's default); restores default answers when it goes.
struct MessageLog {
  struct Box {
    std::string title, text;
    int16_t buttons;
  };
  static std::vector<Box>& boxes() {
    static std::vector<Box> b;
    return b;
  }
  static int16_t& answer() {
    static int16_t a = 0;
    return a;
  }
  static int16_t defaultAnswer(int16_t buttons) { return buttons <= 0 ? 1 : buttons == 1 ? 2 : 3; }
  static int16_t record(const char* title, const char* text, int16_t buttons) {
    boxes().push_back({title ? title : "", text ? text : "", buttons});
    return answer() ? answer() : defaultAnswer(buttons);
  }
  static int16_t quiet(const char*, const char*, int16_t buttons) { return defaultAnswer(buttons); }

  MessageLog() {
    boxes().clear();
    answer() = 0;
    ULO_SetMessageBoxHook(record);
  }
  ~MessageLog() { ULO_SetMessageBoxHook(quiet); }
  bool saw(const std::string& text) const {
    for (const Box& b : boxes())
      if (b.text == text) return true;
    return false;
  }
};

}  // namespace skintest
