// The results window on files the player's writer made: opened alone and
// from the editor's menu, filtered, sorted, re-read as the file grows, marks
// kept in the preferences, statistics and charts, exports.
#include <QAction>
#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTabWidget>
#include <QtTest>

#include "MessageBoxes.h"
#include "ResultsFile.h"
#include "ResultsModel.h"
#include "fMain.h"
#include "fResults.h"
#include "testutil_Editor.h"

namespace {
// Pupil n of a class of 30: 9А for 1..15, 9Б for 16..30; n of 20 points.
TResultRecord Pupil(int n, int score, QDate date = QDate(2026, 12, 7))
{
    TResultRecord r;
    r.When = QDateTime(date, QTime(9, n));
    r.TestName = n % 10 == 0 ? QStringLiteral("Физика") : QStringLiteral("Химия");
    r.LastName = QStringLiteral("Ученик%1").arg(n, 2, 10, QLatin1Char('0'));
    r.FirstName = QStringLiteral("Пётр");
    r.Patronymic = QStringLiteral("Сергеевич");
    r.Extra = n <= 15 ? QStringLiteral("9А") : QStringLiteral("9Б");
    r.Score = quint16(score);
    r.PossibleScore = 20;
    return r;
}

QStringList Column(TResultsModel *m, TResultsColumn c)
{
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->index(r, int(c)).data().toString();
    return out;
}

QList<qreal> Bars(QChartView *v)
{
    auto *series = qobject_cast<QBarSeries *>(v->chart()->series().value(0));
    QList<qreal> out;
    if (series)
        for (int i = 0; i < series->barSets().value(0)->count(); ++i)
            out << series->barSets().value(0)->at(i);
    return out;
}
}  // namespace

class TestResultsWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void filtersSortsAndCounts();
    void marksFollowThresholdsKeptInPreferences();
    void readsAgainAsTheFileGrows();
    void exportsChartsAndPdf();
    void reportsAFileItCannotRead();
    void opensFromTheEditorsMenu();
    void readsAYearOnAWorkerThread();
    void knowsResultsFilesOnTheCommandLine();

private:
    TfrmResults *open(const QString &path);
    template <class T> T *child(const char *name) { return m_w->findChild<T *>(QLatin1String(name)); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TfrmResults> m_w;
    QStringList m_messages;
    QString m_res;
    TfrmResults::TSettingsOpener m_settings;
};

void TestResultsWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    const QString ini = m_dir->filePath(QStringLiteral("prefs.ini"));
    m_settings = [ini] { return std::make_unique<QSettings>(ini, QSettings::IniFormat); };
    m_messages.clear();
    SetMessageSink([this](QMessageBox::Icon, const QString &caption, const QString &text) { m_messages << caption + u'\t' + text; });
    // A class of 30; pupil 7 took it twice; one line cut by a failed write.
    m_res = m_dir->filePath(QStringLiteral("9 класс.res"));
    const int scores[30] = {20, 19, 18, 17, 2, 16, 15, 14, 13, 12, 11, 10, 9, 8, 1, 20, 17, 17, 14, 14, 10, 10, 10, 9, 5, 4, 20, 19, 16, 3};
    for (int n = 1; n <= 30; ++n) {
        QVERIFY(AppendResultOnce(m_res, Pupil(n, scores[n - 1], QDate(2026, 12, n <= 20 ? 7 : 8))) == TAppendOutcome::Written);
        if (n == 7)
            QVERIFY(AppendResultOnce(m_res, Pupil(7, 20, QDate(2026, 12, 9))) == TAppendOutcome::Written);
    }
    QFile f(m_res);
    QVERIFY(f.open(QIODevice::Append));
    f.write("07.12.26\t9:40\t\xd5\xe8\xec\xe8\xff\t\xd3\xf7");  // "Химия", "Уч": no line end
}

void TestResultsWindow::cleanup()
{
    m_w.reset();
    SetMessageSink({});
    TfrmResults::FileNameInput = {};
}

TfrmResults *TestResultsWindow::open(const QString &path)
{
    m_w = std::make_unique<TfrmResults>(m_settings);
    m_w->show();
    QSignalSpy loaded(m_w.get(), &TfrmResults::Loaded);
    m_w->Open(path);
    if (!loaded.wait(20000))
        return nullptr;
    return m_w.get();
}

