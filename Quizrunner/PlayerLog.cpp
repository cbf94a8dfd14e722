#include "PlayerLog.h"

#include "JournalStore.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PlayerLog {

QString Path()
{
    // Beside the runs folder: quizengine2/Quizrunner.log.
    return QDir::cleanPath(TJournalStore::DefaultFolder() + QStringLiteral("/../Quizrunner.log"));
}

void Write(const QString &text)
{
    QString oneLine = text;
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    const QByteArray line = (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + oneLine)
                                .toUtf8() + '\n';
    std::fputs(line.constData(), stderr);
    const QString path = Path();
    QDir().mkpath(QFileInfo(path).absolutePath());
    // Private to the account and never through a link, as the rest of its state.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        (void)!::write(fd, line.constData(), size_t(line.size()));
    ::close(fd);
}

} // namespace PlayerLog

namespace PlayerConfig {

QString SystemDir()
{
    const QString forced = qEnvironmentVariable("QE_SYSTEM_CONFIG_DIR");
    return forced.isEmpty() ? QStringLiteral(QE_SYSCONF_DIR) : forced;
}

QString FilePath()
{
    return SystemDir() + QStringLiteral("/Quizrunner.ini");
}

bool AnswersJournalEnabled()
{
    const QSettings ini(FilePath(), QSettings::IniFormat);
    return ini.value(QStringLiteral("AnswersJournal/Write"), true).toBool();
}

} // namespace PlayerConfig
