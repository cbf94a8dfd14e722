#pragma once
// The rich-text control of both programs: QTextEdit over our RTF reader/writer,
// with the content record (RTF without objects + "BDOC" object records).
#include <QTextEdit>
#include <QIODevice>
#include <QStringList>
#include <QTextCharFormat>

#include "RichFormat.h"

class TMJvRichEdit;

// Lines view: by paragraphs and forced line breaks, not wrapped screen lines.
class TWideRichEditStrings {
public:
    explicit TWideRichEditStrings(TMJvRichEdit &owner) : m_owner(owner) {}
    int Count() const;          // a last empty line is not counted
    QString Get(int i) const;   // objects as U+FFFC, at most 8192 characters
    void Clear();
private:
    const QStringList &lines() const;
    TMJvRichEdit &m_owner;
    // Count and Get are called in loops: the lines are kept until the text changes.
    friend class TMJvRichEdit;
    // Edits made with signals blocked do not invalidate; the revision catches them.
    mutable bool m_valid = false;
    mutable const QTextDocument *m_cacheDoc = nullptr;
    mutable int m_cacheRevision = -1;
    mutable QStringList m_cache;
};

class TMJvRichEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit TMJvRichEdit(QWidget *parent = nullptr);
    ~TMJvRichEdit() override;

    // Writes the content record into an empty device. Throws EQuizError
    // ("Failed to Save Stream", "Не могу получить объект").
    void SaveRichToStream(QIODevice &dev);
    // Replaces the content by the record from dev's position to its end. Throws
    // EQuizError ("Failed to Load Stream", "Неверный формат потока"); what was
    // loaded so far stays.
    void LoadRichFromStream(QIODevice &dev);
    QByteArray SaveRichToBytes();
    void LoadRichFromBytes(const QByteArray &record);

    TWideRichEditStrings &Lines() { return m_lines; }
    // Read-only also clears the resizable flag of every object.
    void SetReadOnly(bool ro);
    void SetZoom(int percent);  // 100 = natural size
    int Zoom() const { return m_zoom; }

    // Inserts a picture from an image file (PNG, JPEG, BMP, GIF) at the cursor as a
    // static picture object, as the Windows control stores one. False on an
    // unreadable file, or on a picture beyond the bounds of
    // RichText::PictureSizeAllowed with tooLarge saying why in Russian
    // ("слишком велик (…×… точек)"). An allocation failure throws std::bad_alloc.
    bool InsertPictureFromFile(const QString &path, QString *tooLarge = nullptr);
    bool InsertPicture(const QImage &image, QString *tooLarge = nullptr);

Q_SIGNALS:
    // Pasted or dropped data that did not come in, and why (a picture too
    // large, memory exhausted); the text is as it was.
    void insertRefused(const QString &message);

public:
    // Selection attributes for the formatting commands. Sizes are natural
    // (unzoomed) points; a new font family without a character set gets 204
    // (2 for symbol fonts). Merges into the selection or the word at the caret.
    void mergeCharAttributes(const QTextCharFormat &format);
    QTextCharFormat charAttributes() const;
    RichText::TParaAttributes paraAttributes() const;
    // Applies to every paragraph of the selection; numbering makes or leaves lists.
    void setParaAttributes(const RichText::TParaAttributes &attrs);

protected:
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    QMimeData *createMimeDataFromSelection() const override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void paintEvent(QPaintEvent *e) override;

private:
    void insertOutsideData(const QMimeData *source);
    QRectF objectRect(int pos) const;   // viewport coordinates; empty when not an object
    int objectAt(const QPoint &viewportPos) const;
    void applyZoom(int from, int to);

    TWideRichEditStrings m_lines{*this};
    int m_zoom = 100;
    int m_selectedObject = -1;
    bool m_resizing = false;
    QSizeF m_resizeSize;
};

// Helpers for tools and tests (need a QGuiApplication).
namespace RichRecord {
// Plain text (lines separated by '\n') as a content record in the rich edit dialect,
// in "Times New Roman" (\fcharset204) 12 pt, as a teacher's test would look.
QByteArray FromPlainText(const QString &text);
// An RTF file read by our reader and written back as a content record.
QByteArray FromRtf(const QByteArray &rtf);
// The lines view of a content record, objects as U+FFFC. Throws EQuizError on a bad record.
QStringList PlainLines(const QByteArray &record);
}
