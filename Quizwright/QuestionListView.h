#pragma once
// The question list's view: a list view that repaints a changed row without
// laying every row out again when the layout cannot change.
#include <QListView>

class TQuestionListView : public QListView {
    Q_OBJECT
public:
    using QListView::QListView;

protected:
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
};
