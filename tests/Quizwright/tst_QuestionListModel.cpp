// The question list model: row texts, hints, images, bad state, focus, edits.
#include <QAbstractItemModelTester>
#include <QIcon>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextDocument>
#include <QtTest>

#include "QuestionListModel.h"
#include "QuestionListView.h"
#include "RowImages.h"

namespace {
std::unique_ptr<TNQuestion> makeQuestion(const QStringList &lines, const QStringList &variants = {},
                                         const QString &marks = {})
{
    auto q = std::make_unique<TNQuestion>();
    for (const QString &l : lines)
        q->PlainLines.Add(l);
    q->Variants = variants;
    q->RightMarks = marks;
    return q;
}

QStringList rowTexts(const TQuestionListModel &m)
{
    QStringList out;
    for (int i = 0; i < m.rowCount(); ++i)
        out << m.data(m.index(i), Qt::DisplayRole).toString();
    return out;
}

bool sameImage(const QPixmap &a, const QPixmap &b) { return a.toImage() == b.toImage(); }

bool hasVisiblePixels(const QImage &img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) > 128)
                return true;
    return false;
}
}

class TstQuestionListModel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rowText_data();
    void rowText();
    void hintAndToolTip();
    void imagePriority_data();
    void imagePriority();
    void tenDistinctImages();
    void badState_data();
    void badState();
    void boldFocusedRowFollowsMovesAndRemoval();
    void listViewLaysOutAfterEndRowChanges();
    void editsKeepRecordsAndSignalsRight();
    void removeQuestionsTakesAnyRowList();
    void clipMarks();
    void swapWholeList();
    void questionListFeedsTheLibrary();
};

void TstQuestionListModel::rowText_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("hasTitle");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one line") << QStringList{"Сколько будет 2+2?"} << false << "" << "Сколько будет 2+2?";
    QTest::newRow("two lines") << QStringList{"Первая", "Вторая"} << false << "" << "Первая...";
    QTest::newRow("three lines") << QStringList{"a", "b", "c"} << false << "" << "a...";
    QTest::newRow("no text") << QStringList{} << false << "" << "#Текст не задан#";
    QTest::newRow("empty first line") << QStringList{""} << false << "" << "";
    QTest::newRow("title over text") << QStringList{"a", "b"} << true << "Свой заголовок" << "Свой заголовок";
    QTest::newRow("title without text") << QStringList{} << true << "Т" << "Т";
    QTest::newRow("title kept but off") << QStringList{"Текст"} << false << "Старый" << "Текст";
}

void TstQuestionListModel::rowText()
{
    QFETCH(QStringList, lines);
    QFETCH(bool, hasTitle);
    QFETCH(QString, title);
    QFETCH(QString, expected);
    TQuestionListModel m;
    auto q = makeQuestion(lines);
    q->HasTitle = hasTitle;
    q->Title = title;
    m.appendQuestion(std::move(q));
    QCOMPARE(m.data(m.index(0), Qt::DisplayRole).toString(), expected);
}

void TstQuestionListModel::hintAndToolTip()
{
    TQuestionListModel m;
    m.appendQuestion(makeQuestion({"Строка 1", "Строка 2"}, {"да", "нет", "может"}, "! !"));
    QCOMPARE(m.data(m.index(0), TQuestionListModel::HintRole).toString(),
             QStringLiteral("Строка 1\rСтрока 2\r +да\r -нет\r +может\r"));
    QCOMPARE(m.data(m.index(0), Qt::ToolTipRole).toString(),
             QStringLiteral("Строка 1\nСтрока 2\n +да\n -нет\n +может"));

    // Text that looks like markup is shown as typed.
    m.appendQuestion(makeQuestion({"<b>жирный</b>"}));
    const QString tip = m.data(m.index(1), Qt::ToolTipRole).toString();
    QTextDocument shown;
    shown.setHtml(tip);
    QCOMPARE(shown.toPlainText(), QStringLiteral("<b>жирный</b>"));

    // Marks shorter than the variants (a damaged question) count as not right.
    m.appendQuestion(makeQuestion({}, {"x", "y"}, "!"));
    QCOMPARE(m.data(m.index(2), TQuestionListModel::HintRole).toString(), QStringLiteral(" +x\r -y\r"));
    // Nothing to say: no tool tip at all.
    m.appendQuestion(makeQuestion({}));
    QVERIFY(!m.data(m.index(3), Qt::ToolTipRole).isValid());
}

