#include "QuestionListModel.h"

#include "RowImages.h"

#include <QTextDocument>
#include <algorithm>

struct TQuestionListModel::TRow {
    TNodeRecord Record;
    bool ClipMarked = false;
};

namespace {
const QString NoTextTitle = QStringLiteral("#Текст не задан#");

// The hint as a tool tip: "\r" as line breaks, and never taken for markup.
QString hintForDisplay(const QString &hint)
{
    QString text = hint;
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    if (Qt::mightBeRichText(text))
        return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
    return text;
}
}

TQuestionListModel::TQuestionListModel(QObject *parent) : QAbstractListModel(parent) {}

TQuestionListModel::~TQuestionListModel() = default;

TQuestionListModel::TRow &TQuestionListModel::rowAt(int row) const
{
    Q_ASSERT(row >= 0 && row < count());
    return *m_rows[size_t(row)];
}

int TQuestionListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant TQuestionListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= count())
        return {};
    const TRow &r = rowAt(index.row());
    const TNQuestion &q = *r.Record.Question;
    switch (role) {
    case Qt::DisplayRole:
        return RowText(q);
    case Qt::DecorationRole:
        return RowImages::Icon(ImageIndex(r.Record, r.ClipMarked));
    case SelectedIconRole:
        return RowImages::Pixmap(ImageIndex(r.Record, r.ClipMarked) + 1);
    case ImageIndexRole:
        return ImageIndex(r.Record, r.ClipMarked);
    case Qt::FontRole:
        if (m_boldFocused && &r == m_focused) {
            QFont f = m_baseFont;
            f.setBold(true);
            return f;
        }
        return {};
    case Qt::ToolTipRole: {
        const QString tip = hintForDisplay(RowHint(q));
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    case HintRole:
        return RowHint(q);
    case BadStateRole:
        return r.Record.isBad();
    case ClipMarkedRole:
        return r.ClipMarked;
    default:
        return {};
    }
}

Qt::ItemFlags TQuestionListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

bool TQuestionListModel::removeRows(int row, int n, const QModelIndex &parent)
{
    if (parent.isValid() || n <= 0 || row < 0 || row + n > count())
        return false;
    beginRemoveRows({}, row, row + n - 1);
    const auto first = m_rows.begin() + row, last = first + n;
    if (std::any_of(first, last, [this](const auto &r) { return r.get() == m_focused; }))
        m_focused = nullptr;
    m_rows.erase(first, last);
    endRemoveRows();
    return true;
}

bool TQuestionListModel::moveRows(const QModelIndex &sourceParent, int sourceRow, int n,
                                  const QModelIndex &destinationParent, int destinationChild)
{
    if (sourceParent.isValid() || destinationParent.isValid() || n <= 0 || sourceRow < 0
        || sourceRow + n > count() || destinationChild < 0 || destinationChild > count())
        return false;
    if (!beginMoveRows({}, sourceRow, sourceRow + n - 1, {}, destinationChild))
        return false;
    const auto first = m_rows.begin() + sourceRow, last = first + n;
    if (destinationChild < sourceRow)
        std::rotate(m_rows.begin() + destinationChild, first, last);
    else
        std::rotate(first, last, m_rows.begin() + destinationChild);
    endMoveRows();
    return true;
}

TNodeRecord &TQuestionListModel::record(int row) { return rowAt(row).Record; }

const TNodeRecord &TQuestionListModel::record(int row) const { return rowAt(row).Record; }

int TQuestionListModel::rowOf(const TNodeRecord *rec) const
{
    if (!rec)
        return -1;
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (&m_rows[i]->Record == rec)
            return int(i);
    return -1;
}

int TQuestionListModel::appendQuestion(std::unique_ptr<TNQuestion> q, quint8 flags)
{
    return insertQuestion(count(), std::move(q), flags);
}

int TQuestionListModel::insertQuestion(int row, std::unique_ptr<TNQuestion> q, quint8 flags)
{
    std::vector<TNodeRecord> one;
    one.push_back(TNodeRecord{std::move(q), flags});
    return insertRecords(row, std::move(one));
}

int TQuestionListModel::insertRecords(int row, std::vector<TNodeRecord> records)
{
    row = std::clamp(row, 0, count());
    if (records.empty())
        return row;
    beginInsertRows({}, row, row + int(records.size()) - 1);
    std::vector<std::unique_ptr<TRow>> rows;
    rows.reserve(records.size());
    for (TNodeRecord &rec : records) {
        auto r = std::make_unique<TRow>();
        r->Record = std::move(rec);
        if (!r->Record.Question)
            r->Record.Question = std::make_unique<TNQuestion>();
        rows.push_back(std::move(r));
    }
    m_rows.insert(m_rows.begin() + row, std::make_move_iterator(rows.begin()),
                  std::make_move_iterator(rows.end()));
    endInsertRows();
    return row;
}

void TQuestionListModel::removeQuestions(QList<int> rows)
{
    rows.erase(std::remove_if(rows.begin(), rows.end(), [this](int r) { return r < 0 || r >= count(); }),
               rows.end());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the bottom up, one contiguous run at a time, so the rows above keep their numbers.
    int i = int(rows.size()) - 1;
    while (i >= 0) {
        int j = i;
        while (j > 0 && rows[j - 1] == rows[j] - 1)
            --j;
        removeRows(rows[j], rows[i] - rows[j] + 1);
        i = j - 1;
    }
}

