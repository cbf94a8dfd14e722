#include "FuzzUtil.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace Fuzz {

void QuietQtMessages()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "Qt fatal: %s\n", qPrintable(msg));
            std::abort();
        }
    });
}

void EnsureGuiApplication()
{
    static QGuiApplication *app = nullptr;
    if (app)
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    app = new QGuiApplication(argc, argv);
}

QString ScratchFile(const uint8_t *data, size_t size)
{
    static QString path;
    static int fd = -1;
    if (fd < 0) {
        // tmpfs when there is one: every input goes through it.
        const QString dir = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                        : QDir::tempPath();
        path = QStringLiteral("%1/qe-fuzz-%2.bin").arg(dir).arg(getpid());
        fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        if (fd < 0)
            Fail("cannot create scratch file", path);
        std::atexit([] { ::unlink(QFile::encodeName(path).constData()); });
    }
    if (::ftruncate(fd, 0) != 0)
        Fail("cannot truncate scratch file", path);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, off_t(done));
        if (n <= 0)
            Fail("cannot write scratch file", path);
        done += size_t(n);
    }
    return path;
}

QByteArray Bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

void Fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "\n*** property broken: %s\n%s\n", what, qPrintable(detail));
    std::abort();
}

}
