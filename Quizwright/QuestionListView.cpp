#include "QuestionListView.h"

void TQuestionListView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                                    const QList<int> &roles)
{
    // A list view lays out all its rows after any change, which on a long test
    // costs more than the rest of a focus move. With one size for every row that
    // size is taken from a row at an end of the list: a change between the ends
    // moves nothing and needs a repaint only.
    if (uniformItemSizes() && model() && topLeft.isValid() && bottomRight.isValid()
        && topLeft.parent() == rootIndex() && topLeft.row() > 0
        && bottomRight.row() < model()->rowCount(rootIndex()) - 1) {
        QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    QListView::dataChanged(topLeft, bottomRight, roles);
}
