#pragma once
// Byte layout of the resource trailer (docs/resource-trailer.md).
#include <QtGlobal>

namespace ResourceTrailerFormat {
// Footer: the last FooterSize bytes of the file.
inline constexpr int FooterSize = 40;
inline constexpr int FootTrailerStart = 0;     // u64: first byte of the trailer (= program size)
inline constexpr int FootDirectoryOffset = 8;  // u64: first byte of the directory
inline constexpr int FootDirectorySize = 16;   // u32
inline constexpr int FootEntryCount = 20;      // u32
inline constexpr int FootFormatVersion = 24;   // u32
inline constexpr int FootReserved = 28;        // u32, 0
inline constexpr int FootMagic = 32;           // 8 bytes
inline constexpr char Magic[] = "QERSRC\x1a\x01";
inline constexpr int MagicSize = 8;
inline constexpr quint32 FormatVersion = 1;

// Directory entry: fixed part, then the name (UTF-8, NameLength bytes).
inline constexpr int EntType = 0;         // u32
inline constexpr int EntLanguage = 4;     // u32
inline constexpr int EntOffset = 8;       // u64, absolute file offset of the data
inline constexpr int EntSize = 16;        // u64
inline constexpr int EntNameLength = 24;  // u16
inline constexpr int EntryFixedSize = 26;

inline constexpr quint32 MaxDirectorySize = 1 << 20;
inline constexpr int MaxNameLength = 1024;
}
