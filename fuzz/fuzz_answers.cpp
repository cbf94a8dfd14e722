// The answers journal's reader and the item analysis over what it reads:
// every non-empty line is a record or a counted bad line; a record read
// writes back to a line that reads as the same record; the analysis stays
// within its ranges whatever the records say.
#include "AnswersJournal.h"
#include "FuzzUtil.h"
#include "ItemAnalysis.h"

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    const TAnswersJournal j = AnswersJournal::Parse(bytes);
    int lines = 0;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        lines += !line.trimmed().isEmpty();
    }
    Fuzz::Check(j.Records.size() + j.BadCount == lines, "a line was neither a record nor a bad line",
                QStringLiteral("%1 + %2 != %3").arg(j.Records.size()).arg(j.BadCount).arg(lines));
    Fuzz::Check(j.Bad.size() <= AnswersJournal::MaxBadLines, "bad lines kept beyond the limit");
    for (const TAnswersRecord &r : j.Records) {
        Fuzz::Check(r.Score <= r.PossibleScore && r.When.isValid() && r.TestHash.size() == 64, "record fields");
        for (const TAnswerItem &it : r.Items) {
            Fuzz::Check(it.Key.size() == it.Order.size() && (it.Marks.isEmpty() || it.Marks.size() == it.Key.size()),
                        "an item's marks do not fit its variants");
            Fuzz::Check(it.Position >= 1 && it.Position <= AnswersJournal::MaxItems, "position range");
        }
        TAnswersRecord back;
        QString why;
        Fuzz::Check(AnswersJournal::ParseRecord(AnswersJournal::RecordLine(r).chopped(1), &back, &why),
                    "a record read does not read again once written", why);
        Fuzz::Check(back == r, "a record read reads differently once written");
    }
    for (const TItemVersion &v : ItemAnalysis::Analyse(j.Records)) {
        Fuzz::Check(v.Runs >= 1, "a version without runs");
        for (const TItemStats &s : v.Items) {
            Fuzz::Check(s.FullyRight <= s.Answered && s.Answered <= s.Seen && s.Seen <= v.Runs, "counts out of order");
            Fuzz::Check(s.Facility >= 0 && s.Facility <= 1, "facility out of range");
            Fuzz::Check(!s.Discrimination || std::fabs(*s.Discrimination) <= 1, "discrimination out of range");
            Fuzz::Check(!s.PointBiserial || (std::isfinite(*s.PointBiserial) && std::fabs(*s.PointBiserial) <= 1 + 1e-9),
                        "point-biserial out of range");
            for (const TVariantCount &c : s.Variants)
                Fuzz::Check(c.Chosen >= 0 && c.Chosen <= s.Answered, "a variant chosen more often than answered");
        }
    }
    return 0;
}
