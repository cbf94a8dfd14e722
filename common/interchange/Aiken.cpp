// The one-line question format: the question, lettered options, "ANSWER: X".
#include <QRegularExpression>

#include "HtmlRich.h"
#include "Interchange.h"
#include "TextFormats.h"

namespace Interchange {

namespace {

const QRegularExpression &OptionLine()
{
    // As the platform reads them: no space, or one space or tab, after the separator.
    static const QRegularExpression re(QStringLiteral("^\\s*([A-Z])[.)][ \\t]?(.*)$"));
    return re;
}

const QRegularExpression &AnswerLine()
{
    static const QRegularExpression re(QStringLiteral("^\\s*ANSWER\\s*:\\s*(.*?)\\s*$"));
    return re;
}

struct TSyntaxError {
    int line;
    QString text;
};

} // namespace

TImportResult ImportAiken(const QByteArray &data)
{
    QString encoding;
    const QStringList lines = DecodeText(data, &encoding).split(QLatin1Char('\n'));
    TImportResult result;
    if (const QString line = EncodingLine(encoding); !line.isEmpty())
        result.Report.add(line);
    int number = 0;
    QStringList text;
    int textLine = 0;
    QStringList options;
    QString letters;

    auto finish = [&](const QString &answer, int line) {
        ++number;
        const QString where = Where(number, textLine);
        if (number > kMaxQuestions)
            throw TSyntaxError{textLine, QStringLiteral("в файле больше %1 вопросов.").arg(kMaxQuestions)};
        if (answer.size() != 1 || !answer[0].isLetter())
            throw TSyntaxError{line, answer.contains(QLatin1Char(',')) || answer.size() > 1
                                         ? QStringLiteral("после «ANSWER:» нужна одна буква: верный ответ в этом формате один.")
                                         : QStringLiteral("после «ANSWER:» нет буквы верного ответа.")};
        const int right = int(letters.indexOf(answer[0].toUpper()));
        if (right < 0)
            throw TSyntaxError{line, QStringLiteral("в ответе указана буква %1, а такого варианта у вопроса нет.").arg(answer)};
        if (options.size() < 2) {
            result.Report.add(where + QStringLiteral("пропущен: один вариант ответа, а нужно не меньше двух."));
            return;
        }
        if (options.size() > kMaxVariants) {
            result.Report.add(where + QStringLiteral("пропущен: %1 вариантов ответа, допускается не более %2.")
                                          .arg(options.size())
                                          .arg(kMaxVariants));
            return;
        }
        auto q = std::make_shared<TNQuestion>();
        for (int i = 0; i < options.size(); ++i) {
            q->Variants << AnsiOnly(options[i], QStringLiteral("вариант ответа"), result.Report, where);
            q->RightMarks += i == right ? QLatin1Char('!') : QLatin1Char(' ');
        }
        if (!SetBody(*q, RichRecordFromPlain(text.join(QLatin1Char('\n'))))) {
            result.Report.add(where + QStringLiteral("пропущен: в тексте больше %1 строк.").arg(kMaxPlainLines));
            return;
        }
        result.Questions.push_back(std::move(q));
    };

    try {
        for (int i = 0; i < lines.size(); ++i) {
            const QString &l = lines[i];
            const int lineNo = i + 1;
            if (l.trimmed().isEmpty()) {
                if (!text.isEmpty() && options.isEmpty())
                    throw TSyntaxError{textLine, QStringLiteral("у вопроса нет вариантов ответа («A) …»).")};
                if (!options.isEmpty())
                    throw TSyntaxError{textLine, QStringLiteral("у вопроса нет строки «ANSWER: буква».")};
                continue;
            }
            const QRegularExpressionMatch answer = AnswerLine().match(l);
            if (answer.hasMatch()) {
                if (options.isEmpty())
                    throw TSyntaxError{lineNo, text.isEmpty() ? QStringLiteral("строка «ANSWER:» без вопроса.")
                                                              : QStringLiteral("у вопроса нет вариантов ответа («A) …»).")};
                finish(answer.captured(1), lineNo);
                text.clear();
                options.clear();
                letters.clear();
                continue;
            }
            const QRegularExpressionMatch option = OptionLine().match(l);
            if (option.hasMatch() && !text.isEmpty()) {
                const QChar letter = option.captured(1)[0];
                if (letters.contains(letter))
                    throw TSyntaxError{lineNo, QStringLiteral("вариант %1 указан дважды.").arg(letter)};
                letters += letter;
                options << option.captured(2).trimmed();
                continue;
            }
            if (!options.isEmpty())
                throw TSyntaxError{lineNo, QStringLiteral("ожидался вариант ответа («A) …») или строка «ANSWER: буква».")};
            if (text.isEmpty())
                textLine = lineNo;
            text << l.trimmed();
        }
        if (!text.isEmpty())
            throw TSyntaxError{textLine, QStringLiteral("у вопроса нет строки «ANSWER: буква».")};
    } catch (const TSyntaxError &e) {
        TImportResult bad;
        bad.ErrorLine = e.line;
        bad.Error = QStringLiteral("Строка %1: %2").arg(e.line).arg(e.text);
        return bad;
    }
    result.Ok = true;
    return result;
}

QByteArray ExportAiken(const TQuestionList &questions, TReport &report)
{
    QString out;
    int number = 0;
    for (const TQuestionPtr &q : questions) {
        ++number;
        if (!q)
            continue;
        const QString where = Where(number, 0);
        const int n = int(q->Variants.size());
        const int k = int(q->RightMarks.count(QLatin1Char('!')));
        if (n == 0) {
            report.add(where + QStringLiteral("пропущен: информационный блок, в этом формате таких нет."));
            continue;
        }
        if (k != 1) {
            report.add(where + QStringLiteral("пропущен: верных вариантов %1, а в этом формате верный ответ один.").arg(k));
            continue;
        }
        if (n < 2) {
            report.add(where + QStringLiteral("пропущен: один вариант ответа, а нужно не меньше двух."));
            continue;
        }
        QString text = PlainFromRichRecord(q->Body);
        if (text.contains(QLatin1Char('\n'))) {
            text = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
            report.add(where + QStringLiteral("текст в несколько строк записан одной строкой."));
        }
        text = text.simplified();
        if (!IsUniformLook(q->Body))
            report.add(where + QStringLiteral("оформление текста и объекты в нём не перенесены, оставлен простой текст."));
        if (q->HasTitle)
            report.add(where + QStringLiteral("название вопроса не перенесено: в этом формате названий нет."));
        if (q->Comment && !PlainFromRichRecord(*q->Comment).isEmpty())
            report.add(where + QStringLiteral("комментарий не перенесён: в этом формате комментариев нет."));
        // A question text that would read as an option or the answer line.
        if (OptionLine().match(text).hasMatch() || AnswerLine().match(text).hasMatch() || text.isEmpty()) {
            text.prepend(QStringLiteral("— "));
            report.add(where + QStringLiteral("текст начинается как вариант ответа или пуст: перед ним поставлено «— »."));
        }
        out += text + QLatin1Char('\n');
        int right = 0;
        for (int v = 0; v < n; ++v) {
            out += QChar(u'A' + v) + QStringLiteral(") ") + q->Variants[v] + QLatin1Char('\n');
            if (v < q->RightMarks.size() && q->RightMarks[v] == QLatin1Char('!'))
                right = v;
        }
        out += QStringLiteral("ANSWER: ") + QChar(u'A' + right) + QStringLiteral("\n\n");
    }
    return out.toUtf8();
}

} // namespace Interchange
