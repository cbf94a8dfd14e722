#pragma once
// Every offset, magic and limit of the run journal (docs/run-journal.md).
#include <QtGlobal>

namespace JournalFormat {
inline constexpr char Magic[] = "QERUNJNL";
inline constexpr int MagicSize = 8;
inline constexpr quint32 Version = 1;

// Frame: magic, version, payload size, payload, CRC-32 of everything before it.
inline constexpr int OffVersion = 8;
inline constexpr int OffPayloadSize = 12;
inline constexpr int OffPayload = 16;
inline constexpr int FrameSize = OffPayload + 4;

inline constexpr int HashSize = 32;          // SHA-256
inline constexpr quint32 MaxString = 4096;   // bytes of one UTF-8 text
inline constexpr quint32 MaxItems = 65535;   // the player reads at most that many
inline constexpr quint32 MaxVariants = 1000; // as the test file allows
inline constexpr qint64 MaxFileSize = 16 << 20;

// The smallest item record: stored index, variant count, answered flag.
inline constexpr int MinItemSize = 4 + 2 + 1;

enum TPhase : quint8 {
    PhaseAnswering = 1,  // registration accepted, questions on show
    PhaseSaving = 2,     // scored; the result line is being written
    PhaseDone = 3,       // the line is written (or the examinee chose not to save)
};
inline constexpr quint8 FlagReview = 0x01;
}
