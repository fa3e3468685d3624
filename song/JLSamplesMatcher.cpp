#include "song/JLSamplesMatcher.h"

#include <cstring>

#include "core/files/uloFiles.h"
#include "core/files/uloPathNames.h"

void jlSamplesMatcher::readNames() {
  count = 0;
  if (!start()) return;
  while (next()) {
    if (count >= kMaxNames) {
      ULO_EndFolderScan();
      break;
    }
    ULO_StrCopy(names[count], kNameSize, name);
    ++count;
  }
}

bool jlSamplesMatcher::findSample(char* name, size_t nameSize) const {
  if (!name || nameSize == 0) return false;
  for (int i = 0; i < count; ++i) {
    if (!similar(name, names[i])) continue;
    if (strlen(names[i]) >= nameSize) continue;
    ULO_StrCopy(name, nameSize, names[i]);
    return true;
  }
  return false;
}

bool jlSamplesMatcher::similar(const char* a, const char* b) {
  if (!a || !b) return false;
  for (; *a && *b; ++a, ++b) {
    if (*a == '.' && *b == '.') return true;
    char x = *a, y = *b;
    if (x >= 'A' && x <= 'Z') x = (char)(x + 32);
    if (y >= 'A' && y <= 'Z') y = (char)(y + 32);
    if (x != y) return false;
  }
  return *a == 0 && (*b == 0 || *b == '.');
}
