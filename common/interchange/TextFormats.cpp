#include "TextFormats.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextCodec>
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

namespace {

bool AsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Russian words are all bytes above 0xBF in Windows-1251; Western words keep
// their accented letters between Latin ones.
bool LooksWestern(QByteArrayView b)
{
    qsizetype latin = 0, cyrillic = 0;
    for (qsizetype i = 0; i < b.size(); ++i) {
        if (quint8(b[i]) < 0xC0)
            continue;
        const bool prevLatin = i > 0 && AsciiLetter(b[i - 1]);
        const bool nextLatin = i + 1 < b.size() && AsciiLetter(b[i + 1]);
        const bool prevHigh = i > 0 && quint8(b[i - 1]) >= 0xC0;
        const bool nextHigh = i + 1 < b.size() && quint8(b[i + 1]) >= 0xC0;
        if (prevLatin || nextLatin)
            ++latin;
        else if (prevHigh || nextHigh)
            ++cyrillic;
    }
    return latin > cyrillic;
}

} // namespace

QString DecodeText(const QByteArray &data, QString *encoding)
{
    QByteArrayView bytes(data);
    QString text;
    QString name = QStringLiteral("UTF-8");
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const bool le = bytes.startsWith("\xFF\xFE");
        QStringDecoder utf16(le ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE, QStringDecoder::Flag::Stateless);
        // Half a pair is no text a file can hold again.
        text = WithoutLoneSurrogates(utf16(bytes.sliced(2)));
        name = le ? QStringLiteral("UTF-16LE") : QStringLiteral("UTF-16BE");
    } else {
        if (bytes.startsWith("\xEF\xBB\xBF"))
            bytes = bytes.sliced(3);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        text = utf8(bytes);
        if (utf8.hasError() && !data.startsWith("\xEF\xBB\xBF")) {
            if (LooksWestern(bytes)) {
                static QTextCodec *const w1252 = QTextCodec::codecForName("windows-1252");
                text = w1252->toUnicode(bytes.constData(), int(bytes.size()));
                name = QStringLiteral("Windows-1252");
            } else {
                text = FromAnsi(bytes.toByteArray());
                name = QStringLiteral("Windows-1251");
            }
        }
    }
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (encoding)
        *encoding = name;
    return text;
}

QString WithoutLoneSurrogates(QString text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            text[i] = QChar::ReplacementCharacter;
    }
    return text;
}

QString EncodingLine(const QString &encoding)
{
    if (encoding == u"UTF-8")
        return {};
    if (encoding.startsWith(u"UTF-16"))
        return QStringLiteral("Файл прочитан в кодировке %1 (по метке в начале файла).").arg(encoding);
    return QStringLiteral("Файл не в кодировке UTF-8: прочитан в кодировке %1.").arg(encoding);
}

QString NameWithoutTags(const QString &name)
{
    static const QRegularExpression tag(QStringLiteral("<[A-Za-z/!?][^<>]*>"));
    QString s = name;
    // Until none is left: removing "<a>" from "<<a>b>" leaves a tag.
    while (s.contains(tag))
        s.remove(tag);
    return s.simplified();
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
