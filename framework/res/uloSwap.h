// Byte order of stored records. Containers and the records inside them are
// big-endian whatever the host; the bitmap header handed to the platform is
// little-endian. Two families of helpers:
//  - ULO_PlatformSwap_*: convert one value in place between file order and
//    host order (the same call serves both directions; a no-op on a
//    big-endian host);
//  - ULO_Get/Put{BE,LE}{16,32}: read or write one field at a byte address,
//    for code that decodes a record field by field and must not care about
//    structure padding or alignment.
// Pure functions; any thread.
#pragma once
#include <cstdint>

#include "framework/geometry/uloBaseClasses.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
#define ULO_HOST_BIG_ENDIAN 1
#else
#define ULO_HOST_BIG_ENDIAN 0
#endif

inline uint16_t ULO_ByteSwap16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }
inline uint32_t ULO_ByteSwap32(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

inline void ULO_PlatformSwap_Short(int16_t* v) {
  if (!ULO_HOST_BIG_ENDIAN) *v = static_cast<int16_t>(ULO_ByteSwap16(static_cast<uint16_t>(*v)));
}
inline void ULO_PlatformSwap_Long(int32_t* v) {
  if (!ULO_HOST_BIG_ENDIAN) *v = static_cast<int32_t>(ULO_ByteSwap32(static_cast<uint32_t>(*v)));
}
inline void ULO_PlatformSwap_UnsignedLong(uint32_t* v) {
  if (!ULO_HOST_BIG_ENDIAN) *v = ULO_ByteSwap32(*v);
}
inline void ULO_PlatformSwap_Point(uloPoint* p) {
  ULO_PlatformSwap_Short(&p->x);
  ULO_PlatformSwap_Short(&p->y);
}
inline void ULO_PlatformSwap_Rect(uloRect* r) {
  ULO_PlatformSwap_Short(&r->left);
  ULO_PlatformSwap_Short(&r->top);
  ULO_PlatformSwap_Short(&r->right);
  ULO_PlatformSwap_Short(&r->bottom);
}

inline uint16_t ULO_GetBEU16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
inline uint32_t ULO_GetBEU32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline int16_t ULO_GetBE16(const uint8_t* p) { return static_cast<int16_t>(ULO_GetBEU16(p)); }
inline int32_t ULO_GetBE32(const uint8_t* p) { return static_cast<int32_t>(ULO_GetBEU32(p)); }
inline void ULO_PutBE16(uint8_t* p, int32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void ULO_PutBE32(uint8_t* p, int64_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

inline uint16_t ULO_GetLEU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ULO_GetLEU32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline int16_t ULO_GetLE16(const uint8_t* p) { return static_cast<int16_t>(ULO_GetLEU16(p)); }
inline int32_t ULO_GetLE32(const uint8_t* p) { return static_cast<int32_t>(ULO_GetLEU32(p)); }
inline void ULO_PutLE16(uint8_t* p, int32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void ULO_PutLE32(uint8_t* p, int64_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// A four-character type code as the containers key it: first character in
// the most significant byte, so "MPIX" is stored as 4D 50 49 58.
constexpr int32_t ULO_FourCC(const char (&s)[5]) {
  return static_cast<int32_t>((uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
                              (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3])));
}
