#pragma once
// Byte layout of the rich-text content record (all integers little-endian):
//   R (4) | R bytes of RTF without objects | object records to the end
// Object record:
//   "BDOC" | aspect | S | character position (signed) | CLSID (16) |
//   width, height (signed, 0.01 mm) | REO flags | user value | S bytes of storage
#include <QtGlobal>

namespace RichRecordFormat {
inline constexpr int kLengthSize = 4;
inline constexpr char kObjectMagic[] = "BDOC";
inline constexpr int kMagicSize = 4;
inline constexpr int kOffAspect = 4;
inline constexpr int kOffStorageSize = 8;
inline constexpr int kPrefixSize = 12;     // read first; the magic is checked there
inline constexpr int kOffPosition = 12;
inline constexpr int kOffClsid = 16;
inline constexpr int kClsidSize = 16;
inline constexpr int kOffWidth = 32;
inline constexpr int kOffHeight = 36;
inline constexpr int kOffFlags = 40;
inline constexpr int kOffUser = 44;
inline constexpr int kHeaderSize = 48;
} // namespace RichRecordFormat