void TstQuestionListModel::imagePriority_data()
{
    QTest::addColumn<bool>("clip");
    QTest::addColumn<bool>("bad");
    QTest::addColumn<bool>("comment");
    QTest::addColumn<int>("variants");
    QTest::addColumn<int>("image");
    QTest::newRow("clip over all") << true << true << true << 0 << 6;
    QTest::newRow("bad over comment") << false << true << true << 2 << 4;
    QTest::newRow("comment over info") << false << false << true << 0 << 8;
    QTest::newRow("information item") << false << false << false << 0 << 2;
    QTest::newRow("ordinary") << false << false << false << 3 << 0;
    QTest::newRow("ordinary with clip") << true << false << false << 3 << 6;
}

void TstQuestionListModel::imagePriority()
{
    QFETCH(bool, clip);
    QFETCH(bool, bad);
    QFETCH(bool, comment);
    QFETCH(int, variants);
    QFETCH(int, image);
    TQuestionListModel m;
    auto q = makeQuestion({"Вопрос"});
    for (int i = 0; i < variants; ++i) {
        q->Variants << QString::number(i);
        q->RightMarks += QLatin1Char('!');
    }
    if (comment)
        q->Comment = QByteArray("{\\rtf1 c}");
    m.appendQuestion(std::move(q), bad ? NodeFlagBad : 0);
    m.setClipMarked(0, clip);
    const QModelIndex i = m.index(0);
    QCOMPARE(m.data(i, TQuestionListModel::ImageIndexRole).toInt(), image);
    const QIcon icon = m.data(i, Qt::DecorationRole).value<QIcon>();
    QVERIFY(sameImage(icon.pixmap(16, 16, QIcon::Normal), RowImages::Pixmap(image)));
    QVERIFY(sameImage(icon.pixmap(16, 16, QIcon::Selected), RowImages::Pixmap(image + 1)));
    QVERIFY(sameImage(m.data(i, TQuestionListModel::SelectedIconRole).value<QPixmap>(),
                      RowImages::Pixmap(image + 1)));
}

void TstQuestionListModel::tenDistinctImages()
{
    QList<QImage> images;
    for (int i = 0; i < RowImages::Count; ++i) {
        const QImage img = RowImages::Image(i).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(img.size(), QSize(16, 16));
        QVERIFY2(hasVisiblePixels(img), qPrintable(QString::number(i)));
        for (int j = 0; j < images.size(); ++j)
            QVERIFY2(images[j] != img, qPrintable(QStringLiteral("%1 equals %2").arg(j).arg(i)));
        images << img;
    }
    QVERIFY(!hasVisiblePixels(RowImages::Image(RowImages::Count)));
}

void TstQuestionListModel::badState_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("variants");
    QTest::addColumn<QString>("marks");
    QTest::addColumn<int>("fault");
    const int none = int(TQuestionFault::None);
    QTest::newRow("information item") << QStringList{"Текст"} << QStringList{} << "" << none;
    QTest::newRow("no text") << QStringList{} << QStringList{} << "" << int(TQuestionFault::NoText);
    QTest::newRow("no text beats one variant") << QStringList{} << QStringList{"a"} << "!"
                                               << int(TQuestionFault::NoText);
    QTest::newRow("one variant ticked") << QStringList{"T"} << QStringList{"a"} << "!"
                                        << int(TQuestionFault::OneVariant);
    QTest::newRow("one variant unticked") << QStringList{"T"} << QStringList{"a"} << " "
                                          << int(TQuestionFault::OneVariant);
    QTest::newRow("two unticked") << QStringList{"T"} << QStringList{"a", "b"} << "  "
                                  << int(TQuestionFault::NoMarkedVariant);
    QTest::newRow("two, second ticked") << QStringList{"T"} << QStringList{"a", "b"} << " !" << none;
    QTest::newRow("ten all ticked") << QStringList{"T"} << QStringList(10, "v") << QString(10, '!') << none;
}

