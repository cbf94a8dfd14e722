#include "TextFormats.h"

#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextList>
#include <optional>

#include "Ansi.h"
#include "HtmlRich.h"
#include "MJvRichedit.h"
#include "RichRecord.h"

namespace Interchange {

QString DecodeText(const QByteArray &data)
{
    QByteArrayView bytes(data);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (utf8.hasError())
        text = FromAnsi(bytes.toByteArray());
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QString Where(int number, int line)
{
    return line > 0 ? QStringLiteral("Вопрос %1 (строка %2): ").arg(number).arg(line)
                    : QStringLiteral("Вопрос %1: ").arg(number);
}

QString AnsiOnly(const QString &text, const QString &what, TReport &report, const QString &where)
{
    const QString kept = FromAnsi(ToAnsi(text));
    if (kept != text)
        report.add(where + QStringLiteral("%1: знаки, которых нет в кодировке Windows-1251, заменены на «?».").arg(what));
    return kept;
}

bool SetBody(TNQuestion &q, const QByteArray &record)
{
    QStringList lines;
    try {
        lines = RichRecord::PlainLines(record);
    } catch (const std::exception &) {
        lines.clear();
    }
    if (lines.size() > kMaxPlainLines)
        return false;
    q.Body = record;
    q.PlainLines.Clear();
    for (const QString &line : lines)
        q.PlainLines.Add(ReplaceObjectMarks(line, ObjectMarkText));
    q.ContentReady = true;
    return true;
}

bool IsPlainLook(const QByteArray &record)
{
    return RichRecordFromPlain(PlainFromRichRecord(record)) == record;
}

} // namespace Interchange

namespace Interchange {

bool IsUniformLook(const QByteArray &record)
{
    QTextDocument doc;
    try {
        RichText::LoadRecord(doc, record);
    } catch (const std::exception &) {
        return false;
    }
    std::optional<QTextCharFormat> first;
    std::optional<Qt::Alignment> align;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (b.textList())
            return false;
        const Qt::Alignment a = b.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        if (!b.text().isEmpty()) {
            if (align && *align != a)
                return false;
            align = a;
        }
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (!f.isValid())
                continue;
            if (f.text().contains(QChar(QChar::ObjectReplacementCharacter)))
                return false;
            const QTextCharFormat c = f.charFormat();
            if (c.fontWeight() > QFont::Normal || c.fontItalic() || c.fontUnderline() || c.fontStrikeOut()
                || c.verticalAlignment() != QTextCharFormat::AlignNormal || c.background().style() != Qt::NoBrush)
                return false;
            if (!first) {
                first = c;
                continue;
            }
            if (c.fontFamilies() != first->fontFamilies() || c.fontPointSize() != first->fontPointSize()
                || c.foreground() != first->foreground())
                return false;
        }
    }
    return true;
}

} // namespace Interchange
