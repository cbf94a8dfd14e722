// qe2tool results: statistics of a results file, by class or by test, and
// the spreadsheet export of the results window.
#include "Tool.h"

#include "ResultsExport.h"

#include <cmath>
#include <numeric>

namespace Qe2Tool {

namespace {

// "85/70/50" (or with commas) to a scale; UsageError otherwise.
TMarkScale ParseMarks(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    TMarkScale scale;
    int *fields[3] = {&scale.Five, &scale.Four, &scale.Three};
    bool ok = parts.size() == 3;
    for (int k = 0; ok && k < 3; ++k) {
        const double v = QString(parts[k]).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        *fields[k] = int(std::lround(v * 100));
    }
    if (!ok || !scale.IsValid())
        throw UsageError(QStringLiteral("--marks needs three percents from high to low, e.g. 85/70/50"));
    return scale;
}

QString Number(double v) { return QString::number(v, 'f', 2); }

QString StatsLine(const QString &name, const TResultsStats &s)
{
    return QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8\t%9\t%10\t%11\n")
        .arg(name, QString::number(s.Count), Number(s.Mean), Number(s.Median), Number(s.Min), Number(s.Max),
             Number(s.StdDev), QString::number(s.MarkCount(5)), QString::number(s.MarkCount(4)),
             QString::number(s.MarkCount(3)), QString::number(s.MarkCount(2)));
}

}  // namespace

int CmdResults(const QStringList &args)
{
    const TArgs a = ParseArgs(args, {{QStringLiteral("by"), QChar(), true}, {QStringLiteral("xlsx"), QChar(), true},
                                     {QStringLiteral("csv"), QChar(), true}, {QStringLiteral("marks"), QChar(), true}},
                              1, 1);
    std::optional<Results::TGroupBy> by;
    if (a.has(QStringLiteral("by"))) {
        const QString v = a.value(QStringLiteral("by"));
        if (v == QLatin1String("class"))
            by = Results::TGroupBy::Extra;
        else if (v == QLatin1String("test"))
            by = Results::TGroupBy::Test;
        else
            throw UsageError(QStringLiteral("--by takes class or test, not '%1'").arg(v));
    }
    const TMarkScale scale = a.has(QStringLiteral("marks")) ? ParseMarks(a.value(QStringLiteral("marks"))) : TMarkScale();
    const QString path = a.positional.first();

    const Results::TReadOutcome in = Results::ReadFile(path);
    if (in.Status != Results::TReadStatus::Ok)
        throw ToolError(in.Error);
    const TResultsTable &t = in.Table;
    for (const TBadLine &b : t.Bad)
        WriteErr(QStringLiteral("qe2tool: %1:%2: %3: %4\n").arg(path).arg(b.Line).arg(b.Reason, b.Text));
    if (t.BadCount > t.Bad.size())
        WriteErr(QStringLiteral("qe2tool: %1: %2 more damaged lines\n").arg(path).arg(t.BadCount - t.Bad.size()));

    QList<int> all(t.Rows.size());
    std::iota(all.begin(), all.end(), 0);
    QString out = QStringLiteral("runs: %1\ndamaged lines: %2\nmarks: 5 from %3, 4 from %4, 3 from %5\n\n")
                      .arg(t.Rows.size())
                      .arg(t.BadCount)
                      .arg(Number(scale.Five / 100.0), Number(scale.Four / 100.0), Number(scale.Three / 100.0));
    out += QStringLiteral("group\truns\tmean\tmedian\tmin\tmax\tstddev\t5\t4\t3\t2\n");
    if (by)
        for (const auto &[name, rows] : Results::Group(t.Rows, all, *by))
            out += StatsLine(name.isEmpty() ? QStringLiteral("(none)") : name, Results::Statistics(t.Rows, rows, scale));
    out += StatsLine(QStringLiteral("(all)"), Results::Statistics(t.Rows, all, scale));
    WriteOut(out);

    QString error;
    if (a.has(QStringLiteral("xlsx")) && !Results::WriteXlsx(a.value(QStringLiteral("xlsx")), t.Rows, all, scale, &error))
        throw ToolError(error);
    if (a.has(QStringLiteral("csv")) && !Results::WriteCsv(a.value(QStringLiteral("csv")), t.Rows, all, scale, &error))
        throw ToolError(error);
    return exitOk;
}

}  // namespace Qe2Tool