void TstQuestionListModel::badState()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, variants);
    QFETCH(QString, marks);
    QFETCH(int, fault);
    TNodeRecord rec{makeQuestion(lines, variants, marks), 0};
    QCOMPARE(int(TQuestionListModel::FaultOf(*rec.Question)), fault);
    const bool bad = fault != int(TQuestionFault::None);
    TQuestionListModel::CheckBadState(rec);
    QCOMPARE(rec.isBad(), bad);
    QCOMPARE(rec.NodeFlags, quint8(bad ? NodeFlagBad : 0));
    // A second check clears or keeps the mark from the other state.
    rec.NodeFlags = bad ? 0 : NodeFlagBad;
    TQuestionListModel::CheckBadState(rec);
    QCOMPARE(rec.isBad(), bad);
}

void TstQuestionListModel::boldFocusedRowFollowsMovesAndRemoval()
{
    TQuestionListModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (const char *t : {"a", "b", "c"})
        m.appendQuestion(makeQuestion({QString::fromLatin1(t)}));
    QFont base(QStringLiteral("DejaVu Sans"), 11);
    m.setBaseFont(base);
    auto isBold = [&](int row) {
        const QVariant f = m.data(m.index(row), Qt::FontRole);
        return f.isValid() && f.value<QFont>().bold();
    };

    m.setFocusedRow(1);
    QVERIFY(!isBold(1));  // the preference is off
    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
    m.setBoldFocused(true);
    QVERIFY(isBold(1) && !isBold(0) && !isBold(2));
    QCOMPARE(m.data(m.index(1), Qt::FontRole).value<QFont>().pointSize(), 11);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 1);

    changed.clear();
    m.setFocusedRow(2);
    QVERIFY(!isBold(1) && isBold(2));
    QSet<int> repainted;
    for (const auto &args : changed) {
        repainted << args.at(0).toModelIndex().row();
        QCOMPARE(args.at(2).value<QList<int>>(), QList<int>{Qt::FontRole});
    }
    QCOMPARE(repainted, (QSet<int>{1, 2}));

    QVERIFY(m.moveQuestion(2, 0));
    QCOMPARE(m.focusedRow(), 0);
    QVERIFY(isBold(0) && !isBold(2));
    QCOMPARE(rowTexts(m), (QStringList{"c", "a", "b"}));

    m.removeQuestions({0});
    QCOMPARE(m.focusedRow(), -1);
    QVERIFY(!isBold(0) && !isBold(1));
    m.setFocusedRow(5);
    QCOMPARE(m.focusedRow(), -1);
}

