#pragma once
// What a filter shows, for spreadsheets and for printing. Both writers put
// the file in place whole (a temporary file beside it, then renamed over it)
// or leave whatever was there untouched.
#include "ItemAnalysis.h"
#include "ResultsAnalysis.h"

namespace Results {
// Columns of the exports: those of the table with the mark, without the attempt.
QList<TResultsColumn> ExportColumns();

// A workbook of two sheets: "Результаты" (a bold header; dates and times as
// dates and times, scores, percents and marks as numbers) and "Статистика";
// with items, a third, "Анализ вопросов", one row per question of each
// version, each variant's count in a column of its own (the right ones bold).
// False with a message in error.
bool WriteXlsx(const QString &path, const QList<TResultRow> &rows, const QList<int> &indices,
               const TMarkScale &scale, QString *error = nullptr, const QList<TItemVersion> *items = nullptr);
// UTF-8 with a byte-order mark, a header line, commas between fields, quotes
// where a field needs them; dates as 2026-12-07, percents as 58.33.
QByteArray CsvBytes(const QList<TResultRow> &rows, const QList<int> &indices, const TMarkScale &scale);
bool WriteCsv(const QString &path, const QList<TResultRow> &rows, const QList<int> &indices,
              const TMarkScale &scale, QString *error = nullptr);

// The statistics as label and value pairs, as the second sheet and the print show them.
QList<std::pair<QString, QString>> StatisticsLines(const TResultsStats &stats, const TMarkScale &scale);
// A document for printing: the title, the statistics and the table.
QString ReportHtml(const QString &title, const QList<TResultRow> &rows, const QList<int> &indices,
                   const TMarkScale &scale);

// The text of one cell as the table shows it.
QString CellText(const TResultRow &r, TResultsColumn c, const TMarkScale &scale);
}
