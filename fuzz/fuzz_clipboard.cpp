// The editor's clipboard block of whole questions, as another editor (or
// anything else) may put it under our format name. A block is read whole or
// not at all; what reads writes back to the same questions.
#include "FuzzUtil.h"
#include "QuestionClipboard.h"
#include "QuestionCompare.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    QuestionClipboard::TDecodeResult r;
    try {
        r = QuestionClipboard::DecodeBlock(bytes);
    } catch (const std::bad_alloc &) {
        return 0;
    } catch (const std::exception &e) {
        Fuzz::Fail("the block reader let an error out", QString::fromUtf8(e.what()));
    }
    if (!r.Ok) {
        Fuzz::Check(r.Records.empty(), "a refused block gave questions");
        Fuzz::Check(r.Offset >= 0 && r.Offset <= bytes.size(), "error offset outside the block");
        return 0;
    }
    std::vector<const TNodeRecord *> recs;
    for (const TNodeRecord &rec : r.Records)
        recs.push_back(&rec);
    QByteArray again;
    try {
        again = QuestionClipboard::EncodeBlock(recs);
    } catch (const EQuizError &e) {
        Fuzz::Fail("read questions do not write", e.message());
    }
    const QuestionClipboard::TDecodeResult back = QuestionClipboard::DecodeBlock(again);
    Fuzz::Check(back.Ok, "a written block does not read", back.Error);
    Fuzz::Check(back.Records.size() == r.Records.size(), "question count changed by write and read");
    for (size_t i = 0; i < r.Records.size(); ++i) {
        Fuzz::Check(back.Records[i].NodeFlags == r.Records[i].NodeFlags, "bad-state mark changed");
        const QString d = Fuzz::StoredDifference(*r.Records[i].Question, *back.Records[i].Question);
        Fuzz::Check(d.isEmpty(), "question changed by write and read", d);
    }
    // Written again, the bytes stay the same.
    std::vector<const TNodeRecord *> recs2;
    for (const TNodeRecord &rec : back.Records)
        recs2.push_back(&rec);
    Fuzz::Check(QuestionClipboard::EncodeBlock(recs2) == again, "a block does not write the same twice");
    return 0;
}
