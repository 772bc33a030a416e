// Access to the packed little-endian records of files and the wire, and the
// compile-time checks that pin every record's layout.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

static_assert(std::endian::native == std::endian::little,
              "records are packed little-endian and are accessed in place");

// Pins a record's size and a field's offset to the documented layout.
#define QV_RECORD_SIZE(Type, size) \
  static_assert(sizeof(Type) == (size), #Type " must be " #size " bytes")
#define QV_FIELD_AT(Type, field, offset) \
  static_assert(offsetof(Type, field) == (offset), #Type "::" #field " must lie at offset " #offset)

namespace base {

// Values at arbitrary (unaligned) positions of a byte buffer.
template <class T>
T LoadLE(const void* p) {
  static_assert(std::is_trivially_copyable_v<T>);
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class T>
void StoreLE(void* p, T v) {
  static_assert(std::is_trivially_copyable_v<T>);
  std::memcpy(p, &v, sizeof v);
}

// Network byte counts are big-endian 4-byte values.
inline uint32_t LoadBE32(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | uint32_t{b[3]};
}

inline void StoreBE32(void* p, uint32_t v) {
  auto* b = static_cast<unsigned char*>(p);
  b[0] = static_cast<unsigned char>(v >> 24);
  b[1] = static_cast<unsigned char>(v >> 16);
  b[2] = static_cast<unsigned char>(v >> 8);
  b[3] = static_cast<unsigned char>(v);
}

// A whole packed record copied out of or into a byte buffer.
template <class R>
R LoadRecord(const void* p) {
  return LoadLE<R>(p);
}

template <class R>
void StoreRecord(void* p, const R& r) {
  static_assert(std::is_trivially_copyable_v<R>);
  std::memcpy(p, &r, sizeof r);
}

}  // namespace base
