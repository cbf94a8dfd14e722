// qe2tool items: the item analysis of a results file's answers journal, the
// table of the results window's second page.
#include "Tool.h"

#include "ItemAnalysis.h"

#include <cmath>

namespace Qe2Tool {

namespace {

QString Fraction(double v) { return QString::number(v, 'f', 2); }

QString Optional(std::optional<double> v) { return v ? Fraction(std::fabs(*v) < 0.005 ? 0.0 : *v) : QStringLiteral("-"); }

QString Variants(const TItemStats &s)
{
    QStringList parts;
    for (const TVariantCount &v : s.Variants)
        parts << QString::number(v.Chosen) + (v.Right ? QStringLiteral("*") : QString());
    return parts.join(u' ');
}

QString Flags(unsigned flags)
{
    QStringList parts;
    if (flags & FlagTooHard)
        parts << QStringLiteral("hard");
    if (flags & FlagTooEasy)
        parts << QStringLiteral("easy");
    if (flags & FlagLowDiscrimination)
        parts << QStringLiteral("low-discrimination");
    if (flags & FlagMisleading)
        parts << QStringLiteral("misleading");
    return parts.join(u',');
}

}  // namespace

int CmdItems(const QStringList &args)
{
    const TArgs a = ParseArgs(args, {{QStringLiteral("test"), QChar(), true}}, 1, 1);
    const QString path = a.positional.first();
    const QString journalPath = AnswersJournal::PathFor(path);
    const AnswersJournal::TReadOutcome in = AnswersJournal::ReadFile(journalPath);
    if (in.Status == AnswersJournal::TReadStatus::Missing)
        throw ToolError(QStringLiteral("%1: no answers journal beside the results file").arg(journalPath));
    if (in.Status != AnswersJournal::TReadStatus::Ok)
        throw ToolError(in.Error);
    const TAnswersJournal &j = in.Journal;
    for (const TAnswersBadLine &b : j.Bad)
        WriteErr(QStringLiteral("qe2tool: %1:%2: %3\n").arg(journalPath).arg(b.Line).arg(b.Reason));
    if (j.BadCount > j.Bad.size())
        WriteErr(QStringLiteral("qe2tool: %1: %2 more damaged lines\n").arg(journalPath).arg(j.BadCount - j.Bad.size()));

    std::optional<QString> test;
    if (a.has(QStringLiteral("test")))
        test = a.value(QStringLiteral("test"));
    const QList<TItemVersion> versions = ItemAnalysis::Analyse(j.Records, test);
    QString out = QStringLiteral("records: %1\ndamaged lines: %2\n").arg(j.Records.size()).arg(j.BadCount);
    for (const TItemVersion &v : versions) {
        out += QStringLiteral("\ntest: %1\nhash: %2\nruns: %3\nfrom: %4\nto: %5\n")
                   .arg(v.TestName, v.TestHash).arg(v.Runs)
                   .arg(v.First.toString(Qt::ISODate), v.Last.toString(Qt::ISODate));
        if (v.Mismatched)
            out += QStringLiteral("left out: %1 answers that contradict their question\n").arg(v.Mismatched);
        out += QStringLiteral("pos\tseen\tanswered\tfacility\tdiscrimination\tpoint-biserial\tvariants\tflags\ttext\n");
        for (const TItemStats &s : v.Items)
            out += QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8\t%9\n")
                       .arg(s.Position).arg(s.Seen).arg(s.Answered)
                       .arg(Fraction(s.Facility), Optional(s.Discrimination), Optional(s.PointBiserial), Variants(s),
                            Flags(s.Flags), s.TextStart);
    }
    WriteOut(out);
    return exitOk;
}

}  // namespace Qe2Tool
