#pragma once
// The rich-text control of both programs: QTextEdit over our RTF reader/writer,
// with the content record (RTF without objects + "BDOC" object records).
#include <QTextEdit>
#include <QIODevice>
#include <QStringList>

class TMJvRichEdit;

// Lines view: by paragraphs and forced line breaks, not wrapped screen lines.
class TWideRichEditStrings {
public:
    explicit TWideRichEditStrings(TMJvRichEdit &owner) : m_owner(owner) {}
    int Count() const;          // a last empty line is not counted
    QString Get(int i) const;   // objects as U+FFFC, at most 8192 characters
    void Clear();
private:
    TMJvRichEdit &m_owner;
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
    // static picture object, as the Windows control stores one. False on unreadable file.
    bool InsertPictureFromFile(const QString &path);

private:
    TWideRichEditStrings m_lines{*this};
    int m_zoom = 100;
};

// Helpers for tools and tests (need a QGuiApplication).
namespace RichRecord {
// Plain text (lines separated by '\n') as a content record in the rich edit dialect.
QByteArray FromPlainText(const QString &text);
// The lines view of a content record, objects as U+FFFC. Throws EQuizError on a bad record.
QStringList PlainLines(const QByteArray &record);
}
