// qe2tool export-docx: the same export from the command line.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "MJvRichedit.h"
#include "QuizEngineCommon.h"
#include "DocxZip.h"
#include "WordExport.h"
#include "testutil_docx.h"

using namespace DocxTest;

namespace {

struct TToolRun { int code = -1; QString out, err; };

TToolRun Tool(const QStringList &args, const QString &cwd)
{
    QProcess p;
    p.setWorkingDirectory(cwd);
    p.start(QString::fromUtf8(qgetenv("QE2TOOL")), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

QString MakeTest(const QString &dir, const TQuestionList &list, quint16 randomCount = 0)
{
    TTestInfo info = TTestInfo::NewTestValues();
    info.RandomCount = randomCount;
    const QString path = dir + QStringLiteral("/t.qe2");
    SaveTestToFile(path, info, list);
    return path;
}

TQuestionPtr Question(const QString &text, const QStringList &variants, const QString &marks)
{
    auto q = std::make_shared<TNQuestion>();
    q->Body = RichRecord::FromPlainText(text);
    q->PlainLines.Add(text);
    q->Variants = variants;
    q->RightMarks = marks;
    return q;
}

QStringList Body(const QString &docx)
{
    return Texts(Paragraphs(Parts(ReadFile(docx)).value(QStringLiteral("word/document.xml"))));
}

} // namespace

class TestExportDocxTool : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void writesBothDocuments();
    void options();
    void seedRepeats();
    void noTemplates();
    void workingFolderTemplateFirst();
    void badArguments();
};

void TestExportDocxTool::writesBothDocuments()
{
    QTemporaryDir dir;
    const QString test = MakeTest(dir.path(), {Question(QStringLiteral("Сколько?"), {QStringLiteral("два"), QStringLiteral("три")}, QStringLiteral(" !"))});
    // No --template: the default template beside the program.
    const TToolRun r = Tool({QStringLiteral("export-docx"), test, QStringLiteral("out.docx")}, dir.path());
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QVERIFY(r.out.contains(QStringLiteral("1 questions")));
    const QStringList body = Body(dir.path() + QStringLiteral("/out.docx"));
    QCOMPARE(body.value(0), QStringLiteral("Вопрос №: 1"));
    QCOMPARE(body.value(1), QStringLiteral("Сколько?"));
    QCOMPARE(body.value(2), QStringLiteral("Варианты ответов: "));
    const QStringList key = Body(dir.path() + QStringLiteral("/out (ответы).docx"));
    // The correct variant first takes a space after it; last, none.
    QVERIFY2(key.value(0) == QStringLiteral("Вопрос №: 1. А) ") || key.value(0) == QStringLiteral("Вопрос №: 1. Б)"),
             qPrintable(key.value(0)));
}

void TestExportDocxTool::options()
{
    QTemporaryDir dir;
    const QString test = MakeTest(dir.path(), {Question(QStringLiteral("Q"), {QStringLiteral("x"), QStringLiteral("y")}, QStringLiteral("!!"))});
    const TToolRun r = Tool({QStringLiteral("export-docx"), QStringLiteral("--no-letters"), QStringLiteral("--format-text"),
                         QStringLiteral("--template"), DefaultTemplate(), test, QStringLiteral("a.docx")}, dir.path());
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QStringList a = Body(dir.path() + QStringLiteral("/a.docx"));
    QCOMPARE(a.mid(0, 3), (QStringList{QStringLiteral("Вопрос №: 1"), QStringLiteral("Q"), QStringLiteral("Варианты ответов: ")}));
    QStringList vars = a.mid(3, 2);
    vars.sort();
    QCOMPARE(vars, (QStringList{QStringLiteral("x"), QStringLiteral("y")}));
    const QList<TPara> paras = Paragraphs(Parts(ReadFile(dir.path() + QStringLiteral("/a.docx"))).value(QStringLiteral("word/document.xml")));
    QCOMPARE(paras.value(1).style, QStringLiteral("QuestionText"));

    const TToolRun n = Tool({QStringLiteral("export-docx"), QStringLiteral("--no-variants"), test, QStringLiteral("b.docx")}, dir.path());
    QVERIFY2(n.code == 0, qPrintable(n.err));
    QCOMPARE(Body(dir.path() + QStringLiteral("/b.docx")), (QStringList{QStringLiteral("Вопрос №: 1"), QStringLiteral("Q"), QString()}));
    QCOMPARE(Body(dir.path() + QStringLiteral("/b (ответы).docx")).value(0), QStringLiteral("Вопрос №: 1. А) Б)"));
}

void TestExportDocxTool::seedRepeats()
{
    QTemporaryDir dir;
    TQuestionList list;
    for (int i = 0; i < 6; ++i)
        list.push_back(Question(QStringLiteral("q%1").arg(i), {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, QStringLiteral("!  ")));
    const QString test = MakeTest(dir.path(), list, 0xFFFF);
    const QStringList args = {QStringLiteral("export-docx"), QStringLiteral("--seed"), QStringLiteral("42"), test};
    QVERIFY(Tool(args + QStringList{QStringLiteral("1.docx")}, dir.path()).code == 0);
    QVERIFY(Tool(args + QStringList{QStringLiteral("2.docx")}, dir.path()).code == 0);
    QCOMPARE(Body(dir.path() + QStringLiteral("/1.docx")), Body(dir.path() + QStringLiteral("/2.docx")));
    const QByteArray f1 = Parts(ReadFile(dir.path() + QStringLiteral("/1.docx"))).value(QStringLiteral("word/footer1.xml"));
    QCOMPARE(Parts(ReadFile(dir.path() + QStringLiteral("/2 (ответы).docx"))).value(QStringLiteral("word/footer1.xml")), f1);
}

void TestExportDocxTool::noTemplates()
{
    QTemporaryDir dir;
    const QString test = MakeTest(dir.path(), {Question(QStringLiteral("Q"), {QStringLiteral("x")}, QStringLiteral("!"))});
    // A copy of the tool without templates beside it, run in a folder without any.
    const QString bin = dir.path() + QStringLiteral("/bin");
    QDir().mkpath(bin);
    QVERIFY(QFile::copy(QString::fromUtf8(qgetenv("QE2TOOL")), bin + QStringLiteral("/qe2tool")));
    QFile::setPermissions(bin + QStringLiteral("/qe2tool"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(bin + QStringLiteral("/qe2tool"), {QStringLiteral("export-docx"), test, QStringLiteral("out.docx")});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.contains(QStringLiteral("Файлы шаблонов не найдены:")), qPrintable(err));
    QVERIFY(err.contains(dir.path() + QStringLiteral("/Шаблоны")));
    QVERIFY(err.contains(bin + QStringLiteral("/Шаблоны")));
    QVERIFY(!QFile::exists(dir.path() + QStringLiteral("/out.docx")));
}

// A school's template in the working folder wins over the one beside the
// program, even when its name sorts after it.
void TestExportDocxTool::workingFolderTemplateFirst()
{
    QTemporaryDir dir;
    const QString test = MakeTest(dir.path(), {Question(QStringLiteral("Q"), {QStringLiteral("x")}, QStringLiteral("!"))});
    QVERIFY(QDir(dir.path()).mkdir(Docx::kTemplatesFolder));
    Docx::TZipEntries entries = Docx::ReadZip(ReadFile(DefaultTemplate()));
    for (auto &[name, bytes] : entries)
        if (name == QLatin1String("word/document.xml"))
            bytes.replace("<w:pgSz w:w=\"11906\" w:h=\"16838\"/>", "<w:pgSz w:w=\"8391\" w:h=\"11906\"/>");
    QFile school(dir.path() + QLatin1Char('/') + Docx::kTemplatesFolder + QStringLiteral("/Школа.dotx"));
    QVERIFY(school.open(QIODevice::WriteOnly));
    school.write(Docx::WriteZip(entries));
    school.close();
    const TToolRun r = Tool({QStringLiteral("export-docx"), test, QStringLiteral("out.docx")}, dir.path());
    QVERIFY2(r.code == 0, qPrintable(r.err));
    const QString document = QString::fromUtf8(Parts(ReadFile(dir.path() + QStringLiteral("/out.docx"))).value(QStringLiteral("word/document.xml")));
    QVERIFY2(document.contains(QStringLiteral("w:w=\"8391\"")), qPrintable(document.right(400)));
}

void TestExportDocxTool::badArguments()
{
    QTemporaryDir dir;
    QCOMPARE(Tool({QStringLiteral("export-docx"), QStringLiteral("only-one")}, dir.path()).code, 2);
    QCOMPARE(Tool({QStringLiteral("export-docx"), QStringLiteral("--seed"), QStringLiteral("x"), QStringLiteral("a"), QStringLiteral("b")}, dir.path()).code, 2);
    const TToolRun missing = Tool({QStringLiteral("export-docx"), QStringLiteral("nope.qe2"), QStringLiteral("o.docx")}, dir.path());
    QCOMPARE(missing.code, 1);
    const QString empty = MakeTest(dir.path(), {});
    const TToolRun e = Tool({QStringLiteral("export-docx"), empty, QStringLiteral("o.docx")}, dir.path());
    QCOMPARE(e.code, 1);
    QVERIFY2(e.err.contains(QStringLiteral("Тест пустой")), qPrintable(e.err));
    QVERIFY(!QFile::exists(dir.path() + QStringLiteral("/o.docx")));
}

QTEST_MAIN(TestExportDocxTool)
#include "tst_ExportDocxTool.moc"
