#pragma once
// Every offset, magic and limit of the test file, the question record and the
// configuration file. Bytes are read through the little-endian helpers below.
#include <QtGlobal>
#include <cstddef>

namespace TestFileFormat {
inline constexpr char Magic[] = "KMQuizEngineFile";
inline constexpr int MagicSize = 16;
inline constexpr quint8 CurrentVersion = 11;
inline constexpr quint8 OldestVersion = 7;

// Version 11 header offsets.
inline constexpr int OffVersion = 16;
inline constexpr int OffQuestionCount = 17;
inline constexpr int OffIQCount = 21;
inline constexpr int OffRandomCount = 25;
inline constexpr int OffOptions = 27;
inline constexpr int OffTimeLimit = 29;
inline constexpr int OffReservedWord = 30;
inline constexpr int OffReservedBytes = 32;
inline constexpr int OffZoom = 40;
inline constexpr int OffQWidth = 41;
inline constexpr int OffQHeight = 43;
inline constexpr int OffQScrollBars = 45;
inline constexpr int OffPasswordLength = 46;
inline constexpr int OffPassword = 47;
inline constexpr int FixedHeaderSize11 = 47;
inline constexpr int ReservedBytesSize = 8;

// Version 7/8 switch byte 3 bits.
inline constexpr quint8 V8SwitchRandomVOrder = 0x01;
inline constexpr quint8 V8SwitchCountWhole = 0x02;

// Scrambled password length readers accept: 20 characters scramble to 40
// bytes, the longest the settings dialog of the old editor allowed.
inline constexpr int MaxScrambledPassword = 40;

// The player counts questions in 16 bits: a test holds at most this many.
inline constexpr quint32 MaxQuestions = 65535;

// Question record.
inline constexpr quint8 QFlagComment = 0x01;
inline constexpr quint8 QFlagTitle = 0x02;
inline constexpr quint32 MaxPlainLines = 1000;
inline constexpr quint32 MaxVariants = 1000;

// Longest single string or buffer accepted (QByteArray's practical limit).
inline constexpr quint32 MaxBlobBytes = 0x7FFF0000u;
// A stream of unknown length is read in steps of at most this, so a hostile
// length never allocates more than the data really holds plus one step.
inline constexpr qint64 SequentialReadStep = 1 << 20;

// bzip2 body.
inline constexpr int BZBlockSize100k = 1;
inline constexpr int BZChunk = 65536;

// Configuration file (after decompression).
inline constexpr char ConfigMagic[] = "KMQuizEngineConfig";
inline constexpr int ConfigMagicSize = 18;
inline constexpr quint8 ConfigVersion = 3;

inline quint16 getU16(const uchar *p) { return quint16(p[0] | (p[1] << 8)); }
inline quint32 getU32(const uchar *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}
inline quint64 getU64(const uchar *p) { return quint64(getU32(p)) | (quint64(getU32(p + 4)) << 32); }
inline void putU16(uchar *p, quint16 v) { p[0] = uchar(v); p[1] = uchar(v >> 8); }
inline void putU32(uchar *p, quint32 v)
{
    for (int i = 0; i < 4; ++i) p[i] = uchar(v >> (8 * i));
}
inline void putU64(uchar *p, quint64 v)
{
    for (int i = 0; i < 8; ++i) p[i] = uchar(v >> (8 * i));
}
}