bool TQuestionListModel::moveQuestion(int from, int to)
{
    if (from < 0 || from >= count() || to < 0 || to >= count() || from == to)
        return false;
    return moveRows({}, from, 1, {}, to > from ? to + 1 : to);
}

void TQuestionListModel::clear()
{
    if (m_rows.empty())
        return;
    beginRemoveRows({}, 0, count() - 1);
    m_focused = nullptr;
    m_rows.clear();
    endRemoveRows();
}

void TQuestionListModel::replaceAll(std::vector<TNodeRecord> records)
{
    beginResetModel();
    m_focused = nullptr;
    m_rows.clear();
    m_rows.reserve(records.size());
    for (TNodeRecord &rec : records) {
        auto r = std::make_unique<TRow>();
        r->Record = std::move(rec);
        if (!r->Record.Question)
            r->Record.Question = std::make_unique<TNQuestion>();
        m_rows.push_back(std::move(r));
    }
    endResetModel();
}

std::vector<TNodeRecord> TQuestionListModel::takeAll()
{
    std::vector<TNodeRecord> out;
    beginResetModel();
    m_focused = nullptr;
    out.reserve(m_rows.size());
    for (auto &r : m_rows)
        out.push_back(std::move(r->Record));
    m_rows.clear();
    endResetModel();
    return out;
}

TQuestionList TQuestionListModel::questionList() const
{
    TQuestionList list;
    list.reserve(m_rows.size());
    for (const auto &r : m_rows)
        list.push_back(TQuestionPtr(TQuestionPtr(), r->Record.Question.get()));
    return list;
}

void TQuestionListModel::setClipMarked(int row, bool marked)
{
    if (row < 0 || row >= count() || rowAt(row).ClipMarked == marked)
        return;
    rowAt(row).ClipMarked = marked;
    rowChanged(row);
}

bool TQuestionListModel::isClipMarked(int row) const
{
    return row >= 0 && row < count() && rowAt(row).ClipMarked;
}

bool TQuestionListModel::hasClipMarks() const
{
    return std::any_of(m_rows.begin(), m_rows.end(), [](const auto &r) { return r->ClipMarked; });
}

void TQuestionListModel::clearClipMarks()
{
    for (int i = 0; i < count(); ++i)
        setClipMarked(i, false);
}

void TQuestionListModel::setBoldFocused(bool on)
{
    if (m_boldFocused == on)
        return;
    m_boldFocused = on;
    fontChanged(focusedRow());
}

void TQuestionListModel::setFocusedRow(int row)
{
    const TRow *now = (row >= 0 && row < count()) ? &rowAt(row) : nullptr;
    if (now == m_focused)
        return;
    const int old = focusedRow();
    m_focused = now;
    if (!m_boldFocused)
        return;
    fontChanged(old);
    fontChanged(row);
}

int TQuestionListModel::focusedRow() const
{
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].get() == m_focused)
            return int(i);
    return -1;
}

void TQuestionListModel::setBaseFont(const QFont &font)
{
    m_baseFont = font;
    fontChanged(focusedRow());
}

void TQuestionListModel::rowChanged(int row)
{
    if (row < 0 || row >= count())
        return;
    const QModelIndex i = index(row);
    Q_EMIT dataChanged(i, i);
}

void TQuestionListModel::fontChanged(int row)
{
    if (row < 0 || row >= count())
        return;
    const QModelIndex i = index(row);
    Q_EMIT dataChanged(i, i, {Qt::FontRole});
}

void TQuestionListModel::allRowsChanged()
{
    if (count() > 0)
        Q_EMIT dataChanged(index(0), index(count() - 1));
}

TQuestionFault TQuestionListModel::FaultOf(const TNQuestion &q)
{
    if (q.PlainLines.Count() == 0)
        return TQuestionFault::NoText;
    if (q.Variants.size() == 1)
        return TQuestionFault::OneVariant;
    if (q.Variants.size() >= 2 && !q.RightMarks.contains(QLatin1Char('!')))
        return TQuestionFault::NoMarkedVariant;
    return TQuestionFault::None;
}

void TQuestionListModel::CheckBadState(TNodeRecord &rec)
{
    if (rec.Question && FaultOf(*rec.Question) != TQuestionFault::None)
        rec.NodeFlags |= NodeFlagBad;
    else
        rec.NodeFlags &= quint8(~NodeFlagBad);
}

QString TQuestionListModel::RowText(const TNQuestion &q)
{
    if (q.HasTitle)
        return q.Title;
    if (q.PlainLines.Count() == 0)
        return NoTextTitle;
    QString text = q.PlainLines.Get(0);
    if (q.PlainLines.Count() > 1)
        text += QStringLiteral("...");
    return text;
}

QString TQuestionListModel::RowHint(const TNQuestion &q)
{
    QString hint;
    for (const QString &line : q.PlainLines.items())
        hint += line + QLatin1Char('\r');
    for (int i = 0; i < q.Variants.size(); ++i) {
        const bool right = i < q.RightMarks.size() && q.RightMarks.at(i) == QLatin1Char('!');
        hint += (right ? QStringLiteral(" +") : QStringLiteral(" -")) + q.Variants.at(i) + QLatin1Char('\r');
    }
    return hint;
}

int TQuestionListModel::ImageIndex(const TNodeRecord &rec, bool clipMarked)
{
    if (clipMarked)
        return RowImages::Clip;
    if (rec.isBad())
        return RowImages::Bad;
    if (rec.Question && rec.Question->Comment)
        return RowImages::Comment;
    if (!rec.Question || rec.Question->IsInformation())
        return RowImages::Info;
    return RowImages::Question;
}
