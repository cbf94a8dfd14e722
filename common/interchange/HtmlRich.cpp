#include "HtmlRich.h"

#include "RichFormat.h"
#include "RichObjects.h"
#include "RichRecord.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace Interchange {

namespace {

// The editor's default look of a new question, so that imported text looks
// like text typed there.
const QString kDefaultFamily = QStringLiteral("MS Sans Serif");
constexpr int kDefaultCharset = 204;
constexpr qreal kDefaultPointSize = 12;

QTextCharFormat DefaultCharFormat()
{
    QTextCharFormat f;
    f.setFontFamilies(QStringList{kDefaultFamily});
    f.setProperty(RichText::PropCharset, kDefaultCharset);
    f.setFontPointSize(kDefaultPointSize);
    f.setFontWeight(QFont::Normal);
    f.setForeground(QColor(0, 0, 0));
    return f;
}

QTextBlockFormat DefaultBlockFormat(Qt::Alignment align)
{
    QTextBlockFormat b;
    b.setAlignment(align);
    return b;
}

} // namespace

QByteArray RichRecordFromPlain(const QString &text)
{
    QTextDocument doc;
    const QTextCharFormat f = DefaultCharFormat();
    const QTextBlockFormat bf = DefaultBlockFormat(Qt::AlignHCenter);
    QTextCursor c(&doc);
    c.setBlockFormat(bf);
    c.setBlockCharFormat(f);
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QStringList lines = t.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            c.insertBlock(bf, f);
        QString line = lines[i];
        // An object mark without its object would be an object the record cannot hold.
        line.remove(QChar(QChar::ObjectReplacementCharacter));
        c.insertText(line, f);
    }
    return RichText::SaveRecord(doc);
}

QString PlainFromRichRecord(const QByteArray &record)
{
    QTextDocument doc;
    try {
        RichText::LoadRecord(doc, record);
    } catch (const std::exception &) {
        // What was read before the damage is still the best text there is.
    }
    QStringList lines;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QString s = b.text();
        s.remove(QChar(QChar::ObjectReplacementCharacter));
        s.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
        lines << s;
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines.join(QLatin1Char('\n'));
}

} // namespace Interchange
