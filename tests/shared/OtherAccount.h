#pragma once
// Children that run under a second account start a copy of the test program
// in a folder that account can reach: the checkout may lie in a private home
// folder (0700 on Debian), where that account cannot even start the program.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>

class TOtherAccountProgram {
public:
    TOtherAccountProgram()
    {
        for (const QString &base : {QDir::tempPath(), QStringLiteral("/tmp"), QStringLiteral("/var/tmp")}) {
            const QString why = Unreachable(base);
            if (why.isEmpty()) {
                m_error = Copy(base);
                if (m_error.isEmpty())
                    return;
            } else {
                m_error = why;
            }
        }
        m_dir.reset();
    }
    bool isValid() const { return m_dir != nullptr; }
    // Why no copy could be made, for a QSKIP.
    QString error() const
    {
        return QStringLiteral("no folder another account can start a program from: %1").arg(m_error);
    }
    QString program() const { return m_program; }
    QString folder() const { return m_dir ? m_dir->path() : QString(); }

private:
    // Empty when every folder up to base lets others in and programs there may run.
    static QString Unreachable(const QString &base)
    {
        const QString abs = QFileInfo(base).absoluteFilePath();
        struct statvfs vfs;
        if (::statvfs(QFile::encodeName(abs).constData(), &vfs) != 0)
            return abs + QStringLiteral(" does not exist");
        if (vfs.f_flag & ST_NOEXEC)
            return abs + QStringLiteral(" is on a file system mounted noexec");
        for (QString d = abs;; d = QFileInfo(d).path()) {
            struct stat st;
            if (::stat(QFile::encodeName(d).constData(), &st) != 0 || !(st.st_mode & S_IXOTH))
                return d + QStringLiteral(" is closed to other accounts");
            if (d == QLatin1String("/"))
                return QString();
        }
    }
    QString Copy(const QString &base)
    {
        auto dir = std::make_unique<QTemporaryDir>(QDir(base).filePath(QStringLiteral("qe-other-account-XXXXXX")));
        if (!dir->isValid())
            return QStringLiteral("cannot make a folder in ") + base;
        const QString program = dir->filePath(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
        const QFile::Permissions open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
            | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
        if (!QFile::setPermissions(dir->path(), open) || !QFile::copy(QCoreApplication::applicationFilePath(), program)
            || !QFile::setPermissions(program, open))
            return QStringLiteral("cannot copy the test program to ") + dir->path();
        m_dir = std::move(dir);
        m_program = program;
        return QString();
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_program;
    QString m_error;
};
