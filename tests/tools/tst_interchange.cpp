// qe2tool import and export: exchange files to tests and back, their reports,
// files that do not read, and the arguments.
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include "QuizEngineCommon.h"
#include "testutil_tool.h"

namespace {

struct TLoaded {
    bool ok = false;
    TQuestionList questions;
};

TLoaded Load(const QString &path)
{
    TLoaded l;
    TTestInfo info;
    l.ok = LoadTestFromFile(path, info, l.questions).Ok;
    return l;
}

}  // namespace

class TestInterchange : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void importGuessesTheFormatAndReports()
    {
        const QString gift = WriteFile(m_dir.path(), QStringLiteral("q.gift"),
                                       "::Река::Самая длинная река? {=Нил ~Волга ~Дон}\n\n"
                                       "Кто? {=никто}\n\n"
                                       "Сумма {~%50%2 ~%50%2.0 ~3}\n");
        const QString out = m_dir.filePath(QStringLiteral("g.qe2"));
        const TToolRun r = RunTool({QStringLiteral("import"), gift, QStringLiteral("-o"), out});
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.outText().contains(QStringLiteral("Вопрос 2 (строка 3): пропущен: вопрос с кратким ответом.")),
                 r.out.constData());
        QVERIFY2(r.outText().contains(QStringLiteral("2 questions from gift, 1 report lines")), r.out.constData());
        const TLoaded t = Load(out);
        QVERIFY(t.ok);
        QCOMPARE(t.questions.size(), size_t(2));
        QCOMPARE(t.questions[0]->Title, QStringLiteral("Река"));
        QCOMPARE(t.questions[0]->RightMarks, QStringLiteral("!  "));
        QCOMPARE(t.questions[1]->RightMarks, QStringLiteral("!! "));

        const QString aiken = WriteFile(m_dir.path(), QStringLiteral("q.txt"),
                                        QStringLiteral("Два плюс два?\nA. 3\nB. 4\nANSWER: B\n").toUtf8());
        const TToolRun a = RunTool({QStringLiteral("import"), aiken, QStringLiteral("-o"), out});
        QCOMPARE(a.exitCode, 0);
        QVERIFY2(a.outText().contains(QStringLiteral("1 questions from aiken, 0 report lines")), a.out.constData());
        QCOMPARE(Load(out).questions.at(0)->Variants, (QStringList{"3", "4"}));
    }

    void unreadableInputLeavesNoFile()
    {
        const QString bad = WriteFile(m_dir.path(), QStringLiteral("bad.gift"), "Хорошо {=a ~b}\n\nПлохо {=a\n~b\n");
        const QString out = m_dir.filePath(QStringLiteral("none.qe2"));
        TToolRun r = RunTool({QStringLiteral("import"), bad, QStringLiteral("-o"), out});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errText().contains(QStringLiteral("Строка 3: фигурная скобка «{» не закрыта")), r.err.constData());
        QVERIFY(!QFile::exists(out));

        // The same file told to be the lettered format: its own message.
        r = RunTool({QStringLiteral("import"), bad, QStringLiteral("-f"), QStringLiteral("aiken"), QStringLiteral("-o"), out});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errText().contains(QStringLiteral("Строка 1:")), r.err.constData());
        QVERIFY(!QFile::exists(out));

        const QString binary = WriteFile(m_dir.path(), QStringLiteral("bin.dat"), QByteArray("\x00\x01\x02", 3));
        r = RunTool({QStringLiteral("import"), binary, QStringLiteral("-o"), out});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errText().contains(QStringLiteral("cannot be told")), r.err.constData());
        QVERIFY(!QFile::exists(out));

        r = RunTool({QStringLiteral("import"), m_dir.filePath(QStringLiteral("missing.gift")), QStringLiteral("-o"), out});
        QCOMPARE(r.exitCode, 1);
    }

    void argumentsChecked()
    {
        const QString gift = WriteFile(m_dir.path(), QStringLiteral("a.gift"), "Q {=a ~b}\n");
        QCOMPARE(RunTool({QStringLiteral("import"), gift}).exitCode, 2);
        QCOMPARE(RunTool({QStringLiteral("import"), gift, QStringLiteral("-f"), QStringLiteral("docx"),
                          QStringLiteral("-o"), m_dir.filePath(QStringLiteral("x.qe2"))}).exitCode, 2);
        QCOMPARE(RunTool({QStringLiteral("export"), gift, QStringLiteral("-o"), m_dir.filePath(QStringLiteral("x"))}).exitCode, 2);
    }

    void exportEachFormatAndReadBack()
    {
        QJsonArray questions;
        questions.append(QJsonObject{{QStringLiteral("title"), QStringLiteral("Справка")},
                                     {QStringLiteral("text"), QStringLiteral("Прочитайте внимательно.")}});
        questions.append(QJsonObject{{QStringLiteral("text"), QStringLiteral("Один верный?")},
                                     {QStringLiteral("variants"), QJsonArray{"да", "нет", "не знаю"}},
                                     {QStringLiteral("marks"), QStringLiteral(" ! ")},
                                     {QStringLiteral("comment"), QStringLiteral("Пояснение")}});
        questions.append(QJsonObject{{QStringLiteral("title"), QStringLiteral("Два")},
                                     {QStringLiteral("text"), QStringLiteral("Два верных?")},
                                     {QStringLiteral("variants"), QJsonArray{"a", "b", "c"}},
                                     {QStringLiteral("marks"), QStringLiteral("! !")}});
        const QString desc = WriteFile(m_dir.path(), QStringLiteral("t.json"),
                                       QJsonDocument(QJsonObject{{QStringLiteral("questions"), questions}}).toJson());
        const QString test = m_dir.filePath(QStringLiteral("t.qe2"));
        QCOMPARE(RunTool({QStringLiteral("build"), desc, QStringLiteral("-o"), test}).exitCode, 0);
        const TLoaded original = Load(test);
        QVERIFY(original.ok);

        for (const QString format : {QStringLiteral("gift"), QStringLiteral("moodle"), QStringLiteral("aiken")}) {
            const QString file = m_dir.filePath(QStringLiteral("out.") + format);
            const TToolRun e = RunTool({QStringLiteral("export"), test, QStringLiteral("-f"), format, QStringLiteral("-o"), file});
            QVERIFY2(e.exitCode == 0, e.err.constData());
            const QString back = m_dir.filePath(QStringLiteral("back-") + format + QStringLiteral(".qe2"));
            const TToolRun i = RunTool({QStringLiteral("import"), file, QStringLiteral("-o"), back});
            QVERIFY2(i.exitCode == 0, i.err.constData());
            QVERIFY2(i.outText().contains(QStringLiteral("from ") + format), i.out.constData());
            const TLoaded t = Load(back);
            QVERIFY(t.ok);
            if (format == u"aiken") {
                // One right answer only, no information items, titles or comments.
                QVERIFY2(e.outText().contains(QStringLiteral("Вопрос 1: пропущен: информационный блок")), e.out.constData());
                QVERIFY2(e.outText().contains(QStringLiteral("Вопрос 3: пропущен: верных вариантов 2")), e.out.constData());
                QVERIFY(e.outText().contains(QStringLiteral("Вопрос 2: комментарий не перенесён")));
                QCOMPARE(t.questions.size(), size_t(1));
                QCOMPARE(t.questions[0]->Variants, original.questions[1]->Variants);
                QCOMPARE(t.questions[0]->RightMarks, original.questions[1]->RightMarks);
                continue;
            }
            QCOMPARE(t.questions.size(), original.questions.size());
            for (size_t k = 0; k < t.questions.size(); ++k) {
                const TNQuestion &a = *original.questions[k], &b = *t.questions[k];
                QCOMPARE(b.PlainLines, a.PlainLines);
                QCOMPARE(b.Variants, a.Variants);
                QCOMPARE(b.RightMarks, a.RightMarks);
                QCOMPARE(b.HasTitle, a.HasTitle);
                QCOMPARE(b.Title, a.Title);
                QCOMPARE(b.Comment.has_value(), a.Comment.has_value());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestInterchange)
#include "tst_interchange.moc"
