#include "WordExport.h"

#include "Clock.h"
#include "DocxWriter.h"
#include "RichRecord.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QTextDocument>

#include <algorithm>

namespace Docx {

QString VariantLetter(int j)
{
    return QString(QChar(0x0410 + j));
}

QString IdentifierLine(quint32 identifier)
{
    return QStringLiteral("Идентификатор теста: ") + QString::number(identifier);
}

QString KeyPathFor(const QString &testPath)
{
    QString base = testPath;
    if (base.endsWith(QLatin1String(".docx"), Qt::CaseInsensitive))
        base.chop(5);
    return base + kKeySuffix;
}

QStringList FindTemplates(const QStringList &folders)
{
    // Folder by folder, so that a school's own templates in the working folder
    // come before the ones installed with the programs and the first is theirs.
    QStringList out;
    QSet<QString> seen;
    for (const QString &folder : folders) {
        QFileInfoList infos = QDir(folder).entryInfoList({QStringLiteral("*.dotx")}, QDir::Files);
        std::stable_sort(infos.begin(), infos.end(), [](const QFileInfo &a, const QFileInfo &b) {
            return a.fileName().localeAwareCompare(b.fileName()) < 0;
        });
        for (const QFileInfo &fi : std::as_const(infos)) {
            if (fi.isHidden() || seen.contains(fi.fileName()))
                continue;
            seen.insert(fi.fileName());
            out << fi.absoluteFilePath();
        }
    }
    return out;
}

namespace {

struct TStyles {
    QStringList ids;
    bool complete = true;
};

// Each style by its name; any missing one is reported once for the document.
TStyles LookUp(const TDocxTemplate &tpl, const QStringList &names, const std::function<void(const QString &)> &error)
{
    TStyles s;
    for (const QString &n : names) {
        s.ids << tpl.paragraphStyleId(n);
        if (s.ids.last().isEmpty())
            s.complete = false;
    }
    if (!s.complete)
        error(kMsgStylesMissing);
    return s;
}

void WriteQuestions(TDocxDocument &doc, const TDocxTemplate &tpl, const TQuestionList &list,
                    const TWordExportSettings &settings, const std::function<void(const QString &)> &error)
{
    const TStyles st = LookUp(tpl, {kStyleQuestionHeading, kStyleQuestionText, kStyleVariantsHeading,
                                    kStyleVariants, kStyleNormal}, error);
    const QString &heading = st.ids[0], &text = st.ids[1], &varHeading = st.ids[2], &variants = st.ids[3],
                  &normal = st.ids[4];
    bool bodyReported = false;
    for (size_t i = 0; i < list.size(); ++i) {
        const TNQuestion &q = *list[i];
        // A question stays on one page when it fits on one: every paragraph keeps
        // its lines together and, but the last, stays with the next.
        using TKeep = TDocxDocument::TKeep;
        const int variantCount = int(q.Variants.size());
        doc.addParagraph(heading, QStringLiteral("Вопрос №: ") + QString::number(i + 1), TKeep::LinesWithNext);
        QTextDocument body;
        try {
            RichText::LoadRecord(body, q.Body, true);
        } catch (const EQuizError &) {
            // What could be read is written; the teacher hears of it once.
            if (!bodyReported)
                error(kMsgBodyUnreadable);
            bodyReported = true;
        }
        doc.addRichText(body, settings.formatQuestionText ? text : QString(), TKeep::LinesWithNext,
                        settings.includeAnswers ? TKeep::LinesWithNext : TKeep::Lines);
        if (settings.includeAnswers) {
            doc.addParagraph(varHeading, QStringLiteral("Варианты ответов: "),
                             variantCount > 0 ? TKeep::LinesWithNext : TKeep::Lines);
            for (int j = 0; j < variantCount; ++j)
                doc.addParagraph(variants, (settings.numVariants ? VariantLetter(j) + QStringLiteral(") ") : QString()) +
                                               q.Variants[j],
                                 j + 1 < variantCount ? TKeep::LinesWithNext : TKeep::Lines);
        }
        // The empty paragraph that ends every question.
        doc.addParagraph(normal);
    }
}

void WriteKey(TDocxDocument &doc, const TDocxTemplate &tpl, const TQuestionList &list,
              const std::function<void(const QString &)> &error)
{
    const QString style = LookUp(tpl, {kStyleKey}, error).ids[0];
    for (size_t i = 0; i < list.size(); ++i) {
        const TNQuestion &q = *list[i];
        QString line = QStringLiteral("Вопрос №: ") + QString::number(i + 1) + QStringLiteral(". ");
        const int n = int(q.Variants.size());
        for (int j = 0; j < n; ++j) {
            if (j >= q.RightMarks.size() || q.RightMarks[j] != QLatin1Char('!'))
                continue;
            line += VariantLetter(j) + QLatin1Char(')');
            if (j != n - 1)
                line += QLatin1Char(' ');
        }
        doc.addParagraph(style, line);
    }
    // The paragraph the last break leaves behind.
    doc.addParagraph(style);
}

} // namespace

TWordExportResult ExportToWord(const TTestInfo &info, const TQuestionList &questions,
                               const TWordExportSettings &settings, const QString &testPath,
                               const QString &keyPath, const std::function<void(const QString &)> &error)
{
    TWordExportResult result;
    if (questions.empty()) {
        error(kMsgEmptyTest);
        return result;
    }
    TQuestionList work;
    work.reserve(questions.size());
    for (const TQuestionPtr &q : questions) {
        auto copy = std::make_shared<TNQuestion>();
        copy->Assign(*q);
        work.push_back(std::move(copy));
    }
    {
        // The shuffles report through the export's own channel, and only while it runs.
        struct TReporter {
            explicit TReporter(const std::function<void(const QString &)> &f) { SetShuffleErrorReporter(f); }
            ~TReporter() { SetShuffleErrorReporter({}); }
        } reporter(error);
        ShuffleQuestions(info, work);
        ShuffleVariants(work);
    }
    result.identifier = 1 + QeClock::Random(2147483647u);
    result.questionCount = int(work.size());
    const QString footer = IdentifierLine(result.identifier);

    TDocxTemplate tpl;
    try {
        tpl = TDocxTemplate::Load(settings.templatePath);
    } catch (const EQuizError &) {
        // Without a document nothing can be written: the styles cannot be had,
        // and the first paragraph is where it ends.
        error(kMsgCreateFailed);
        error(kMsgStylesMissing);
        error(kMsgWordFailed);
        return result;
    }
    try {
        {
            TDocxDocument doc(tpl);
            WriteQuestions(doc, tpl, work, settings, error);
            doc.setFooter(footer);
            doc.save(testPath);
            result.testWritten = true;
        }
        {
            TDocxDocument key(tpl);
            WriteKey(key, tpl, work, error);
            key.setFooter(footer);
            key.save(keyPath);
            result.keyWritten = true;
        }
    } catch (const EQuizError &e) {
        error(e.message());
    } catch (const std::exception &) {
        error(kMsgWordFailed);
    }
    return result;
}

} // namespace Docx
