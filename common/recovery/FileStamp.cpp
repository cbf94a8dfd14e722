#include "FileStamp.h"

#include <QFile>

#include <sys/stat.h>

TFileStamp TFileStamp::Of(const QString &path)
{
    TFileStamp s;
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return s;
    s.Exists = true;
    s.Device = quint64(st.st_dev);
    s.Inode = quint64(st.st_ino);
    s.MTimeNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.Size = qint64(st.st_size);
    return s;
}
