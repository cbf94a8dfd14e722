#include "testutil_Install.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <filesystem>

#include "QuizEngineCommon.h"
#include "MJvRichedit.h"

namespace InstallTest {

TResult Run(const QString &program, const QStringList &args, const QProcessEnvironment &env, int timeoutMs,
            const QString &workDir)
{
    TResult r;
    QProcess p;
    p.setProcessEnvironment(env);
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    p.start(program, args);
    r.Started = p.waitForStarted();
    if (!r.Started)
        return r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.Err = QStringLiteral("(did not end)");
        return r;
    }
    r.ExitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.Err += QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

QProcessEnvironment NoDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QE_MESSAGE_LOG"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

QString Tool(const QString &name)
{
    return QStandardPaths::findExecutable(name);
}

namespace {

void Expect(QStringList &faults, bool ok, const QString &what)
{
    if (!ok)
        faults << what;
}

bool IsProgram(const QString &path)
{
    const QFileInfo fi(path);
    return fi.isFile() && !fi.isSymLink() && fi.isExecutable();
}

}  // namespace

QStringList LayoutFaults(const QString &root)
{
    QStringList faults;
    const QString programs = ProgramDir(root);
    const QString share = root + QStringLiteral("/usr/share");
    for (const QString &program : {QStringLiteral("Quizwright"), QStringLiteral("Quizrunner"), QStringLiteral("qe2tool")})
        Expect(faults, IsProgram(programs + u'/' + program), QStringLiteral("no program ") + program);
    // Commands: relative links, so that the tree works wherever it is unpacked.
    for (const auto &[command, program] : {std::pair{QStringLiteral("quizwright"), QStringLiteral("Quizwright")},
                                          std::pair{QStringLiteral("quizrunner"), QStringLiteral("Quizrunner")},
                                          std::pair{QStringLiteral("qe2tool"), QStringLiteral("qe2tool")}}) {
        const QFileInfo link(Command(root, command));
        Expect(faults, link.isSymLink() && !link.canonicalFilePath().isEmpty() && link.canonicalFilePath() == QFileInfo(programs + u'/' + program).canonicalFilePath(),
               QStringLiteral("command %1 does not lead to %2").arg(command, program));
        std::error_code ec;
        const std::filesystem::path written = std::filesystem::read_symlink(QFile::encodeName(link.filePath()).toStdString(), ec);
        Expect(faults, !ec && written.is_relative(), QStringLiteral("absolute link ") + command);
    }
    Expect(faults, QFileInfo(Template(root)).isFile(), QStringLiteral("no default template"));
    const QFileInfo beside(programs + QStringLiteral("/Шаблоны/Стандартный.dotx"));
    Expect(faults, beside.isFile() && beside.canonicalFilePath() == QFileInfo(Template(root)).canonicalFilePath(),
           QStringLiteral("the template is not found beside the programs"));
    const QFileInfo fonts(programs + QStringLiteral("/quizengine2-fonts.conf"));
    Expect(faults, fonts.isFile() && fonts.canonicalFilePath() == QFileInfo(share + QStringLiteral("/quizengine2/quizengine2-fonts.conf")).canonicalFilePath(),
           QStringLiteral("the font aliases are not found beside the programs"));
    Expect(faults, QFileInfo(share + QStringLiteral("/doc/quizengine2/README.md")).isFile(),
           QStringLiteral("no README in the documentation"));
    for (const QString &file : {QStringLiteral("applications/ru.kestrelmoor.Quizwright.desktop"),
                                QStringLiteral("applications/ru.kestrelmoor.Quizrunner.desktop"),
                                QStringLiteral("mime/packages/quizengine2.xml"),
                                QStringLiteral("metainfo/ru.kestrelmoor.Quizwright.metainfo.xml"),
                                QStringLiteral("icons/hicolor/scalable/apps/ru.kestrelmoor.Quizwright.svg"),
                                QStringLiteral("icons/hicolor/scalable/apps/ru.kestrelmoor.Quizrunner.svg"),
                                QStringLiteral("icons/hicolor/scalable/mimetypes/application-x-qe2.svg")})
        Expect(faults, QFileInfo(share + u'/' + file).isFile(), QStringLiteral("no ") + file);
    // Every PNG size of every icon, each image of the size its folder says.
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        for (const QString &icon : {QStringLiteral("apps/ru.kestrelmoor.Quizwright.png"),
                                    QStringLiteral("apps/ru.kestrelmoor.Quizrunner.png"),
                                    QStringLiteral("mimetypes/application-x-qe2.png")}) {
            const QString path = share + QStringLiteral("/icons/hicolor/%1x%1/").arg(size) + icon;
            const QSize actual = QImageReader(path).size();
            Expect(faults, actual == QSize(size, size),
                   QStringLiteral("%1 at %2: %3x%4").arg(icon).arg(size).arg(actual.width()).arg(actual.height()));
        }
    // Nothing of the build tree comes along.
    for (const QString &stray : {QStringLiteral("KMQuizEngine2.ini"), QStringLiteral("qe_mkzip")})
        Expect(faults, !QFileInfo::exists(programs + u'/' + stray), QStringLiteral("stray ") + stray);
    return faults;
}

QStringList OptionFaults(const QString &root)
{
    QStringList faults;
    const QString version = qEnvironmentVariable("QE_VERSION_TEXT");
    for (const auto &[command, program] : {std::pair{QStringLiteral("quizwright"), QStringLiteral("Quizwright")},
                                          std::pair{QStringLiteral("quizrunner"), QStringLiteral("Quizrunner")},
                                          std::pair{QStringLiteral("qe2tool"), QStringLiteral("qe2tool")}}) {
        // The tool needs no display of any kind and picks its own platform.
        QProcessEnvironment env = NoDisplay();
        if (command == QLatin1String("qe2tool"))
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        const TResult v = Run(Command(root, command), {QStringLiteral("--version")}, env);
        Expect(faults, v.ExitCode == 0 && v.Out == program + u' ' + version + u'\n',
               QStringLiteral("%1 --version: %2 [%3] [%4]").arg(command).arg(v.ExitCode).arg(v.Out, v.Err));
        const TResult h = Run(Command(root, command), {QStringLiteral("--help")}, env);
        Expect(faults, h.ExitCode == 0 && h.Out.contains(QStringLiteral("Usage: ")) && h.Out.contains(command),
               QStringLiteral("%1 --help: %2 [%3] [%4]").arg(command).arg(h.ExitCode).arg(h.Out, h.Err));
    }
    return faults;
}

void WriteDemoTest(const QString &path)
{
    TQuestionList questions;
    for (const auto &[text, right] : {std::pair{QStringLiteral("Сколько будет 2+2?"), QStringLiteral(" !")},
                                      std::pair{QStringLiteral("Столица России?"), QStringLiteral("! ")}}) {
        auto q = std::make_shared<TNQuestion>();
        q->PlainLines.Add(text);
        q->Body = RichRecord::FromPlainText(text);
        q->Variants = right == QStringLiteral(" !") ? QStringList{QStringLiteral("3"), QStringLiteral("4")}
                                                     : QStringList{QStringLiteral("Москва"), QStringLiteral("Казань")};
        q->RightMarks = right;
        q->ContentReady = true;
        questions.push_back(q);
    }
    TTestInfo info = TTestInfo::NewTestValues();
    SaveTestToFile(path, info, questions);
}

}  // namespace InstallTest

namespace InstallTest {
QMap<QString, QString> DesktopEntry(const QString &path)
{
    QMap<QString, QString> keys;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    bool inEntry = false;
    for (const QString &line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        if (line.startsWith(u'['))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && !line.startsWith(u'#') && line.contains(u'='))
            keys.insert(line.section(u'=', 0, 0).trimmed(), line.section(u'=', 1).trimmed());
    }
    return keys;
}
}
