// The Debian package of this build, unpacked with dpkg -x as into a clean
// root: its control data, its layout, and the programs run from there finding
// their player and template beside them.
#include <QtTest>

#include "ExportExe.h"
#include "QuizEngineCommon.h"
#include "ResourceTrailer.h"
#include "WordExport.h"
#include "testutil_Install.h"

using namespace InstallTest;

class TestPackage : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_deb;
    QString m_root;

    QProcessEnvironment Offscreen(const QString &dir) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir);
        env.insert(QStringLiteral("TMPDIR"), dir);
        env.insert(QStringLiteral("HOME"), dir);
        env.insert(QStringLiteral("QE_MESSAGE_LOG"), dir + QStringLiteral("/messages.log"));
        env.insert(QStringLiteral("QE_NO_OPEN"), QStringLiteral("1"));
        return env;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (Tool(QStringLiteral("dpkg-deb")).isEmpty() || Tool(QStringLiteral("dpkg-shlibdeps")).isEmpty())
            QSKIP("dpkg-deb and dpkg-shlibdeps are needed to build and unpack the package");
        QVERIFY(m_dir.isValid());
        const QString out = m_dir.filePath(QStringLiteral("out"));
        const TResult r = Run(qEnvironmentVariable("QE_CPACK"),
                              // Laid out as the real package, whatever this build's own prefix.
                              {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-D"),
                               QStringLiteral("CPACK_PACKAGING_INSTALL_PREFIX=/usr"), QStringLiteral("--config"),
                               QStringLiteral(QE_BINARY_DIR "/CPackConfig.cmake"), QStringLiteral("-B"), out},
                              QProcessEnvironment::systemEnvironment(), 300000);
        QVERIFY2(r.ExitCode == 0, qPrintable(r.Out + r.Err));
        const QStringList debs = QDir(out).entryList({QStringLiteral("*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        m_deb = QDir(out).filePath(debs.first());
        m_root = m_dir.filePath(QStringLiteral("root"));
        QCOMPARE(Run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), m_deb, m_root}).ExitCode, 0);
    }

    void controlDataNamesWhatTheProgramsNeed()
    {
        const TResult info = Run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), m_deb, QStringLiteral("Package"),
                                                              QStringLiteral("Version"), QStringLiteral("Depends")});
        QCOMPARE(info.ExitCode, 0);
        QVERIFY2(info.Out.contains(QStringLiteral("Package: quizengine2\n")), qPrintable(info.Out));
        QVERIFY2(info.Out.contains(QStringLiteral("Version: ") + qEnvironmentVariable("QE_VERSION_TEXT")), qPrintable(info.Out));
        // Computed from the programs, so every library they link is there.
        for (const char *lib : {"libqt6widgets6", "libqt6core5compat6", "libbz2-1.0", "libgsf-1-114", "libzip4", "libc6"})
            QVERIFY2(info.Out.contains(QString::fromLatin1(lib)), qPrintable(QString::fromLatin1(lib) + u'\n' + info.Out));
        // The stand-ins for the Windows fonts that tests name.
        QVERIFY2(info.Out.contains(QStringLiteral("fonts-liberation2")), qPrintable(info.Out));
        // The scripts that register the file type and the icons.
        const QString control = m_dir.filePath(QStringLiteral("control"));
        QCOMPARE(Run(QStringLiteral("dpkg-deb"), {QStringLiteral("-e"), m_deb, control}).ExitCode, 0);
        for (const QString &script : {QStringLiteral("postinst"), QStringLiteral("postrm")}) {
            const QFileInfo fi(control + u'/' + script);
            QVERIFY2(fi.isExecutable(), qPrintable(script));
            QFile f(fi.filePath());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray text = f.readAll();
            QVERIFY(text.contains("update-mime-database") && text.contains("gtk-update-icon-cache"));
        }
    }

    void layoutIsComplete()
    {
        const QStringList faults = LayoutFaults(m_root);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
        // Stripped: debugging information stays out of the classroom's machines.
        const TResult file = Run(QStringLiteral("file"), {ProgramDir(m_root) + QStringLiteral("/Quizwright")});
        if (file.Started && file.ExitCode == 0)
            QVERIFY2(file.Out.contains(QStringLiteral("stripped")) && !file.Out.contains(QStringLiteral("not stripped")),
                     qPrintable(file.Out));
    }

    void commandsAnswerVersionAndHelp()
    {
        const QStringList faults = OptionFaults(m_root);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
    }

    void editorFindsItsPlayerAndTemplate()
    {
        const QString work = m_dir.filePath(QStringLiteral("work"));
        QVERIFY(QDir().mkpath(work));
        QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString programs = ProgramDir(m_root);

        // Started by its command, the editor reads the file beside its program.
        QCOMPARE(Run(Command(m_root, QStringLiteral("qe2tool")),
                     {QStringLiteral("config"), QStringLiteral("--password"), QStringLiteral("учитель"), programs})
                     .ExitCode,
                 0);
        QProcessEnvironment env = Offscreen(work);
        env.insert(QStringLiteral("QE_PASSWORD_REPLY"), QStringLiteral("не тот"));
        Run(Command(m_root, QStringLiteral("quizwright")), {}, env, 60000, work);
        QFile log(work + QStringLiteral("/messages.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(log.readAll()), QStringLiteral("Ошибка !\tПароль не верен\n"));
        log.close();
        log.remove();

        // That folder holds the player the export copies, and the template the Word export uses.
        const QString test = work + QStringLiteral("/Химия.qe2");
        WriteDemoTest(test);
        const QString program = work + QStringLiteral("/Химия");
        const ExportExe::TExportResult exported = ExportExe::WriteProgram(ExportExe::PlayerPath(programs), test, program);
        QVERIFY2(exported.Ok, qPrintable(exported.Message + u' ' + exported.Detail));
        QCOMPARE(ResourceTrailer::FindResource(program, ExportTexts::TestResource).value_or(QByteArray()).size(),
                 QFileInfo(test).size());
        const QStringList templates = Docx::FindTemplates({programs + u'/' + Docx::kTemplatesFolder});
        QCOMPARE(templates.size(), 1);
        QCOMPARE(QFileInfo(templates.first()).fileName(), QStringLiteral("Стандартный.dotx"));

        // qe2tool, from its command in bin/, finds the same template without being told.
        const TResult docx = Run(Command(m_root, QStringLiteral("qe2tool")),
                                 {QStringLiteral("export-docx"), test, work + QStringLiteral("/Химия.docx")}, env, 60000, work);
        QVERIFY2(docx.ExitCode == 0, qPrintable(docx.Out + docx.Err));
        QVERIFY(QFileInfo(work + QStringLiteral("/Химия.docx")).size() > 0);

        // The player from the package runs as the launcher starts it: a missing test is told, not crashed on.
        const TResult player = Run(Command(m_root, QStringLiteral("quizrunner")),
                                   {QStringLiteral("KMQuizdispatch"), work + QStringLiteral("/нет.qe2"),
                                    work + QStringLiteral("/r.res")},
                                   env, 60000, work);
        QVERIFY2(player.Started && player.ExitCode >= 0, qPrintable(player.Err));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(log.readAll().startsWith("Ошибка !\t"));
    }
};

QTEST_MAIN(TestPackage)
#include "tst_Package.moc"
