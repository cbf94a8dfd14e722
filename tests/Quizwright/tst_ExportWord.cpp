// Export to a word-processor document from the main window: the order of its
// checks, the settings dialog that keeps its state, the target and the key
// beside it, and the documents handed to the desktop.
#include <QtTest>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTimer>

#include "DocxWriter.h"
#include "DocxZip.h"
#include "ExportWordCommand.h"
#include "QuizDocument.h"
#include "WordExport.h"
#include "fExportSettings.h"
#include "fMain.h"
#include "testutil_Editor.h"

using namespace EditorTest;

namespace {

QString BuiltTemplates()
{
    const QString editor = qEnvironmentVariable("QE_QUIZWRIGHT");
    return QDir(editor.isEmpty() ? QStringLiteral(QE_BINARY_DIR "/bin") : QFileInfo(editor).absolutePath())
        .filePath(QStringLiteral("Шаблоны"));
}

QStringList BodyTexts(const QString &docx)
{
    QStringList out;
    for (const auto &[name, bytes] : Docx::ReadZip(ReadAll(docx))) {
        if (name != QLatin1String("word/document.xml"))
            continue;
        // Paragraph texts, enough for these checks.
        QXmlStreamReader r(bytes);
        QString text;
        bool inT = false;
        while (!r.atEnd()) {
            r.readNext();
            if (r.isStartElement() && r.name() == QLatin1String("p")) text.clear();
            else if (r.isStartElement() && r.name() == QLatin1String("t")) inT = true;
            else if (r.isEndElement() && r.name() == QLatin1String("t")) inT = false;
            else if (r.isEndElement() && r.name() == QLatin1String("p")) out << text;
            else if (r.isCharacters() && inT) text += r.text();
        }
    }
    return out;
}

struct TWordFixture : TEditorFixture {
    TExportWordCommand *Cmd = nullptr;
    std::deque<QString> Targets;
    QStringList TargetDialogs, Opened;
    // What the settings dialog does when it shows: given the dialog, returns accept.
    std::function<bool(TfrmExportSettings &)> OnSettings;
    QStringList TemplateNames;
    int SettingsShown = 0;

    bool StartWith(const QString &file, const QStringList &folders)
    {
        if (!Start(file))
            return false;
        Cmd = W().findChild<TExportWordCommand *>();
        if (!Cmd)
            return false;
        Cmd->TemplateFolders = folders;
        Cmd->TargetInput = [this](const QString &dir, const QString &name) {
            TargetDialogs << dir + u'|' + name;
            if (Targets.empty())
                return QString();
            const QString t = Targets.front();
            Targets.pop_front();
            return t;
        };
        Cmd->OpenDocument = [this](const QString &p) { Opened << p; };
        return true;
    }
    void Export()
    {
        QTimer::singleShot(0, Cmd->Settings(), [this] {
            TfrmExportSettings *dlg = Cmd->Settings();
            if (!dlg->isVisible())
                return;
            ++SettingsShown;
            auto *box = dlg->findChild<QComboBox *>(QStringLiteral("cboxTemplates"));
            TemplateNames.clear();
            for (int i = 0; i < box->count(); ++i)
                TemplateNames << box->itemText(i);
            const bool ok = OnSettings ? OnSettings(*dlg) : true;
            dlg->findChild<QPushButton *>(ok ? QStringLiteral("btnOk") : QStringLiteral("btnCancel"))->click();
        });
        W().Action("actFileExportWord")->trigger();
    }
};

TQuestionList Questions()
{
    return {Question(QStringLiteral("Сколько будет 2+2?"), {"3", "4"}, " !"),
            Question(QStringLiteral("Столица России?"), {QStringLiteral("Москва"), QStringLiteral("Казань")}, "! ")};
}

} // namespace

class TestExportWord : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void emptyTestAsksNothing();
    void noTemplatesNamesTheFolders();
    void cancelledSettingsWriteNothing();
    void writesBothAndOpensThem();
    void boxesKeepTheirState();
    void keyIsNotReplacedUnasked();
    void documentIsNotReplacedUnasked();
};

