// The brace question format. A file either reads whole or is refused with a
// line; what reads writes, reads back to the same questions, and writes the
// same file again.
#include "FuzzUtil.h"
#include "HtmlRich.h"
#include "Interchange.h"
#include "QuestionCompare.h"

namespace {

QString Difference(const TNQuestion &a, const TNQuestion &b)
{
    if (const QString d = Fuzz::AnswersDifference(a, b); !d.isEmpty())
        return d;
    // The format trims a text's ends.
    const QString ta = Interchange::PlainFromRichRecord(a.Body).trimmed();
    const QString tb = Interchange::PlainFromRichRecord(b.Body).trimmed();
    if (ta != tb)
        return QStringLiteral("text: '%1' | '%2'").arg(ta, tb);
    // An information item's comment has no place in the format.
    if (!a.IsInformation() && a.Comment.has_value() != b.Comment.has_value())
        return QStringLiteral("comment present: %1 %2").arg(a.Comment.has_value()).arg(b.Comment.has_value());
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
    const Interchange::TImportResult r = Interchange::ImportGift(bytes);
    if (!r.Ok) {
        Fuzz::Check(r.Questions.empty(), "a refused file gave questions");
        Fuzz::Check(r.ErrorLine > 0 && r.Error.contains(QString::number(r.ErrorLine)), "a refusal without its line", r.Error);
        return 0;
    }
    for (const TQuestionPtr &q : r.Questions) {
        Fuzz::Check(q && q->Variants.size() <= 10, "a question beyond our limits came in");
        Fuzz::Check(q->Variants.size() == q->RightMarks.size(), "marks and variants differ in number");
    }
    // An information item that is only pictures has nothing the format can hold.
    TQuestionList kept;
    for (const TQuestionPtr &q : r.Questions)
        if (!q->IsInformation() || (q->HasTitle && !q->Title.isEmpty())
            || !Interchange::PlainFromRichRecord(q->Body).trimmed().isEmpty())
            kept.push_back(q);
    Interchange::TReport report;
    const QByteArray gift = Interchange::ExportGift(kept, report);
    const Interchange::TImportResult back = Interchange::ImportGift(gift);
    Fuzz::Check(back.Ok, "a written file does not read", back.Error);
    Fuzz::Check(back.Questions.size() == kept.size(), "questions lost on the way out and in",
                QStringLiteral("%1 -> %2").arg(kept.size()).arg(back.Questions.size()));
    for (size_t i = 0; i < back.Questions.size(); ++i) {
        const QString d = Difference(*kept[i], *back.Questions[i]);
        Fuzz::Check(d.isEmpty(), "question changed by write and read", d);
    }
    Interchange::TReport again;
    Fuzz::Check(Interchange::ExportGift(back.Questions, again) == gift, "a read file writes differently the second time");
    return 0;
}
