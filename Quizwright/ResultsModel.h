#pragma once
// The results window's table: the rows of a results file that the filter
// shows, in the order of the sorted column, and their marks. No widget per
// row; sorting and filtering run in the results library.
#include <QAbstractTableModel>
#include <memory>

#include "ResultsAnalysis.h"

class TResultsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TResultsModel(QObject *parent = nullptr);

    // A new reading of the file: the filter, the sort and the scale stay.
    void setTable(std::shared_ptr<const TResultsTable> table);
    void setFilter(const TResultsFilter &filter);
    void setScale(const TMarkScale &scale);

    const TResultsTable &table() const { return *m_table; }
    const QList<TResultRow> &rows() const { return m_table->Rows; }
    // Row indices of the table as shown, top to bottom.
    const QList<int> &shown() const { return m_shown; }
    const TMarkScale &scale() const { return m_scale; }
    TResultsStats statistics() const { return Results::Statistics(rows(), m_shown, m_scale); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

Q_SIGNALS:
    // The rows shown or their marks changed.
    void shownChanged();

private:
    void refilter();

    std::shared_ptr<const TResultsTable> m_table;
    TResultsFilter m_filter;
    TMarkScale m_scale;
    QList<int> m_shown;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
