// The run journal in the real player: a player process killed at a chosen
// point and started again with the same command goes on with the same
// registration, order, answers, question and time, and writes its result
// line once. Also: a test changed since, "Нет", a second player of the same
// account, two accounts, and hostile journals.
#include <QtTest>
#include <QDirIterator>
#include <QTemporaryDir>

#include "Ansi.h"
#include "JournalStore.h"
#include "RunJournalLink.h"
#include "MCheckBox.h"
#include "fData.h"
#include "fQuestion.h"
#include "fResults.h"
#include "testutil_Player.h"
#include "testutil_drive.h"
#include "testutil_run.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString Names = QStringLiteral("reg=Петров|Пётр|Петрович|7Б");


// The state the driver printed with "dump", without the time.
QStringList State(const TRunOutput &o)
{
    QStringList s;
    for (const QString &l : o.Lines)
        if (l.startsWith(QLatin1String("CAPTION ")) || l.startsWith(QLatin1String("TICKS ")) || l.startsWith(QLatin1String("ITEM ")))
            s.append(l);
    return s;
}

int TimeShown(const TRunOutput &o)
{
    for (const QString &l : o.Lines)
        if (l.startsWith(QLatin1String("TIME "))) {
            const QStringList mmss = l.mid(5).split(u':');
            return mmss.value(0).toInt() * 60 + mmss.value(1).toInt();
        }
    return -1;
}

QStringList Files(const QString &dir, const QString &pattern)
{
    return QDir(dir).entryList({pattern}, QDir::Files | QDir::System, QDir::Name);
}

QList<QByteArray> DataLines(const QString &results)
{
    QFile f(results);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = f.readAll().split('\n');
    lines.removeAll(QByteArray());
    if (!lines.isEmpty())
        lines.removeFirst();  // the header
    return lines;
}
}

class tst_RunJournal : public QObject {
    Q_OBJECT
    QTemporaryDir m_tmp;
    int m_n = 0;
    TPlayerSetup m_s;
    QString m_test, m_results;

    QString Runs() const { return m_s.StateHome + QStringLiteral("/quizengine2/runs"); }
    QString Interrupted() const { return Runs() + QStringLiteral("/interrupted"); }
    QStringList Args() const { return {QStringLiteral("KMQuizdispatch"), m_test, m_results}; }
    QString JournalPath() const
    {
        const QStringList j = Files(Runs(), QStringLiteral("*.qrj"));
        return j.size() == 1 ? Runs() + u'/' + j.first() : QString();
    }
    TRunJournal Journal() const
    {
        QFile f(JournalPath());
        return f.open(QIODevice::ReadOnly) ? ReadJournal(f.readAll()) : TRunJournal();
    }

