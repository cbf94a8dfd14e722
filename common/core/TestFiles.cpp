// Whole test files: saving beside and renaming over, loading under a shared lock.
#include "QuizEngineCommon.h"

#include "BZStreams.h"
#include "FileLocks.h"
#include "SafeFile.h"
#include "TestFileFormat.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
int percentOf(quint64 i, quint64 count) { return int((i * 200 + count) / (2 * count)); }

void writeTest(QIODevice &dev, TTestInfo &info, const TQuestionList &questions, const TProgress &progress)
{
    info.QuestionCount = quint32(questions.size());
    info.IQCount = CalcIQCount(questions);
    info.ReservedBytes.fill(0);
    WriteTestHeader(dev, info);
    TBZCompressionStream z(dev, TestFileFormat::BZBlockSize100k);
    quint64 i = 0;
    for (const TQuestionPtr &q : questions) {
        WriteQuestion(*q, z);
        ++i;
        if (progress)
            progress(percentOf(i, questions.size()));
    }
    z.finish();
}

// A field no reader would take is refused before the first byte, so such a
// save does not even make its temporary file.
void checkBeforeWriting(const TQuestionList &questions)
{
    if (questions.size() > TestFileFormat::MaxQuestions)
        throw ERangeError(QStringLiteral("Вопросов в тесте %1, а тест может содержать не больше %2")
                              .arg(questions.size())
                              .arg(TestFileFormat::MaxQuestions));
    for (size_t i = 0; i < questions.size(); ++i) {
        if (!questions[i])
            throw EWriteError(QStringLiteral("Stream write error"));
        try {
            CheckQuestionFits(*questions[i]);
        } catch (const ERangeError &e) {
            throw ERangeError(QStringLiteral("Question %1: %2").arg(i + 1).arg(e.text()));
        }
    }
}
}

void SaveTestToFile(const QString &path, TTestInfo &info, const TQuestionList &questions,
                    const TProgress &progress)
{
    checkBeforeWriting(questions);
    SafeFile::WriteAtomically(path, [&](QIODevice &dev) { writeTest(dev, info, questions, progress); });
}

QByteArray SaveTestToBytes(TTestInfo &info, const TQuestionList &questions)
{
    checkBeforeWriting(questions);
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    writeTest(buf, info, questions, {});
    buf.close();
    return out;
}

TTestLoadResult LoadTestFromDevice(QIODevice &dev, TTestInfo &info, TQuestionList &out,
                                   const TProgress &progress, bool playerCount)
{
    TTestLoadResult r;
    r.HeaderCode = ReadTestHeader(dev, info);
    if (r.HeaderCode != hrOk)
        return r;
    const quint32 count = playerCount ? (info.QuestionCount & 0xFFFF) : info.QuestionCount;
    if (count == 0) {
        r.Ok = true;
        return r;
    }
    try {
        TBZDecompressionStream z(dev);
        for (quint32 i = 0; i < count; ++i) {
            r.ErrorQuestion = int(i);
            r.ErrorOffset = z.pos();
            auto q = std::make_shared<TNQuestion>();
            ReadQuestion(*q, z);
            out.push_back(std::move(q));
            if (progress)
                progress(percentOf(i + 1, count));
        }
        // The records are all there; the stream must also end intact (its
        // final checksum), or a cut or damaged file would pass as good.
        r.ErrorQuestion = int(count);
        r.ErrorOffset = z.pos();
        char rest[4096];
        while (!z.atEnd())
            z.read(rest, sizeof rest);
        r.Ok = true;
        r.ErrorQuestion = -1;
        r.ErrorOffset = -1;
    } catch (const EQuizError &e) {
        r.ErrorKind = e.kind();
        r.ErrorText = e.text();
    } catch (const std::bad_alloc &) {
        r.ErrorKind = QStringLiteral("EOutOfMemory");
        r.ErrorText = QStringLiteral("Out of memory");
    }
    return r;
}

TTestLoadResult LoadTestFromFile(const QString &path, TTestInfo &info, TQuestionList &out,
                                 const TProgress &progress, bool playerCount)
{
    QFile f(path);
    auto refused = [&](const QString &why) {
        TTestLoadResult r;
        r.ErrorKind = QStringLiteral("EFOpenError");
        r.ErrorText = QStringLiteral("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(path), why);
        return r;
    };
    if (!FileLocks::OpenSharedRead(f)) {
        const QFileInfo fi(path);
        if (!fi.exists())
            return refused(QStringLiteral("No such file."));
        if (!fi.isFile())
            return refused(QStringLiteral("Not a file."));
        if (!fi.isReadable())
            return refused(QStringLiteral("Access denied."));
        return refused(QStringLiteral("The file is being written by another program."));
    }
    TTestLoadResult r = LoadTestFromDevice(f, info, out, progress, playerCount);
    FileLocks::Unlock(f);
    return r;
}
