// A compound-file storage image of an embedded object, as libgsf reads it,
// and the pictures and class names taken from it.
#include "FuzzUtil.h"
#include "RichObjects.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    Fuzz::EnsureGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    QString error;
    const auto streams = RichText::StorageStreams(bytes, &error);
    if (!streams.isEmpty())
        Fuzz::Check(error.isEmpty(), "streams with an error", error);
    (void)RichText::DecodeStoragePicture(bytes);
    (void)RichText::StorageClassName(bytes);
    (void)RichText::ImageFromDib(bytes);
    return 0;
}
