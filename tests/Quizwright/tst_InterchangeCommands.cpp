// Questions in and out of the editor through the exchange formats: the import
// as one step that undo in the list takes back, its report, refused files, export.
#include <QtTest>
#include <QAction>
#include <QListView>
#include <QPushButton>
#include <QSpinBox>

#include <sys/resource.h>

#include "Interchange.h"
#include "InterchangeCommands.h"
#include "QuestionListModel.h"
#include "QuizDocument.h"
#include "fMain.h"
#include "fTestSettings.h"
#include "testutil_Editor.h"

using namespace EditorTest;

namespace {

const QByteArray kGift =
    "::Столица::Столица Франции? {=Париж ~Лион ~Марсель ####Париж — столица.}\n"
    "\n"
    "Кто? {=никто =ничто}\n"
    "\n"
    "Земля круглая. {T}\n"
    "\n"
    "Справка без вариантов.\n";

struct TInterchangeFixture : TEditorFixture {
    TInterchangeCommands *Cmd = nullptr;
    std::deque<std::pair<QString, QString>> Files;   // path, filter
    QStringList Dialogs;

    bool StartWith(const QString &file)
    {
        if (!Start(file))
            return false;
        Cmd = W().findChild<TInterchangeCommands *>();
        if (!Cmd)
            return false;
        Cmd->FileInput = [this](bool save, const QString &, QString &filter) {
            Dialogs << (save ? QStringLiteral("save") : QStringLiteral("open"));
            if (Files.empty())
                return QString();
            auto [path, f] = Files.front();
            Files.pop_front();
            filter = f;
            return path;
        };
        return true;
    }
    int Count() { return W().Model()->count(); }
    bool Modified() { return W().Document()->isModified(); }
    void UndoInList()
    {
        // The save's information window may have taken the activation.
        QApplication::setActiveWindow(&W());
        W().QTree()->setFocus();
        W().ButtonsState();
        W().Action("actEditUndo")->trigger();
    }
};

QString TestWithTwo(TEditorFixture &f)
{
    const QString path = f.Path(QStringLiteral("two.qe2"));
    WriteTest(path, {Question(QStringLiteral("Первый"), {"a", "b"}, QStringLiteral("! ")),
                     Question(QStringLiteral("Второй"), {"c", "d"}, QStringLiteral(" !"))});
    return path;
}

// A file of one question in Aiken's format.
QString OneAikenQuestion(TEditorFixture &f)
{
    const QString aiken = f.Path(QStringLiteral("q.txt"));
    WriteAll(aiken, QStringLiteral("Вопрос?\nA) да\nB) нет\nANSWER: A\n").toUtf8());
    return aiken;
}

// A question bank of a few kilobytes: one 5000×5000 picture (75 MB once
// decoded) referenced 40 times in one question, after an ordinary one.
QByteArray PictureBombXml()
{
    QByteArray png;
    {
        QImage img(5000, 5000, QImage::Format_RGB32);
        img.fill(qRgb(30, 60, 90));
        QBuffer buf(&png);
        buf.open(QIODevice::WriteOnly);
        img.save(&buf, "PNG", 0);
    }
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quiz>\n"
                          "<question type=\"description\"><questiontext format=\"html\"><text>Первый</text>"
                          "</questiontext></question>\n"
                          "<question type=\"description\">\n<questiontext format=\"html\"><text><![CDATA[%1]]></text>\n"
                          "<file name=\"big.png\" encoding=\"base64\">%2</file></questiontext></question>\n</quiz>\n")
        .arg(QStringLiteral("<img src=\"@@PLUGINFILE@@/big.png\">").repeated(40), QString::fromLatin1(png.toBase64()))
        .toUtf8();
}

// The address space the process has now, in bytes.
qint64 AddressSpace()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return f.readAll().split(' ').value(0).toLongLong() * 4096;
}

} // namespace

class TstInterchangeCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandsOnTheFileMenu();
    void importAppendsAsOneStepAndUndoTakesItBack();
    void undoRestoresACleanTest();
    void undoKeepsALaterSettingsChange();
    void undoRefusedOnceTheListChanged();
    void malformedFileChangesNothing();
    void exportByFilter();
    void exportAsksAboutTheFileItWrites();
    void pictureBombUnderAMemoryLimit_data();
    void pictureBombUnderAMemoryLimit();
    void childImportUnderMemoryLimit();
};

void TstInterchangeCommands::commandsOnTheFileMenu()
{
    TInterchangeFixture f;
    QVERIFY(f.StartWith({}));
    QAction *imp = f.W().Action("actFileImportQuestions");
    QAction *exp = f.W().Action("actFileExportQuestions");
    QVERIFY(imp && exp);
    QCOMPARE(imp->text(), QStringLiteral("Импорт вопросов..."));
    QCOMPARE(exp->text(), QStringLiteral("Экспорт вопросов..."));
    bool onFileMenu = false;
    for (QObject *o : imp->associatedObjects())
        onFileMenu |= o->objectName() == QLatin1String("mnuFile");
    QVERIFY(onFileMenu);
    // Cancelled dialogs do nothing.
    imp->trigger();
    QCOMPARE(f.Dialogs, QStringList{QStringLiteral("open")});
    QCOMPARE(f.Count(), 0);
    QVERIFY(!f.Modified());
}

void TstInterchangeCommands::importAppendsAsOneStepAndUndoTakesItBack()
{
    TInterchangeFixture f;
    QVERIFY(f.StartWith(TestWithTwo(f)));
    // An unsaved change before the import.
    f.W().AddQuestion();
    QVERIFY(f.Modified());
    QCOMPARE(f.Count(), 3);
    const QString gift = f.Path(QStringLiteral("q.gift"));
    WriteAll(gift, kGift);
    f.Files.push_back({gift, QStringLiteral("Файлы вопросов (*.gift *.txt *.xml)")});
    f.Cmd->Import();
    QCOMPARE(f.Count(), 6);
    QVERIFY(f.Modified());
    const TNQuestion &first = f.W().Model()->question(3);
    QCOMPARE(first.Title, QStringLiteral("Столица"));
    QCOMPARE(first.Variants, (QStringList{"Париж", "Лион", "Марсель"}));
    QCOMPARE(first.RightMarks, QStringLiteral("!  "));
    QVERIFY(first.Comment);
    QCOMPARE(f.W().Model()->question(4).RightMarks, QStringLiteral("! "));
    QVERIFY(f.W().Model()->question(5).IsInformation());
    QCOMPARE(f.W().CurrentRow(), 3);
    // The skipped question is reported in one dialog.
    QCOMPARE(f.Questions.size(), 1);
    QVERIFY2(f.Questions[0].startsWith(QStringLiteral("Импорт вопросов\tДобавлено вопросов: 3.")), qPrintable(f.Questions[0]));
    QVERIFY(f.Questions[0].contains(QStringLiteral("Вопрос 2 (строка 3): пропущен: вопрос с кратким ответом.")));

    // Undo in the list: the three go, the unsaved change stays.
    f.W().QTree()->setFocus();
    f.W().ButtonsState();
    QVERIFY(f.W().Action("actEditUndo")->isEnabled());
    f.UndoInList();
    QCOMPARE(f.Count(), 3);
    QVERIFY(f.Modified());
    QCOMPARE(f.W().Model()->question(0).PlainLines.items(), QStringList{QStringLiteral("Первый")});
    QVERIFY(!f.Cmd->CanUndoImport());
    f.W().ButtonsState();
    QVERIFY(!f.W().Action("actEditUndo")->isEnabled());
    QCOMPARE(f.Messages, QStringList());
}

