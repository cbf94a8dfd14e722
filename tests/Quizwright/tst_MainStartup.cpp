// The editor's start-up: refusals as real processes, the access password,
// the file named on the command line, the commands and the small windows.
#include <QtTest>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolBar>

#include "QuestionListModel.h"
#include "QuizDocument.h"
#include "fAbout.h"
#include "fEnterPass.h"
#include "fMain.h"
#include "testutil_Editor.h"

using namespace EditorTest;

namespace {
const QString ConfigError = QStringLiteral("Ошибка !\tОшибка чтения конфигурации:\\r\\rKMQuizEngine2.ini");
const QString WrongPassword = QStringLiteral("Ошибка !\tПароль не верен");

struct TRun {
    int ExitCode = -1;
    QStringList Log;
};
}  // namespace

class TestMainStartup : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    // A copy of the editor in a folder of its own, with or without a configuration.
    QString ProgramDir(const QString &name, const QByteArray &config, bool withConfig)
    {
        const QString dir = m_dir.filePath(name);
        QDir().mkpath(dir);
        const QString program = dir + QStringLiteral("/Quizwright");
        QFile::remove(program);
        if (!QFile::copy(qEnvironmentVariable("QE_QUIZWRIGHT"), program))
            qFatal("cannot copy the editor");
        if (withConfig)
            WriteAll(dir + u'/' + ConfigFileName, config);
        return dir;
    }

    QByteArray Config(const QString &password)
    {
        const QString path = m_dir.filePath(QStringLiteral("cfg.ini"));
        TKMQuizEngineConfig c;
        c.AccessPassword = password;
        c.SaveToFile(path);
        return ReadAll(path);
    }

    TRun Run(const QString &dir, const std::optional<QString> &reply, const QStringList &args = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QString log = dir + QStringLiteral("/messages.log");
        QFile::remove(log);
        env.insert(QStringLiteral("QE_MESSAGE_LOG"), log);
        env.insert(QStringLiteral("QE_EDITOR_SETTINGS"), dir + QStringLiteral("/settings.ini"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        if (reply)
            env.insert(QStringLiteral("QE_PASSWORD_REPLY"), *reply);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir);
        p.start(dir + QStringLiteral("/Quizwright"), args);
        TRun r;
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.ExitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        const QString text = QString::fromUtf8(ReadAll(log));
        r.Log = text.split(u'\n', Qt::SkipEmptyParts);
        return r;
    }

private Q_SLOTS:
    // The results window starts an editor at a question of a test.
    void startArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("question");
        QTest::addColumn<QString>("hash");
        const QString t = QStringLiteral("/srv/Химия.qe2");
        QTest::newRow("test alone") << QStringList{t} << t << 0 << QString();
        QTest::newRow("question and hash") << QStringList{t, "--question", "7", "--question-hash", "ab12"} << t << 7
                                           << "ab12";
        QTest::newRow("options first") << QStringList{"--question-hash", "ab12", "--question", "3", t} << t << 3
                                       << "ab12";
        // A value is never taken for the test, whatever it looks like.
        QTest::newRow("hash like a file") << QStringList{"--question", "2", "--question-hash", "x.qe2", t} << t << 2
                                          << "x.qe2";
        QTest::newRow("value missing") << QStringList{t, "--question"} << t << 0 << QString();
        QTest::newRow("not a number") << QStringList{t, "--question", "пять"} << t << 0 << QString();
        QTest::newRow("not a position") << QStringList{t, "--question", "-4"} << t << 0 << QString();
        QTest::newRow("first test only") << QStringList{t, "other.qe2"} << t << 0 << QString();
        QTest::newRow("nothing") << QStringList{} << QString() << 0 << QString();
    }
    void startArguments()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        QFETCH(int, question);
        QFETCH(QString, hash);
        args.prepend(QStringLiteral("Quizwright"));
        const TfrmMain::TStartArgs start = TfrmMain::StartArguments(args);
        QCOMPARE(start.File, file);
        QCOMPARE(start.Question, question);
        QCOMPARE(start.Hash, hash);
    }

    void refusalsEndTheProgram_data()
    {
        QTest::addColumn<bool>("withConfig");
        QTest::addColumn<QByteArray>("config");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("log");
        // A reply is given in every row: a program that asked for it anyway
        // would log a password message or keep running.
        QTest::newRow("no configuration") << false << QByteArray() << "x" << 1 << QStringList{ConfigError};
        QTest::newRow("damaged configuration") << true << QByteArray("KMQuizEngineConfig\x03garbage") << "x" << 1
                                               << QStringList{ConfigError};
        QTest::newRow("password in another case") << true << Config(QStringLiteral("secret")) << "SECRET" << 1
                                                  << QStringList{WrongPassword};
        QTest::newRow("password with a tail") << true << Config(QStringLiteral("secret")) << "secret " << 1
                                              << QStringList{WrongPassword};
        QTest::newRow("cancelled") << true << Config(QStringLiteral("secret")) << "" << 0 << QStringList{};
    }
    void refusalsEndTheProgram()
    {
        QFETCH(bool, withConfig);
        QFETCH(QByteArray, config);
        QFETCH(QString, reply);
        QFETCH(int, exitCode);
        QFETCH(QStringList, log);
        const QString dir = ProgramDir(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_'), config,
                                       withConfig);
        const TRun r = Run(dir, reply, {QStringLiteral("some.qe2")});
        QCOMPARE(r.ExitCode, exitCode);
        QCOMPARE(r.Log, log);
    }

    void theConfigurationIsTakenFromTheProgramFolder()
    {
        // A configuration in the working folder only does not count.
        const QString dir = ProgramDir(QStringLiteral("elsewhere"), QByteArray(), false);
        const QString work = m_dir.filePath(QStringLiteral("work"));
        QDir().mkpath(work);
        WriteAll(work + u'/' + ConfigFileName, Config(QStringLiteral("secret")));
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QE_MESSAGE_LOG"), dir + QStringLiteral("/messages.log"));
        env.insert(QStringLiteral("QE_EDITOR_SETTINGS"), dir + QStringLiteral("/settings.ini"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QE_PASSWORD_REPLY"), QStringLiteral("wrong"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(work);
        p.start(dir + QStringLiteral("/Quizwright"), {});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitCode(), 1);
        QCOMPARE(QString::fromUtf8(ReadAll(dir + QStringLiteral("/messages.log"))).trimmed(), ConfigError);
    }

    void rightPasswordOpensAnEmptyUntitledTest()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        QCOMPARE(f.PasswordLabels,
                 QStringList{QStringLiteral("Для доступа к редактору тестов необходимо ввести пароль")});
        QCOMPARE(f.W().windowTitle(), QStringLiteral("без имени (0) - Редактор тестов"));
        QCOMPARE(f.W().ApplicationTitle(), f.W().windowTitle());
        QVERIFY(f.Messages.isEmpty());
        QVERIFY(!f.W().findChild<QWidget *>(QStringLiteral("panMain2"))->isEnabled());
        // The first start maximises once and consumes the request.
        QCOMPARE(f.W().PrefFlags, quint8(TfrmMain::DefaultPrefFlags & ~TfrmMain::pfMaximize));
        QVERIFY(f.W().windowState() & Qt::WindowMaximized);
        QVERIFY(f.W().Model()->boldFocused());
    }

    void fileOnTheCommandLineOpensAfterThePassword()
    {
        TEditorFixture f;
        const QString path = f.Path(QStringLiteral("физика.qe2"));
        WriteTest(path, {Question(QStringLiteral("Первый")), Question(QStringLiteral("Второй"), {"а", "б"}, "! ")});
        QStringList captionsWhenAsked;
        f.OnPassword = [&] { captionsWhenAsked << f.W().windowTitle(); };
        QVERIFY(f.Start(path));
        QCOMPARE(captionsWhenAsked, QStringList{QStringLiteral("без имени (0) - Редактор тестов")});
        QCOMPARE(f.W().windowTitle(), QStringLiteral("физика (2) - Редактор тестов"));
        QCOMPARE(f.W().Document()->recentFiles().items(), QStringList{QFileInfo(path).absoluteFilePath()});
        QCOMPARE(f.W().CurrentRow(), 0);
    }

    void passwordDialogRules()
    {
        TfrmPass dlg;
        auto *ed = dlg.findChild<QLineEdit *>(QStringLiteral("edPass"));
        auto *ok = dlg.findChild<QPushButton *>(QStringLiteral("btnOk"));
        QVERIFY(ed && ok);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Введите пароль"));
        QCOMPARE(ed->echoMode(), QLineEdit::Password);
        QTimer::singleShot(0, &dlg, [&] {
            QVERIFY(!ok->isEnabled());
            QTest::keyClicks(ed, QStringLiteral("abcdefghijklmnopqrstuvwxyz"));
            QVERIFY(ok->isEnabled());
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        QCOMPARE(dlg.Ask(), std::optional<QString>(QStringLiteral("abcdefghijklmnopqrst")));
        // Shown again: empty, and Esc cancels.
        bool emptied = false;
        QTimer::singleShot(0, &dlg, [&] {
            emptied = ed->text().isEmpty() && !ok->isEnabled() && ed->hasFocus();
            QTest::keyClick(ed, Qt::Key_Return);   // nothing typed: OK cannot be pressed
            QVERIFY(dlg.isVisible());
            QTest::keyClick(ed, Qt::Key_Escape);
        });
        QCOMPARE(dlg.Ask(), std::nullopt);
        QVERIFY(emptied);
    }

    void commandsHaveTheirCaptionsShortcutsAndHints_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shortcut");
        QTest::addColumn<QString>("hint");
        // 1 enabled, 0 disabled, -1 either (the command is being built).
        QTest::addColumn<int>("enabledAtStart");
        auto row = [](const char *n, const char *c, const char *s, const char *h, int e) {
            QTest::newRow(n) << QString::fromLatin1(n) << QString::fromUtf8(c) << QString::fromLatin1(s)
                             << QString::fromUtf8(h) << e;
        };
        row("actFileNew", "&Новый тест", "Ctrl+N", "Создание нового теста", true);
        row("actFileOpen", "&Открыть..", "Ctrl+O", "Открытие существующего теста", true);
        row("actFileSave", "&Сохранить", "Ctrl+S", "Сохранение теста", true);
        row("actFileSaveAs", "Сохранить &как..", "", "Сохранение теста под дргим именем", true);
        row("actFileParameters", "П&араметры теста..", "Ctrl+P", "Изменение параметров теста", -1);
        row("actFileExportWord", "&Экспорт в MSWord..", "", "Передача теста в Microsoft Word", true);
        row("actFileExportExe", "Экспорт в EXE-файл..", "", "Формирование исполняемого теста", -1);
        row("actFileExit", "В&ыход", "", "Завершение работы с приложнием", true);
        row("actEditUndo", "&Отменить", "Ctrl+Z", "Отмена последнего действия", false);
        row("actEditRedo", "Пов&торить", "Ctrl+Y", "Повтор отмененного действия", false);
        row("actEditCut", "&Вырезать", "Ctrl+X", "Удаление в буфер обмена", false);
        row("actEditCopy", "&Копировать", "Ctrl+C", "Копирование в буфер обмена", false);
        row("actEditPaste", "Вст&авить", "Ctrl+V", "Вставка содержимого буфера обмена", false);
        row("actEditPasteSpecial", "Сп&ециальная вставка...", "", "Вставка содержимого буфера обмена в заданном формате", false);
        row("actEditDelete", "О&чистить", "Del", "Удаление выделенного фрагмента", false);  // the list has the focus
        row("actEditSelectAll", "В&ыделить все", "Ctrl+A", "", true);
        row("actEditQTitle", "Заголовок вопроса", "", "", false);
        row("actEditAddComment", "Добавить комментарий", "", "Добавление комментария вопроса", false);
        row("actEditDeleteComment", "Удалить комментарий", "", "Удаление комментария вопроса", false);
        row("actEditAddQuestion", "&Добавить вопрос", "", "Добавление нового вопроса", true);
        row("actEditDeleteQuestions", "&Удалить вопрос(ы)", "", "Удаление выделенных вопросов", false);
        row("actViewToolBarStandart", "Панель инструментов", "", "Вывод и скрытие панели инструментов", true);
        row("actViewToolBarFormat", "Панель форматирования", "", "Вывод и скрытие панели форматирования", true);
        row("actViewToolBarStatus", "Строка состояния", "", "Вывод и скрытие строки состояния", true);
        row("actServiceParameters", "П&араметры..", "", "Изменение параметров редактора", true);
        row("actHelpAbout", "О программе..", "", "Вывод сведений о программе", true);
        row("actFormatFontBold", "Полужирный", "Ctrl+B", "Использование полужирного шрифта", false);
        row("actFormatFontItalic", "Курсив", "Ctrl+I", "Использование курсива", false);
        row("actFormatFontUnderline", "Подчеркнутый", "Ctrl+U", "Непрерывное подчеркивание текста", false);
        row("actInsertPicture", "Рисунок...", "", "Вставка нового рисунка", false);
    }
    void commandsHaveTheirCaptionsShortcutsAndHints()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, shortcut);
        QFETCH(QString, hint);
        QFETCH(int, enabledAtStart);
        TEditorFixture f;
        QVERIFY(f.Start());
        QAction *a = f.W().Action(name.toLatin1().constData());
        QVERIFY(a);
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut(), QKeySequence(shortcut));
        QCOMPARE(a->statusTip(), hint);
        if (enabledAtStart >= 0)
            QCOMPARE(a->isEnabled(), enabledAtStart == 1);
        // Each command sits in a menu of the menu bar.
        bool inMenu = false;
        for (QMenu *m : f.W().menuBar()->findChildren<QMenu *>())
            inMenu = inMenu || m->actions().contains(a);
        QVERIFY(inMenu);
        // Its hint goes to the status bar behind one space.
        f.W().SInfo(QStringLiteral("прежний текст"));
        QStatusTipEvent tip(a->statusTip());
        QApplication::sendEvent(&f.W(), &tip);
        QCOMPARE(f.W().statusBar()->currentMessage(), u' ' + hint);
    }

    void fileMenuOrderWithRecentFiles()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        const QString a = f.Path(QStringLiteral("a.qe2")), b = f.Path(QStringLiteral("b.qe2"));
        WriteTest(a, {Question(QStringLiteral("А"))});
        WriteTest(b, {Question(QStringLiteral("Б"))});
        f.FileNames = {a, b};
        QVERIFY(f.W().OpenFile());
        QVERIFY(f.W().OpenFile());
        auto *menu = f.W().findChild<QMenu *>(QStringLiteral("mnuFile"));
        QStringList names;
        for (QAction *act : menu->actions())
            if (act->isVisible())
                names << (act->isSeparator() ? QStringLiteral("-") : act->objectName());
        QCOMPARE(names, (QStringList{"actFileNew", "actFileOpen", "actFileSave", "actFileSaveAs", "-",
                                     "actFileParameters", "-", "actFileExportWord", "actFileImportQuestions",
                                     "actFileExportQuestions", "-", "actFileExportExe", "actFilePreview", "-", "actMRU1", "actMRU2", "-", "actFileExit"}));
        // Newest first.
        QVERIFY(f.W().findChild<QAction *>(QStringLiteral("actMRU1"))->text().endsWith(QStringLiteral("b.qe2")));
        QVERIFY(f.W().findChild<QAction *>(QStringLiteral("actMRU2"))->text().endsWith(QStringLiteral("a.qe2")));
        // Both tool bars are there with their captions.
        QCOMPARE(f.W().findChild<QToolBar *>(QStringLiteral("TBToolBarStandart"))->windowTitle(),
                 QStringLiteral("Стандартная"));
        QCOMPARE(f.W().findChild<QToolBar *>(QStringLiteral("TBToolbarFormat"))->windowTitle(),
                 QStringLiteral("Форматирование"));
    }

    void viewCommandsShowAndHideTheBars()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        auto *bar = f.W().findChild<QToolBar *>(QStringLiteral("TBToolbarFormat"));
        QVERIFY(bar->isVisible());
        f.W().Action("actViewToolBarFormat")->trigger();
        QVERIFY(!bar->isVisible());
        QVERIFY(!f.W().Action("actViewToolBarFormat")->isChecked());
        f.W().Action("actViewToolBarFormat")->trigger();
        QVERIFY(bar->isVisible());
        f.W().Action("actViewToolBarStatus")->trigger();
        QVERIFY(!f.W().statusBar()->isVisible());
    }

    void aboutWindow()
    {
        TfrmAbout about;
        about.SetTexts(QStringLiteral("2.0.0"));
        QCOMPARE(about.windowTitle(), QStringLiteral("О программе.."));
        QCOMPARE(about.findChild<QLabel *>(QStringLiteral("labAboutApp"))->text(),
                 QStringLiteral("Редактор тестов 2.0.0\n(загружена версия RichEdit: 2.0)"));
        QCOMPARE(about.findChild<QLabel *>(QStringLiteral("labQuizEngine"))->text(),
                 QStringLiteral("Экзаменовка 2.3\n") + QString(45, u'-'));
        // Without a version the line keeps its space.
        QVERIFY(TfrmAbout::ProgramLine(QString()).startsWith(QStringLiteral("Редактор тестов \r\n(")));
        QList<QUrl> opened;
        about.OpenUrl = [&](const QUrl &u) { opened << u; };
        about.show();
        QTest::mouseClick(about.findChild<QLabel *>(QStringLiteral("labEMAIL")), Qt::LeftButton);
        QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("mailto:") + TfrmAbout::EmailAddress)});
        QTest::keyClick(&about, Qt::Key_Escape);
        QVERIFY(!about.isVisible());
    }
};

QTEST_MAIN(TestMainStartup)
#include "tst_MainStartup.moc"
