// One question record alone, as the editor's clipboard carries it.
// Whatever reads must write and read back equal.
#include "FuzzUtil.h"
#include "QuestionCompare.h"
#include "QuizEngineCommon.h"

#include <QBuffer>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray bytes = Fuzz::Bytes(data, size);
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    TNQuestion q;
    try {
        ReadQuestion(q, in);
    } catch (const EQuizError &) {
        return 0;
    } catch (const std::bad_alloc &) {
        return 0;
    }
    QByteArray image;
    QBuffer out(&image);
    out.open(QIODevice::WriteOnly);
    try {
        WriteQuestion(q, out);
    } catch (const EQuizError &e) {
        Fuzz::Fail("a read question does not write", e.message());
    }
    out.close();
    QBuffer back(&image);
    back.open(QIODevice::ReadOnly);
    TNQuestion q2;
    try {
        ReadQuestion(q2, back);
    } catch (const EQuizError &e) {
        Fuzz::Fail("a written question does not read", e.message());
    }
    Fuzz::Check(back.atEnd(), "a written question is longer than its record");
    const QString d = Fuzz::StoredDifference(q, q2);
    Fuzz::Check(d.isEmpty(), "question changed by write and read", d);
    return 0;
}
