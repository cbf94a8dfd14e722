#pragma once
// Whole questions on the clipboard and in drags. The bytes of the format
// (docs/clipboard.md), a QMimeData that renders them only when a receiver
// asks, and the few clipboard operations the editor needs. Nothing here
// shows a window.
#include <QByteArray>
#include <QMimeData>
#include <QString>
#include <functional>
#include <vector>

#include "QuestionListModel.h"

namespace QuestionClipboard {
// The one form in which the editor offers questions.
inline const QString MimeType = QStringLiteral("application/x-qt-windows-mime;value=\"Virtual Tree Data\"");

// Byte counts of the framing (docs/clipboard.md).
inline constexpr int BlockCountBytes = 4;   // u32 byte count before the node records
inline constexpr int NodeSizeBytes = 4;     // u32 size before each node's user data
inline constexpr int FlagBytes = 1;         // the bad-state byte after the question record
inline constexpr quint8 FlagBad = 1;

// The node records of the given records, in the given order, without the
// leading byte count (the stream form). Throws EQuizError when a question does
// not fit the record format.
QByteArray EncodeNodes(const std::vector<const TNodeRecord *> &records);
// The block: byte count, then the node records.
QByteArray EncodeBlock(const std::vector<const TNodeRecord *> &records);
QByteArray BlockOf(const QByteArray &nodes);

struct TDecodeResult {
    bool Ok = false;
    std::vector<TNodeRecord> Records;   // all of them, or none
    QString Error;                      // what was wrong, for a log or a test
    qint64 Offset = -1;                 // where in the block it was found
    explicit operator bool() const { return Ok; }
};
// Reads a whole block. Every question is read into a new TNQuestion
// (ContentReady set) with its bad-state mark; any fault anywhere gives no
// record at all. Bytes after the counted ones are ignored (a memory block of
// another system may be longer than its content).
TDecodeResult DecodeBlock(const QByteArray &block);

// Records of a list, rendered when first asked for. The records must stay
// alive until render() has run: whoever holds them renders before they go.
class TQuestionMimeData : public QMimeData {
public:
    TQuestionMimeData(const QObject *sourceList, std::vector<const TNodeRecord *> records);
    // Already rendered bytes (a block), e.g. for a copy that outlives its rows.
    explicit TQuestionMimeData(const QByteArray &block);

    QStringList formats() const override;
    bool hasFormat(const QString &mimeType) const override;

    // Renders now and lets go of the records. Safe to repeat.
    void render() const;
    bool isRendered() const { return m_rendered; }
    // False when a question could not be written; the data is then empty.
    bool renderedOk() const { return m_renderOk; }
    // The records still referred to (empty once rendered).
    const std::vector<const TNodeRecord *> &records() const { return m_records; }
    bool refersTo(const TNodeRecord *rec) const;
    // The list the rows came from (a drag's source; compared, never used).
    const QObject *sourceList() const { return m_source; }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    const QObject *m_source = nullptr;
    mutable std::vector<const TNodeRecord *> m_records;
    mutable QByteArray m_block;
    mutable bool m_rendered = false;
    mutable bool m_renderOk = true;
};

// ---- the system clipboard ----
// Puts data on the clipboard (which takes it over).
void Put(TQuestionMimeData *data);
// The editor's data object while the clipboard still holds it, else null.
TQuestionMimeData *OwnData();
// Whether the clipboard offers questions (from this editor or another).
bool HoldsQuestions();
// The clipboard's questions, read whole or not at all.
TDecodeResult ReadClipboard();
// Renders the editor's data object so that it stays valid without the rows.
// False when a question could not be written.
bool Flush();
// Empties the clipboard when it holds the editor's data object.
void Empty();
}
