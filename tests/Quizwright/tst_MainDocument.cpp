// The main window's documents: caption in every state, open with each header
// outcome and test password, truncated files, save and save as, failed saves,
// the unsaved-changes question, the faulty-question warning, recent files.
#include <QtTest>
#include <QAction>
#include <QDir>
#include <QListView>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <cerrno>

#include "MJvRichedit.h"
#include "QuestionListModel.h"
#include "QuestionPane.h"
#include "QuizDocument.h"
#include "FileLocks.h"
#include "FsHooks.h"
#include "TestFileFormat.h"
#include "fInfo.h"
#include "fMain.h"
#include "testutil_Editor.h"

using namespace EditorTest;

namespace {
const QString Caption = QStringLiteral(" - Редактор тестов");
const QString AskSave = QStringLiteral("Внимание!\tТест изменен. Сохранить?");

// Bodies bzip2 cannot shrink, so a cut lands inside the question records.
QByteArray Noise(int size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray b(size, Qt::Uninitialized);
    for (char &c : b)
        c = char(gen.bounded(256));
    return b;
}

TQuestionList Three()
{
    return {Question(QStringLiteral("Сколько будет 2+2?"), {"3", "4"}, " !"),
            Question(QStringLiteral("Информация")),
            Question(QStringLiteral("Столица России?\nВыберите один"), {"Москва", "Казань"}, "! ")};
}

// A document the teacher has changed: one question added to a new test.
void MakeModified(TEditorFixture &f)
{
    f.W().Action("actEditAddQuestion")->trigger();
    QVERIFY(f.W().Document()->isModified());
    QCOMPARE(f.W().windowTitle(), QStringLiteral("без имени (1)*") + Caption);
}
}  // namespace

