// Help texts are read from a file beside the program: any bytes must parse
// without reading or writing outside the elements, and painting the parsed
// balloons must stay inside the update buffer.
#include <cstddef>
#include <cstdint>

#include "framework/panel/JLHelps.h"
#include "framework/screen/QXScreen.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static JLHelps* helps = [] {
    QXScreen.setup(640, 480);
    return new JLHelps(true);
  }();
  helps->loadTexts(reinterpret_cast<const char*>(data), int32_t(size));
  jlHelpp = helps;
  helps->active = 1;
  for (int16_t e = 0; e < helps->count && e < 8; e++) {
    helps->current = e;
    QXScreen.update(uloRect(0, 0, 640, 480));
  }
  helps->active = 0;
  jlHelpp = nullptr;
  return 0;
}
