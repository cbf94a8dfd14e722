// The resource trailer at the end of a program file.
#include "FuzzUtil.h"
#include "ResourceTrailer.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = Fuzz::ScratchFile(data, size);
    const QList<ResourceTrailer::TResource> all = ResourceTrailer::ReadAll(path);
    qint64 total = 0;
    for (const auto &r : all)
        total += r.second.size();
    Fuzz::Check(total <= qint64(size), "resources larger than the file");
    for (const auto &r : all) {
        const std::optional<QByteArray> one = ResourceTrailer::FindResource(path, r.first);
        if (one)
            Fuzz::Check(one->size() <= qsizetype(size), "resource larger than the file");
    }
    return 0;
}
