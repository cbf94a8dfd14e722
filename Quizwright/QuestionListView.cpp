#include "QuestionListView.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>

#include "QuestionClipboard.h"

#include <QHash>
#include <QStyledItemDelegate>

namespace {
// Row sizes by what they are measured from. The view asks for a row's size
// several times on every focus move (its rectangle, scrolling, repainting the
// two rows), and measuring the text is the dearest part of it.
class TRowSizeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const QVariant font = index.data(Qt::FontRole);
        const QFont f = font.isValid() ? qvariant_cast<QFont>(font).resolve(option.font) : option.font;
        // Bold is part of the key, the rest of the font and the icon size empty the cache.
        QFont base = f;
        base.setBold(false);
        if (base != m_font || option.decorationSize != m_decoration || m_sizes.size() > 4096) {
            m_sizes.clear();
            m_font = base;
            m_decoration = option.decorationSize;
        }
        const QString text = index.data(Qt::DisplayRole).toString();
        const quint64 key = (quint64(qHash(text)) << 1) | (f.bold() ? 1 : 0);
        auto it = m_sizes.constFind(key);
        if (it != m_sizes.cend() && it->first == text)
            return it->second;
        const QSize size = QStyledItemDelegate::sizeHint(option, index);
        m_sizes.insert(key, {text, size});
        return size;
    }

private:
    mutable QHash<quint64, std::pair<QString, QSize>> m_sizes;
    mutable QFont m_font;
    mutable QSize m_decoration;
};
} // namespace

TQuestionListView::TQuestionListView(QWidget *parent)
    : QListView(parent)
{
    setItemDelegate(new TRowSizeDelegate(this));
}

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

// ---- drag and drop ------------------------------------------------------------

TQuestionListView::TDropTarget TQuestionListView::DropTargetAt(const QPoint &pos) const
{
    const int n = model() ? model()->rowCount(rootIndex()) : 0;
    if (n == 0)
        return {TDropPlace::Append, 0};
    QModelIndex idx = indexAt(pos);
    // Rows are as wide as their text: beside a short row still counts as on it.
    if (!idx.isValid())
        idx = indexAt(QPoint(1, pos.y()));
    if (!idx.isValid()) {
        const QRect last = visualRect(model()->index(n - 1, 0, rootIndex()));
        return pos.y() > last.bottom() ? TDropTarget{TDropPlace::Append, n} : TDropTarget{};
    }
    const QRect r = visualRect(idx);
    const int third = r.height() / 3;
    const int y = pos.y() - r.top();
    if (y < third)
        return {TDropPlace::Before, idx.row()};
    if (y >= r.height() - third)
        return {TDropPlace::After, idx.row() + 1};
    return {};
}

bool TQuestionListView::Accepts(TDropPlace place, Qt::DropAction action)
{
    switch (place) {
    case TDropPlace::Before:
    case TDropPlace::After:
        return action == Qt::CopyAction || action == Qt::MoveAction;
    case TDropPlace::Append:
        return action == Qt::CopyAction;
    default:
        return false;
    }
}

Qt::DropAction TQuestionListView::ActionFor(bool fromThisList, Qt::KeyboardModifiers mods)
{
    if (mods & Qt::ControlModifier)
        return Qt::CopyAction;
    if (mods & Qt::ShiftModifier)
        return Qt::MoveAction;
    return fromThisList ? Qt::MoveAction : Qt::CopyAction;
}

void TQuestionListView::startDrag(Qt::DropActions)
{
    QMimeData *data = DragData ? DragData() : nullptr;
    if (!data)
        return;
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    const QModelIndex cur = currentIndex();
    const QIcon icon = cur.isValid() ? cur.data(Qt::DecorationRole).value<QIcon>() : QIcon();
    if (!icon.isNull())
        drag->setPixmap(icon.pixmap(iconSize().isValid() ? iconSize() : QSize(16, 16)));
    m_droppedHere = false;
    const Qt::DropAction result = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
    SetIndicator({});
    if (DragEnded)
        DragEnded(result, m_droppedHere);
    m_droppedHere = false;
}

