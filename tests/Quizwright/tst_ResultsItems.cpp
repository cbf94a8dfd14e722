// The item analysis page of the results window: shown only beside an answers
// journal, for the test the filter shows, versions apart, flagged rows; a
// double click opens the test in the editor at the question, checked by the
// hash of its text.
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTabWidget>
#include <QtTest>

#include "AnswersJournal.h"
#include "MessageBoxes.h"
#include "QuizDocument.h"
#include "ResultsFile.h"
#include "fMain.h"
#include "fResults.h"
#include "testutil_Editor.h"

namespace {
const QString HashV1 = QString(64, u'1');
const QString HashV2 = QString(64, u'2');

// Q1..Q4 of two variants, the first right.
TQuestionList Questions()
{
    TQuestionList qs;
    for (int k = 1; k <= 4; ++k)
        qs.push_back(EditorTest::Question(QStringLiteral("Вопрос %1").arg(k), {QStringLiteral("да"), QStringLiteral("нет")},
                                          QStringLiteral("! ")));
    return qs;
}

// Pupil n of ten: answers every question right when n is above the question's
// number, wrong otherwise; question 3 the strong ones get wrong.
TAnswersRecord Record(int n, const QString &test, const QString &hash, const TQuestionList &qs)
{
    TAnswersRecord r;
    r.When = QDateTime(QDate(2026, 12, 10), QTime(9, n));
    r.TestName = test;
    r.TestHash = hash;
    r.LastName = QStringLiteral("Ученик%1").arg(n);
    r.Extra = QStringLiteral("9А");
    r.PossibleScore = 4;
    for (int k = 1; k <= 4; ++k) {
        TAnswerItem it;
        it.Position = k;
        it.TextHash = AnswersJournal::QuestionTextHash(*qs[size_t(k - 1)]);
        it.TextStart = qs[size_t(k - 1)]->PlainLines.Get(0);
        it.Order = {0, 1};
        it.Key = QStringLiteral("! ");
        const bool right = k == 3 ? n <= 3 : n > k;
        it.Marks = right ? QStringLiteral("! ") : QStringLiteral(" !");
        r.Score += right;
        r.Items.append(it);
    }
    return r;
}

TResultRecord Line(const TAnswersRecord &a)
{
    TResultRecord r;
    r.When = a.When;
    r.TestName = a.TestName;
    r.LastName = a.LastName;
    r.Extra = a.Extra;
    r.Score = quint16(a.Score);
    r.PossibleScore = quint16(a.PossibleScore);
    return r;
}
} // namespace

