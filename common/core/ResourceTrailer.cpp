#include "ResourceTrailer.h"

#include "QeErrors.h"
#include "ResourceTrailerFormat.h"
#include "SafeFile.h"
#include "TestFileFormat.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace ResourceTrailerFormat;
using TestFileFormat::getU16;
using TestFileFormat::getU32;
using TestFileFormat::getU64;
using TestFileFormat::putU16;
using TestFileFormat::putU32;
using TestFileFormat::putU64;

namespace ResourceTrailer {
namespace {
struct Entry {
    quint32 type = RT_RCDATA;
    quint32 language = 0;
    quint64 offset = 0;
    quint64 size = 0;
    QString name;
};

struct Trailer {
    quint64 start = 0;
    QList<Entry> entries;
};

bool preadAll(int fd, char *buf, quint64 n, quint64 at)
{
    while (n > 0) {
        const ssize_t got = ::pread(fd, buf, size_t(n), off_t(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        buf += got;
        n -= quint64(got);
        at += quint64(got);
    }
    return true;
}

// The trailer of an open file; nullopt when there is none or it does not hold together.
std::optional<Trailer> readTrailer(QFile &f)
{
    const qint64 fileSize = f.size();
    if (fileSize < FooterSize)
        return std::nullopt;
    const quint64 size = quint64(fileSize);
    uchar foot[FooterSize];
    if (!preadAll(f.handle(), reinterpret_cast<char *>(foot), FooterSize, size - FooterSize))
        return std::nullopt;
    if (std::memcmp(foot + FootMagic, Magic, MagicSize) != 0
        || getU32(foot + FootFormatVersion) != FormatVersion)
        return std::nullopt;
    Trailer t;
    t.start = getU64(foot + FootTrailerStart);
    const quint64 dirOffset = getU64(foot + FootDirectoryOffset);
    const quint32 dirSize = getU32(foot + FootDirectorySize);
    const quint32 count = getU32(foot + FootEntryCount);
    const quint64 dirEnd = size - FooterSize;
    if (dirSize > MaxDirectorySize || dirOffset > dirEnd || dirEnd - dirOffset != dirSize
        || t.start > dirOffset || count > dirSize / EntryFixedSize)
        return std::nullopt;

    QByteArray dir(qsizetype(dirSize), Qt::Uninitialized);
    if (!preadAll(f.handle(), dir.data(), dirSize, dirOffset))
        return std::nullopt;
    const uchar *p = reinterpret_cast<const uchar *>(dir.constData());
    quint64 at = 0;
    for (quint32 i = 0; i < count; ++i) {
        if (dirSize - at < EntryFixedSize)
            return std::nullopt;
        Entry e;
        e.type = getU32(p + at + EntType);
        e.language = getU32(p + at + EntLanguage);
        e.offset = getU64(p + at + EntOffset);
        e.size = getU64(p + at + EntSize);
        const quint16 nameLength = getU16(p + at + EntNameLength);
        at += EntryFixedSize;
        if (nameLength > MaxNameLength || dirSize - at < nameLength)
            return std::nullopt;
        e.name = QString::fromUtf8(reinterpret_cast<const char *>(p + at), nameLength);
        at += nameLength;
        if (e.offset < t.start || e.offset > dirOffset || dirOffset - e.offset < e.size)
            return std::nullopt;
        t.entries.append(e);
    }
    if (at != dirSize)
        return std::nullopt;
    return t;
}

QByteArray readEntry(QFile &f, const Entry &e)
{
    QByteArray data(qsizetype(e.size), Qt::Uninitialized);
    if (!preadAll(f.handle(), data.data(), e.size, e.offset))
        return {};
    return data;
}

bool sameName(const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

void writeAll(QIODevice &dev, const char *data, qint64 n)
{
    if (n > 0 && dev.write(data, n) != n)
        throw EWriteError(QStringLiteral("Stream write error"));
}
}

void AddResources(const QString &program, const QString &out, const QList<TResource> &resources)
{
    QFile src(program);
    if (!src.open(QIODevice::ReadOnly))
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2")
                              .arg(QDir::toNativeSeparators(program), src.errorString()));
    struct stat st;
    if (::fstat(src.handle(), &st) != 0)
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\".").arg(QDir::toNativeSeparators(program)));