TQuestionListView::TDropTarget TQuestionListView::Judge(QDropEvent *e, Qt::DropAction &action) const
{
    const QMimeData *data = e->mimeData();
    const bool own = data && IsOwnDrag && IsOwnDrag(data);
    action = ActionFor(own, e->modifiers());
    if (!(e->possibleActions() & action))
        return {};
    const TDropTarget t = DropTargetAt(e->position().toPoint());
    return Accepts(t.Place, action) ? t : TDropTarget{};
}

void TQuestionListView::dragEnterEvent(QDragEnterEvent *e)
{
    // Foreign data is taken too, so that its drop can say it is not wanted.
    dragMoveEvent(e);
    if (!e->isAccepted() && e->mimeData() && e->mimeData()->hasFormat(QuestionClipboard::MimeType)) {
        // Refused where it entered, but it may still move to a row that takes it.
        e->accept();
        e->setDropAction(Qt::IgnoreAction);
    }
}

void TQuestionListView::dragMoveEvent(QDragMoveEvent *e)
{
    const int margin = autoScrollMargin();
    const QPoint p = e->position().toPoint();
    if (hasAutoScroll() && (p.y() < margin || p.y() > viewport()->height() - margin))
        startAutoScroll();
    const QMimeData *data = e->mimeData();
    if (!data || !data->hasFormat(QuestionClipboard::MimeType)) {
        SetIndicator({});
        e->setDropAction(Qt::CopyAction);
        e->accept();
        return;
    }
    Qt::DropAction action = Qt::IgnoreAction;
    const TDropTarget t = Judge(e, action);
    SetIndicator(t);
    if (t.Place == TDropPlace::None) {
        e->ignore();
        return;
    }
    e->setDropAction(action);
    e->accept();
}

void TQuestionListView::dragLeaveEvent(QDragLeaveEvent *e)
{
    SetIndicator({});
    QListView::dragLeaveEvent(e);
}

void TQuestionListView::dropEvent(QDropEvent *e)
{
    stopAutoScroll();
    SetIndicator({});
    const QMimeData *data = e->mimeData();
    if (!data || !data->hasFormat(QuestionClipboard::MimeType)) {
        e->setDropAction(Qt::IgnoreAction);
        e->accept();
        if (ForeignDropped)
            ForeignDropped();
        return;
    }
    Qt::DropAction action = Qt::IgnoreAction;
    const TDropTarget t = Judge(e, action);
    const bool own = IsOwnDrag && IsOwnDrag(data);
    if (t.Place == TDropPlace::None || !QuestionsDropped || !QuestionsDropped(data, t.Row, action, own)) {
        e->ignore();
        return;
    }
    if (own)
        m_droppedHere = true;
    e->setDropAction(action);
    e->accept();
}

QRect TQuestionListView::IndicatorRect(const TDropTarget &t) const
{
    if (t.Place == TDropPlace::None || !model())
        return {};
    const int n = model()->rowCount(rootIndex());
    int y = 0;
    if (n > 0) {
        if (t.Row < n)
            y = visualRect(model()->index(t.Row, 0, rootIndex())).top();
        else
            y = visualRect(model()->index(n - 1, 0, rootIndex())).bottom() + 1;
    }
    return QRect(0, y - 1, viewport()->width(), 2);
}

void TQuestionListView::SetIndicator(const TDropTarget &t)
{
    if (t == m_indicator)
        return;
    viewport()->update(IndicatorRect(m_indicator).adjusted(0, -1, 0, 1));
    m_indicator = t;
    viewport()->update(IndicatorRect(m_indicator).adjusted(0, -1, 0, 1));
}

void TQuestionListView::paintEvent(QPaintEvent *e)
{
    QListView::paintEvent(e);
    const QRect r = IndicatorRect(m_indicator);
    if (r.isEmpty())
        return;
    QPainter p(viewport());
    p.fillRect(r, palette().color(QPalette::Text));
}

void TQuestionListView::keyPressEvent(QKeyEvent *e)
{
    // The list's copy is the window's command; the view's own would put a row's text there.
    if (e == QKeySequence::Copy) {
        e->ignore();
        return;
    }
    QListView::keyPressEvent(e);
}