class TestResultsItems : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_res;
    TQuestionList m_qs;
    QStringList m_messages;

    void Write(const TAnswersRecord &a)
    {
        QVERIFY(AppendResultOnce(m_res, Line(a)) == TAppendOutcome::Written);
        QVERIFY(AppendRecordSeries(AnswersJournal::PathFor(m_res), AnswersJournal::RecordLine(a)));
    }
    // A window on m_res once both files are read.
    bool Open(TfrmResults &w)
    {
        QSignalSpy answers(&w, &TfrmResults::AnswersLoaded);
        w.show();
        w.Open(m_res);
        return answers.wait(20000);
    }
    QTableWidget *Table(TfrmResults &w) { return w.ItemsTable(); }
    QComboBox *Tests(TfrmResults &w) { return w.findChild<QComboBox *>(QStringLiteral("cbTest")); }
    bool PageShown(TfrmResults &w)
    {
        auto *tabs = w.findChild<QTabWidget *>(QStringLiteral("tabsResults"));
        return tabs->isTabVisible(tabs->indexOf(w.findChild<QWidget *>(QStringLiteral("tabItems"))));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_res = m_dir->filePath(QStringLiteral("9А.res"));
        m_qs = Questions();
        m_messages.clear();
        SetMessageSink([this](QMessageBox::Icon, const QString &caption, const QString &text) { m_messages << caption + u'\t' + text; });
    }
    void cleanup()
    {
        SetMessageSink({});
        TfrmResults::FileNameInput = {};
    }

    void pageFollowsTheFilter()
    {
        for (int n = 1; n <= 10; ++n)
            Write(Record(n, QStringLiteral("Химия"), HashV1, m_qs));
        Write(Record(5, QStringLiteral("Физика"), HashV1, m_qs));
        for (int n = 1; n <= 2; ++n)
            Write(Record(n, QStringLiteral("Химия"), HashV2, m_qs));
        TfrmResults w({});
        QVERIFY(Open(w));
        QVERIFY(PageShown(w));
        // Two tests and none chosen: the page says to choose.
        QCOMPARE(Table(w)->rowCount(), 0);
        QVERIFY(w.findChild<QLabel *>(QStringLiteral("labItemsInfo"))->text().contains(QStringLiteral("Выберите тест")));

        Tests(w)->setCurrentIndex(Tests(w)->findText(QStringLiteral("Химия")));
        QCOMPARE(w.ItemVersions().size(), 2);
        auto *versions = w.findChild<QComboBox *>(QStringLiteral("cbVersion"));
        QVERIFY(versions->isEnabled());
        versions->setCurrentIndex(0);
        QCOMPARE(w.ItemVersionShown()->TestHash, HashV1);
        QCOMPARE(w.ItemVersionShown()->Runs, 10);
        QTableWidget *t = Table(w);
        QCOMPARE(t->rowCount(), 4);
        QCOMPARE(t->horizontalHeaderItem(int(TItemColumn::Facility))->text(), QStringLiteral("Решаемость"));
        QCOMPARE(t->item(0, int(TItemColumn::Text))->text(), QStringLiteral("Вопрос 1"));
        QCOMPARE(t->item(0, int(TItemColumn::Seen))->text(), QStringLiteral("10"));
        QCOMPARE(t->item(0, int(TItemColumn::Facility))->text(), QStringLiteral("0,90"));
        // Question 3: the three weakest right, the rest wrong; "нет" beats "да".
        QCOMPARE(t->item(2, int(TItemColumn::Facility))->text(), QStringLiteral("0,30"));
        QCOMPARE(t->item(2, int(TItemColumn::Discrimination))->text(), QStringLiteral("-0,33"));
        QCOMPARE(t->item(2, int(TItemColumn::Variants))->text(), QStringLiteral("1) 3 ✔  2) 7"));
        QCOMPARE(t->item(2, int(TItemColumn::Flags))->text(),
                 QStringLiteral("плохо различает сильных и слабых; неверный вариант выбирают чаще верного"));
        QVERIFY(t->item(2, 0)->background().color() != t->item(1, 0)->background().color());
        QCOMPARE(t->item(1, int(TItemColumn::Flags))->text(), QString());

        // The other version alone: two runs.
        versions->setCurrentIndex(1);
        QCOMPARE(t->item(0, int(TItemColumn::Seen))->text(), QStringLiteral("2"));
        // The class filter applies too: a class with no runs leaves the page empty.
        auto *extra = w.findChild<QComboBox *>(QStringLiteral("cbExtra"));
        QCOMPARE(extra->count(), 2);
        Tests(w)->setCurrentIndex(Tests(w)->findText(QStringLiteral("Физика")));
        QCOMPARE(w.ItemVersions().size(), 1);
        QVERIFY(!versions->isEnabled());
        QCOMPARE(t->item(0, int(TItemColumn::Seen))->text(), QStringLiteral("1"));

        // A record added while the window is open reaches the page.
        QSignalSpy answers(&w, &TfrmResults::AnswersLoaded);
        Write(Record(6, QStringLiteral("Физика"), HashV1, m_qs));
        QVERIFY(answers.wait(10000));
        QCOMPARE(w.ItemVersions().value(0).Runs, 2);
    }

    void noJournalNoPage()
    {
        QVERIFY(AppendResultOnce(m_res, Line(Record(1, QStringLiteral("Химия"), HashV1, m_qs))) == TAppendOutcome::Written);
        TfrmResults w({});
        QVERIFY(Open(w));
        QVERIFY(!PageShown(w));
        QCOMPARE(Table(w)->rowCount(), 0);
        QCOMPARE(m_messages, QStringList());
    }

    // From the editor's Service menu: the test beside the results opens in
    // the same editor at the question; one that moved is found by its hash,
    // one that changed is shown with a warning.
    void doubleClickOpensTheQuestion()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        const QString test = m_dir->filePath(QStringLiteral("Химия.qe2"));
        // On disk since the class took it: question 1 moved to the end, question 2 rewritten.
        TQuestionList now{m_qs[1], m_qs[2], m_qs[3], m_qs[0]};
        now[0] = EditorTest::Question(QStringLiteral("Вопрос 2, исправленный"), {QStringLiteral("да"), QStringLiteral("нет")},
                                      QStringLiteral("! "));
        EditorTest::WriteTest(test, now);
        for (int n = 1; n <= 10; ++n)
            Write(Record(n, QStringLiteral("Химия"), HashV1, m_qs));
        TfrmResults::FileNameInput = [this](bool, const QString &, const QString &) { return m_res; };
        f.W().findChild<QAction *>(QStringLiteral("actServiceResults"))->trigger();
        auto *w = f.W().findChild<TfrmResults *>();
        QVERIFY(w);
        QSignalSpy answers(w, &TfrmResults::AnswersLoaded);
        QVERIFY(w->HasAnswers() || answers.wait(20000));
        QCOMPARE(w->ItemsTable()->rowCount(), 4);
        TfrmResults::FileNameInput = [](bool, const QString &, const QString &) -> QString {
            QTest::qFail("the test beside the results is not to be asked for", __FILE__, __LINE__);
            return {};
        };
        const auto doubleClick = [&](int row) {
            QTableWidget *t = w->ItemsTable();
            w->findChild<QTabWidget *>(QStringLiteral("tabsResults"))->setCurrentWidget(w->findChild<QWidget *>(QStringLiteral("tabItems")));
            QVERIFY(QTest::qWaitForWindowExposed(w));
            QCoreApplication::processEvents();
            const QRect cell = t->visualItemRect(t->item(row, int(TItemColumn::Text)));
            // The press a real double click starts with: item views want it.
            QTest::mouseClick(t->viewport(), Qt::LeftButton, {}, cell.center());
            QTest::mouseDClick(t->viewport(), Qt::LeftButton, {}, cell.center());
        };
        // "Вопрос 3" stands second now: found by its hash.
        doubleClick(2);
        QCOMPARE(f.W().Document()->path(), test);
        QCOMPARE(f.W().CurrentRow(), 1);
        QCOMPARE(f.TakeMessages(), QString());
        // Question 1 moved to the end.
        doubleClick(0);
        QCOMPARE(f.W().CurrentRow(), 3);
        // Question 2 was rewritten: shown at its position, with a warning.
        doubleClick(1);
        QCOMPARE(f.W().CurrentRow(), 1);
        QCOMPARE(f.Questions, QStringList{QStringLiteral("Внимание!\tВопрос №2 изменен после тестирования: "
                                                         "его текст не тот, что видели ученики.")});
        w->close();
    }

    // The editor the window started when it was opened alone (--question N
    // --question-hash H): the test opens at that question once the access
    // password is given, found by its hash when it moved.
    void editorStartedAtAQuestion()
    {
        const QString test = m_dir->filePath(QStringLiteral("Химия.qe2"));
        EditorTest::WriteTest(test, {m_qs[0], m_qs[1], m_qs[2], m_qs[3]});
        {
            TEditorFixture f;
            f.StartQuestion = 3;
            f.StartHash = AnswersJournal::QuestionTextHash(*m_qs[2]);
            QVERIFY(f.Start(test));
            QCOMPARE(f.W().Document()->path(), test);
            QCOMPARE(f.W().CurrentRow(), 2);
        }
        EditorTest::WriteTest(test, {m_qs[2], m_qs[0], m_qs[1], m_qs[3]});
        TEditorFixture f;
        f.StartQuestion = 3;
        f.StartHash = AnswersJournal::QuestionTextHash(*m_qs[2]);
        QVERIFY(f.Start(test));
        QCOMPARE(f.W().CurrentRow(), 0);
        QCOMPARE(f.Questions, QStringList());
    }

    // Not beside the results: the teacher is asked for it; cancelled, nothing opens.
    void testChosenWhenNotBeside()
    {
        for (int n = 1; n <= 3; ++n)
            Write(Record(n, QStringLiteral("Химия"), HashV1, m_qs));
        const QString elsewhere = m_dir->filePath(QStringLiteral("другое/Химия, новая.qe2"));
        QDir().mkpath(QFileInfo(elsewhere).absolutePath());
        EditorTest::WriteTest(elsewhere, m_qs);
        TfrmResults w({});
        QVERIFY(Open(w));
        QStringList asked;
        QString answer = elsewhere;
        TfrmResults::FileNameInput = [&](bool save, const QString &filter, const QString &suggested) {
            asked << QString::number(save) + u'|' + filter + u'|' + QFileInfo(suggested).fileName();
            return answer;
        };
        QString opened;
        w.OpenInEditor = [&](const QString &path, int position, const QString &hash) {
            opened = QStringLiteral("%1|%2|%3").arg(path).arg(position).arg(hash);
        };
        w.OpenItem(3);
        QCOMPARE(asked, QStringList{QStringLiteral("0|Тесты (*.qe2);;Все файлы (*)|Химия.qe2")});
        QCOMPARE(opened, QStringLiteral("%1|4|%2").arg(elsewhere, AnswersJournal::QuestionTextHash(*m_qs[3])));
        opened.clear();
        answer.clear();
        w.OpenItem(0);
        QCOMPARE(opened, QString());
        QCOMPARE(m_messages, QStringList());
    }
};

QTEST_MAIN(TestResultsItems)
#include "tst_ResultsItems.moc"
