#include "framework/text/uloTextFile.h"

#include "core/files/uloFiles.h"
#include "core/files/uloPath.h"
#include "framework/platform/uloSys.h"
#include "framework/res/uloRes.h"

bool uloTextFile::load(const char* path) {
  if (!path) return false;
  uloFile f;
  if (!ULO_FileOpenReadOnly(path, &f)) return false;
  const int32_t size = ULO_FileGetLength(&f);
  if (size < 0 || size == INT32_MAX) return false;
  // Read into a block of its own so that a failed read keeps the old text.
  char* block = nullptr;
  if (!ULO_NewPtrT(&block, size > 0 ? size : 1)) return false;
  const bool ok = size == 0 || ULO_FileRead(&f, block, size);
  if (ok) {
    grow(size + 1);
    if (capacity() >= size + 1) setRaw(size, block);
  }
  ULO_DisposePtrT(&block);
  return ok && capacity() >= size + 1;
}

bool uloTextFile::load(const uloPath& path) { return load(path.c_str()); }

bool uloTextFile::save(const char* path) const {
  if (!path) return false;
  uloFile f;
  if (!ULO_FileCreateAndOpen(path, &f)) return false;
  const int32_t n = len();
  const bool wrote = n == 0 || ULO_FileWrite(&f, c_str(), n);
  return f.close() && wrote;
}

bool uloTextFile::save(const uloPath& path) const { return save(path.c_str()); }

bool uloTextFile::loadResource(UloResFile* res, int32_t type, int32_t id) {
  if (!res || !res->IsDataAvailable(type, id)) return false;
  const int32_t length = res->GetDataLen(type, id);
  if (length < 0 || length == INT32_MAX) return false;
  char* block = nullptr;
  if (!res->GetDataT(&block, type, id)) return false;
  grow(length + 1);
  const bool ok = capacity() >= length + 1;
  if (ok) setRaw(length, block);
  ULO_DisposePtrT(&block);
  return ok;
}

bool uloTextFile::saveResource(UloResFile* res, int32_t type, int32_t id) const {
  return res && res->SaveData(c_str(), len(), type, id);
}
