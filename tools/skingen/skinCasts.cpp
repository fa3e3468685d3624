#include "tools/skingen/skinCasts.h"

#include <cstring>

#include "framework/casts/uloCasts.h"
#include "framework/res/uloRes.h"
#include "framework/text/uloText.h"

namespace skin {

int32_t FourCC(const char* s) {
  return static_cast<int32_t>((uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
                              (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3])));
}

const int32_t kCastNameType = FourCC("CNAM");

int32_t CastIdForName(UloResFile* res, const char* name) {
  if (!res || !name) return -1;
  const int16_t n = res->GetItemsCount(kCastNameType);
  for (int16_t i = 0; i < n; i++) {
    const int32_t id = res->GetItemIndexID(kCastNameType, i);
    const int32_t len = res->GetDataLen(kCastNameType, id);
    if (len <= 0 || len > 255) continue;
    char buf[256] = {0};
    if (!res->LoadData(buf, len, kCastNameType, id)) continue;
    uloText stored, wanted;
    stored.set(buf);
    wanted.set(name);
    if (stored.len() == wanted.len() && stored.similar(wanted)) return id;
  }
  return -1;
}

namespace {

bool hasTransparency(const Picture& p) {
  if (!p.needsMask) return false;
  for (size_t i = 3; i < p.rgba.size(); i += 4)
    if (p.rgba[i] != 255) return true;
  return false;
}

}  // namespace

int32_t CastStore::add(const Picture& picture) {
  std::string key(reinterpret_cast<const char*>(picture.rgba.data()), picture.rgba.size());
  key += std::to_string(picture.w) + "x" + std::to_string(picture.h) + (picture.needsMask ? "m" : "o");
  auto it = byContent_.find(key);
  if (it != byContent_.end()) return it->second;
  const int32_t id = next_++;
  entries_.push_back({id, picture, hasTransparency(picture)});
  byContent_[key] = id;
  return id;
}

void CastStore::addFixed(int32_t id, const Picture& picture) {
  entries_.push_back({id, picture, hasTransparency(picture)});
}

int CastStore::itemCount() const {
  int n = static_cast<int>(names_.size());
  for (const Entry& e : entries_) n += e.mask ? 3 : 2;
  return n;
}

bool CastStore::write(UloResFile& res) const {
  for (const Entry& e : entries_) {
    const Picture& p = e.picture;
    castHeaderRec h;
    h.width = static_cast<int16_t>(p.w);
    h.height = static_cast<int16_t>(p.h);
    h.depths[1].rowBytes = static_cast<int16_t>(p.w * 2);
    if (e.mask) h.depths[3].rowBytes = static_cast<int16_t>(p.w);
    uint8_t header[kCastHeaderSize];
    ULO_CastHeaderToBytes(h, header);
    if (!res.SaveData(header, kCastHeaderSize, uloCastHeaderType, e.id)) return false;
    std::vector<uint8_t> px(size_t(p.w) * p.h * 2);
    std::vector<uint8_t> mk(e.mask ? size_t(p.w) * p.h : 0);
    for (size_t i = 0; i < size_t(p.w) * p.h; i++) {
      const uint8_t* s = &p.rgba[i * 4];
      const uint16_t v = static_cast<uint16_t>(((s[0] >> 3) << 10) | ((s[1] >> 3) << 5) | (s[2] >> 3));
      px[i * 2] = static_cast<uint8_t>(v >> 8);
      px[i * 2 + 1] = static_cast<uint8_t>(v);
      if (e.mask) mk[i] = static_cast<uint8_t>(255 - s[3]);
    }
    if (!res.SaveData(px.data(), static_cast<int32_t>(px.size()), uloCastPixelTypes[1], e.id)) return false;
    if (e.mask && !res.SaveData(mk.data(), static_cast<int32_t>(mk.size()), uloCastPixelTypes[3], e.id))
      return false;
  }
  for (const auto& [id, name] : names_)
    if (!res.SaveData(name.data(), static_cast<int32_t>(name.size()), kCastNameType, id)) return false;
  return true;
}

}  // namespace skin
