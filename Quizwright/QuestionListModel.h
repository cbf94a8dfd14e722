#pragma once
// The question list: one node record per question, in test order, as a flat
// Qt list model. The model owns the questions; a record keeps its address for
// as long as its row exists (rows may move, be inserted or removed around it).
#include <QAbstractListModel>
#include <QFont>
#include <QList>
#include <QString>
#include <memory>
#include <vector>

#include "QuizEngineCommon.h"

// Bit 0 of TNodeRecord::NodeFlags. The other bits stay 0.
inline constexpr quint8 NodeFlagBad = 0x01;

struct TNodeRecord {
    std::unique_ptr<TNQuestion> Question;
    quint8 NodeFlags = 0;

    bool isBad() const { return (NodeFlags & NodeFlagBad) != 0; }
};

// What makes a question faulty; the three reasons the test check warns about.
enum class TQuestionFault { None, NoText, OneVariant, NoMarkedVariant };

class TQuestionListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        // QPixmap: the selected form of the row image. Qt::DecorationRole gives a
        // QIcon whose Normal mode is the normal form and Selected mode this one,
        // so a standard view draws the selected form on selected rows by itself.
        SelectedIconRole = Qt::UserRole + 1,
        ImageIndexRole,   // int: index of the normal image, 0..9 (RowImages.h)
        HintRole,         // QString: the row hint exactly, lines ended by "\r"
        BadStateRole,     // bool: the bad-state mark
        ClipMarkedRole,   // bool: marked as cut or copied
    };

    explicit TQuestionListModel(QObject *parent = nullptr);
    ~TQuestionListModel() override;

    // ---- Qt model ----
    // DisplayRole: RowText. DecorationRole: QIcon (see SelectedIconRole).
    // FontRole: bold font for the focused row while boldFocused(), else none.
    // ToolTipRole: the hint with "\r" shown as line breaks (empty: no tip).
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Selectable, enabled, drag-enabled, never has children.
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Destroys the questions of the rows.
    bool removeRows(int row, int count, const QModelIndex &parent = {}) override;
    bool moveRows(const QModelIndex &sourceParent, int sourceRow, int count,
                  const QModelIndex &destinationParent, int destinationChild) override;

    // ---- node records ----
    int count() const { return int(m_rows.size()); }
    // row must be in 0..count()-1.
    TNodeRecord &record(int row);
    const TNodeRecord &record(int row) const;
    TNQuestion &question(int row) { return *record(row).Question; }
    // Row of a record of this model, -1 when it is none of them (or null).
    int rowOf(const TNodeRecord *rec) const;

    // Appends; returns the new row. A null question becomes a new empty one.
    int appendQuestion(std::unique_ptr<TNQuestion> q, quint8 flags = 0);
    // Inserts before row (count() appends); returns the row of the first one.
    int insertQuestion(int row, std::unique_ptr<TNQuestion> q, quint8 flags = 0);
    int insertRecords(int row, std::vector<TNodeRecord> records);
    // Deletes the given rows (any order, duplicates and rows out of range ignored),
    // destroying their questions.
    void removeQuestions(QList<int> rows);
    // Moves one row so that it ends up at row `to`; false when either is out of
    // range or they are equal.
    bool moveQuestion(int from, int to);
    // Deletes every row.
    void clear();
    // Replaces every row at once (one model reset); used to swap in a test read
    // into records of its own.
    void replaceAll(std::vector<TNodeRecord> records);
    // Removes every row and hands its records over.
    std::vector<TNodeRecord> takeAll();

    // The questions in row order as the test library takes them. The pointers
    // do not own: they are valid while the rows live and are not removed.
    TQuestionList questionList() const;

    // ---- marks and looks ----
    // The cut-or-copied mark (image 6); not part of NodeFlags.
    void setClipMarked(int row, bool marked);
    bool isClipMarked(int row) const;
    bool hasClipMarks() const;
    void clearClipMarks();

    // Bold focused row (the "Выделять текущий вопрос" preference).
    void setBoldFocused(bool on);
    bool boldFocused() const { return m_boldFocused; }
    // -1 for none; the row follows moves, and becomes -1 when removed.
    void setFocusedRow(int row);
    int focusedRow() const;
    // The font a bold row is made from (the view's font).
    void setBaseFont(const QFont &font);

    // Repaints a row after its question changed (emits dataChanged).
    void rowChanged(int row);
    void rowChanged(const TNodeRecord *rec) { rowChanged(rowOf(rec)); }
    void allRowsChanged();

    // ---- rules ----
    // Sets or clears the bad-state mark of one record.
    static void CheckBadState(TNodeRecord &rec);
    static TQuestionFault FaultOf(const TNQuestion &q);
    // Title when HasTitle; "#Текст не задан#" without plain lines; else the
    // first plain line, followed by "..." when there are more.
    static QString RowText(const TNQuestion &q);
    // Each plain line + "\r", then each variant as " +"/" -", text, "\r".
    static QString RowHint(const TNQuestion &q);
    // Normal image (0, 2, 4, 6, 8) by the first rule that holds: clip mark,
    // bad state, comment, information item, ordinary. The selected form is +1.
    static int ImageIndex(const TNodeRecord &rec, bool clipMarked);

private:
    struct TRow;
    TRow &rowAt(int row) const;
    // A repaint of the row's font alone (dataChanged for Qt::FontRole).
    void fontChanged(int row);
    std::vector<std::unique_ptr<TRow>> m_rows;
    const TRow *m_focused = nullptr;
    bool m_boldFocused = false;
    QFont m_baseFont;
};
