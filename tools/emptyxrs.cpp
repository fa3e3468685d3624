// Writes an empty resource container: the program folder's skin until the
// generated one replaces it.
#include <cstdio>

#include "core/files/uloPathNames.h"
#include "framework/res/uloRes.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s OUT.xrs\n", argv[0]);
    return 2;
  }
  char ulo[kUloPathMax];
  if (!ULO_SystemPathToUloPath(argv[1], ulo, sizeof ulo)) {
    fprintf(stderr, "cannot name %s\n", argv[1]);
    return 1;
  }
  UloResFile res;
  res.SetWorkName(ulo);
  if (!res.Create() || !res.Close()) {
    fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