void TestExportWord::emptyTestAsksNothing()
{
    TWordFixture f;
    QVERIFY(f.StartWith({}, {BuiltTemplates()}));
    f.TakeMessages();
    f.Export();
    QCOMPARE(f.TakeMessages(), QStringLiteral("Ошибка !\tТест пустой"));
    QCOMPARE(f.SettingsShown, 0);
    QVERIFY(f.TargetDialogs.isEmpty());
}

void TestExportWord::noTemplatesNamesTheFolders()
{
    TWordFixture f;
    const QString test = f.Path(QStringLiteral("t.qe2"));
    WriteTest(test, Questions());
    const QString a = f.Path(QStringLiteral("Шаблоны")), b = f.Path(QStringLiteral("нет/Шаблоны"));
    QDir().mkpath(a);
    WriteAll(a + QStringLiteral("/.скрытый.dotx"), ReadAll(BuiltTemplates() + QStringLiteral("/Стандартный.dotx")));
    QVERIFY(f.StartWith(test, {a, b}));
    f.TakeMessages();
    f.Export();
    QCOMPARE(f.TakeMessages(), QStringLiteral("Ошибка !\tФайлы шаблонов не найдены:\r\r") + a + QStringLiteral("\r") + b);
    QCOMPARE(f.SettingsShown, 0);
}

void TestExportWord::cancelledSettingsWriteNothing()
{
    TWordFixture f;
    const QString test = f.Path(QStringLiteral("t.qe2"));
    WriteTest(test, Questions());
    QVERIFY(f.StartWith(test, {BuiltTemplates()}));
    f.OnSettings = [](TfrmExportSettings &) { return false; };
    f.Export();
    QCOMPARE(f.SettingsShown, 1);
    QVERIFY(f.TargetDialogs.isEmpty());
    QVERIFY(f.Opened.isEmpty());
}

void TestExportWord::writesBothAndOpensThem()
{
    TWordFixture f;
    const QString test = f.Path(QStringLiteral("Контрольная.qe2"));
    WriteTest(test, Questions());
    // A template of the working folder comes before the installed one of the same name.
    const QString local = f.Path(QStringLiteral("Шаблоны"));
    QDir().mkpath(local);
    WriteAll(local + QStringLiteral("/Мой.dotx"), ReadAll(BuiltTemplates() + QStringLiteral("/Стандартный.dotx")));
    QVERIFY(f.StartWith(test, {local, BuiltTemplates()}));
    f.TakeMessages();
    const QString target = f.Path(QStringLiteral("out/Бумажный"));
    QDir().mkpath(f.Path(QStringLiteral("out")));
    f.Targets.push_back(target);
    const bool modified = f.W().Document()->isModified();
    f.Export();
    QCOMPARE(f.TemplateNames, (QStringList{QStringLiteral("Мой.dotx"), QStringLiteral("Стандартный.dotx")}));
    QCOMPARE(f.TargetDialogs.size(), 1);
    QVERIFY2(f.TargetDialogs.first().endsWith(QStringLiteral("|Контрольная.docx")), qPrintable(f.TargetDialogs.first()));
    QCOMPARE(f.TakeMessages(), QString());
    QCOMPARE(f.Opened, (QStringList{target + QStringLiteral(".docx"), target + QStringLiteral(" (ответы).docx")}));
    const QStringList body = BodyTexts(target + QStringLiteral(".docx"));
    QCOMPARE(body.filter(QStringLiteral("Вопрос №: ")).size(), 2);
    QCOMPARE(body.filter(QStringLiteral("Варианты ответов: ")).size(), 2);
    QCOMPARE(BodyTexts(target + QStringLiteral(" (ответы).docx")).filter(QStringLiteral("Вопрос №: ")).size(), 2);
    // The document itself is not changed by the export.
    QCOMPARE(f.W().Document()->isModified(), modified);
    QCOMPARE(f.W().Document()->questionCount(), 2);
}

