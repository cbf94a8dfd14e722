#include "StreamIO.h"

#include "QeErrors.h"
#include "TestFileFormat.h"

#include <algorithm>

using namespace TestFileFormat;

namespace StreamIO {
namespace {
[[noreturn]] void readError() { throw EReadError(QStringLiteral("Stream read error")); }
}

qint64 ReadUpTo(QIODevice &dev, char *buf, qint64 n)
{
    qint64 done = 0;
    while (done < n) {
        const qint64 got = dev.read(buf + done, n - done);
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

void ReadExact(QIODevice &dev, char *buf, qint64 n)
{
    if (ReadUpTo(dev, buf, n) != n)
        readError();
}

quint8 ReadU8(QIODevice &dev)
{
    uchar b;
    ReadExact(dev, reinterpret_cast<char *>(&b), 1);
    return b;
}

quint16 ReadU16(QIODevice &dev)
{
    uchar b[2];
    ReadExact(dev, reinterpret_cast<char *>(b), 2);
    return getU16(b);
}

quint32 ReadU32(QIODevice &dev)
{
    uchar b[4];
    ReadExact(dev, reinterpret_cast<char *>(b), 4);
    return getU32(b);
}

QByteArray ReadBlob(QIODevice &dev, quint32 len)
{
    if (len == 0)
        return {};
    if (len > MaxBlobBytes)
        readError();
    if (!dev.isSequential()) {
        if (qint64(len) > dev.size() - dev.pos())
            readError();
        QByteArray out(qsizetype(len), Qt::Uninitialized);
        ReadExact(dev, out.data(), len);
        return out;
    }
    QByteArray out;
    qint64 done = 0;
    while (done < qint64(len)) {
        const qint64 step = std::min<qint64>(qint64(len) - done, SequentialReadStep);
        out.resize(qsizetype(done + step));
        ReadExact(dev, out.data() + done, step);
        done += step;
    }
    return out;
}

void WriteAll(QIODevice &dev, const char *data, qint64 n)
{
    if (n > 0 && dev.write(data, n) != n)
        throw EWriteError(QStringLiteral("Stream write error"));
}

void WriteU8(QIODevice &dev, quint8 v) { WriteAll(dev, reinterpret_cast<const char *>(&v), 1); }

void WriteU16(QIODevice &dev, quint16 v)
{
    uchar b[2];
    putU16(b, v);
    WriteAll(dev, reinterpret_cast<const char *>(b), 2);
}

void WriteU32(QIODevice &dev, quint32 v)
{
    uchar b[4];
    putU32(b, v);
    WriteAll(dev, reinterpret_cast<const char *>(b), 4);
}
}
