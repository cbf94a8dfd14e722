// The whole test file: header of any version, then the bzip2 body of
// question records. Whatever loads must save and load back equal.
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
    TTestInfo info;
    TQuestionList questions;
    const TTestLoadResult r = LoadTestFromDevice(in, info, questions);
    if (!r.Ok)
        return 0;

    TTestInfo saved = info;
    QByteArray image;
    try {
        image = SaveTestToBytes(saved, questions);
    } catch (const EQuizError &e) {
        Fuzz::Fail("a loaded test does not save", e.message());
    }
    QBuffer back(&image);
    back.open(QIODevice::ReadOnly);
    TTestInfo info2;
    TQuestionList questions2;
    const TTestLoadResult r2 = LoadTestFromDevice(back, info2, questions2);
    Fuzz::Check(r2.Ok, "a saved test does not load", r2.ErrorKind + ": " + r2.ErrorText);
    Fuzz::Check(info2 == saved, "header changed by save and load");
    Fuzz::Check(questions2.size() == questions.size(), "question count changed by save and load");
    for (size_t i = 0; i < questions.size(); ++i) {
        const QString d = Fuzz::StoredDifference(*questions[i], *questions2[i]);
        Fuzz::Check(d.isEmpty(), "question changed by save and load", d);
    }
    return 0;
}