void TestExportWord::boxesKeepTheirState()
{
    TWordFixture f;
    const QString test = f.Path(QStringLiteral("t.qe2"));
    WriteTest(test, Questions());
    QVERIFY(f.StartWith(test, {BuiltTemplates()}));
    QStringList states;
    auto record = [&](TfrmExportSettings &d) {
        QString s;
        for (const char *n : {"cbFormatQuestionText", "cbIncludeAnswers", "cbNumVariants"})
            s += d.findChild<QCheckBox *>(QLatin1String(n))->isChecked() ? u'1' : u'0';
        states << s;
    };
    f.OnSettings = [&](TfrmExportSettings &d) {
        record(d);
        d.findChild<QCheckBox *>(QStringLiteral("cbIncludeAnswers"))->setChecked(false);
        d.findChild<QCheckBox *>(QStringLiteral("cbFormatQuestionText"))->setChecked(true);
        return true;
    };
    f.Targets.push_back(f.Path(QStringLiteral("a.docx")));
    f.Export();
    f.OnSettings = [&](TfrmExportSettings &d) { record(d); return false; };
    f.Export();
    QCOMPARE(states, (QStringList{QStringLiteral("011"), QStringLiteral("101")}));
    QCOMPARE(BodyTexts(f.Path(QStringLiteral("a.docx"))).filter(QStringLiteral("Варианты ответов: ")).size(), 0);
}

void TestExportWord::keyIsNotReplacedUnasked()
{
    TWordFixture f;
    const QString test = f.Path(QStringLiteral("t.qe2"));
    WriteTest(test, Questions());
    QVERIFY(f.StartWith(test, {BuiltTemplates()}));
    const QString key = f.Path(QStringLiteral("b (ответы).docx"));
    WriteAll(key, "old key");
    f.Targets.push_back(f.Path(QStringLiteral("b.docx")));
    f.Answers.push_back(QMessageBox::No);
    f.Export();
    QCOMPARE(f.Questions.size(), 1);
    QVERIFY2(f.Questions.first().startsWith(QStringLiteral("Внимание!\tФайл \"")), qPrintable(f.Questions.first()));
    QCOMPARE(ReadAll(key), QByteArray("old key"));
    QVERIFY(!QFile::exists(f.Path(QStringLiteral("b.docx"))));
    QVERIFY(f.Opened.isEmpty());

    f.Targets.push_back(f.Path(QStringLiteral("b.docx")));
    f.Answers.push_back(QMessageBox::Yes);
    f.Export();
    QVERIFY(ReadAll(key).startsWith("PK"));
    QCOMPARE(f.Opened.size(), 2);
}

void TestExportWord::documentIsNotReplacedUnasked()
{
    // Regression: ".docx" was added after the dialog had asked about the name as
    // typed, so an existing "report.txt.docx" was replaced unasked.
    TWordFixture f;
    const QString test = f.Path(QStringLiteral("t.qe2"));
    WriteTest(test, Questions());
    QVERIFY(f.StartWith(test, {BuiltTemplates()}));
    const QString written = f.Path(QStringLiteral("report.txt.docx"));
    WriteAll(written, "colleague's document");
    f.Targets = {f.Path(QStringLiteral("report.txt"))};
    f.Export();
    QCOMPARE(f.Questions, QStringList{QStringLiteral("Внимание!\tФайл \"%1\" уже существует.\rЗаменить его?").arg(written)});
    QCOMPARE(f.TargetDialogs.size(), 2);  // No: the dialog again, cancelled there
    QCOMPARE(ReadAll(written), QByteArray("colleague's document"));
    QVERIFY(!QFile::exists(f.Path(QStringLiteral("report.txt (ответы).docx"))));
    QVERIFY(f.Opened.isEmpty());
}

QTEST_MAIN(TestExportWord)
#include "tst_ExportWord.moc"