    const std::optional<Trailer> old = readTrailer(src);
    const quint64 programSize = old ? old->start : quint64(src.size());

    struct Item {
        Entry entry;
        QByteArray data;
    };
    QList<Item> items;
    if (old) {
        for (const Entry &e : old->entries)
            items.append({e, readEntry(src, e)});
    }
    for (const TResource &r : resources) {
        Entry e;
        e.name = r.first;
        e.size = quint64(r.second.size());
        auto it = std::find_if(items.begin(), items.end(), [&](const Item &i) {
            return i.entry.type == RT_RCDATA && sameName(i.entry.name, r.first);
        });
        if (it != items.end())
            *it = {e, r.second};
        else
            items.append({e, r.second});
    }

    SafeFile::WriteAtomically(out, [&](QIODevice &dev) {
        QByteArray chunk(1 << 20, Qt::Uninitialized);
        for (quint64 at = 0; at < programSize;) {
            const quint64 step = std::min<quint64>(programSize - at, quint64(chunk.size()));
            if (!preadAll(src.handle(), chunk.data(), step, at))
                throw EReadError(QStringLiteral("Stream read error"));
            writeAll(dev, chunk.constData(), qint64(step));
            at += step;
        }
        quint64 pos = programSize;
        QByteArray dir;
        for (Item &i : items) {
            i.entry.offset = pos;
            i.entry.size = quint64(i.data.size());
            writeAll(dev, i.data.constData(), i.data.size());
            pos += i.entry.size;
            const QByteArray name = i.entry.name.toUtf8().left(MaxNameLength);
            uchar fixed[EntryFixedSize];
            putU32(fixed + EntType, i.entry.type);
            putU32(fixed + EntLanguage, i.entry.language);
            putU64(fixed + EntOffset, i.entry.offset);
            putU64(fixed + EntSize, i.entry.size);
            putU16(fixed + EntNameLength, quint16(name.size()));
            dir.append(reinterpret_cast<const char *>(fixed), EntryFixedSize);
            dir.append(name);
        }
        if (quint64(dir.size()) > MaxDirectorySize)
            throw EWriteError(QStringLiteral("Too many resources"));
        writeAll(dev, dir.constData(), dir.size());
        uchar foot[FooterSize] = {};
        putU64(foot + FootTrailerStart, programSize);
        putU64(foot + FootDirectoryOffset, pos);
        putU32(foot + FootDirectorySize, quint32(dir.size()));
        putU32(foot + FootEntryCount, quint32(items.size()));
        putU32(foot + FootFormatVersion, FormatVersion);
        std::memcpy(foot + FootMagic, Magic, MagicSize);
        writeAll(dev, reinterpret_cast<const char *>(foot), FooterSize);
    }, int(st.st_mode & 0777));  // never the set-ID or sticky bits of the player
}

std::optional<QByteArray> FindResource(const QString &programFile, const QString &name)
{
    QFile f(programFile);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<Trailer> t = readTrailer(f);
    if (!t)
        return std::nullopt;
    for (const Entry &e : t->entries) {
        if (e.type == RT_RCDATA && sameName(e.name, name)) {
            QByteArray data = readEntry(f, e);
            if (qint64(data.size()) != qint64(e.size))
                return std::nullopt;
            return data;
        }
    }
    return std::nullopt;
}

QList<TResource> ReadAll(const QString &programFile)
{
    QList<TResource> out;
    QFile f(programFile);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    if (const std::optional<Trailer> t = readTrailer(f)) {
        for (const Entry &e : t->entries)
            out.append({e.name, readEntry(f, e)});
    }
    return out;
}
}