void TstInterchangeCommands::undoRestoresACleanTest()
{
    TInterchangeFixture f;
    QVERIFY(f.StartWith(TestWithTwo(f)));
    QVERIFY(!f.Modified());
    const QString aiken = OneAikenQuestion(f);
    f.Files.push_back({aiken, QStringLiteral("Aiken (*.txt)")});
    f.Cmd->Import();
    QCOMPARE(f.Count(), 3);
    QVERIFY(f.Modified());
    QVERIFY(f.Questions.isEmpty());   // nothing skipped: no dialog
    f.UndoInList();
    QCOMPARE(f.Count(), 2);
    QVERIFY(!f.Modified());

    // Saved between import and undo: the file holds the import, so the test is changed again.
    f.Files.push_back({aiken, QStringLiteral("Aiken (*.txt)")});
    f.Cmd->Import();
    QVERIFY(f.W().SaveTestToFile(f.Path(QStringLiteral("saved.qe2"))));
    QVERIFY(!f.Modified());
    f.UndoInList();
    QCOMPARE(f.Count(), 2);
    QVERIFY(f.Modified());
}

void TstInterchangeCommands::undoKeepsALaterSettingsChange()
{
    // Regression: undo restored "unmodified" from before the import, and the
    // time limit changed after it was lost on closing without a question.
    TInterchangeFixture f;
    QVERIFY(f.StartWith(TestWithTwo(f)));
    const QString aiken = OneAikenQuestion(f);
    f.Files.push_back({aiken, QStringLiteral("Aiken (*.txt)")});
    f.Cmd->Import();
    QCOMPARE(f.Count(), 3);

    auto *dlg = f.W().findChild<TfrmTestSettings *>();
    QVERIFY(dlg);
    QTimer::singleShot(0, dlg, [dlg] {
        dlg->findChild<QSpinBox *>(QStringLiteral("spedTimeLimit"))->setValue(25);
        dlg->findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
    });
    f.W().Action("actFileParameters")->trigger();
    QCOMPARE(f.W().Document()->header().TimeLimit, quint8(25));

    QVERIFY(f.Cmd->CanUndoImport());
    f.UndoInList();
    QCOMPARE(f.Count(), 2);
    QVERIFY(f.Modified());
    QVERIFY(f.W().windowTitle().contains(QStringLiteral("(2)*")));
    f.Questions.clear();
    f.Answers = {QMessageBox::Cancel};
    QVERIFY(!f.W().close());
    QCOMPARE(f.Questions, QStringList{QStringLiteral("Внимание!\tТест изменен. Сохранить?")});
}

void TstInterchangeCommands::undoRefusedOnceTheListChanged()
{
    TInterchangeFixture f;
    QVERIFY(f.StartWith(TestWithTwo(f)));
    const QString aiken = OneAikenQuestion(f);

    // A question added after the import: the rows are no longer the import's.
    f.Files.push_back({aiken, QStringLiteral("Aiken (*.txt)")});
    f.Cmd->Import();
    f.W().AddQuestion();
    QVERIFY(!f.Cmd->CanUndoImport());
    f.UndoInList();
    QCOMPARE(f.Count(), 4);

    // An imported question edited after the import: undo says why it cannot.
    f.Files.push_back({aiken, QStringLiteral("Aiken (*.txt)")});
    f.Cmd->Import();
    QCOMPARE(f.Count(), 5);
    QVERIFY(f.Cmd->CanUndoImport());
    f.W().Model()->question(4).Variants[0] = QStringLiteral("изменено");
    f.UndoInList();
    QCOMPARE(f.Count(), 5);
    QCOMPARE(f.Questions.size(), 1);
    QVERIFY(f.Questions[0].contains(QStringLiteral("отменить импорт уже нельзя")));
    QVERIFY(!f.Cmd->CanUndoImport());

    // Opening another test forgets the import.
    f.Files.push_back({aiken, QStringLiteral("Aiken (*.txt)")});
    f.Cmd->Import();
    QVERIFY(f.Cmd->CanUndoImport());
    f.W().NewTest();
    QVERIFY(!f.Cmd->CanUndoImport());
}

