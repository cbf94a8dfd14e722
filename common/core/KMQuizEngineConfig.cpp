#include "QuizEngineCommon.h"

#include "BZStreams.h"
#include "FileLocks.h"
#include "SafeFile.h"
#include "StreamIO.h"
#include "TestFileFormat.h"

#include <QFile>

#include <cstring>

using namespace TestFileFormat;

bool TKMQuizEngineConfig::LoadFromFile(const QString &path)
{
    QFile f(path);
    if (!FileLocks::OpenSharedRead(f))
        return false;
    try {
        TBZDecompressionStream z(f);
        char magic[ConfigMagicSize];
        StreamIO::ReadExact(z, magic, ConfigMagicSize);
        if (std::memcmp(magic, ConfigMagic, ConfigMagicSize) != 0)
            return false;
        if (StreamIO::ReadU8(z) != ConfigVersion)
            return false;
        const quint8 flag = StreamIO::ReadU8(z);
        QString password = ReadAnsiString(z);
        QString text = ReadAnsiString(z);
        // A cut or damaged end of the stream is caught by its final checksum.
        char rest[4096];
        while (!z.atEnd())
            z.read(rest, sizeof rest);
        ConfigFlag = flag;
        AccessPassword = std::move(password);
        ConfigText = std::move(text);
        return true;
    } catch (const EQuizError &) {
        return false;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

void TKMQuizEngineConfig::SaveToFile(const QString &path) const
{
    SafeFile::WriteAtomically(path, [this](QIODevice &dev) {
        TBZCompressionStream z(dev, BZBlockSize100k);
        StreamIO::WriteAll(z, ConfigMagic, ConfigMagicSize);
        StreamIO::WriteU8(z, ConfigVersion);
        StreamIO::WriteU8(z, ConfigFlag);
        WriteAnsiString(AccessPassword, z);
        WriteAnsiString(ConfigText, z);
        z.finish();
    });
}
