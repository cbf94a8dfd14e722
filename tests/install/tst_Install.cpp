// `cmake --install` into a staging folder: the layout, the desktop files under
// their validators, the test file type as the desktop's MIME database sees it,
// and the installed commands' options and arguments.
#include <QtTest>
#include <QMimeDatabase>

#include "QuizEngineCommon.h"
#include "testutil_Install.h"

using namespace InstallTest;

namespace {
QProcessEnvironment Offscreen(const QString &dir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
    env.insert(QStringLiteral("TMPDIR"), dir);
    env.insert(QStringLiteral("HOME"), dir);
    env.insert(QStringLiteral("QE_MESSAGE_LOG"), dir + QStringLiteral("/messages.log"));
    return env;
}

QStringList Messages(const QString &dir)
{
    QFile f(dir + QStringLiteral("/messages.log"));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts) : QStringList();
}

// One validator on one file: its verdict, or a skip when it is not installed.
#define VALIDATE(tool, args)                                                                              \
    do {                                                                                                  \
        const QString exe = Tool(QStringLiteral(tool));                                                   \
        if (exe.isEmpty())                                                                                \
            QSKIP(tool " is not installed (scripts/setup.sh installs it)");                              \
        const TResult r = Run(exe, args);                                                                 \
        QVERIFY2(r.ExitCode == 0, qPrintable(QStringLiteral(tool ": ") + r.Out + r.Err));                \
    } while (false)
}  // namespace

