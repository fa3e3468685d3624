#include "core/files/uloPathNames.h"

#include <cstring>

void ULO_StrCopy(char* dst, size_t dstSize, const char* src) {
  if (!dst || dstSize == 0) return;
  if (!src) src = "";
  size_t n = strnlen(src, dstSize - 1);
  memmove(dst, src, n);
  dst[n] = 0;
}

namespace {

// Appends one character; false when it no longer fits.
bool put(char* out, size_t outSize, size_t& n, char c) {
  if (n + 1 >= outSize) return false;
  out[n++] = c;
  return true;
}

}  // namespace

bool ULO_UloPathToSystemPath(const char* in, char* out, size_t outSize) {
  if (!out || outSize == 0) return false;
  out[0] = 0;
  if (!in) return true;
  size_t n = 0;
  const char* p = in;
  if (p[0] == ':') {
    ++p;
  } else if (p[0] == '/' && p[1] == ':') {
    // The root "drive": "/:a:b" is "/a/b".
    if (!put(out, outSize, n, '/')) return out[0] = 0, false;
    p += 2;
  }
  for (; *p; ++p) {
    if (!put(out, outSize, n, *p == ':' ? '/' : *p)) return out[0] = 0, false;
  }
  out[n] = 0;
  return true;
}

bool ULO_SystemPathToUloPath(const char* in, char* out, size_t outSize) {
  if (!out || outSize == 0) return false;
  out[0] = 0;
  if (!in || !*in) return true;
  if (strchr(in, ':')) return false;
  size_t n = 0;
  const char* p = in;
  bool ok = true;
  if (*p == '/') {
    ok = put(out, outSize, n, '/') && put(out, outSize, n, ':');
    ++p;
  } else {
    ok = put(out, outSize, n, ':');
  }
  for (; ok && *p; ++p) ok = put(out, outSize, n, *p == '/' ? ':' : *p);
  if (!ok) {
    out[0] = 0;
    return false;
  }
  out[n] = 0;
  return true;
}

void ULO_FileNameFromPath(const char* path, char* out, size_t outSize) {
  if (!path) path = "";
  const char* c = strrchr(path, ':');
  ULO_StrCopy(out, outSize, c ? c + 1 : path);
}

void ULO_File_StripFileName(char* path) {
  if (!path) return;
  char* c = strrchr(path, ':');
  if (c)
    c[1] = 0;
  else
    path[0] = 0;
}

namespace {

// The ':' before the last one, or null.
const char* earlierSeparator(const char* path, const char* last) {
  for (const char* q = last; q > path;) {
    --q;
    if (*q == ':') return q;
  }
  return nullptr;
}

}  // namespace

bool ULO_File_GoParent(char* path) {
  if (!path) return false;
  char* last = strrchr(path, ':');
  if (!last) return false;
  const char* earlier = earlierSeparator(path, last);
  if (!earlier || earlier == path) {
    path[0] = 0;
    return true;
  }
  path[earlier - path + 1] = 0;
  return true;
}

bool ULO_File_GetParentName(const char* path, char* out, size_t outSize) {
  if (out && outSize) out[0] = 0;
  if (!path) return false;
  const char* last = strrchr(path, ':');
  if (!last) return false;
  const char* earlier = earlierSeparator(path, last);
  if (!earlier || earlier == path) return true;
  size_t len = (size_t)(last - earlier - 1);
  if (out && outSize) {
    if (len >= outSize) len = outSize - 1;
    memcpy(out, earlier + 1, len);
    out[len] = 0;
  }
  return true;
}

bool ULO_File_IsKind(const char* name, const char* ext) {
  if (!name || !ext) return false;
  const char* dot = strrchr(name, '.');
  if (!dot) return false;
  const char* a = dot + 1;
  const char* b = ext;
  for (; *a && *b; ++a, ++b) {
    char lower = *b;
    char upper = (lower >= 'a' && lower <= 'z') ? (char)(lower - 32) : lower;
    if (*a != lower && *a != upper) return false;
  }
  return *a == 0 && *b == 0;
}

void ULO_File_CopyPath(const char* source, char* target, size_t targetSize) {
  ULO_StrCopy(target, targetSize, source);
}

void ULO_File_AddToPath(char* path, size_t pathSize, const char* text) {
  if (!path || pathSize == 0 || !text) return;
  size_t n = strnlen(path, pathSize - 1);
  ULO_StrCopy(path + n, pathSize - n, text);
}
