// The description beside a recovery copy.
#include "FuzzUtil.h"
#include "RecoveryStore.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QString why;
    const std::optional<Recovery::TDescription> d = Recovery::ReadDescription(bytes, &why);
    if (!d) {
        Fuzz::Check(!why.isEmpty(), "a refused description gave no reason");
        return 0;
    }
    Fuzz::Check(d->OriginalPath.size() <= Recovery::MaxPathChars && d->Title.size() <= Recovery::MaxTitleChars
                    && d->CopySize >= 0 && d->CopySize <= Recovery::MaxCopyBytes,
                "a description past its bounds was taken");
    // What was read writes back to the same description.
    const std::optional<Recovery::TDescription> again = Recovery::ReadDescription(Recovery::WriteDescription(*d));
    Fuzz::Check(again && *again == *d, "a description read does not write back the same");
    return 0;
}
