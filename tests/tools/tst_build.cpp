// qe2tool build: descriptions become tests that read back field by field.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include "QuizEngineCommon.h"
#include "testutil_tool.h"

namespace {

QJsonObject Json(const char *text)
{
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

QJsonObject TwoVariantQuestion(const QString &text)
{
    return QJsonObject{{QStringLiteral("text"), text},
                       {QStringLiteral("variants"), QJsonArray{QStringLiteral("да"), QStringLiteral("нет")}},
                       {QStringLiteral("marks"), QStringLiteral("! ")}};
}

}  // namespace

class TestBuild : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

    TToolRun build(const QJsonObject &description, const QString &out)
    {
        const QString desc = WriteFile(m_dir.path(), QStringLiteral("desc.json"),
                                       QJsonDocument(description).toJson());
        return RunTool({QStringLiteral("build"), desc, QStringLiteral("-o"), out});
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QFile::copy(QStringLiteral(QE_SOURCE_DIR "/examples/triangle.png"),
                            m_dir.filePath(QStringLiteral("pic.png"))));
    }

    void everyFieldSurvivesBuildAndDump()
    {
        const QJsonObject settings = Json(R"({
            "timeLimit": 45, "questionOrder": "random", "questionsAsked": 2,
            "canViewErrors": true, "enableBackNavigation": false, "canViewComments": true,
            "canAlwaysViewComments": true, "randomVariantOrder": false, "countWholeQuestion": true,
            "customWindowSize": true, "windowWidth": 800, "windowHeight": 600, "zoom": 150,
            "scrollBars": "vertical", "reservedWord": 7 })");
        QJsonArray questions;
        questions.append(Json(R"({"title": "Справка", "text": ["Прочитайте внимательно.", "Вторая строка"]})"));
        questions.append(Json(R"({"text": ["Что на рисунке?", {"picture": "pic.png"}, "Выберите ответ."],
            "variants": ["треугольник", "круг", "квадрат"], "marks": "!  ",
            "comment": ["Рисунок ещё раз:", {"picture": "pic.png"}]})"));
        questions.append(Json(R"({"rtf": "{\\rtf1\\ansi\\ansicpg1251 {\\b Bold} text\\par second\\par}",
            "variants": ["a", "b"], "marks": "!!", "title": "Заголовок вопроса"})"));
        questions.append(Json(R"({"text": "Последний вопрос", "variants": ["1", "2", "3", "4", "5", "6", "7", "8", "9", "10"],
            "marks": "         !", "comment": "Комментарий"})"));
        const QJsonObject description{{QStringLiteral("settings"), settings},
                                      {QStringLiteral("password"), QStringLiteral("четырнадцать14")},
                                      {QStringLiteral("questions"), questions}};
        const QString out = m_dir.filePath(QStringLiteral("full.qe2"));
        const TToolRun r = build(description, out);
        QVERIFY2(r.finished && r.exitCode == 0, qPrintable(r.errText()));

        TTestInfo info;
        TQuestionList list;
        QVERIFY(LoadTestFromFile(out, info, list).Ok);
        QCOMPARE(info.Password, QStringLiteral("четырнадцать14"));
        QCOMPARE(info.QuestionCount, 4u);
        QCOMPARE(info.IQCount, 1u);
        QCOMPARE(info.RandomCount, quint16(2));
        QCOMPARE(info.Options, quint16(CanViewErrors | CanViewComments | CanAlwaysViewComments
                                       | CountWholeQuestion | SetCustomQSize));
        QCOMPARE(list[1]->PlainLines.items(),
                 (QStringList{QStringLiteral("Что на рисунке?"), QStringLiteral("[объект]"),
                              QStringLiteral("Выберите ответ.")}));
        QVERIFY(list[1]->Body.contains("BDOC"));
        QVERIFY(list[1]->Comment && list[1]->Comment->contains("BDOC"));
        QCOMPARE(list[2]->PlainLines.items(), (QStringList{QStringLiteral("Bold text"), QStringLiteral("second")}));
        QCOMPARE(list[3]->RightMarks, QStringLiteral("         !"));

        const TToolRun d = RunTool({QStringLiteral("dump"), QStringLiteral("--show-password"), out});
        QVERIFY2(d.exitCode == 0, qPrintable(d.errText()));
        const QJsonObject dump = ParseJsonObject(d.out);
        QCOMPARE(dump[QStringLiteral("settings")].toObject(), settings);
        QCOMPARE(dump[QStringLiteral("password")].toString(), QStringLiteral("четырнадцать14"));
        const QJsonArray dq = dump[QStringLiteral("questions")].toArray();
        QCOMPARE(dq.size(), 4);
        QCOMPARE(dq[0][QStringLiteral("title")].toString(), QStringLiteral("Справка"));
        QCOMPARE(dq[0][QStringLiteral("variants")].toArray().size(), 0);
        QCOMPARE(dq[0][QStringLiteral("bodyLines")].toVariant().toStringList(),
                 (QStringList{QStringLiteral("Прочитайте внимательно."), QStringLiteral("Вторая строка")}));
        QCOMPARE(dq[1][QStringLiteral("bodyObjects")].toInt(), 1);
        QCOMPARE(dq[1][QStringLiteral("commentLines")].toVariant().toStringList(),
                 (QStringList{QStringLiteral("Рисунок ещё раз:"), QStringLiteral("[объект]")}));
        QCOMPARE(dq[1][QStringLiteral("variants")].toVariant().toStringList(),
                 (QStringList{QStringLiteral("треугольник"), QStringLiteral("круг"), QStringLiteral("квадрат")}));
        QCOMPARE(dq[2][QStringLiteral("hasTitle")].toBool(), true);
        QCOMPARE(dq[2][QStringLiteral("hasComment")].toBool(), false);
        QCOMPARE(dq[3][QStringLiteral("commentLines")].toVariant().toStringList(), QStringList{QStringLiteral("Комментарий")});
        QCOMPARE(dq[3][QStringLiteral("commentSize")].toInt(), int(list[3]->Comment->size()));
    }

    void omittedSettingsTakeTheNewTestValues()
    {
        QJsonArray questions;
        for (int i = 0; i < 3; ++i)
            questions.append(TwoVariantQuestion(QStringLiteral("Вопрос %1").arg(i)));
        const QString out = m_dir.filePath(QStringLiteral("defaults.qe2"));
        QCOMPARE(build(QJsonObject{{QStringLiteral("questions"), questions}}, out).exitCode, 0);
        TTestInfo info;
        TQuestionList list;
        QVERIFY(LoadTestFromFile(out, info, list).Ok);
        TTestInfo expected = TTestInfo::NewTestValues();
        expected.QuestionCount = 3;
        QCOMPARE(info, expected);

        // With fewer than three real questions the order is the stored one, as the editor sets it.
        questions.removeLast();
        QCOMPARE(build(QJsonObject{{QStringLiteral("questions"), questions}}, out).exitCode, 0);
        QVERIFY(LoadTestFromFile(out, info, list).Ok);
        QCOMPARE(info.RandomCount, quint16(0));
    }

    void badDescriptionsNameThePath_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("message");
        const QByteArray q = R"({"text": "Q", "variants": ["a", "b"], "marks": "! "})";
        QTest::newRow("11 variants")
            << QByteArray(R"({"questions": [)" + q + R"(, {"text": "Q", "variants": ["1","2","3","4","5","6","7","8","9","10","11"], "marks": "!          "}]})")
            << QStringLiteral("questions[1].variants: more than 10 variants");
        QTest::newRow("15-character password")
            << QByteArray(R"({"password": "123456789012345", "questions": [)" + q + "]}")
            << QStringLiteral("password: more than 14 characters");
        QTest::newRow("marks too short")
            << QByteArray(R"({"questions": [{"text": "Q", "variants": ["a", "b", "c"], "marks": "! "}]})")
            << QStringLiteral("questions[0].marks: 2 marks for 3 variants");
        QTest::newRow("marks without a correct one")
            << QByteArray(R"({"questions": [{"text": "Q", "variants": ["a", "b"], "marks": "  "}]})")
            << QStringLiteral("questions[0].marks: no variant is marked correct");
        QTest::newRow("missing picture")
            << QByteArray(R"({"questions": [)" + q + R"(, {"text": ["Q", {"picture": "nowhere.png"}]}]})")
            << QStringLiteral("questions[1].text[1].picture: no such file");
        QTest::newRow("picture that is no picture")
            << QByteArray(R"({"questions": [{"text": "Q", "comment": [{"picture": "desc.json"}]}]})")
            << QStringLiteral("questions[0].comment[0].picture: not a PNG, JPEG, BMP or GIF picture");
        QTest::newRow("one variant")
            << QByteArray(R"({"questions": [{"text": "Q", "variants": ["a"], "marks": "!"}]})")
            << QStringLiteral("questions[0].variants: a single variant");
        QTest::newRow("no text")
            << QByteArray(R"({"questions": [{"variants": ["a", "b"], "marks": "! "}]})")
            << QStringLiteral("questions[0]: missing \"text\"");
        QTest::newRow("variant not in Windows-1251")
            << QByteArray(R"({"questions": [{"text": "Q", "variants": ["a", "✓"], "marks": "! "}]})")
            << QStringLiteral("questions[0].variants[1]: has characters");
        QTest::newRow("misspelt setting")
            << QByteArray(R"({"settings": {"timelimit": 5}, "questions": [)" + q + "]}")
            << QStringLiteral("settings.timelimit: unknown key");
        QTest::newRow("time limit too long")
            << QByteArray(R"({"settings": {"timeLimit": 121}, "questions": [)" + q + "]}")
            << QStringLiteral("settings.timeLimit: 121 is outside 0..120");
        QTest::newRow("comments always without comments")
            << QByteArray(R"({"settings": {"canAlwaysViewComments": true}, "questions": [)" + q + "]}")
            << QStringLiteral("settings.canAlwaysViewComments: needs canViewComments");
        QTest::newRow("more asked than there are")
            << QByteArray(R"({"settings": {"questionsAsked": 4}, "questions": [)" + q + "," + q + "," + q + "]}")
            << QStringLiteral("settings.questionsAsked: 4 is more than the 3 questions");
        QTest::newRow("bad RTF")
            << QByteArray(R"({"questions": [{"rtfFile": "missing.rtf"}]})")
            << QStringLiteral("questions[0].rtfFile: ");
        QTest::newRow("not JSON") << QByteArray(R"({"questions": [)") << QStringLiteral("not valid JSON at byte");
    }
    void badDescriptionsNameThePath()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, message);
        const QString desc = WriteFile(m_dir.path(), QStringLiteral("desc.json"), json);
        const QString out = m_dir.filePath(QStringLiteral("refused-%1.qe2").arg(QTest::currentDataTag()));
        const TToolRun r = RunTool({QStringLiteral("build"), desc, QStringLiteral("-o"), out});
        QVERIFY(r.finished);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errText().startsWith(QStringLiteral("qe2tool: ") + desc + QStringLiteral(": ") + message),
                 qPrintable(r.errText()));
        QVERIFY(!QFile::exists(out));
    }

    void demoTestIsBuilt()
    {
        const QString demo = QStringLiteral(QE_BINARY_DIR "/examples/demo.qe2");
        if (!QFile::exists(demo))
            QSKIP("the demo test is not built in this tree");
        TTestInfo info;
        TQuestionList list;
        QVERIFY(LoadTestFromFile(demo, info, list).Ok);
        QCOMPARE(info.TimeLimit, quint8(15));
        QVERIFY(info.Password.isEmpty());
        QVERIFY(info.has(RandomVOrder) && info.has(EnableBackNavigation) && info.has(CanViewErrors)
                && info.has(CanViewComments));
        QCOMPARE(info.IQCount, 2u);
        QVERIFY(info.QuestionCount - info.IQCount >= 12);
        int pictures = 0;
        for (const auto &q : list)
            pictures += int(q->Body.count("BDOC") + (q->Comment ? q->Comment->count("BDOC") : 0));
        QVERIFY(pictures >= 2);
    }
};

QTEST_GUILESS_MAIN(TestBuild)
#include "tst_build.moc"