class TestMainDocument : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void captionFollowsEveryState()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        QCOMPARE(f.W().windowTitle(), QStringLiteral("без имени (0)") + Caption);
        MakeModified(f);
        // Saved under a new name: the full path without extension, clean.
        const QString dir = f.Path(QStringLiteral("Тесты"));
        QDir().mkpath(dir);
        f.FileNames = {dir + QStringLiteral("/math")};
        f.W().Action("actFileSave")->trigger();
        QVERIFY(f.FileDialogs.value(0).startsWith(QStringLiteral("save ")));
        QVERIFY(f.FileDialogs.value(0).endsWith(QStringLiteral("|без имени")));
        QVERIFY(QFile::exists(dir + QStringLiteral("/math.qe2")));
        QCOMPARE(f.W().windowTitle(), dir + QStringLiteral("/math (1)") + Caption);
        QCOMPARE(f.W().ApplicationTitle(), f.W().windowTitle());
        // Named and modified.
        f.W().Action("actEditAddQuestion")->trigger();
        QCOMPARE(f.W().windowTitle(), dir + QStringLiteral("/math (2)*") + Caption);
        // Saved in place: no dialog, clean again.
        f.W().Action("actFileSave")->trigger();
        QCOMPARE(f.FileDialogs.size(), 1);
        QCOMPARE(f.W().windowTitle(), dir + QStringLiteral("/math (2)") + Caption);
        // Opened: the bare name.
        f.W().Action("actFileNew")->trigger();
        QCOMPARE(f.W().windowTitle(), QStringLiteral("без имени (0)") + Caption);
        f.FileNames = {dir + QStringLiteral("/math.qe2")};
        f.W().Action("actFileOpen")->trigger();
        QCOMPARE(f.W().windowTitle(), QStringLiteral("math (2)") + Caption);
        QVERIFY(f.Messages.isEmpty());
        QVERIFY(f.Questions.isEmpty());
    }

    void failedOpenKeepsTheDocument_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a test") << "magic" << "Error\tОшибка чтения. Файл не был создан редактором тестов.";
        QTest::newRow("version 6") << "v6"
            << "Error\tФайл создан устаревшей версией Экзаменовки.\rВоспользуйтесь конвертером тестов для "
               "конвертирования файла в новый формат.";
        QTest::newRow("version 12") << "v12"
            << "Error\tФайл создан более старшей версией Экзаменовки.\rУстановите более новую версию программы.";
        QTest::newRow("header cut") << "cut"
            << "Error\tОшибка чтения файла.\r\rФайл: %1\rПричина: файл повреждён: он обрывается на байте 19.";
        QTest::newRow("password cancelled") << "cancel" << "";
        QTest::newRow("wrong password") << "wrong" << "Ошибка !\tПароль не верен";
    }
    void failedOpenKeepsTheDocument()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        TEditorFixture f;
        QVERIFY(f.Start());
        const QString path = f.Path(QStringLiteral("test.qe2"));
        WriteTest(path, Three(), kind == "cancel" || kind == "wrong" ? QStringLiteral("пароль") : QString());
        QByteArray bytes = ReadAll(path);
        if (kind == "magic")
            bytes = "Просто текстовый файл, не тест";
        else if (kind == "v6")
            bytes[TestFileFormat::OffVersion] = 6;
        else if (kind == "v12")
            bytes[TestFileFormat::OffVersion] = 12;
        else if (kind == "cut")
            bytes.truncate(TestFileFormat::OffQuestionCount + 2);
        WriteAll(path, bytes);
        if (kind == "cancel")
            f.Passwords = {std::nullopt};
        else if (kind == "wrong")
            f.Passwords = {QStringLiteral("Пароль")};

        MakeModified(f);
        const QString title = f.W().windowTitle();
        QVERIFY(!f.W().ReadTestFromFile(path));
        QCOMPARE(f.TakeMessages(), message.contains(QLatin1String("%1")) ? message.arg(path) : message);
        QCOMPARE(f.W().windowTitle(), title);
        QVERIFY(f.W().Document()->isModified());
        QCOMPARE(f.W().Model()->count(), 1);
        QVERIFY(f.W().Document()->isUntitled());
        QVERIFY(f.W().Document()->recentFiles().items().isEmpty());
        QVERIFY(f.W().ProgressBar() == nullptr);
        QCOMPARE(f.W().StatusText(), QStringLiteral(" "));
        if (kind == "cancel" || kind == "wrong")
            QCOMPARE(f.PasswordLabels.constLast(),
                     QStringLiteral("Для редактирования этого теста необходимо ввести пароль"));
    }

    void rightTestPasswordOpens()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        const QString path = f.Path(QStringLiteral("secret.qe2"));
        WriteTest(path, Three(), QStringLiteral("Пароль"));
        f.Passwords = {QStringLiteral("Пароль")};
        f.FileNames = {path};
        QVERIFY(f.W().OpenFile());
        QCOMPARE(f.W().windowTitle(), QStringLiteral("secret (3)") + Caption);
        QCOMPARE(f.W().Document()->header().Password, QStringLiteral("Пароль"));
        QCOMPARE(f.W().CurrentRow(), 0);
        QCOMPARE(f.W().Pane()->questionText()->toPlainText(), QStringLiteral("Сколько будет 2+2?"));
        QVERIFY(f.Messages.isEmpty());
    }

    void truncatedInsideTheQuestions()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        TQuestionList list;
        for (int i = 0; i < 8; ++i) {
            TQuestionPtr q = Question(QStringLiteral("Вопрос %1").arg(i + 1), {"да", "нет"}, "! ");
            q->Body = Noise(40000, quint32(i + 7));
            list.push_back(q);
        }
        const QString path = f.Path(QStringLiteral("cut.qe2"));
        WriteTest(path, list);
        QByteArray bytes = ReadAll(path);
        bytes.truncate(bytes.size() * 6 / 10);
        WriteAll(path, bytes);
        f.FileNames = {path};
        QVERIFY(!f.W().OpenFile());
        const QString msg = f.TakeMessages();
        // The library's words, then where and why in the teacher's.
        const QString expected = QStringLiteral("Error\tОшибка чтения файла.\r\rEReadError: Stream read error\r\rФайл: %1\r"
                                                "Причина: файл повреждён: он обрывается на байте %2.")
                                     .arg(path).arg(bytes.size());
        // (The noise bodies then give the pane's own message.)
        QVERIFY2(msg.startsWith(expected), qPrintable(msg));
        const int read = f.W().Model()->count();
        QVERIFY2(read > 0 && read < 8, qPrintable(QString::number(read)));
        QCOMPARE(f.W().windowTitle(), QStringLiteral("без имени (%1)").arg(read) + Caption);
        QVERIFY(f.W().Document()->isUntitled());
        QVERIFY(f.W().Document()->recentFiles().items().isEmpty());
        QCOMPARE(f.W().CurrentRow(), 0);
    }

    void testWithoutQuestionsGivesAnUntitledTestWithItsSettings()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        const QString path = f.Path(QStringLiteral("empty.qe2"));
        WriteTest(path, {}, QString(), 42);
        f.FileNames = {path};
        QVERIFY(!f.W().OpenFile());
        QVERIFY(f.Messages.isEmpty());
        QCOMPARE(f.W().windowTitle(), QStringLiteral("без имени (0)") + Caption);
        QCOMPARE(f.W().Document()->header().TimeLimit, quint8(42));
        QVERIFY(f.W().Document()->recentFiles().items().isEmpty());
        QVERIFY(f.W().Document()->openDirectory().isEmpty());
    }

    void saveAsWithAnotherExtension()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        MakeModified(f);
        f.FileNames = {f.Path(QStringLiteral("quiz.txt"))};
        QVERIFY(f.W().SaveFileAs());
        QVERIFY(QFile::exists(f.Path(QStringLiteral("quiz.qe2"))));
        QVERIFY(!QFile::exists(f.Path(QStringLiteral("quiz.txt"))));
        QCOMPARE(f.W().windowTitle(), f.Path(QStringLiteral("quiz")) + QStringLiteral(" (1)") + Caption);
        QCOMPARE(f.W().Document()->saveDirectory(), f.Dir.path());
        QCOMPARE(f.W().Document()->recentFiles().items().value(0), f.Path(QStringLiteral("quiz.qe2")));
        // The saved test opens again with its question.
        TTestInfo info;
        TQuestionList back;
        QVERIFY(LoadTestFromFile(f.Path(QStringLiteral("quiz.qe2")), info, back).Ok);
        QCOMPARE(int(back.size()), 1);
        QCOMPARE(back[0]->PlainLines.items(), QStringList{QStringLiteral("Новый вопрос")});
    }

    void saveAsAsksAboutTheFileItWrites()
    {
        // Regression: the dialog added "tst" to a bare name and asked about
        // Algebra.tst, then the save wrote Algebra.qe2 over a colleague's test.
        TEditorFixture f;
        QVERIFY(f.Start());
        const QString other = f.Path(QStringLiteral("Algebra.qe2"));
        WriteTest(other, Three());
        const QByteArray before = ReadAll(other);
        WriteAll(f.Path(QStringLiteral("Geometry.tst")), "not a test");
        MakeModified(f);
        f.W().FileNameInput = f.RealFileDialog;
        const QString ask = QStringLiteral("Внимание!\tФайл \"%1\" уже существует.\rЗаменить его?").arg(other);
        {
            // No: the dialog comes back; cancelled there, nothing is written.
            TFileDialogDriver typed({f.Path(QStringLiteral("Algebra")), QString()});
            QVERIFY(!f.W().SaveFileAs());
            QCOMPARE(typed.Seen, (QStringList{QStringLiteral("SaveDialog"), QStringLiteral("SaveDialog")}));
        }
        QCOMPARE(f.Questions, QStringList{ask});
        QCOMPARE(ReadAll(other), before);
        QVERIFY(f.W().Document()->isModified() && f.W().Document()->isUntitled());
        {
            // Only what is written is asked about: Geometry.tst stays as it is.
            f.Questions.clear();
            TFileDialogDriver typed({f.Path(QStringLiteral("Geometry"))});
            QVERIFY(f.W().SaveFileAs());
        }
        QVERIFY(f.Questions.isEmpty());
        QCOMPARE(ReadAll(f.Path(QStringLiteral("Geometry.tst"))), QByteArray("not a test"));
        QCOMPARE(f.W().Document()->path(), f.Path(QStringLiteral("Geometry.qe2")));
        {
            // Yes replaces it.
            f.Answers = {QMessageBox::Yes};
            TFileDialogDriver typed({f.Path(QStringLiteral("Algebra"))});
            QVERIFY(f.W().SaveFileAs());
        }
        QCOMPARE(f.Questions, QStringList{ask});
        QCOMPARE(f.W().Document()->path(), other);
        QVERIFY(ReadAll(other) != before);
    }

    void failedSaveKeepsTheDocumentModified()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        // A folder that cannot be made: its parent is a regular file.
        const QString blocker = f.Path(QStringLiteral("plain.txt"));
        WriteAll(blocker, "not a folder");
        MakeModified(f);
        f.FileNames = {blocker + QStringLiteral("/test.qe2")};
        QVERIFY(!f.W().SaveFileAs());
        QCOMPARE(f.TakeMessages(), QStringLiteral("Error\tОшибка записи файла.\r\rФайл: %1/test.qe2\r"
                                                  "Причина: часть пути не является папкой.").arg(blocker));
        QVERIFY(f.W().Document()->isModified());
        QVERIFY(f.W().Document()->isUntitled());
        QCOMPARE(f.W().windowTitle(), QStringLiteral("без имени (1)*") + Caption);
        QVERIFY(f.W().Document()->recentFiles().items().isEmpty());
        QVERIFY(!f.W().InfoWindow()->isVisible());
        QVERIFY(f.W().ProgressBar() == nullptr);

        // In place: the file's folder has become a regular file; the old file stays as it was.
        const QString dir = f.Path(QStringLiteral("sub"));
        QDir().mkpath(dir);
        const QString path = dir + QStringLiteral("/t.qe2");
        WriteTest(path, Three());
        const QByteArray before = ReadAll(path);
        f.FileNames = {path};
        f.Answers = {QMessageBox::No};
        QVERIFY(f.W().OpenFile());
        f.W().Action("actEditAddQuestion")->trigger();
        QVERIFY(QDir().rename(dir, f.Path(QStringLiteral("moved"))));
        WriteAll(dir, "now a file");
        QVERIFY(!f.W().SaveFile());
        QCOMPARE(f.TakeMessages(), QStringLiteral("Error\tОшибка записи файла.\r\rФайл: %1\r"
                                                  "Причина: часть пути не является папкой.").arg(path));
        QCOMPARE(f.W().windowTitle(), QStringLiteral("t (4)*") + Caption);
        QCOMPARE(f.W().Document()->path(), path);
        QCOMPARE(ReadAll(f.Path(QStringLiteral("moved/t.qe2"))), before);
    }

    void failuresSayWhereAndWhy()
    {
        // Regression: "Ошибка записи файла." alone, and the library's English
        // for a damaged file, left the teacher without a next step.
        TEditorFixture f;
        QVERIFY(f.Start());
        MakeModified(f);
        const QString path = f.Path(QStringLiteral("full.qe2"));
        // A disk that fills up while the data goes out (a network folder says so at the sync).
        FsHooks().DataSync = [](int) { errno = ENOSPC; return -1; };
        f.FileNames = {path};
        const bool saved = f.W().SaveFileAs();
        FsHooks() = RealFsHooks();
        QVERIFY(!saved);
        QCOMPARE(f.TakeMessages(), QStringLiteral("Error\tОшибка записи файла.\r\rФайл: %1\rПричина: на диске нет "
                                                  "свободного места. Освободите место или сохраните тест на другой диск.")
                                       .arg(path));
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(f.W().Document()->isModified());

        // Damaged inside the compressed questions: the byte it was found at.
        const QString damaged = f.Path(QStringLiteral("damaged.qe2"));
        WriteTest(damaged, Three());
        QByteArray bytes = ReadAll(damaged);
        const int at = bytes.size() / 2;
        bytes[at] = char(bytes[at] ^ 0x55);
        WriteAll(damaged, bytes);
        QVERIFY(!f.W().ReadTestFromFile(damaged));
        const QString msg = f.TakeMessages();
        QVERIFY2(msg.startsWith(QStringLiteral("Error\tОшибка чтения файла.\r\rE")), qPrintable(msg));
        QVERIFY2(msg.contains(QStringLiteral("\r\rФайл: %1\rПричина: файл повреждён: ошибка в данных до байта ").arg(damaged)),
                 qPrintable(msg));

        // A file another program is writing: its lock refuses the reader.
        const QString busy = f.Path(QStringLiteral("busy.qe2"));
        WriteTest(busy, Three());
        QFile writer(busy);
        QVERIFY(writer.open(QIODevice::ReadWrite));
        QVERIFY(FileLocks::TryLockExclusive(writer));
        QVERIFY(!f.W().ReadTestFromFile(busy));
        const QString refused = f.TakeMessages();
        QVERIFY2(refused == QStringLiteral("Error\tОшибка чтения файла.\r\rФайл: %1\rПричина: файл сейчас "
                                           "записывает другая программа. Повторите позже.").arg(busy),
                 qPrintable(refused));
        FileLocks::Unlock(writer);

        // And one that is not there.
        const QString gone = f.Path(QStringLiteral("gone.qe2"));
        QVERIFY(!f.W().ReadTestFromFile(gone));
        QCOMPARE(f.TakeMessages(), QStringLiteral("Error\tОшибка чтения файла.\r\rФайл: %1\r"
                                                  "Причина: файл или папка не найдены.").arg(gone));
    }

    void faultyQuestionsWarnAfterEverySave()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        const QString path = f.Path(QStringLiteral("bad.qe2"));
        WriteTest(path, {Question(QStringLiteral("Один вариант"), {"только"}, "!"), Question(QStringLiteral("Норма"))});
        f.FileNames = {path};
        QVERIFY(f.W().OpenFile());
        QVERIFY(f.W().Model()->record(0).isBad());
        const QString warning = QStringLiteral("Предупреждение !\t") + DocTexts::FaultyQuestions;
        QVERIFY(f.W().SaveFile());
        QCOMPARE(f.TakeMessages(), warning);   // the only message of a successful save
        f.FileNames = {f.Path(QStringLiteral("plain.txt/x.qe2"))};
        WriteAll(f.Path(QStringLiteral("plain.txt")), "x");
        QVERIFY(!f.W().SaveFileAs());
        QCOMPARE(f.TakeMessages(), QStringLiteral("Error\tОшибка записи файла.\r\rФайл: %1\r"
                                                  "Причина: часть пути не является папкой.\n")
                                           .arg(f.Path(QStringLiteral("plain.txt/x.qe2")))
                                       + warning);
    }

    void unsavedChangesQuestion_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("saveDialogAnswered");
        QTest::addColumn<bool>("goesOn");
        for (const char *cmd : {"new", "open", "close"}) {
            const QString c = QString::fromLatin1(cmd);
            QTest::addRow("%s cancel", cmd) << c << int(QMessageBox::Cancel) << false << false;
            QTest::addRow("%s no", cmd) << c << int(QMessageBox::No) << false << true;
            QTest::addRow("%s yes, save dialog cancelled", cmd) << c << int(QMessageBox::Yes) << false << false;
            QTest::addRow("%s yes, saved", cmd) << c << int(QMessageBox::Yes) << true << true;
        }
    }
    void unsavedChangesQuestion()
    {
        QFETCH(QString, command);
        QFETCH(int, answer);
        QFETCH(bool, saveDialogAnswered);
        QFETCH(bool, goesOn);
        TEditorFixture f;
        QVERIFY(f.Start());
        const QString other = f.Path(QStringLiteral("other.qe2"));
        WriteTest(other, Three());
        MakeModified(f);
        f.Answers = {QMessageBox::StandardButton(answer)};
        const QString saved = f.Path(QStringLiteral("saved"));
        if (saveDialogAnswered)
            f.FileNames.push_back(saved);
        else if (answer == QMessageBox::Yes)
            f.FileNames.push_back(QString());   // the save dialog cancelled
        if (command == "open")
            f.FileNames.push_back(other);
        if (command == "new")
            f.W().Action("actFileNew")->trigger();
        else if (command == "open")
            f.W().Action("actFileOpen")->trigger();
        else
            f.W().close();
        QCOMPARE(f.Questions, QStringList{AskSave});
        QCOMPARE(QFile::exists(saved + QStringLiteral(".qe2")), saveDialogAnswered);
        if (!goesOn) {
            QCOMPARE(f.W().windowTitle(), QStringLiteral("без имени (1)*") + Caption);
            QVERIFY(f.W().isVisible());
            // Open asked nothing more: its dialog was not shown.
            for (const QString &d : f.FileDialogs)
                QVERIFY(!d.startsWith(QStringLiteral("open")));
            return;
        }
        if (command == "new")
            QCOMPARE(f.W().windowTitle(), QStringLiteral("без имени (0)") + Caption);
        else if (command == "open")
            QCOMPARE(f.W().windowTitle(), QStringLiteral("other (3)") + Caption);
        else
            QVERIFY(!f.W().isVisible());
    }

    void editsOfTheLastMomentCountAsChanges()
    {
        // Typed and not yet taken by the timer: closing still asks.
        TEditorFixture f;
        QVERIFY(f.Start());
        const QString path = f.Path(QStringLiteral("t.qe2"));
        WriteTest(path, Three());
        f.FileNames = {path};
        QVERIFY(f.W().OpenFile());
        QVERIFY(!f.W().Document()->isModified());
        f.W().Pane()->variants()->setFocus();
        QTest::keyClicks(f.W().Pane()->variants(), QStringLiteral("x"));
        f.Answers = {QMessageBox::Cancel};
        f.W().close();
        QCOMPARE(f.Questions, QStringList{AskSave});
        QVERIFY(f.W().isVisible());
        QCOMPARE(f.W().windowTitle(), QStringLiteral("t (3)*") + Caption);
    }

    void closingRightAfterASaveAsksNothing()
    {
        // Typed, ticked, saved: the editors keep their modified states, the test is clean.
        TEditorFixture f;
        QVERIFY(f.Start());
        f.W().Action("actEditAddQuestion")->trigger();
        QPlainTextEdit *mem = f.W().Pane()->variants();
        mem->setFocus();
        QTest::keyClicks(mem, QStringLiteral("a"));
        QTest::keyClick(mem, Qt::Key_Return);
        QTest::keyClicks(mem, QStringLiteral("b"));
        f.FileNames = {f.Path(QStringLiteral("s"))};
        QVERIFY(f.W().SaveFile());
        QCOMPARE(f.W().windowTitle(), f.Path(QStringLiteral("s")) + QStringLiteral(" (1)") + Caption);
        f.W().close();
        QVERIFY(f.Questions.isEmpty());
        QVERIFY(!f.W().isVisible());
    }

    void movingOnAfterASaveKeepsTheTestClean()
    {
        // Regression: the variants' modified state outlived the save, so the
        // flush of the focus move marked the unchanged test modified again.
        TEditorFixture f;
        QVERIFY(f.Start());
        const QString path = f.Path(QStringLiteral("m.qe2"));
        WriteTest(path, Three());
        f.FileNames = {path};
        QVERIFY(f.W().OpenFile());
        f.W().FocusRow(0);
        QPlainTextEdit *mem = f.W().Pane()->variants();
        mem->setFocus();
        QTest::keyClick(mem, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(mem, Qt::Key_Return);
        QTest::keyClicks(mem, QStringLiteral("5"));
        QVERIFY(f.W().SaveFile());
        QVERIFY(!f.W().Document()->isModified());
        f.W().FocusRow(2);
        f.W().FocusRow(0);
        QVERIFY(!f.W().Document()->isModified());
        QCOMPARE(f.W().windowTitle(), QStringLiteral("m (3)") + Caption);
        QCOMPARE(f.W().Document()->model()->question(0).Variants, (QStringList{"3", "4", "5"}));
    }

    void recentFiles()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        const QString a = f.Path(QStringLiteral("a.qe2"));
        const QString b = f.Path(QStringLiteral("b.qe2"));
        WriteTest(a, Three());
        WriteTest(b, {Question(QStringLiteral("Б"))});
        f.FileNames = {a, b};
        QVERIFY(f.W().OpenFile());
        QVERIFY(f.W().OpenFile());
        f.W().Action("actEditAddQuestion")->trigger();
        // The current file: nothing happens, not even the question.
        f.W().findChild<QAction *>(QStringLiteral("actMRU1"))->trigger();
        QVERIFY(f.Questions.isEmpty());
        QCOMPARE(f.W().windowTitle(), QStringLiteral("b (2)*") + Caption);
        // The other one, after discarding the change.
        f.Answers = {QMessageBox::No};
        f.W().findChild<QAction *>(QStringLiteral("actMRU2"))->trigger();
        QCOMPARE(f.W().windowTitle(), QStringLiteral("a (3)") + Caption);
        // A file gone: the message, the document and the list stay.
        // Choosing an entry does not reorder the list: b is still the newest.
        QVERIFY(QFile::remove(b));
        f.W().findChild<QAction *>(QStringLiteral("actMRU1"))->trigger();
        QCOMPARE(f.TakeMessages(), QStringLiteral("Ошибка !\tФайл не найден: \r\r") + b);
        QCOMPARE(f.W().windowTitle(), QStringLiteral("a (3)") + Caption);
        QCOMPARE(f.W().Document()->recentFiles().count(), 2);
    }

    void windowsMadeTestSavedUnchanged()
    {
        // Corpus records as bodies; every question shown once, then saved: the same bytes.
        TEditorFixture f;
        QVERIFY(f.Start());
        const QDir corpus(QStringLiteral(QE_CORPUS_DIR "/richedit"));
        const QStringList recs = corpus.entryList({QStringLiteral("*.rec")}, QDir::Files, QDir::Name);
        QVERIFY(recs.size() >= 5);
        TQuestionList list;
        int i = 0;
        for (const QString &name : recs) {
            TQuestionPtr q = Question(QStringLiteral("Вопрос %1").arg(++i), {"a", "b"}, i % 2 ? "! " : " !");
            q->Body = ReadAll(corpus.filePath(name));
            if (i % 3 == 0)
                q->Comment = ReadAll(corpus.filePath(recs.value(0)));
            list.push_back(q);
        }
        const QString path = f.Path(QStringLiteral("windows.qe2"));
        WriteTest(path, list);
        const QByteArray before = ReadAll(path);
        f.FileNames = {path};
        QVERIFY(f.W().OpenFile());
        for (int row = 0; row < f.W().Model()->count(); ++row)
            f.W().FocusRow(row);
        f.W().FocusRow(0);
        QVERIFY(!f.W().Document()->isModified());
        QVERIFY(f.W().SaveFile());
        QCOMPARE(ReadAll(path), before);
    }
};

QTEST_MAIN(TestMainDocument)
#include "tst_MainDocument.moc"
