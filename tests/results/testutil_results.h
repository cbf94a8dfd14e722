#pragma once
// Helpers of the results tests: results files written by the player's own
// writer, and raw files for lines no player writes.
#include <QByteArray>
#include <QString>

#include "ResultsFile.h"

namespace ResultsTest {
// A run of pupil n of a class: surname "Ученик<n>", the date and score given.
TResultRecord Run(int n, const QString &extra, int score, int possible, QDate date = QDate(2026, 12, 7),
                  QTime time = QTime(9, 5), const QString &test = QStringLiteral("Химия"));
// Appends through the player's writer (a header first into a new file); fails the test otherwise.
bool Append(const QString &path, const TResultRecord &r);
void WriteRaw(const QString &path, const QByteArray &bytes);
QByteArray ReadRaw(const QString &path);
// Windows-1251 bytes of a line given in UTF-8, with CR LF.
QByteArray Line(const QString &text);
}
