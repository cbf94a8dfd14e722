#include "ResultsExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <xlsxwriter.h>

namespace {

QString CsvField(const QString &s)
{
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) && !s.contains(QLatin1Char('\n'))
        && !s.contains(QLatin1Char('\r')))
        return s;
    QString q = s;
    q.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString Threshold(int hundredths) { return Results::FormatPercent100(hundredths / 100.0); }

class TWorkbook {
public:
    explicit TWorkbook(const QByteArray &path) : m_wb(workbook_new(path.constData())) {}
    ~TWorkbook()
    {
        if (m_wb)
            workbook_close(m_wb);  // only after a failure: the file is removed then
    }
    lxw_workbook *get() const { return m_wb; }
    lxw_error close()
    {
        lxw_workbook *wb = m_wb;
        m_wb = nullptr;
        return workbook_close(wb);
    }
private:
    lxw_workbook *m_wb;
};

}  // namespace

namespace Results {

QList<TResultsColumn> ExportColumns()
{
    QList<TResultsColumn> cols;
    for (int c = 0; c <= int(TResultsColumn::Mark); ++c)
        cols << TResultsColumn(c);
    return cols;
}

QString CellText(const TResultRow &r, TResultsColumn c, const TMarkScale &scale)
{
    switch (c) {
    case TResultsColumn::Date: return r.Date.toString(QStringLiteral("dd.MM.yy"));
    case TResultsColumn::Time: return r.Time.toString(QStringLiteral("h:mm"));
    case TResultsColumn::Test: return r.TestName;
    case TResultsColumn::LastName: return r.LastName;
    case TResultsColumn::FirstName: return r.FirstName;
    case TResultsColumn::Patronymic: return r.Patronymic;
    case TResultsColumn::Extra: return r.Extra;
    case TResultsColumn::Score: return QString::number(r.Score);
    case TResultsColumn::PossibleScore: return QString::number(r.PossibleScore);
    case TResultsColumn::Percent: return r.PercentText();
    case TResultsColumn::Mark: return QString::number(scale.Mark(r));
    case TResultsColumn::Attempt:
        return r.Attempts > 1 ? QStringLiteral("%1 из %2").arg(r.Attempt).arg(r.Attempts) : QString();
    }
    return QString();
}

QList<std::pair<QString, QString>> StatisticsLines(const TResultsStats &s, const TMarkScale &scale)
{
    QList<std::pair<QString, QString>> lines{
        {QStringLiteral("Число результатов"), QString::number(s.Count)},
        {QStringLiteral("Средний процент"), FormatPercent100(s.Mean)},
        {QStringLiteral("Медиана"), FormatPercent100(s.Median)},
        {QStringLiteral("Минимум"), FormatPercent100(s.Min)},
        {QStringLiteral("Максимум"), FormatPercent100(s.Max)},
        {QStringLiteral("Стандартное отклонение"), FormatPercent100(s.StdDev)},
    };
    const int from[3] = {scale.Three, scale.Four, scale.Five};
    for (int mark = 5; mark >= 3; --mark)
        lines.append({QStringLiteral("Оценка «%1» (от %2 %)").arg(mark).arg(Threshold(from[mark - 3])),
                      QString::number(s.MarkCount(mark))});
    lines.append({QStringLiteral("Оценка «2» (ниже %1 %)").arg(Threshold(scale.Three)), QString::number(s.MarkCount(2))});
    for (int b = 0; b < 10; ++b)
        lines.append({QStringLiteral("Процент %1").arg(BinTitle(b)), QString::number(s.Bins[size_t(b)])});
    return lines;
}

bool WriteXlsx(const QString &path, const QList<TResultRow> &rows, const QList<int> &indices,
               const TMarkScale &scale, QString *error, const QList<TItemVersion> *items)
{
    auto fail = [&](const QString &text) {
        if (error)
            *error = text + QStringLiteral(": ") + path;
        return false;
    };
    const QFileInfo info(path);
    QString tmpPath;
    {
        // A name of our own beside the target; libxlsxwriter writes it anew.
        QTemporaryFile tmp(info.absolutePath() + QStringLiteral("/.xlsx-XXXXXX"));
        if (!tmp.open())
            return fail(QStringLiteral("Ошибка записи"));
        tmp.setAutoRemove(false);
        tmpPath = tmp.fileName();
    }
    const QByteArray tmpNative = QFile::encodeName(tmpPath);
    TWorkbook book(tmpNative);
    lxw_workbook *wb = book.get();
    if (!wb) {
        QFile::remove(tmpPath);
        return fail(QStringLiteral("Ошибка записи"));
    }
    lxw_format *bold = workbook_add_format(wb);
    format_set_bold(bold);
    lxw_format *date = workbook_add_format(wb);
    format_set_num_format(date, "dd.mm.yyyy");
    lxw_format *time = workbook_add_format(wb);
    format_set_num_format(time, "h:mm");
    lxw_format *percent = workbook_add_format(wb);
    format_set_num_format(percent, "0.00");

    lxw_worksheet *sheet = workbook_add_worksheet(wb, "Результаты");
    const QList<TResultsColumn> cols = ExportColumns();
    for (int c = 0; c < cols.size(); ++c)
        worksheet_write_string(sheet, 0, lxw_col_t(c), ColumnTitle(cols[c]).toUtf8().constData(), bold);
    worksheet_set_column(sheet, 0, 0, 11, nullptr);
    worksheet_set_column(sheet, 2, 6, 16, nullptr);
    worksheet_set_column(sheet, 8, 8, 16, nullptr);
    lxw_row_t row = 1;
    for (int i : indices) {
        const TResultRow &r = rows.at(i);
        for (int c = 0; c < cols.size(); ++c) {
            const lxw_col_t col = lxw_col_t(c);
            switch (cols[c]) {
            case TResultsColumn::Date: {
                lxw_datetime dt{r.Date.year(), r.Date.month(), r.Date.day(), 0, 0, 0};
                worksheet_write_datetime(sheet, row, col, &dt, date);
                break;
            }
            case TResultsColumn::Time: {
                lxw_datetime dt{0, 0, 0, r.Time.hour(), r.Time.minute(), double(r.Time.second())};
                worksheet_write_datetime(sheet, row, col, &dt, time);
                break;
            }
            case TResultsColumn::Score: worksheet_write_number(sheet, row, col, r.Score, nullptr); break;
            case TResultsColumn::PossibleScore: worksheet_write_number(sheet, row, col, r.PossibleScore, nullptr); break;
            case TResultsColumn::Percent: worksheet_write_number(sheet, row, col, r.Percent(), percent); break;
            case TResultsColumn::Mark: worksheet_write_number(sheet, row, col, scale.Mark(r), nullptr); break;
            default:
                worksheet_write_string(sheet, row, col, CellText(r, cols[c], scale).toUtf8().constData(), nullptr);
            }
        }
        ++row;
        if (row >= LXW_ROW_MAX)
            break;
    }
    worksheet_freeze_panes(sheet, 1, 0);

    lxw_worksheet *stats = workbook_add_worksheet(wb, "Статистика");
    worksheet_set_column(stats, 0, 0, 30, nullptr);
    const TResultsStats s = Statistics(rows, indices, scale);
    worksheet_write_string(stats, 0, 0, "Показатель", bold);
    worksheet_write_string(stats, 0, 1, "Значение", bold);
    const QList<std::pair<QString, QString>> lines = StatisticsLines(s, scale);
    const double values[6] = {double(s.Count), s.Mean, s.Median, s.Min, s.Max, s.StdDev};
    for (int k = 0; k < lines.size(); ++k) {
        worksheet_write_string(stats, lxw_row_t(k + 1), 0, lines[k].first.toUtf8().constData(), nullptr);
        const double v = k < 6 ? values[k] : lines[k].second.toDouble();
        worksheet_write_number(stats, lxw_row_t(k + 1), 1, v, k >= 1 && k < 6 ? percent : nullptr);
    }

    if (items) {
        lxw_worksheet *sheet = workbook_add_worksheet(wb, "Анализ вопросов");
        lxw_format *fraction = workbook_add_format(wb);
        format_set_num_format(fraction, "0.00");
        lxw_format *right = workbook_add_format(wb);
        format_set_bold(right);
        format_set_font_color(right, LXW_COLOR_GREEN);
        int variants = 0;
        for (const TItemVersion &v : *items)
            for (const TItemStats &it : v.Items)
                variants = std::max(variants, int(it.Variants.size()));
        QStringList titles{QStringLiteral("Тест"), QStringLiteral("Версия")};
        for (TItemColumn c : {TItemColumn::Position, TItemColumn::Text, TItemColumn::Seen, TItemColumn::Answered,
                              TItemColumn::Facility, TItemColumn::Discrimination, TItemColumn::PointBiserial})
            titles << ItemAnalysis::ColumnTitle(c);
        for (int k = 0; k < variants; ++k)
            titles << QStringLiteral("Вариант %1").arg(k + 1);
        titles << ItemAnalysis::ColumnTitle(TItemColumn::Flags);
        for (int c = 0; c < titles.size(); ++c)
            worksheet_write_string(sheet, 0, lxw_col_t(c), titles[c].toUtf8().constData(), bold);
        worksheet_set_column(sheet, 0, 0, 14, nullptr);
        worksheet_set_column(sheet, 3, 3, 40, nullptr);
        worksheet_set_column(sheet, lxw_col_t(titles.size() - 1), lxw_col_t(titles.size() - 1), 40, nullptr);
        lxw_row_t at = 1;
        for (const TItemVersion &v : *items) {
            for (const TItemStats &it : v.Items) {
                if (at >= LXW_ROW_MAX)
                    break;
                lxw_col_t c = 0;
                worksheet_write_string(sheet, at, c++, v.TestName.toUtf8().constData(), nullptr);
                worksheet_write_string(sheet, at, c++, v.TestHash.left(8).toUtf8().constData(), nullptr);
                worksheet_write_number(sheet, at, c++, it.Position, nullptr);
                worksheet_write_string(sheet, at, c++, it.TextStart.toUtf8().constData(), nullptr);
                worksheet_write_number(sheet, at, c++, it.Seen, nullptr);
                worksheet_write_number(sheet, at, c++, it.Answered, nullptr);
                worksheet_write_number(sheet, at, c++, it.Facility, fraction);
                for (const std::optional<double> &d : {it.Discrimination, it.PointBiserial}) {
                    if (d)
                        worksheet_write_number(sheet, at, c, *d, fraction);
                    ++c;
                }
                for (int k = 0; k < variants; ++k, ++c)
                    if (k < it.Variants.size())
                        worksheet_write_number(sheet, at, c, it.Variants[k].Chosen,
                                               it.Variants[k].Right ? right : nullptr);
                worksheet_write_string(sheet, at, c, ItemAnalysis::FlagsText(it.Flags).toUtf8().constData(), nullptr);
                ++at;
            }
        }
        worksheet_freeze_panes(sheet, 1, 0);
    }

    const lxw_error rc = book.close();
    if (rc != LXW_NO_ERROR) {
        QFile::remove(tmpPath);
        return fail(QStringLiteral("Ошибка записи (%1)").arg(QString::fromUtf8(lxw_strerror(rc))));
    }
    QFile::remove(path);
    if (!QFile::rename(tmpPath, path)) {
        QFile::remove(tmpPath);
        return fail(QStringLiteral("Ошибка записи"));
    }
    return true;
}

QByteArray CsvBytes(const QList<TResultRow> &rows, const QList<int> &indices, const TMarkScale &scale)
{
    const QList<TResultsColumn> cols = ExportColumns();
    QStringList header;
    for (TResultsColumn c : cols)
        header << CsvField(ColumnTitle(c));
    QString text = QChar(0xFEFF) + header.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    for (int i : indices) {
        const TResultRow &r = rows.at(i);
        QStringList fields;
        for (TResultsColumn c : cols) {
            switch (c) {
            case TResultsColumn::Date: fields << r.Date.toString(Qt::ISODate); break;
            case TResultsColumn::Time: fields << r.Time.toString(QStringLiteral("hh:mm")); break;
            case TResultsColumn::Percent: fields << QString::asprintf("%d.%02d", r.Percent100 / 100, r.Percent100 % 100); break;
            default: fields << CsvField(CellText(r, c, scale));
            }
        }
        text += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

bool WriteCsv(const QString &path, const QList<TResultRow> &rows, const QList<int> &indices,
              const TMarkScale &scale, QString *error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(CsvBytes(rows, indices, scale)) < 0 || !f.commit()) {
        if (error)
            *error = QStringLiteral("Ошибка записи: ") + path;
        return false;
    }
    return true;
}

QString ReportHtml(const QString &title, const QList<TResultRow> &rows, const QList<int> &indices,
                   const TMarkScale &scale)
{
    QString html = QStringLiteral("<html><body><h2>%1</h2><table cellspacing=0 cellpadding=2>").arg(title.toHtmlEscaped());
    for (const auto &[label, value] : StatisticsLines(Statistics(rows, indices, scale), scale))
        html += QStringLiteral("<tr><td>%1</td><td align=right>%2</td></tr>").arg(label.toHtmlEscaped(), value);
    html += QStringLiteral("</table><br><table border=1 cellspacing=0 cellpadding=2><tr>");
    const QList<TResultsColumn> cols = ExportColumns();
    for (TResultsColumn c : cols)
        html += QStringLiteral("<th>%1</th>").arg(ColumnTitle(c).toHtmlEscaped());
    html += QStringLiteral("</tr>");
    for (int i : indices) {
        html += QStringLiteral("<tr>");
        for (TResultsColumn c : cols)
            html += QStringLiteral("<td>%1</td>").arg(CellText(rows.at(i), c, scale).toHtmlEscaped());
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table></body></html>");
}

}  // namespace Results
