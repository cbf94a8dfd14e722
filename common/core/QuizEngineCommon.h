#pragma once
// The test model, the test file format, the configuration file and the shuffles.
#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "QeErrors.h"

// Options bits of TTestInfo.
enum TTestOption : quint16 {
    CanViewErrors = 0x01,
    EnableBackNavigation = 0x02,
    CanViewComments = 0x04,
    CanAlwaysViewComments = 0x08,
    RandomVOrder = 0x10,
    CountWholeQuestion = 0x20,
    SetCustomQSize = 0x40,
};

struct TTestInfo {
    QString Password;              // plain in memory, scrambled on disk
    quint16 RandomCount = 0;       // 0 stored order; 0xFFFF random, all; N random, N asked
    quint16 ReservedWord = 0;
    std::array<quint8, 8> ReservedBytes{};
    quint32 QuestionCount = 0;
    quint32 IQCount = 0;
    quint8 TimeLimit = 0;          // minutes, 0 = none
    quint8 Version = 0;
    quint8 Zoom = 100;
    quint16 QWidth = 500;
    quint16 QHeight = 300;
    quint8 QScrollBars = 0;
    quint16 Options = 0;

    bool has(TTestOption o) const { return (Options & o) != 0; }
    // The values a header starts from before it is read.
    static TTestInfo StartingValues() { return TTestInfo{}; }
    // The values of a new, empty test (the editor's NewTest).
    static TTestInfo NewTestValues();
    bool operator==(const TTestInfo &) const = default;
};

// Ordered list of UTF-16 strings (PlainLines).
class TWideStrings {
public:
    int Add(const QString &s);
    QString Get(int i) const;           // "" outside 0..Count-1
    void Put(int i, const QString &s);  // i == Count appends; else out of range: EListError
    void Clear();
    int Count() const { return int(m_items.size()); }
    const QStringList &items() const { return m_items; }
    bool operator==(const TWideStrings &) const = default;
private:
    QStringList m_items;
};

class TNQuestion {
public:
    TWideStrings PlainLines;
    QByteArray Body;                    // rich-text content record
    std::optional<QByteArray> Comment;  // absent until a comment was entered
    QStringList Variants;
    QString RightMarks;                 // '!' correct, ' ' not, one per variant
    QString UserMarks;                  // run time only
    bool ContentReady = false;          // run time only
    bool HasTitle = false;
    QString Title;

    bool IsInformation() const { return Variants.isEmpty(); }
    // Working copy for the document export: no comment, no title, first plain line only.
    void Assign(const TNQuestion &src);
};

using TQuestionPtr = std::shared_ptr<TNQuestion>;
using TQuestionList = std::vector<TQuestionPtr>;

QString ReplaceObjectMarks(const QString &text, const QString &replacement);
inline const QString ObjectMarkText = QStringLiteral("[объект]");

// ---- streams (Part of the file format) ----
// All throw EReadError on short data, EWriteError on failed writes.
void WriteAnsiString(const QString &s, QIODevice &dev);
QString ReadAnsiString(QIODevice &dev);
void WriteWideString(const QString &s, QIODevice &dev);
QString ReadWideString(QIODevice &dev);

// Result codes of ReadTestHeader.
enum THeaderResult { hrOk = 0, hrBadMagic = 1, hrTooOld = 2, hrTooNew = 3, hrReadError = 4 };

void WriteTestHeader(QIODevice &dev, TTestInfo &info);   // sets Version to 11
int ReadTestHeader(QIODevice &dev, TTestInfo &info);     // leaves dev at the body
void WriteQuestion(const TNQuestion &q, QIODevice &dev);  // CheckQuestionFits first
// Throws ERangeError naming the field when a field of q is longer than readers
// accept (TestFileFormat::MaxBlobBytes bytes): written, the test would never
// open again. Looks at lengths only, so a huge field costs nothing to refuse.
void CheckQuestionFits(const TNQuestion &q);
void ReadQuestion(TNQuestion &q, QIODevice &dev);        // ERangeError etc.

inline const QByteArray PasswordKey = QByteArrayLiteral("k9&w");
QByteArray ScramblePassword(const QByteArray &key, const QByteArray &password);
QByteArray UnscramblePassword(const QByteArray &key, const QByteArray &hex);

// Messages of ReadTestHeader's codes 1..4, as the editor and the tools show them.
QString HeaderResultMessage(int code);

// ---- whole test files ----
using TProgress = std::function<void(int percent)>;

// Writes header and compressed body to a temporary file beside path, flushes it
// to disk and renames it over path; on any failure the previous file is untouched
// and an EQuizError is thrown. A question that does not fit the format
// (CheckQuestionFits) is refused before anything is written, its number (from 1)
// in the message. Sets QuestionCount, IQCount, zeroes ReservedBytes.
void SaveTestToFile(const QString &path, TTestInfo &info, const TQuestionList &questions,
                    const TProgress &progress = {});
// The same bytes into memory.
QByteArray SaveTestToBytes(TTestInfo &info, const TQuestionList &questions);

struct TTestLoadResult {
    int HeaderCode = hrReadError;  // ReadTestHeader's code; hrReadError when the file cannot be opened
    bool Ok = false;               // header 0 and every question read
    QString ErrorKind, ErrorText;  // the error that ended the load, if any
    int ErrorQuestion = -1;        // index of the record being read when it failed
    qint64 ErrorOffset = -1;       // that record's offset in the uncompressed body
};
// Reads header and up to maxCount question records (the player passes the
// count modulo 65 536). Questions read before an error stay in out; the one
// being read is discarded. Takes a shared lock on the file (others may read, not write).
TTestLoadResult LoadTestFromFile(const QString &path, TTestInfo &info, TQuestionList &out,
                                 const TProgress &progress = {}, bool playerCount = false);
TTestLoadResult LoadTestFromDevice(QIODevice &dev, TTestInfo &info, TQuestionList &out,
                                   const TProgress &progress = {}, bool playerCount = false);

// ---- configuration file ----
class TKMQuizEngineConfig {
public:
    QString AccessPassword;
    QString ConfigText;
    quint8 ConfigFlag = 0;
    bool LoadFromFile(const QString &path);
    // For the administrators' tool: the whole file is one bzip2 stream.
    void SaveToFile(const QString &path) const;
};
inline const QString ConfigFileName = QStringLiteral("KMQuizEngine2.ini");

// ---- shuffles (used by the document export) ----
void ShuffleQuestions(const TTestInfo &info, TQuestionList &list);
void ShuffleVariants(TQuestionList &list);
// Message texts they report; the GUI installs the reporter (ShowError).
void SetShuffleErrorReporter(std::function<void(const QString &)> reporter);

// Number of questions without variants.
quint32 CalcIQCount(const TQuestionList &questions);