void TstInterchangeCommands::malformedFileChangesNothing()
{
    TInterchangeFixture f;
    QVERIFY(f.StartWith(TestWithTwo(f)));
    const QString gift = f.Path(QStringLiteral("bad.gift"));
    WriteAll(gift, "Хорошо {=a ~b}\n\nПлохо {=a\n~b\n");
    f.Files.push_back({gift, QStringLiteral("GIFT (*.gift *.txt)")});
    f.Cmd->Import();
    QCOMPARE(f.Count(), 2);
    QVERIFY(!f.Modified());
    QVERIFY(!f.Cmd->CanUndoImport());
    QCOMPARE(f.Messages.size(), 1);
    QVERIFY2(f.Messages[0].contains(QStringLiteral("Ошибка чтения файла.\r\rСтрока 3: фигурная скобка «{» не закрыта")),
             qPrintable(f.Messages[0]));

    // The wrong format chosen in the dialog reads as that format.
    f.Messages.clear();
    f.Files.push_back({gift, QStringLiteral("Aiken (*.txt)")});
    f.Cmd->Import();
    QCOMPARE(f.Count(), 2);
    QCOMPARE(f.Messages.size(), 1);
}

void TstInterchangeCommands::exportByFilter()
{
    TInterchangeFixture f;
    const QString path = f.Path(QStringLiteral("t.qe2"));
    WriteTest(path, {Question(QStringLiteral("Справка"), {}, {}),
                     Question(QStringLiteral("Один верный"), {"a", "b", "c"}, QStringLiteral(" ! "))});
    QVERIFY(f.StartWith(path));
    const QString out = f.Path(QStringLiteral("out"));
    f.Files.push_back({out, QStringLiteral("Aiken (*.txt)")});
    f.Cmd->Export();
    const QByteArray written = ReadAll(out + QStringLiteral(".txt"));
    QCOMPARE(QString::fromUtf8(written), QStringLiteral("Один верный\nA) a\nB) b\nC) c\nANSWER: B\n\n"));
    QCOMPARE(f.Questions.size(), 1);
    QVERIFY(f.Questions[0].startsWith(QStringLiteral("Экспорт вопросов\tЗаписано в файл: out.txt.")));
    QVERIFY(f.Questions[0].contains(QStringLiteral("Вопрос 1: пропущен: информационный блок")));

    f.Files.push_back({f.Path(QStringLiteral("all.gift")), QStringLiteral("GIFT (*.gift)")});
    f.Cmd->Export();
    const Interchange::TImportResult back = Interchange::ImportGift(ReadAll(f.Path(QStringLiteral("all.gift"))));
    QVERIFY2(back.Ok, qPrintable(back.Error));
    QCOMPARE(back.Questions.size(), size_t(2));
    QCOMPARE(back.Questions[1]->RightMarks, QStringLiteral(" ! "));
    QVERIFY(!f.Modified());
}

void TstInterchangeCommands::exportAsksAboutTheFileItWrites()
{
    // Regression: the format's extension was added after the dialog's check, and
    // an existing questions.gift was replaced unasked.
    TEditorFixture f;
    const QString path = f.Path(QStringLiteral("t.qe2"));
    WriteTest(path, {Question(QStringLiteral("Один верный"), {"a", "b"}, QStringLiteral(" !"))});
    QVERIFY(f.Start(path));
    const QString gift = f.Path(QStringLiteral("questions.gift"));
    WriteAll(gift, "::Чужой:: вопрос {=да ~нет}\n");
    const QByteArray before = ReadAll(gift);
    auto *cmd = f.W().findChild<TInterchangeCommands *>();
    const QString ask = QStringLiteral("Внимание!\tФайл \"%1\" уже существует.\rЗаменить его?").arg(gift);
    {
        TFileDialogDriver typed({f.Path(QStringLiteral("questions")), QString()});
        cmd->Export();
        QCOMPARE(typed.Seen, (QStringList{QStringLiteral("ExportQuestionsDialog"), QStringLiteral("ExportQuestionsDialog")}));
    }
    QCOMPARE(f.Questions, QStringList{ask});
    QCOMPARE(ReadAll(gift), before);
    {
        f.Answers = {QMessageBox::Yes};
        TFileDialogDriver typed({f.Path(QStringLiteral("questions"))});
        cmd->Export();
    }
    QVERIFY(ReadAll(gift).contains("Один верный"));
}