class TestInstall : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_root;
    QString Share(const QString &path) const { return m_root + QStringLiteral("/usr/share/") + path; }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.filePath(QStringLiteral("root"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESTDIR"), m_root);
        const TResult r = Run(qEnvironmentVariable("QE_CMAKE"),
                              {QStringLiteral("--install"), QStringLiteral(QE_BINARY_DIR), QStringLiteral("--prefix"),
                               QStringLiteral("/usr")},
                              env);
        QVERIFY2(r.ExitCode == 0, qPrintable(r.Out + r.Err));
    }

    void layoutIsComplete()
    {
        const QStringList faults = LayoutFaults(m_root);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
        // Nothing outside the prefix: the configuration file is the administrator's.
        QCOMPARE(QDir(m_root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("usr")});
    }

    void editorEntryOpensTestsFromTheMenu()
    {
        VALIDATE("desktop-file-validate", QStringList{Share(QStringLiteral("applications/ru.kestrelmoor.Quizwright.desktop"))});
        const QMap<QString, QString> entry = DesktopEntry(Share(QStringLiteral("applications/ru.kestrelmoor.Quizwright.desktop")));
        const QStringList exec = entry.value(QStringLiteral("Exec")).split(u' ');
        QCOMPARE(exec.value(1), QStringLiteral("%f"));
        QVERIFY2(QFileInfo(Command(m_root, exec.value(0))).isExecutable(), qPrintable(exec.value(0)));
        QCOMPARE(entry.value(QStringLiteral("MimeType")), QStringLiteral("application/x-qe2;application/x-qe2-results;"));
        const QString categories = entry.value(QStringLiteral("Categories"));
        QVERIFY(categories.contains(QStringLiteral("Education;")) && categories.contains(QStringLiteral("Office;")));
        QVERIFY(QFileInfo::exists(Share(QStringLiteral("icons/hicolor/scalable/apps/%1.svg"))
                                      .arg(entry.value(QStringLiteral("Icon")))));
        QVERIFY(!entry.contains(QStringLiteral("NoDisplay")));
    }

    void playerEntryStaysOutOfTheMenu()
    {
        VALIDATE("desktop-file-validate", QStringList{Share(QStringLiteral("applications/ru.kestrelmoor.Quizrunner.desktop"))});
        const QMap<QString, QString> entry = DesktopEntry(Share(QStringLiteral("applications/ru.kestrelmoor.Quizrunner.desktop")));
        // Without the launcher's arguments the player only refuses to run.
        QCOMPARE(entry.value(QStringLiteral("NoDisplay")), QStringLiteral("true"));
        QVERIFY(!entry.contains(QStringLiteral("MimeType")));
        QVERIFY(QFileInfo(Command(m_root, entry.value(QStringLiteral("Exec")))).isExecutable());
    }

    void appStreamDataValidates()
    {
        const QString file = Share(QStringLiteral("metainfo/ru.kestrelmoor.Quizwright.metainfo.xml"));
        VALIDATE("appstreamcli", (QStringList{QStringLiteral("validate"), QStringLiteral("--no-net"), file}));
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("<release version=\"" + qgetenv("QE_VERSION_TEXT") + '"'));
    }

    void testFileTypeIsKnownByNameAndContent()
    {
        const QString xml = Share(QStringLiteral("mime/packages/quizengine2.xml"));
        VALIDATE("xmllint", (QStringList{QStringLiteral("--noout"), xml}));
        const QString update = Tool(QStringLiteral("update-mime-database"));
        if (update.isEmpty())
            QSKIP("update-mime-database is not installed");
        // The desktop's own database, built from our package file alone.
        const QString data = m_dir.filePath(QStringLiteral("data"));
        QVERIFY(QDir().mkpath(data + QStringLiteral("/mime/packages")));
        QVERIFY(QFile::copy(xml, data + QStringLiteral("/mime/packages/quizengine2.xml")));
        QCOMPARE(Run(update, {data + QStringLiteral("/mime")}).ExitCode, 0);
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("home"))));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(data) + ":/usr/share");

        const QString test = m_dir.filePath(QStringLiteral("Физика.qe2"));
        WriteDemoTest(test);
        const QString renamed = m_dir.filePath(QStringLiteral("test-without-extension"));
        QVERIFY(QFile::copy(test, renamed));
        QMimeDatabase db;
        const QMimeType byName = db.mimeTypeForFile(QStringLiteral("/nowhere/Экзамен.QE2"), QMimeDatabase::MatchExtension);
        QCOMPARE(byName.name(), QStringLiteral("application/x-qe2"));
        QCOMPARE(byName.comment(), QStringLiteral("Тест"));
        QCOMPARE(byName.iconName(), QStringLiteral("application-x-qe2"));
        QCOMPARE(db.mimeTypeForFile(renamed, QMimeDatabase::MatchContent).name(), QStringLiteral("application/x-qe2"));
        QCOMPARE(db.mimeTypeForFile(test).name(), QStringLiteral("application/x-qe2"));
        // The magic is the header's, not any file that merely mentions it.
        const QString other = m_dir.filePath(QStringLiteral("notes"));
        QFile f(other);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(" KMQuizEngineFile\n");
        f.close();
        QVERIFY(db.mimeTypeForFile(other, QMimeDatabase::MatchContent).name() != QStringLiteral("application/x-qe2"));

        // Results files open in the editor's results window, by name and by their header.
        const QString results = QStringLiteral("application/x-qe2-results");
        QCOMPARE(db.mimeTypeForFile(QStringLiteral("/nowhere/9А.res"), QMimeDatabase::MatchExtension).name(), results);
        const QString header = m_dir.filePath(QStringLiteral("results-without-extension"));
        QFile r(header);
        QVERIFY(r.open(QIODevice::WriteOnly));
        // The header line as the player writes it, in Windows-1251.
        r.write("\xc4\xe0\xf2\xe0\t\xc2\xf0\xe5\xec\xff\t\xd2\xe5\xf1\xf2\t\xd4\xe0\xec\xe8\xeb\xe8\xff\t\xc8\xec\xff\t\xce\xf2\xf7\xe5\xf1\xf2\xe2\xee\t\xc4\xee\xef. \xe8\xed\xf4.\t\xc1\xe0\xeb\xeb\t\xc2\xee\xe7\xec\xee\xe6\xed\xfb\xe9 \xe1\xe0\xeb\xeb\t\xcf\xf0\xee\xf6\xe5\xed\xf2\r\n");
        r.close();
        QCOMPARE(db.mimeTypeForFile(header, QMimeDatabase::MatchContent).name(), results);
    }

    void commandsAnswerVersionAndHelpWithoutADisplay()
    {
        const QStringList faults = OptionFaults(m_root);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    }

    void launcherArgumentsStillReachThePlayer()
    {
        const QString dir = m_dir.filePath(QStringLiteral("player"));
        QVERIFY(QDir().mkpath(dir));
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A test path that looks like an option is still the launcher's test path.
        const TResult r = Run(Command(m_root, QStringLiteral("quizrunner")),
                              {QStringLiteral("KMQuizdispatch"), QStringLiteral("--help"), dir + QStringLiteral("/r.res")},
                              Offscreen(dir), 60000, dir);
        QVERIFY(!r.Out.contains(QStringLiteral("Usage")));
        const QStringList log = Messages(dir);
        QCOMPARE(log.size(), 1);
        QVERIFY2(log.first().startsWith(QStringLiteral("Ошибка !\t")), qPrintable(log.first()));
        QVERIFY2(log.first().contains(QStringLiteral("--help")), qPrintable(log.first()));

        QFile::remove(dir + QStringLiteral("/messages.log"));
        Run(Command(m_root, QStringLiteral("quizrunner")), {QStringLiteral("-x")}, Offscreen(dir), 60000, dir);
        QCOMPARE(Messages(dir), QStringList{QStringLiteral("Ошибка !\tНеверные параметры запуска\\r\\rЗапускайте 'Quizdispatch'")});
    }

    void editorFindsItsConfigurationBesideItselfThroughItsCommand()
    {
        const QString dir = m_dir.filePath(QStringLiteral("editor"));
        QVERIFY(QDir().mkpath(dir));
        const QString programs = ProgramDir(m_root);
        // None there (and none in the system folder of this build): the usual error.
        TResult r = Run(Command(m_root, QStringLiteral("quizwright")), {QStringLiteral("-unknown-option")}, Offscreen(dir),
                        60000, dir);
        QCOMPARE(r.ExitCode, 1);
        QCOMPARE(Messages(dir), QStringList{QStringLiteral("Ошибка !\tОшибка чтения конфигурации:\\r\\rKMQuizEngine2.ini")});

        QCOMPARE(Run(Command(m_root, QStringLiteral("qe2tool")),
                     {QStringLiteral("config"), QStringLiteral("--password"), QStringLiteral("учитель"), programs})
                     .ExitCode,
                 0);
        QFile::remove(dir + QStringLiteral("/messages.log"));
        QProcessEnvironment env = Offscreen(dir);
        env.insert(QStringLiteral("QE_PASSWORD_REPLY"), QStringLiteral("не тот"));
        r = Run(Command(m_root, QStringLiteral("quizwright")), {}, env, 60000, dir);
        QFile::remove(programs + u'/' + ConfigFileName);
        // Read, so the password was asked and refused.
        QCOMPARE(Messages(dir), QStringList{QStringLiteral("Ошибка !\tПароль не верен")});
    }
};

QTEST_MAIN(TestInstall)
#include "tst_Install.moc"