void TstQuestionListModel::listViewLaysOutAfterEndRowChanges()
{
    TQuestionListModel m;
    for (int i = 0; i < 6; ++i)
        m.appendQuestion(makeQuestion({QStringLiteral("q%1").arg(i)}));
    m.setBoldFocused(true);
    TQuestionListView view;
    view.setUniformItemSizes(true);
    view.setModel(&m);
    view.resize(160, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QRect before = view.visualRect(m.index(2));
    QVERIFY(before.isValid());
    QCOMPARE(view.horizontalScrollBar()->maximum(), 0);

    // A middle row changes its font: nothing moves.
    m.setFocusedRow(2);
    QCOMPARE(view.visualRect(m.index(2)), before);

    // The last row sets the size of every row: its change is laid out.
    m.question(5).HasTitle = true;
    m.question(5).Title = QString(60, QLatin1Char('W'));
    m.rowChanged(5);
    QVERIFY(view.visualRect(m.index(2)).width() > before.width() * 2);
    QVERIFY(view.horizontalScrollBar()->maximum() > 0);
    m.question(5).Title = QStringLiteral("q");
    m.rowChanged(5);
    QCOMPARE(view.visualRect(m.index(2)), before);
    QCOMPARE(view.horizontalScrollBar()->maximum(), 0);
}

void TstQuestionListModel::editsKeepRecordsAndSignalsRight()
{
    TQuestionListModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (const char *t : {"a", "b", "c", "d"})
        m.appendQuestion(makeQuestion({QString::fromLatin1(t)}));
    TNodeRecord *c = &m.record(2);

    QSignalSpy inserted(&m, &QAbstractItemModel::rowsInserted);
    std::vector<TNodeRecord> two;
    two.push_back({makeQuestion({"x"}), NodeFlagBad});
    two.push_back({nullptr, 0});  // becomes a new, empty question
    QCOMPARE(m.insertRecords(1, std::move(two)), 1);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 1);
    QCOMPARE(inserted.at(0).at(2).toInt(), 2);
    QCOMPARE(rowTexts(m), (QStringList{"a", "x", "#Текст не задан#", "b", "c", "d"}));
    QVERIFY(m.record(1).isBad());
    QVERIFY(m.record(2).Question && !m.record(2).Question->ContentReady);
    QCOMPARE(m.rowOf(c), 4);
    QCOMPARE(&m.record(4), c);

    // Down by one, to the end, to the top, and the refusals.
    QVERIFY(m.moveQuestion(4, 5));
    QCOMPARE(rowTexts(m), (QStringList{"a", "x", "#Текст не задан#", "b", "d", "c"}));
    QVERIFY(m.moveQuestion(5, 0));
    QCOMPARE(rowTexts(m), (QStringList{"c", "a", "x", "#Текст не задан#", "b", "d"}));
    QVERIFY(m.moveQuestion(0, 1));
    QCOMPARE(rowTexts(m), (QStringList{"a", "c", "x", "#Текст не задан#", "b", "d"}));
    QVERIFY(!m.moveQuestion(0, 0));
    QVERIFY(!m.moveQuestion(0, 6));
    QVERIFY(!m.moveQuestion(-1, 0));
    QCOMPARE(&m.record(1), c);

    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
    c->Question->PlainLines.Put(0, QStringLiteral("новый"));
    m.rowChanged(c);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 1);
    QCOMPARE(m.data(m.index(1)).toString(), QStringLiteral("новый"));
    m.rowChanged(-1);
    m.rowChanged(99);
    QCOMPARE(changed.count(), 1);

    QCOMPARE(m.insertQuestion(99, makeQuestion({"end"})), 6);
    QCOMPARE(m.appendQuestion(nullptr), 7);
    QCOMPARE(m.data(m.index(6)).toString(), QStringLiteral("end"));
    QCOMPARE(m.rowOf(nullptr), -1);
    TNodeRecord stranger;
    QCOMPARE(m.rowOf(&stranger), -1);
}

void TstQuestionListModel::removeQuestionsTakesAnyRowList()
{
    TQuestionListModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (int i = 0; i < 8; ++i)
        m.appendQuestion(makeQuestion({QString::number(i)}));
    QSignalSpy removed(&m, &QAbstractItemModel::rowsRemoved);
    m.removeQuestions({6, 2, 3, 2, 7, -1, 42, 0});
    QCOMPARE(rowTexts(m), (QStringList{"1", "4", "5"}));
    QCOMPARE(removed.count(), 3);  // runs 6-7, 2-3, 0
    m.removeQuestions({});
    QCOMPARE(m.count(), 3);
    QVERIFY(!m.removeRows(2, 2));
    QVERIFY(m.removeRows(1, 2));
    QCOMPARE(rowTexts(m), (QStringList{"1"}));
    m.clear();
    QCOMPARE(m.count(), 0);
}

