// The results file reader: every line is a run, a header or a bad line with
// its number; rows hold what a line can hold; sorting and statistics take
// whatever the reader gives.
#include "FuzzUtil.h"
#include "ResultsAnalysis.h"
#include "ResultsFile.h"

#include <numeric>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    const TResultsTable t = Results::Parse(bytes);
    const int headers = int(t.HasHeader);
    Fuzz::Check(t.Rows.size() + t.BadCount + headers == t.Lines, "a line was neither a run nor a bad line",
                QStringLiteral("%1 + %2 + %3 != %4").arg(t.Rows.size()).arg(t.BadCount).arg(headers).arg(t.Lines));
    Fuzz::Check(t.Lines == bytes.count('\n') + (bytes.isEmpty() || bytes.endsWith('\n') ? 0 : 1), "line count");
    int last = 0;
    for (const TBadLine &b : t.Bad) {
        Fuzz::Check(b.Line > last && b.Line <= t.Lines, "bad line numbers out of order");
        Fuzz::Check(b.Text.size() <= Results::MaxBadText, "bad line text not cut");
        last = b.Line;
    }
    last = 0;
    for (const TResultRow &r : t.Rows) {
        Fuzz::Check(r.Line > last && r.Date.isValid() && r.Time.isValid(), "row without its line or date");
        Fuzz::Check(r.Score >= 0 && r.Score <= 65535 && r.PossibleScore >= 0 && r.PossibleScore <= 65535, "score range");
        Fuzz::Check(r.Attempt >= 1 && r.Attempt <= r.Attempts, "attempt numbering");
        for (const QString *s : {&r.TestName, &r.LastName, &r.FirstName, &r.Patronymic, &r.Extra})
            Fuzz::Check(!s->contains(QLatin1Char('\t')) && !s->contains(QLatin1Char('\n')), "a field holds a separator");
        last = r.Line;
        // What the player would write for this row reads back as the same run.
        if (r.PossibleScore > 0 && r.Date.year() >= 2000 && r.Date.year() < 2100 && !r.LastName.contains(QLatin1Char('\r'))) {
            TResultRecord rec;
            rec.When = QDateTime(r.Date, QTime(r.Time.hour(), r.Time.minute()));
            rec.TestName = r.TestName;
            rec.LastName = r.LastName;
            rec.FirstName = r.FirstName;
            rec.Patronymic = r.Patronymic;
            rec.Extra = r.Extra;
            rec.Score = quint16(r.Score);
            rec.PossibleScore = quint16(r.PossibleScore);
            const TResultsTable again = Results::Parse(ResultsDataLine(rec));
            Fuzz::Check(again.Rows.size() == 1, "the player's line for a row does not read", again.Bad.value(0).Reason);
            const TResultRow &b = again.Rows.first();
            Fuzz::Check(b.Date == r.Date && b.Score == r.Score && b.PossibleScore == r.PossibleScore
                            && std::abs(b.Percent100 - r.Percent100) <= 1,
                        "the player's line for a row reads differently");
        }
    }
    QList<int> all(t.Rows.size());
    std::iota(all.begin(), all.end(), 0);
    Results::Sort(t.Rows, all, TResultsColumn::LastName, false);
    const TResultsStats s = Results::Statistics(t.Rows, all, TMarkScale());
    Fuzz::Check(s.Count == t.Rows.size() && std::accumulate(s.Marks.begin(), s.Marks.end(), 0) == s.Count
                    && std::accumulate(s.Bins.begin(), s.Bins.end(), 0) == s.Count,
                "statistics do not add up");
    return 0;
}