void TestResultsWindow::filtersSortsAndCounts()
{
    QVERIFY(open(m_res));
    TResultsModel *m = m_w->Model();
    QCOMPARE(m->rowCount(), 31);
    QVERIFY(m_w->windowTitle().contains(QStringLiteral("9 класс.res")));
    // The cut line, with its number (header 1, 31 runs: line 33).
    auto *bad = child<QTableWidget>("tblBadLines");
    QCOMPARE(bad->rowCount(), 1);
    QCOMPARE(bad->item(0, 0)->text(), QStringLiteral("33"));
    QVERIFY(bad->item(0, 1)->text().contains(QStringLiteral("не дописана")));
    QVERIFY(bad->item(0, 2)->text().startsWith(QStringLiteral("07.12.26\t9:40\tХимия\tУч")));
    auto *tabs = child<QTabWidget>("tabsResults");
    QCOMPARE(tabs->tabText(tabs->indexOf(child<QWidget>("tabBad"))), QStringLiteral("Повреждённые строки (1)"));
    // The repeat is shown as one.
    QCOMPARE(Column(m, TResultsColumn::Attempt).filter(QStringLiteral("из 2")).size(), 2);

    // The class: 9А is pupils 1..15, with pupil 7 twice.
    auto *extra = child<QComboBox>("cbExtra");
    extra->setCurrentIndex(extra->findText(QStringLiteral("9А")));
    QCOMPARE(m->rowCount(), 16);
    QCOMPARE(Column(m, TResultsColumn::Extra).filter(QStringLiteral("9А")).size(), 16);

    // Sorted by percent, highest first: as numbers, 100,00 before 95,00 and 10,00 before 5,00.
    auto *view = child<QTableView>("tvResults");
    view->sortByColumn(int(TResultsColumn::Percent), Qt::DescendingOrder);
    const QStringList percents = Column(m, TResultsColumn::Percent);
    QCOMPARE(percents.first(), QStringLiteral("100,00"));
    QCOMPARE(percents.mid(0, 4), QStringList({QStringLiteral("100,00"), QStringLiteral("100,00"),
                                              QStringLiteral("95,00"), QStringLiteral("90,00")}));
    QCOMPARE(percents.last(), QStringLiteral("5,00"));
    QCOMPARE(percents.at(percents.size() - 2), QStringLiteral("10,00"));
    QCOMPARE(Column(m, TResultsColumn::Mark).first(), QStringLiteral("5"));
    QCOMPARE(Column(m, TResultsColumn::Mark).last(), QStringLiteral("2"));

    // Statistics of the 16 shown, by hand: percents 100 95 90 85 10 80 75 70 65 60 55 50 45 40 5 and 100.
    const TResultsStats s = m->statistics();
    QCOMPARE(s.Count, 16);
    QCOMPARE(s.Mean, 1025.0 / 16);
    QCOMPARE(s.Median, 67.5);
    QCOMPARE(s.MarkCount(5), 5);
    QCOMPARE(s.MarkCount(4), 3);
    QCOMPARE(s.MarkCount(3), 4);
    QCOMPARE(s.MarkCount(2), 4);
    const QString stats = child<QLabel>("labStats")->text();
    QVERIFY2(stats.contains(QStringLiteral("<b>16</b>")) && stats.contains(QStringLiteral("<b>64,06</b>")), qPrintable(stats));
    QCOMPARE(Bars(m_w->MarksChart()), QList<qreal>({4, 4, 3, 5}));
    QCOMPARE(Bars(m_w->PercentChart()), QList<qreal>({1, 1, 0, 0, 2, 2, 2, 2, 2, 4}));

    // Test, dates and surname narrow it further; the sort stays.
    auto *test = child<QComboBox>("cbTest");
    test->setCurrentIndex(test->findText(QStringLiteral("Физика")));
    QCOMPARE(Column(m, TResultsColumn::LastName), QStringList({QStringLiteral("Ученик10")}));
    test->setCurrentIndex(0);
    extra->setCurrentIndex(0);
    child<QCheckBox>("chboxDateFrom")->setChecked(true);
    child<QDateEdit>("edDateFrom")->setDate(QDate(2026, 12, 8));
    QCOMPARE(m->rowCount(), 11);  // pupils 21..30 and the repeat on the 9th
    child<QCheckBox>("chboxDateTo")->setChecked(true);
    child<QDateEdit>("edDateTo")->setDate(QDate(2026, 12, 8));
    QCOMPARE(m->rowCount(), 10);
    child<QCheckBox>("chboxDateFrom")->setChecked(false);
    child<QCheckBox>("chboxDateTo")->setChecked(false);
    EditorTest::Type(child<QLineEdit>("edSearch"), QStringLiteral("ученик0"));
    QCOMPARE(m->rowCount(), 10);  // 01..09, 07 twice
    QCOMPARE(Column(m, TResultsColumn::Percent).first(), QStringLiteral("100,00"));
    // Sorted by date, as dates: the 9th last.
    view->sortByColumn(int(TResultsColumn::Date), Qt::AscendingOrder);
    QCOMPARE(Column(m, TResultsColumn::Date).last(), QStringLiteral("09.12.26"));
}

