#include "Interchange.h"

#include <QRegularExpression>

#include <new>

#include "TextFormats.h"

namespace Interchange {

TFormat GuessFormat(const QByteArray &data)
{
    // A test file or any other binary is none of them.
    const QByteArray head = data.left(4096);
    if (head.contains('\0') || head.startsWith("KMQuizEngine"))
        return TFormat::Unknown;
    const QString text = DecodeText(data.left(1024 * 1024));
    const QString start = text.left(512).trimmed();
    if (start.startsWith(QLatin1String("<?xml")) || start.startsWith(QLatin1String("<quiz"))
        || start.startsWith(QLatin1String("<!--")))
        return TFormat::Moodle;
    static const QRegularExpression answer(QStringLiteral("^\\s*ANSWER\\s*:\\s*[A-Z]\\s*$"),
                                           QRegularExpression::MultilineOption);
    static const QRegularExpression option(QStringLiteral("^\\s*[A-Z][.)]"), QRegularExpression::MultilineOption);
    static const QRegularExpression brace(QStringLiteral("(^|[^\\\\])\\{"));
    const bool braces = text.contains(brace);
    if (!braces && text.contains(answer) && text.contains(option))
        return TFormat::Aiken;
    if (braces || text.contains(QLatin1String("::")) || text.contains(QLatin1String("$CATEGORY")))
        return TFormat::Gift;
    // Text without answers reads as information items.
    return text.trimmed().isEmpty() ? TFormat::Unknown : TFormat::Gift;
}

TFormat FormatFromName(const QString &name)
{
    const QString n = name.trimmed().toLower();
    if (n == u"gift") return TFormat::Gift;
    if (n == u"aiken") return TFormat::Aiken;
    if (n == u"moodle" || n == u"xml") return TFormat::Moodle;
    return TFormat::Unknown;
}

QString FormatName(TFormat f)
{
    switch (f) {
    case TFormat::Gift: return QStringLiteral("gift");
    case TFormat::Aiken: return QStringLiteral("aiken");
    case TFormat::Moodle: return QStringLiteral("moodle");
    case TFormat::Unknown: break;
    }
    return {};
}

TImportResult ImportQuestions(const QByteArray &data, TFormat format)
{
    if (data.size() > kMaxInputBytes) {
        TImportResult r;
        r.Error = QStringLiteral("Файл слишком велик: %1 байт, допускается не более %2.")
                      .arg(data.size()).arg(kMaxInputBytes);
        return r;
    }
    if (format == TFormat::Unknown)
        format = GuessFormat(data);
    try {
        switch (format) {
        case TFormat::Gift: return ImportGift(data);
        case TFormat::Aiken: return ImportAiken(data);
        case TFormat::Moodle: return ImportMoodleXml(data);
        case TFormat::Unknown: break;
        }
    } catch (const std::bad_alloc &) {
        // What was read so far is freed on the way out; nothing comes in.
        TImportResult r;
        r.Error = QStringLiteral("Недостаточно памяти, чтобы прочитать файл; вопросы не добавлены.");
        return r;
    }
    TImportResult r;
    r.Error = QStringLiteral("Не удалось определить формат файла.");
    return r;
}

QByteArray ExportQuestions(const TQuestionList &questions, TFormat format, TReport &report)
{
    switch (format) {
    case TFormat::Gift: return ExportGift(questions, report);
    case TFormat::Aiken: return ExportAiken(questions, report);
    case TFormat::Moodle: return ExportMoodleXml(questions, report);
    case TFormat::Unknown: break;
    }
    return {};
}

} // namespace Interchange
