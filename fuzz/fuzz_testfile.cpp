// The whole test file: header of any version, then the bzip2 body of
// question records. Whatever loads must save and load back equal.
#include "BZStreams.h"
#include "FuzzUtil.h"
#include "QuestionCompare.h"
#include "QuizEngineCommon.h"

#include <QBuffer>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::QuietQtMessages();
    return 0;
}

namespace {
struct Load {
    TTestInfo info;
    TQuestionList questions;
    TTestLoadResult r;
};

// Threads 1 is libbz2 alone; more decode the blocks on the pool.
Load loadWith(int threads, const QByteArray &file)
{
    BZSetThreads(threads);
    QByteArray bytes = file;
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    Load l;
    l.r = LoadTestFromDevice(in, l.info, l.questions);
    return l;
}

QByteArray saveWith(int threads, TTestInfo &info, const TQuestionList &questions)
{
    BZSetThreads(threads);
    try {
        return SaveTestToBytes(info, questions);
    } catch (const EQuizError &e) {
        Fuzz::Fail("a loaded test does not save", e.message());
    }
}

void checkSameQuestions(const TQuestionList &a, const TQuestionList &b, const char *what)
{
    Fuzz::Check(a.size() == b.size(), what, QStringLiteral("question count"));
    for (size_t i = 0; i < a.size(); ++i) {
        const QString d = Fuzz::StoredDifference(*a[i], *b[i]);
        Fuzz::Check(d.isEmpty(), what, d);
    }
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    const Load alone = loadWith(1, bytes);
    const Load pooled = loadWith(3, bytes);
    const TTestLoadResult &r = alone.r, &p = pooled.r;
    Fuzz::Check(r.Ok == p.Ok && r.HeaderCode == p.HeaderCode && r.ErrorKind == p.ErrorKind
                    && r.ErrorText == p.ErrorText && r.ErrorQuestion == p.ErrorQuestion
                    && r.ErrorOffset == p.ErrorOffset,
                "the pooled reader answers otherwise than libbz2 alone",
                r.ErrorKind + ": " + r.ErrorText + " / " + p.ErrorKind + ": " + p.ErrorText);
    checkSameQuestions(alone.questions, pooled.questions, "the pooled reader reads other questions");
    if (!r.Ok)
        return 0;

    TTestInfo saved = alone.info;
    TTestInfo savedPooled = alone.info;
    const QByteArray image = saveWith(1, saved, alone.questions);
    Fuzz::Check(saveWith(3, savedPooled, alone.questions) == image, "the pooled writer writes other bytes");
    const Load back = loadWith(3, image);
    Fuzz::Check(back.r.Ok, "a saved test does not load", back.r.ErrorKind + ": " + back.r.ErrorText);
    Fuzz::Check(back.info == saved, "header changed by save and load");
    checkSameQuestions(alone.questions, back.questions, "question changed by save and load");
    return 0;
}