void TestResultsWindow::marksFollowThresholdsKeptInPreferences()
{
    QVERIFY(open(m_res));
    TResultsModel *m = m_w->Model();
    QCOMPARE(m_w->Scale(), TMarkScale());
    QCOMPARE(child<QDoubleSpinBox>("edMark5")->value(), 85.0);
    QCOMPARE(m->statistics().MarkCount(5), 10);  // scores of 17 and more of 20
    child<QDoubleSpinBox>("edMark5")->setValue(95);
    QCOMPARE(m_w->Scale().Five, 9500);
    QCOMPARE(m->statistics().MarkCount(5), 6);
    // Out of order: refused, the marks stay.
    child<QDoubleSpinBox>("edMark3")->setValue(80);
    QVERIFY(!child<QLabel>("labMarksError")->text().isEmpty());
    QCOMPARE(m_w->Scale().Three, 5000);
    child<QDoubleSpinBox>("edMark3")->setValue(45);
    QVERIFY(child<QLabel>("labMarksError")->text().isEmpty());

    // The next window starts with them; the results file was never touched.
    const QByteArray before = EditorTest::ReadAll(m_res);
    QVERIFY(open(m_res));
    QCOMPARE(m_w->Scale(), (TMarkScale{9500, 7000, 4500}));
    QCOMPARE(child<QDoubleSpinBox>("edMark3")->value(), 45.0);
    QCOMPARE(EditorTest::ReadAll(m_res), before);
}

void TestResultsWindow::readsAgainAsTheFileGrows()
{
    QVERIFY(open(m_res));
    QCOMPARE(m_w->Model()->rowCount(), 31);
    // A pupil still finishing: the player appends (after the cut line, as it does).
    QSignalSpy loaded(m_w.get(), &TfrmResults::Loaded);
    QVERIFY(AppendResultOnce(m_res, Pupil(31, 20)) == TAppendOutcome::Written);
    QVERIFY(loaded.wait(10000));
    QCOMPARE(m_w->Model()->rowCount(), 31);  // the cut line and the new one ran together: still bad
    QCOMPARE(child<QTableWidget>("tblBadLines")->rowCount(), 1);
    QVERIFY(AppendResultOnce(m_res, Pupil(32, 20)) == TAppendOutcome::Written);
    QVERIFY(loaded.wait(10000));
    QCOMPARE(m_w->Model()->rowCount(), 32);

    // Without the automatic reading, only the button reads.
    child<QCheckBox>("chboxAutoReload")->setChecked(false);
    loaded.clear();
    QVERIFY(AppendResultOnce(m_res, Pupil(33, 20)) == TAppendOutcome::Written);
    QVERIFY(!loaded.wait(1000));
    QCOMPARE(m_w->Model()->rowCount(), 32);
    QTest::mouseClick(child<QPushButton>("btnReload"), Qt::LeftButton);
    QVERIFY(loaded.wait(10000));
    QCOMPARE(m_w->Model()->rowCount(), 33);
    QVERIFY(m_messages.isEmpty());
}

void TestResultsWindow::exportsChartsAndPdf()
{
    QVERIFY(open(m_res));
    auto *extra = child<QComboBox>("cbExtra");
    extra->setCurrentIndex(extra->findText(QStringLiteral("9Б")));
    QStringList asked;
    QString answer;
    TfrmResults::FileNameInput = [&](bool save, const QString &filter, const QString &suggested) {
        asked << QString::number(save) + u'|' + filter + u'|' + suggested;
        return answer;
    };
    answer = m_dir->filePath(QStringLiteral("9Б"));  // the extension is added
    QTest::mouseClick(child<QPushButton>("btnExport"), Qt::LeftButton);
    QVERIFY(asked.last().endsWith(QStringLiteral("/9 класс.xlsx")));
    QVERIFY(EditorTest::ReadAll(answer + QStringLiteral(".xlsx")).startsWith("PK"));
    answer = m_dir->filePath(QStringLiteral("9Б.csv"));
    QTest::mouseClick(child<QPushButton>("btnExport"), Qt::LeftButton);
    const QStringList csv = QString::fromUtf8(EditorTest::ReadAll(answer)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(csv.size(), 16);  // the header and the 15 of 9Б
    QVERIFY(csv.at(1).startsWith(QStringLiteral("2026-12-07,09:16,Химия,Ученик16,Пётр,Сергеевич,9Б,20,20,100.00,5")));

    answer = m_dir->filePath(QStringLiteral("марки.png"));
    QTest::mouseClick(child<QPushButton>("btnSaveMarks"), Qt::LeftButton);
    QImage png(answer);
    QVERIFY(!png.isNull() && png.width() > 100);
    QTest::mouseClick(child<QPushButton>("btnCopyPercent"), Qt::LeftButton);
    QVERIFY(!QApplication::clipboard()->pixmap().isNull());

    answer = m_dir->filePath(QStringLiteral("9Б.pdf"));
    QTest::mouseClick(child<QPushButton>("btnPdf"), Qt::LeftButton);
    QVERIFY(EditorTest::ReadAll(answer).startsWith("%PDF"));

    // A folder that is not there: a message, nothing written.
    answer = m_dir->filePath(QStringLiteral("нет/9Б.xlsx"));
    QTest::mouseClick(child<QPushButton>("btnExport"), Qt::LeftButton);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().startsWith(ErrorCaption + u'\t'));
    QVERIFY(m_messages.first().contains(QStringLiteral("нет/9Б.xlsx")));
}

