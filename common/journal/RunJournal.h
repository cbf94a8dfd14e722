#pragma once
// The run journal: what the player needs to continue a run after a crash,
// a power cut or a closed session. Reading and writing bytes only; where the
// file lives and how it is replaced is JournalStore's.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include "JournalFormat.h"
#include "QeErrors.h"
#include "QuizEngineCommon.h"

// A journal that cannot be read; the text names the byte offset.
QE_DECLARE_ERROR(EJournalError)

struct TJournalItem {
    quint32 StoredIndex = 0;         // position of the item in the test file
    QList<quint16> VariantOrder;     // stored index of each variant as shown
    QString UserMarks;               // '!' / ' ' per shown variant; empty unanswered
    bool operator==(const TJournalItem &) const = default;
};

struct TRunJournal {
    QByteArray TestHash;             // SHA-256 of the test file's bytes
    QString TestPath;
    QString ResultsPath;
    QString LastName, FirstName, Patronymic, AddInfo;
    quint32 AskedCount = 0;
    quint16 CurQuestion = 1;
    quint16 SecondsLeft = 0;
    quint8 Phase = JournalFormat::PhaseAnswering;
    bool Review = false;
    qint64 ResultTime = 0;           // ms since the epoch of the result line; 0 before scoring
    QList<TJournalItem> Items;       // run order
    bool operator==(const TRunJournal &) const = default;

    QString FIO() const;
};

QByteArray WriteJournal(const TRunJournal &j);
// The CRC-32 (reflected, 0xEDB88320) that ends a journal.
quint32 JournalChecksum(const char *data, qsizetype size);
// Throws EJournalError for anything but a whole, undamaged journal of this version.
TRunJournal ReadJournal(const QByteArray &bytes);

// SHA-256 of a test file's bytes.
QByteArray TestHash(const QByteArray &testBytes);

// The order the run was drawn in: for each run item its index in stored and
// the stored index of each of its variants as shown. Items must come from stored.
QList<TJournalItem> DrawnOrder(const TQuestionList &stored, const TQuestionList &run,
                               const QHash<const TNQuestion *, QList<quint16>> &variantOrders);

// Rebuilds the run from the test as loaded (stored order): picks and orders
// the items and their variants with their key, and sets UserMarks. Throws
// EJournalError when the journal does not fit the test (indices, counts,
// marks, current question, time left above timeLimitSeconds).
TQuestionList RebuildRun(const TRunJournal &j, const TQuestionList &stored, int timeLimitSeconds);