void TstQuestionListModel::clipMarks()
{
    TQuestionListModel m;
    m.appendQuestion(makeQuestion({"a"}, {"1", "2"}, "! "));
    m.appendQuestion(makeQuestion({"b"}));
    QVERIFY(!m.hasClipMarks());
    QSignalSpy changed(&m, &QAbstractItemModel::dataChanged);
    m.setClipMarked(1, true);
    QCOMPARE(changed.count(), 1);
    m.setClipMarked(1, true);
    QCOMPARE(changed.count(), 1);
    QVERIFY(m.isClipMarked(1) && !m.isClipMarked(0) && !m.isClipMarked(9));
    QVERIFY(m.hasClipMarks());
    QCOMPARE(m.data(m.index(1), TQuestionListModel::ImageIndexRole).toInt(), int(RowImages::Clip));
    // The mark is the list's, not the question's: the flags stay clear.
    QCOMPARE(m.record(1).NodeFlags, quint8(0));
    m.moveQuestion(1, 0);
    QVERIFY(m.isClipMarked(0) && !m.isClipMarked(1));
    m.clearClipMarks();
    QVERIFY(!m.hasClipMarks());
    QCOMPARE(m.data(m.index(0), TQuestionListModel::ImageIndexRole).toInt(), int(RowImages::Info));
    QCOMPARE(m.data(m.index(1), TQuestionListModel::ImageIndexRole).toInt(), int(RowImages::Question));
}

void TstQuestionListModel::swapWholeList()
{
    TQuestionListModel m;
    QAbstractItemModelTester tester(&m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    m.appendQuestion(makeQuestion({"old"}));
    m.setFocusedRow(0);
    m.setClipMarked(0, true);
    std::vector<TNodeRecord> fresh;
    fresh.push_back({makeQuestion({"n1"}), 0});
    fresh.push_back({makeQuestion({"n2"}), NodeFlagBad});
    QSignalSpy reset(&m, &QAbstractItemModel::modelReset);
    m.replaceAll(std::move(fresh));
    QCOMPARE(reset.count(), 1);
    QCOMPARE(rowTexts(m), (QStringList{"n1", "n2"}));
    QCOMPARE(m.focusedRow(), -1);
    QVERIFY(!m.hasClipMarks());
    QVERIFY(m.record(1).isBad());

    std::vector<TNodeRecord> taken = m.takeAll();
    QCOMPARE(m.count(), 0);
    QCOMPARE(int(taken.size()), 2);
    QCOMPARE(taken[1].Question->PlainLines.Get(0), QStringLiteral("n2"));
    QCOMPARE(taken[1].NodeFlags, NodeFlagBad);
}

void TstQuestionListModel::questionListFeedsTheLibrary()
{
    TQuestionListModel m;
    m.appendQuestion(makeQuestion({"a"}, {"1", "2"}, " !"));
    m.appendQuestion(makeQuestion({"info"}));
    m.appendQuestion(makeQuestion({"c"}, {"1", "2", "3"}, "!!!"));
    const TQuestionList list = m.questionList();
    QCOMPARE(int(list.size()), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(list[size_t(i)].get(), m.record(i).Question.get());
    TTestInfo info = TTestInfo::NewTestValues();
    const QByteArray bytes = SaveTestToBytes(info, list);
    QCOMPARE(info.QuestionCount, 3u);
    QCOMPARE(info.IQCount, 1u);
    QBuffer buf;
    buf.setData(bytes);
    buf.open(QIODevice::ReadOnly);
    TTestInfo back;
    TQuestionList read;
    QVERIFY(LoadTestFromDevice(buf, back, read).Ok);
    QCOMPARE(read.at(2)->Variants, (QStringList{"1", "2", "3"}));
    // The list does not own: the rows do.
    QCOMPARE(list[0].use_count(), 0);
}

QTEST_MAIN(TstQuestionListModel)
#include "tst_QuestionListModel.moc"