    // Six questions of three variants, shuffled with their variants, ten minutes.
    void SaveTest(const QString &suffix = {})
    {
        TQuestionList qs = MakeQuestions(6, {2});
        if (!suffix.isEmpty())
            qs.back()->Variants[0] += suffix;
        TTestInfo info = TestHeader(0xFFFF, true);
        info.Options |= EnableBackNavigation;
        info.TimeLimit = 10;
        ::SaveTest(m_test, info, qs);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(Driver()).isExecutable(), "QE_JOURNAL_DRIVER");
    }

    void init()
    {
        const QString d = m_tmp.filePath(QStringLiteral("case%1").arg(++m_n));
        QDir().mkpath(d);
        m_s = TPlayerSetup();
        m_s.Dir = d;
        m_s.Session = d + QStringLiteral("/session");
        m_s.StateHome = d + QStringLiteral("/state");
        m_test = d + QStringLiteral("/Физика.qe2");
        m_results = d + QStringLiteral("/Физика.res");
        SaveTest();
    }

    void resumesWhereItWasKilled_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("phase");
        QTest::addColumn<int>("current");
        QTest::newRow("after registration") << QString() << 1 << 1;
        QTest::newRow("mid-test") << QStringLiteral("tick=2;next;next;tick=1;tick=3;next;tick=2;tick=2;go=5;tick=3") << 1 << 5;
        QTest::newRow("on the last question") << QStringLiteral("go=7;tick=1") << 1 << 7;
    }
    void resumesWhereItWasKilled()
    {
        QFETCH(QString, before);
        QFETCH(int, phase);
        QFETCH(int, current);
        const TRunOutput first = Run(m_s, Args(), Names + u';' + before + QStringLiteral(";dump;pause"));
        QVERIFY2(first.Paused, qPrintable(first.Lines.join(u'\n')));
        const TRunJournal j = Journal();
        QCOMPARE(int(j.Phase), phase);
        QCOMPARE(int(j.CurQuestion), current);
        QCOMPARE(j.LastName, QStringLiteral("Петров"));
        QCOMPARE(j.AddInfo, QStringLiteral("7Б"));
        QCOMPARE(j.Items.size(), 7);

        // The same command again, "Да".
        const TRunOutput second = Run(m_s, Args(), QStringLiteral("dump;finish;exit"));
        QVERIFY2(second.Ended, qPrintable(second.Lines.join(u'\n')));
        const QString left = QStringLiteral("%1:%2").arg(j.SecondsLeft / 60, 2, 10, QLatin1Char('0'))
                                 .arg(j.SecondsLeft % 60, 2, 10, QLatin1Char('0'));
        QCOMPARE(second.Messages, QStringList{QStringLiteral("Внимание!\tПродолжить прерванное тестирование?\\r\\rПетров Пётр Петрович (7Б)\\rВопрос %1 из 7, осталось %2").arg(current).arg(left)});
        QCOMPARE(State(second), State(first));
        // The time saved, not the full time: at most one 10-second period off.
        QVERIFY(qAbs(TimeShown(second) - TimeShown(first)) <= 10);
        QCOMPARE(TimeShown(second), int(j.SecondsLeft));
        QCOMPARE(DataLines(m_results).size(), 1);
        QVERIFY(DataLines(m_results)[0].contains(ToAnsi(QStringLiteral("\tПетров\tПётр\tПетрович\t7Б\t"))));
        // The run is over: no journal, nothing set aside.
        QCOMPARE(Files(Runs(), QStringLiteral("*.qrj")), QStringList());
        QCOMPARE(Files(Interrupted(), QStringLiteral("*")), QStringList());
    }

    // The review has begun, so the line is written: it is not written again,
    // and neither when the journal was left saying the save was under way.
    void aWrittenLineIsNotWrittenTwice()
    {
        const TRunOutput first = Run(m_s, Args(), Names + QStringLiteral(";tick=1;finish;atresults"));
        QVERIFY(first.Paused);
        QCOMPARE(DataLines(m_results).size(), 1);
        TRunJournal j = Journal();
        QCOMPARE(int(j.Phase), 3);
        const TRunOutput second = Run(m_s, Args(), QStringLiteral("exit"));
        QVERIFY(second.Ended);
        QCOMPARE(DataLines(m_results).size(), 1);
        QVERIFY(!second.Lines.filter(QStringLiteral("RESULTS ")).isEmpty());

        // A crash right after the append, before the journal said so.
        const TRunOutput third = Run(m_s, Args(), Names + QStringLiteral(";tick=1;finish;atresults"));
        QVERIFY(third.Paused);
        QCOMPARE(DataLines(m_results).size(), 2);
        j = Journal();
        j.Phase = JournalFormat::PhaseSaving;
        QFile f(JournalPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(WriteJournal(j));
        f.close();
        const TRunOutput fourth = Run(m_s, Args(), QStringLiteral("exit"));
        QVERIFY(fourth.Ended);
        QCOMPARE(DataLines(m_results).size(), 2);
    }

    // The results folder is missing: the save fails its series; killed at
    // the retry question, the run goes on at the save and writes once.
    void resumesAtAFailedSave()
    {
        m_results = m_s.Dir + QStringLiteral("/later/Физика.res");
        const TRunOutput first = Run(m_s, Args(), Names + QStringLiteral(";tick=2;next;tick=1;finish;failsave"));
        QVERIFY(first.Paused);
        QCOMPARE(int(Journal().Phase), 2);
        const qint64 scoredAt = Journal().ResultTime;
        QVERIFY(scoredAt != 0);
        QVERIFY(QDir().mkpath(m_s.Dir + QStringLiteral("/later")));
        const TRunOutput second = Run(m_s, Args(), QStringLiteral("exit"));
        QVERIFY(second.Ended);
        const QList<QByteArray> lines = DataLines(m_results);
        QCOMPARE(lines.size(), 1);
        // The line keeps the time of the scoring, not of the second start.
        const QString when = QDateTime::fromMSecsSinceEpoch(scoredAt).toString(QStringLiteral("dd.MM.yy\th:mm\t"));
        QVERIFY(lines[0].startsWith(when.toLatin1()));
    }

    void noSetsTheJournalAside()
    {
        QVERIFY(Run(m_s, Args(), Names + QStringLiteral(";tick=1;next;pause")).Paused);
        const TRunOutput second = Run(m_s, Args(), QStringLiteral("reg=Сидоров|Сидор|Сидорович|;dump;pause"), QStringLiteral("Нет"));
        QVERIFY(second.Paused);
        QCOMPARE(second.Messages.size(), 1);
        QVERIFY2(second.Messages[0].contains(QStringLiteral("Продолжить прерванное тестирование?")), qPrintable(second.Messages[0]));
        const QStringList aside = Files(Interrupted(), QStringLiteral("*.qrj"));
        QCOMPARE(aside.size(), 1);
        QFile f(Interrupted() + u'/' + aside[0]);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(ReadJournal(f.readAll()).LastName, QStringLiteral("Петров"));
        // A new run: its own registration, nothing answered.
        QCOMPARE(Journal().LastName, QStringLiteral("Сидоров"));
        QVERIFY(State(second).filter(QStringLiteral("!")).isEmpty());
    }

    void aChangedTestIsSetAside()
    {
        QVERIFY(Run(m_s, Args(), Names + QStringLiteral(";tick=1;next;pause")).Paused);
        SaveTest(QStringLiteral(" (исправлено)"));
        const TRunOutput second = Run(m_s, Args(), QStringLiteral("reg=Сидоров|Сидор|Сидорович|;pause"));
        QVERIFY(second.Paused);
        QCOMPARE(second.Messages.size(), 1);
        QVERIFY2(second.Messages[0].startsWith(QStringLiteral("Предупреждение !\t") + JournalChangedText.left(20)),
                 qPrintable(second.Messages.join(u'\n')));
        QCOMPARE(Files(Interrupted(), QStringLiteral("*.qrj")).size(), 1);
        QCOMPARE(Journal().LastName, QStringLiteral("Сидоров"));
    }

    void hostileJournals_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("garbage") << 0;
        QTest::newRow("truncated") << 1;
        QTest::newRow("link") << 2;
        QTest::newRow("more items than the test") << 3;
        QTest::newRow("huge") << 4;
    }
    void hostileJournals()
    {
        QFETCH(int, kind);
        QVERIFY(Run(m_s, Args(), Names + QStringLiteral(";tick=1;next;pause")).Paused);
        const QString path = JournalPath();
        QVERIFY(!path.isEmpty());
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QByteArray bytes = f.readAll();
        f.close();
        QFile::remove(path);
        TRunJournal j = ReadJournal(bytes);
        switch (kind) {
        case 0: bytes = QByteArray(300, '\xAB'); break;
        case 1: bytes.chop(9); break;
        case 2: break;
        case 3: j.Items.append({42, {}, {}}); bytes = WriteJournal(j); break;
        case 4: bytes = QByteArray(17 << 20, 'Q'); break;
        }
        if (kind == 2) {
            const QString target = m_s.Dir + QStringLiteral("/elsewhere.qrj");
            QFile t(target);
            QVERIFY(t.open(QIODevice::WriteOnly));
            t.write(bytes);
            t.close();
            QVERIFY(QFile::link(target, path));
        } else {
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
            f.close();
        }
        const QByteArray resultsBefore = QFile(m_results).exists() ? QByteArray("x") : QByteArray();
        const TRunOutput second = Run(m_s, Args(), Names + QStringLiteral(";dump;finish;exit"));
        QVERIFY(second.Ended);
        QCOMPARE(second.Messages.size(), 1);
        QVERIFY2(second.Messages[0].startsWith(QStringLiteral("Предупреждение !\t") + JournalDamagedText.left(20)),
                 qPrintable(second.Messages.join(u'\n')));
        QCOMPARE(Files(Interrupted(), QStringLiteral("*.qrj")).size(), 1);
        // A fresh run that wrote its own line and ended.
        QCOMPARE(DataLines(m_results).size(), 1);
        QVERIFY(resultsBefore.isEmpty());
        QCOMPARE(Files(Runs(), QStringLiteral("*.qrj")), QStringList());
    }

    // The countdown is journalled every 10 seconds, the other changes as they happen.
    void changesReachTheJournal()
    {
        TRunFixture fx(EnableBackNavigation, {RunItem(QStringLiteral("Q1"), {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("! ")),
                                              RunItem(QStringLiteral("Q2"), {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral(" !"))}, 1);
        QList<TRunStep> steps;
        fx.Ctx.Changed = [&steps](TRunStep s) { steps.append(s); };
        TTestRun &run = fx.Make();
        TRunScript script;
        script.OnModal(run.frmData(), [&run] { Register(run); });
        script.OnModal(run.frmQuestion(), [&run, &steps] {
            QCOMPARE(steps, QList<TRunStep>{TRunStep::Registered});
            Boxes(run)[1]->click();
            QCOMPARE(run.Marks(), (QStringList{QStringLiteral(" !"), QString()}));
            for (int i = 0; i < 25; ++i)
                run.OnTimer();
            Click(Child<QAbstractButton>(run.frmQuestion(), "bbtnForward"));
        });
        FinishSteps(script, run);
        script.OnModal(run.frmResults(), [&run] { Click(Child<QAbstractButton>(run.frmResults(), "btnExit")); });
        run.Start();
        QVERIFY(script.Done());
        QCOMPARE(steps, (QList<TRunStep>{TRunStep::Registered, TRunStep::Answered, TRunStep::Tick, TRunStep::Tick,
                                         TRunStep::Moved, TRunStep::Saving, TRunStep::Saved, TRunStep::Finished}));
        QCOMPARE(run.Phase(), quint8(3));
        QCOMPARE(run.Marks(), (QStringList{QStringLiteral(" !"), QString()}));
    }

    // Another player of the same account (a second machine on the same
    // home) is refused while the run is open; once the first is gone the run
    // resumes.
    void openElsewhere()
    {
        QProcess first;
        TPlayerSetup other = m_s;
        other.Session = m_s.Dir + QStringLiteral("/session2");
        // The first stays paused while the second starts.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        QDir().mkpath(m_s.Session);
        QFile::setPermissions(m_s.Session, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QStringLiteral("TMPDIR"), m_s.Session);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_s.Session);
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_s.StateHome);
        env.insert(QStringLiteral("QE_MESSAGE_LOG"), m_s.Dir + QStringLiteral("/first.log"));
        env.insert(QStringLiteral("QE_DRIVE"), Names + QStringLiteral(";tick=1;pause"));
        first.setProcessEnvironment(env);
        first.start(m_s.Program, Args());
        QVERIFY(first.waitForStarted());
        QElapsedTimer t;
        t.start();
        QByteArray out;
        while (!out.contains("PAUSED") && t.elapsed() < 60000 && first.waitForReadyRead(1000))
            out += first.readAllStandardOutput();
        QVERIFY(out.contains("PAUSED"));
        const TRunOutput second = Run(other, Args(), QStringLiteral("pause"));
        QVERIFY(second.Ended);
        QCOMPARE(second.Messages, QStringList{QStringLiteral("Ошибка !\t") + RunOpenElsewhereText});
        first.kill();
        first.waitForFinished();
        const TRunOutput third = Run(other, Args(), QStringLiteral("dump;pause"));
        QVERIFY(third.Paused);
        QVERIFY(third.Messages.value(0).contains(QStringLiteral("Продолжить прерванное тестирование?")));
    }

    // Two pupils on one computer: each account has its own journals, and a
    // state folder of another account is not used.
    void twoAccounts()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to run a player as another account");
        // A folder both can reach, whatever the checkout's home allows.
        QTemporaryDir shared(QStringLiteral("/tmp/qe-journal-XXXXXX"));
        QVERIFY(shared.isValid());
        ::chmod(QFile::encodeName(shared.path()).constData(), 0777);
        const QString program = shared.filePath(QStringLiteral("player"));
        QVERIFY(QFile::copy(Driver(), program));
        ::chmod(QFile::encodeName(program).constData(), 0755);
        const QString test = shared.filePath(QStringLiteral("Физика.qe2"));
        QVERIFY(QFile::copy(m_test, test));
        ::chmod(QFile::encodeName(test).constData(), 0644);
        const QStringList args{QStringLiteral("KMQuizdispatch"), test, shared.filePath(QStringLiteral("Физика.res"))};

        TPlayerSetup root = m_s;
        root.Program = program;
        TPlayerSetup pupil;
        pupil.Program = program;
        pupil.Uid = 65534;
        pupil.Dir = shared.filePath(QStringLiteral("pupil"));
        QDir().mkpath(pupil.Dir);
        ::chown(QFile::encodeName(pupil.Dir).constData(), 65534, 65534);
        pupil.Session = pupil.Dir + QStringLiteral("/session");
        pupil.StateHome = pupil.Dir + QStringLiteral("/state");
        QDir().mkpath(pupil.Session);
        ::chown(QFile::encodeName(pupil.Session).constData(), 65534, 65534);

        QVERIFY(Run(root, args, Names + QStringLiteral(";tick=1;next;pause")).Paused);
        const TRunOutput other = Run(pupil, args, QStringLiteral("reg=Сидоров|Сидор|Сидорович|;tick=2;pause"));
        QVERIFY2(other.Paused, qPrintable(other.Lines.join(u'\n') + other.Messages.join(u'\n')));
        QCOMPARE(other.Messages, QStringList());  // root's run is not offered to the pupil
        const QString pupilRuns = pupil.StateHome + QStringLiteral("/quizengine2/runs");
        const QStringList pj = Files(pupilRuns, QStringLiteral("*.qrj"));
        QCOMPARE(pj.size(), 1);
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(pupilRuns + u'/' + pj[0]).constData(), &st) == 0);
        QCOMPARE(st.st_uid, uid_t(65534));
        QCOMPARE(int(st.st_mode & 0777), 0600);
        QCOMPARE(Files(Runs(), QStringLiteral("*.qrj")).size(), 1);

        // The pupil's player pointed at root's state folder does not use it.
        pupil.StateHome = m_s.StateHome;
        const TRunOutput pointed = Run(pupil, args, QStringLiteral("reg=Сидоров|Сидор|Сидорович|;pause"));
        QVERIFY(pointed.Paused);
        QCOMPARE(pointed.Messages.size(), 1);
        QVERIFY2(pointed.Messages[0].startsWith(QStringLiteral("Предупреждение !\t") + JournalUnavailableText),
                 qPrintable(pointed.Messages.join(u'\n')));
        // Both runs go on, each for its own account.
        const TRunOutput rootAgain = Run(root, args, QStringLiteral("dump;pause"));
        QVERIFY(rootAgain.Messages.value(0).contains(QStringLiteral("Петров")));
        pupil.StateHome = pupil.Dir + QStringLiteral("/state");
        const TRunOutput pupilAgain = Run(pupil, args, QStringLiteral("dump;pause"));
        QVERIFY2(pupilAgain.Messages.value(0).contains(QStringLiteral("Сидоров")), qPrintable(pupilAgain.Messages.join(u'\n')));
    }
};

QTEST_MAIN(tst_RunJournal)
#include "tst_RunJournal.moc"