void TestResultsWindow::reportsAFileItCannotRead()
{
    QVERIFY(open(m_dir->filePath(QStringLiteral("нет.res"))));
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().contains(QStringLiteral("Файл не найден")));
    QCOMPARE(m_w->Model()->rowCount(), 0);
    QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("нет.res"))));
    // When the first player makes it, it is read.
    QSignalSpy loaded(m_w.get(), &TfrmResults::Loaded);
    QVERIFY(AppendResultOnce(m_dir->filePath(QStringLiteral("нет.res")), Pupil(1, 20)) == TAppendOutcome::Written);
    QVERIFY(loaded.wait(10000));
    QCOMPARE(m_w->Model()->rowCount(), 1);
}

void TestResultsWindow::opensFromTheEditorsMenu()
{
    TEditorFixture f;
    QVERIFY(f.Start());
    QString asked;
    TfrmResults::FileNameInput = [&](bool save, const QString &filter, const QString &) {
        asked = QString::number(save) + u'|' + filter;
        return m_res;
    };
    auto *action = f.W().findChild<QAction *>(QStringLiteral("actServiceResults"));
    QVERIFY(action);
    QCOMPARE(action->text().remove(u'&'), QStringLiteral("Результаты тестирования..."));
    action->trigger();
    QCOMPARE(asked, QStringLiteral("0|Файлы результатов (*.res);;Все файлы (*)"));
    auto *w = f.W().findChild<TfrmResults *>();
    QVERIFY(w && w->isWindow() && w->isVisible());
    QSignalSpy loaded(w, &TfrmResults::Loaded);
    QVERIFY(w->Model()->rowCount() == 31 || loaded.wait(20000));
    QCOMPARE(w->Model()->rowCount(), 31);
    // Cancelled: no window.
    TfrmResults::FileNameInput = [](bool, const QString &, const QString &) { return QString(); };
    action->trigger();
    QCOMPARE(f.W().findChildren<TfrmResults *>().size(), 1);
    w->close();
}

void TestResultsWindow::readsAYearOnAWorkerThread()
{
    const QString year = m_dir->filePath(QStringLiteral("год.res"));
    QByteArray bytes = ResultsHeaderLine();
    for (int i = 0; i < 60000; ++i)
        bytes += ResultsDataLine(Pupil(1 + i % 30, i % 21));
    EditorTest::WriteAll(year, bytes);
    m_w = std::make_unique<TfrmResults>(m_settings);
    m_w->show();
    QSignalSpy loaded(m_w.get(), &TfrmResults::Loaded);
    m_w->Open(year);
    // Open returned at once; the window shows the progress meanwhile.
    QVERIFY(m_w->IsLoading());
    QVERIFY(child<QProgressBar>("pbRead")->isVisible());
    QVERIFY(loaded.wait(60000));
    QVERIFY(!child<QProgressBar>("pbRead")->isVisible());
    QCOMPARE(m_w->Model()->rowCount(), 60000);
    // Closing in the middle of a reading waits for nothing but the thread.
    m_w->Open(year);
    m_w.reset();
}

void TestResultsWindow::knowsResultsFilesOnTheCommandLine()
{
    const QString test = m_dir->filePath(QStringLiteral("demo.qe2"));
    EditorTest::WriteAll(test, "KMQuizEngineFile");
    const QString renamed = m_dir->filePath(QStringLiteral("results.txt"));
    QVERIFY(QFile::copy(m_res, renamed));
    QCOMPARE(TfrmResults::ResultsFileArgument({QStringLiteral("Quizwright"), QStringLiteral("--results"), test}), test);
    QCOMPARE(TfrmResults::ResultsFileArgument({QStringLiteral("Quizwright"), QStringLiteral("/x/9А.RES")}), QStringLiteral("/x/9А.RES"));
    QCOMPARE(TfrmResults::ResultsFileArgument({QStringLiteral("Quizwright"), renamed}), renamed);
    QCOMPARE(TfrmResults::ResultsFileArgument({QStringLiteral("Quizwright"), test}), QString());
    QCOMPARE(TfrmResults::ResultsFileArgument({QStringLiteral("Quizwright")}), QString());
}

QTEST_MAIN(TestResultsWindow)
#include "tst_Results.moc"
