#pragma once
// The question list's view: a list view that repaints a changed row without
// laying every row out again when the layout cannot change, and that drags
// and takes rows with an insertion line where they will go. What a drop does
// to the questions is the window's (the callbacks below).
#include <QListView>
#include <functional>

class QMimeData;

class TQuestionListView : public QListView {
    Q_OBJECT
public:
    explicit TQuestionListView(QWidget *parent = nullptr);

    enum class TDropPlace { None, Before, After, Append };
    struct TDropTarget {
        TDropPlace Place = TDropPlace::None;
        int Row = -1;   // the row the dropped rows will start at
        bool operator==(const TDropTarget &) const = default;
    };
    // Upper third of a row: before it; lower third: after it; the middle: none;
    // below the last row (or in an empty list): appended. pos in viewport coordinates.
    TDropTarget DropTargetAt(const QPoint &pos) const;
    // Appending takes copies only.
    static bool Accepts(TDropPlace place, Qt::DropAction action);
    // Move within one list, copy from elsewhere; Ctrl copies, Shift moves.
    static Qt::DropAction ActionFor(bool fromThisList, Qt::KeyboardModifiers mods);
    // Where the insertion line is drawn now (None: no line).
    TDropTarget IndicatorTarget() const { return m_indicator; }

    // The dragged data for the selection, in list order (null: no drag).
    std::function<QMimeData *()> DragData;
    // Whether data is this list's own dragged data.
    std::function<bool(const QMimeData *)> IsOwnDrag;
    // Data in the questions' format dropped at row; true when it was taken.
    std::function<bool(const QMimeData *data, int row, Qt::DropAction action, bool fromThisList)> QuestionsDropped;
    // Anything else dropped.
    std::function<void()> ForeignDropped;
    // The drag started here ended: the action the target took and whether the
    // target was this list itself.
    std::function<void(Qt::DropAction result, bool droppedHere)> DragEnded;

protected:
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *e) override;
    void dragMoveEvent(QDragMoveEvent *e) override;
    void dragLeaveEvent(QDragLeaveEvent *e) override;
    void dropEvent(QDropEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    // The target and action a drag at e would get; Place None when refused.
    TDropTarget Judge(QDropEvent *e, Qt::DropAction &action) const;
    void SetIndicator(const TDropTarget &t);
    QRect IndicatorRect(const TDropTarget &t) const;

    TDropTarget m_indicator;
    bool m_droppedHere = false;
};
