// The RTF reader, into a document, then everything the dump looks at.
#include "FuzzUtil.h"
#include "RichDump.h"
#include "RtfReader.h"

#include <QTextDocument>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    Fuzz::EnsureGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QTextDocument doc;
    const RichText::TRtfReadResult r = RichText::ReadRtf(Fuzz::Bytes(data, size), doc);
    if (!r.ok)
        Fuzz::Check(r.errorOffset <= qint64(size), "error offset past the end", r.error);
    (void)RichDump(doc);
    return 0;
}
