// The lettered-option question format. A file either reads whole or is
// refused with a line; what reads writes, and reads back to the same answers.
#include "FuzzUtil.h"
#include "HtmlRich.h"
#include "Interchange.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    Fuzz::EnsureGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    const Interchange::TImportResult r = Interchange::ImportAiken(bytes);
    if (!r.Ok) {
        Fuzz::Check(r.Questions.empty(), "a refused file gave questions");
        Fuzz::Check(r.ErrorLine > 0 && r.Error.contains(QString::number(r.ErrorLine)), "a refusal without its line", r.Error);
        return 0;
    }
    for (const TQuestionPtr &q : r.Questions) {
        Fuzz::Check(q && q->Variants.size() >= 1 && q->Variants.size() <= 10, "a question beyond our limits came in");
        Fuzz::Check(q->RightMarks.count(QLatin1Char('!')) == 1, "not exactly one right answer");
    }
    Interchange::TReport report;
    const QByteArray aiken = Interchange::ExportAiken(r.Questions, report);
    const Interchange::TImportResult back = Interchange::ImportAiken(aiken);
    Fuzz::Check(back.Ok, "a written file does not read", back.Error);
    // A question with one option cannot be written; every other one comes back.
    size_t writable = 0;
    for (const TQuestionPtr &q : r.Questions) {
        if (q->Variants.size() < 2)
            continue;
        Fuzz::Check(writable < back.Questions.size(), "questions lost on the way out and in");
        const TNQuestion &b = *back.Questions[writable++];
        Fuzz::Check(b.Variants == q->Variants, "variants changed by write and read",
                    q->Variants.join('|') + QStringLiteral(" -> ") + b.Variants.join('|'));
        Fuzz::Check(b.RightMarks == q->RightMarks, "marks changed by write and read");
    }
    Fuzz::Check(writable == back.Questions.size(), "questions gained on the way out and in");
    Interchange::TReport again;
    Fuzz::Check(Interchange::ExportAiken(back.Questions, again) == aiken, "a read file writes differently the second time");
    return 0;
}
