#include "song/uloAtomsFiles.h"

#include <cstring>

#include "core/files/uloPathNames.h"
#include "core/sys/jlDesktopIntegration.h"
#include "framework/res/uloSwap.h"

bool uloAtomsFile::openForRead(const char* path) {
  close();
  swapped = 0;
  broken_ = false;
  if (!ULO_FileOpenReadOnly(path, &file)) return false;
  uint8_t head[4];
  if (!ULO_FileRead(&file, head, 4)) {
    close();
    return false;
  }
  uint32_t magic = ULO_GetLEU32(head);
  if (magic == kUloAtomsMagic) return true;
  if (ULO_ByteSwap32(magic) == kUloAtomsMagic) {
    swapped = 1;
    return true;
  }
  close();
  return false;
}

bool uloAtomsFile::read(uint32_t tag, int32_t size, void* buffer) {
  if (!file.handle || broken_ || size < 0 || (!buffer && size > 0)) return false;
  uint8_t head[8];
  if (!ULO_FileRead(&file, head, 8)) {
    broken_ = true;
    return false;
  }
  uint32_t atomTag = swapped ? ULO_GetBEU32(head) : ULO_GetLEU32(head);
  int32_t length = swapped ? ULO_GetBE32(head + 4) : ULO_GetLE32(head + 4);
  // A negative length would move backwards and could loop for ever.
  if (length < 0) {
    broken_ = true;
    return false;
  }
  if (atomTag != tag) {
    if (!ULO_FileSeekCurPos(&file, length)) broken_ = true;
    return false;
  }
  bool ok;
  if (length >= size) {
    ok = ULO_FileRead(&file, buffer, size);
    if (ok && length > size && !ULO_FileSeekCurPos(&file, length - size)) broken_ = true;
  } else {
    if (zeroFill) memset(buffer, 0, (size_t)size);
    ok = ULO_FileRead(&file, buffer, length);
  }
  if (!ok) broken_ = true;
  return ok;
}

bool uloAtomsFile::read(uint32_t tag, int32_t* value) {
  uint8_t raw[4];
  if (!value || !read(tag, 4, raw)) return false;
  // Taken in the file's byte order, then brought to the host's.
  *value = swapped ? ULO_GetBE32(raw) : ULO_GetLE32(raw);
  return true;
}

void uloAtomsFile::close() {
  if (file.handle) ULO_FileClose(&file);
  file.handle = 0;
}

uloAtomsWriter::uloAtomsWriter() {
  uint8_t head[4];
  ULO_PutLE32(head, kUloAtomsMagic);
  bytes_.assign(reinterpret_cast<const char*>(head), 4);
}

void uloAtomsWriter::add(uint32_t tag, const void* data, int32_t size) {
  if (size < 0) size = 0;
  uint8_t head[8];
  ULO_PutLE32(head, tag);
  ULO_PutLE32(head + 4, size);
  bytes_.append(reinterpret_cast<const char*>(head), 8);
  if (size) bytes_.append(static_cast<const char*>(data), (size_t)size);
}

void uloAtomsWriter::add(uint32_t tag, int32_t value) {
  uint8_t raw[4];
  ULO_PutLE32(raw, value);
  add(tag, raw, 4);
}

bool uloAtomsWriter::save(const char* path) const {
  char sys[4096];
  if (!path || !ULO_UloPathToSystemPath(path, sys, sizeof sys) || !sys[0]) return false;
  std::string target(sys);
  // The atomic writer wants a folder part; a bare name is in the current one.
  if (target.find('/') == std::string::npos) target = "./" + target;
  return JL_WriteFileAtomically(target, bytes_);
}
