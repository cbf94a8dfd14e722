// The player's run journal. Inputs are read as they are and once more with
// the payload size and checksum made to fit, so mutations reach the payload.
#include "FuzzUtil.h"
#include "RunJournal.h"
#include "TestFileFormat.h"

namespace {
TQuestionList Stored()
{
    TQuestionList list;
    for (int i = 0; i < 4; ++i) {
        auto q = std::make_shared<TNQuestion>();
        for (int k = 0; k < i; ++k)
            q->Variants.append(QString::number(k));
        q->RightMarks = QString(i, u' ');
        if (i)
            q->RightMarks[0] = u'!';
        list.push_back(q);
    }
    return list;
}

void ReadOne(const QByteArray &bytes)
{
    TRunJournal j;
    try {
        j = ReadJournal(bytes);
    } catch (const EJournalError &e) {
        Fuzz::Check(e.text().contains(QLatin1String("byte")), "a refusal without its offset", e.text());
        return;
    }
    // Text that is not valid UTF-8 reads as replacement characters, so only
    // what we wrote once must come back byte for byte.
    const QByteArray again = WriteJournal(j);
    const TRunJournal back = ReadJournal(again);
    Fuzz::Check(WriteJournal(back) == again, "a journal written does not write back to the same bytes");
    Fuzz::Check(ReadJournal(WriteJournal(back)) == back, "a journal written does not read back equal");

    const TQuestionList stored = Stored();
    try {
        const TQuestionList run = RebuildRun(j, stored, 600);
        Fuzz::Check(run.size() == std::size_t(j.Items.size()), "a rebuilt run lost items");
        for (const TQuestionPtr &q : run)
            Fuzz::Check(q->UserMarks.isEmpty() || q->UserMarks.size() == q->Variants.size(),
                        "an answer that does not fit its question");
    } catch (const EJournalError &) {
        const TQuestionList fresh = Stored();
        for (std::size_t i = 0; i < stored.size(); ++i)
            Fuzz::Check(stored[i]->Variants == fresh[i]->Variants && stored[i]->RightMarks == fresh[i]->RightMarks
                            && stored[i]->UserMarks.isEmpty(),
                        "a refused journal changed the test");
    }
}
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    ReadOne(bytes);
    if (bytes.size() >= JournalFormat::FrameSize) {
        QByteArray fixed = bytes;
        auto *p = reinterpret_cast<uchar *>(fixed.data());
        TestFileFormat::putU32(p + JournalFormat::OffPayloadSize, quint32(fixed.size() - JournalFormat::FrameSize));
        TestFileFormat::putU32(p + fixed.size() - 4, JournalChecksum(fixed.constData(), fixed.size() - 4));
        ReadOne(fixed);
    }
    return 0;
}
