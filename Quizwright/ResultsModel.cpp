#include "ResultsModel.h"

#include "ResultsExport.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QHash>

TResultsModel::TResultsModel(QObject *parent)
    : QAbstractTableModel(parent), m_table(std::make_shared<TResultsTable>())
{
}

void TResultsModel::setTable(std::shared_ptr<const TResultsTable> table)
{
    beginResetModel();
    m_table = table ? std::move(table) : std::make_shared<TResultsTable>();
    refilter();
    endResetModel();
    Q_EMIT shownChanged();
}

void TResultsModel::setFilter(const TResultsFilter &filter)
{
    beginResetModel();
    m_filter = filter;
    refilter();
    endResetModel();
    Q_EMIT shownChanged();
}

void TResultsModel::setScale(const TMarkScale &scale)
{
    if (scale == m_scale)
        return;
    m_scale = scale;
    if (m_sortColumn == int(TResultsColumn::Mark))
        sort(m_sortColumn, m_sortOrder);
    else if (!m_shown.isEmpty())
        Q_EMIT dataChanged(index(0, int(TResultsColumn::Mark)), index(int(m_shown.size()) - 1, int(TResultsColumn::Mark)));
    Q_EMIT shownChanged();
}

void TResultsModel::refilter()
{
    m_shown = Results::Filter(m_table->Rows, m_filter);
    if (m_sortColumn >= 0)
        Results::Sort(m_table->Rows, m_shown, TResultsColumn(m_sortColumn), m_sortOrder == Qt::DescendingOrder, m_scale);
}

int TResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_shown.size());
}

int TResultsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(TResultsColumn::Count);
}

QVariant TResultsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown.size())
        return {};
    const TResultRow &r = m_table->Rows.at(m_shown.at(index.row()));
    const auto column = TResultsColumn(index.column());
    switch (role) {
    case Qt::DisplayRole:
        return Results::CellText(r, column, m_scale);
    case Qt::TextAlignmentRole:
        if (column >= TResultsColumn::Score)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    case Qt::ForegroundRole:
        // A repeat is shown, but apart from the first run.
        if (r.Attempt > 1)
            return QBrush(QColor(0x70, 0x70, 0x70));
        return {};
    case Qt::FontRole:
        if (column == TResultsColumn::Mark) {
            QFont f;
            f.setBold(true);
            return f;
        }
        return {};
    case Qt::ToolTipRole:
        if (r.Attempts > 1)
            return QStringLiteral("Попытка %1 из %2 (строка %3 файла)").arg(r.Attempt).arg(r.Attempts).arg(r.Line);
        return QStringLiteral("Строка %1 файла").arg(r.Line);
    case Qt::UserRole:
        return r.Line;
    default:
        return {};
    }
}

QVariant TResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    return Results::ColumnTitle(TResultsColumn(section));
}

void TResultsModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= int(TResultsColumn::Count))
        return;
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QList<int> tableRows;
    for (const QModelIndex &i : before)
        tableRows << m_shown.value(i.row(), -1);
    m_sortColumn = column;
    m_sortOrder = order;
    // From file order, so that equal rows always come in the order of the file.
    std::sort(m_shown.begin(), m_shown.end());
    Results::Sort(m_table->Rows, m_shown, TResultsColumn(column), order == Qt::DescendingOrder, m_scale);
    if (!before.isEmpty()) {
        QHash<int, int> rowOf;
        for (int k = 0; k < m_shown.size(); ++k)
            rowOf.insert(m_shown.at(k), k);
        QModelIndexList after;
        for (qsizetype k = 0; k < before.size(); ++k)
            after << index(rowOf.value(tableRows.at(k), -1), before.at(k).column());
        changePersistentIndexList(before, after);
    }
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
