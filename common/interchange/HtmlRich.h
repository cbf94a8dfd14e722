#pragma once
// HTML fragments of the exchange formats to and from our rich-text content
// record, pictures included.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QSize>
#include <QString>

#include "Interchange.h"

namespace Interchange {

struct TEmbeddedFile {
    QString Name;      // as referenced: @@PLUGINFILE@@/<Name>
    QByteArray Data;   // raw bytes
};

// What every picture reference of one import puts into its questions, at most.
inline constexpr qint64 kMaxImportPictureBytes = 256LL * 1024 * 1024;

// Thrown by RichRecordFromHtml when the pictures of one import would pass
// their bound; the reader refuses the whole file with its line.
struct EPictureBudget {
    QString Message;
};

// What the texts of one import share: a picture is decoded once however often
// it is referenced, and the bitmaps all its references put into questions stay
// within the budget.
class TImportPictures {
public:
    explicit TImportPictures(qint64 budget = kMaxImportPictureBytes) : m_budget(budget) {}
    // A picture's bytes as a storage, decoded at most once; an empty storage
    // when it cannot come in, with why. Throws EPictureBudget.
    struct TPicture {
        QByteArray Storage;
        QSize Pixels;
        QString Why;
    };
    const TPicture &take(const QByteArray &data);
    qint64 used() const { return m_used; }
    int decoded() const { return m_decoded; }

private:
    void charge(qint64 bytes);

    qint64 m_budget;
    qint64 m_used = 0;
    int m_decoded = 0;
    QHash<QByteArray, TPicture> m_pictures;   // by the bytes' digest
};

// html: a question text or feedback; files: the pictures it may reference.
// Unknown tags keep their text; references to missing files are reported;
// HTML nested deeper than RichText::kMaxHtmlDepth is flattened, reported.
// pictures: shared by the texts of one import; null: pictures are left out.
QByteArray RichRecordFromHtml(const QString &html, const QList<TEmbeddedFile> &files,
                              TReport &report, const QString &where, TImportPictures *pictures);
// With pictures of its own.
QByteArray RichRecordFromHtml(const QString &html, const QList<TEmbeddedFile> &files,
                              TReport &report, const QString &where);
// Plain text (line breaks kept) as a record in the default look.
QByteArray RichRecordFromPlain(const QString &text);
// The record as an HTML fragment; each picture object becomes a PNG in files,
// referenced as @@PLUGINFILE@@/<name>. Other objects are reported and dropped.
QString HtmlFromRichRecord(const QByteArray &record, QList<TEmbeddedFile> &files,
                           TReport &report, const QString &where);
// The record's text, objects dropped.
QString PlainFromRichRecord(const QByteArray &record);

} // namespace Interchange
