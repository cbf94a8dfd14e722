#include "Interchange.h"

namespace Interchange {

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
    switch (format) {
    case TFormat::Gift: return ImportGift(data);
    case TFormat::Aiken: return ImportAiken(data);
    case TFormat::Moodle: return ImportMoodleXml(data);
    case TFormat::Unknown: break;
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
