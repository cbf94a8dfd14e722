// The question-bank XML of learning platforms. A file either reads whole or
// is refused with a reason; what reads writes, and reads back to the same
// questions.
#include "FuzzUtil.h"
#include "HtmlRich.h"
#include "Interchange.h"
#include "QuestionCompare.h"

namespace {

// What the writer can take: an information item, or two variants at least with one right.
bool Writable(const TNQuestion &q)
{
    return q.IsInformation() || (q.Variants.size() >= 2 && q.RightMarks.contains(QLatin1Char('!')));
}

QString Difference(const TNQuestion &a, const TNQuestion &b)
{
    if (const QString d = Fuzz::AnswersDifference(a, b); !d.isEmpty())
        return d;
    const QString ta = Interchange::PlainFromRichRecord(a.Body), tb = Interchange::PlainFromRichRecord(b.Body);
    if (ta != tb)
        return QStringLiteral("text: '%1' | '%2'").arg(ta, tb);
    if (a.Comment.has_value() != b.Comment.has_value())
        return QStringLiteral("comment present: %1 %2").arg(a.Comment.has_value()).arg(b.Comment.has_value());
    if (a.Comment && Interchange::PlainFromRichRecord(*a.Comment) != Interchange::PlainFromRichRecord(*b.Comment))
        return QStringLiteral("comment text");
    return {};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    Fuzz::EnsureGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    const Interchange::TImportResult r = Interchange::ImportMoodleXml(bytes);
    if (!r.Ok) {
        Fuzz::Check(r.Questions.empty(), "a refused file gave questions");
        Fuzz::Check(!r.Error.isEmpty(), "a refused file without a reason");
        return 0;
    }
    TQuestionList kept;
    for (const TQuestionPtr &q : r.Questions) {
        Fuzz::Check(q && q->Variants.size() <= 10, "a question beyond our limits came in");
        Fuzz::Check(q->Variants.size() == q->RightMarks.size(), "marks and variants differ in number");
        if (Writable(*q))
            kept.push_back(q);
    }
    Interchange::TReport report;
    const QByteArray xml = Interchange::ExportMoodleXml(kept, report);
    const Interchange::TImportResult back = Interchange::ImportMoodleXml(xml);
    Fuzz::Check(back.Ok, "a written file does not read", back.Error);
    Fuzz::Check(back.Questions.size() == kept.size(), "questions lost on the way out and in",
                QStringLiteral("%1 -> %2").arg(kept.size()).arg(back.Questions.size()));
    for (size_t i = 0; i < kept.size(); ++i) {
        const QString d = Difference(*kept[i], *back.Questions[i]);
        Fuzz::Check(d.isEmpty(), "question changed by write and read", d);
    }
    return 0;
}
