#include "testutil_results.h"

#include "Ansi.h"

#include <QFile>

namespace ResultsTest {

TResultRecord Run(int n, const QString &extra, int score, int possible, QDate date, QTime time, const QString &test)
{
    TResultRecord r;
    r.When = QDateTime(date, time);
    r.TestName = test;
    r.LastName = QStringLiteral("Ученик%1").arg(n);
    r.FirstName = QStringLiteral("Пётр");
    r.Patronymic = QStringLiteral("Сергеевич");
    r.Extra = extra;
    r.Score = quint16(score);
    r.PossibleScore = quint16(possible);
    return r;
}

bool Append(const QString &path, const TResultRecord &r)
{
    return AppendResultOnce(path, r) == TAppendOutcome::Written;
}

void WriteRaw(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray ReadRaw(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray Line(const QString &text) { return ToAnsi(text) + "\r\n"; }

}  // namespace ResultsTest