void TstInterchangeCommands::pictureBombUnderAMemoryLimit_data()
{
    QTest::addColumn<int>("headroomMb");
    QTest::addColumn<bool>("refusedByBound");
    // Room for the bound: the file is refused by it.
    QTest::newRow("room for the bound") << 1200 << true;
    // Less room than one decoded picture needs: whatever fails, nothing escapes.
    QTest::newRow("scarce memory") << 160 << false;
}

// The import runs in a child of this program whose address space is limited,
// so that what would exhaust memory does so there and not in the test run.
void TstInterchangeCommands::pictureBombUnderAMemoryLimit()
{
    QFETCH(int, headroomMb);
    QFETCH(bool, refusedByBound);
    QTemporaryDir dir;
    const QString xml = dir.filePath(QStringLiteral("bomb.xml"));
    const QByteArray bytes = PictureBombXml();
    QVERIFY(bytes.size() < 200 * 1024);
    WriteAll(xml, bytes);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QE_CHILD_FILE"), xml);
    env.insert(QStringLiteral("QE_CHILD_HEADROOM_MB"), QString::number(headroomMb));
    env.insert(QStringLiteral("QE_CHILD_REFUSED"), refusedByBound ? QStringLiteral("1") : QStringLiteral("0"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("childImportUnderMemoryLimit")});
    QVERIFY(child.waitForFinished(300000));
    const QByteArray out = child.readAll();
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(child.exitCode() == 0, out.constData());
    QVERIFY2(out.contains("PASS   : TstInterchangeCommands::childImportUnderMemoryLimit()"), out.constData());
}

void TstInterchangeCommands::childImportUnderMemoryLimit()
{
    const QString file = qEnvironmentVariable("QE_CHILD_FILE");
    if (file.isEmpty())
        QSKIP("runs only as the child of pictureBombUnderAMemoryLimit");
    TInterchangeFixture f;
    QVERIFY(f.StartWith(TestWithTwo(f)));
    const QStringList before = Rows(f.W());
    const qint64 limit = AddressSpace() + qEnvironmentVariableIntValue("QE_CHILD_HEADROOM_MB") * 1024LL * 1024;
    const rlimit rl{rlim_t(limit), rlim_t(limit)};
    QCOMPARE(setrlimit(RLIMIT_AS, &rl), 0);
    f.Files.push_back({file, QStringLiteral("Moodle XML (*.xml)")});
    f.Cmd->Import();
    qInfo().noquote() << f.Messages << f.Questions;
    // One box: the refusal, or the report of pictures that could not be read.
    QCOMPARE(f.Messages.size() + f.Questions.size(), 1);
    const QStringList after = Rows(f.W());
    QCOMPARE(after.mid(0, before.size()), before);
    if (qEnvironmentVariableIntValue("QE_CHILD_REFUSED")) {
        QCOMPARE(f.Messages.size(), 1);
        QVERIFY2(f.Messages[0].contains(QStringLiteral("Ошибка чтения файла.\r\rСтрока 4: рисунки файла заняли бы в "
                                                       "вопросах больше 256 МБ; файл не импортирован.")),
                 qPrintable(f.Messages[0]));
        QCOMPARE(after, before);
        QVERIFY(!f.Modified());
    }
}

QTEST_MAIN(TstInterchangeCommands)
#include "tst_InterchangeCommands.moc"
