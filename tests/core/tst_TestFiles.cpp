// Whole test files: saving, loading, damaged and hostile files, locks.
#include <QBuffer>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "BZStreams.h"
#include "QuizEngineCommon.h"
#include "TestFileFormat.h"
#include "testutil_core.h"

#include <csignal>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
TQuestionList sampleTest(int n)
{
    TQuestionList list;
    for (int i = 0; i < n; ++i)
        list.push_back(MakeQuestion(i, i % 5 == 0 ? 0 : 2 + i % 4, 40 + (i * 37) % 900, i % 3 == 0, i % 4 == 1));
    return list;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TTestLoadResult loadBytes(QByteArray bytes, TQuestionList &out, bool player = false)
{
    QBuffer b(&bytes);
    b.open(QIODevice::ReadOnly);
    TTestInfo info;
    return LoadTestFromDevice(b, info, out, {}, player);
}

const QStringList BodyErrors{"EReadError", "EBZDecompressionError", "ERangeError"};

constexpr qint64 Limit = qint64(TestFileFormat::MaxBlobBytes);

// Address space that reads as zeros and costs no memory until touched: fields
// of any length, for checks that must look at the length only.
class ZeroPages {
public:
    ZeroPages() : m_p(::mmap(nullptr, Size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0)) {}
    ~ZeroPages()
    {
        if (ok())
            ::munmap(m_p, Size);
    }
    bool ok() const { return m_p != MAP_FAILED; }
    QByteArray bytes(qint64 n) const { return QByteArray::fromRawData(static_cast<const char *>(m_p), n); }
    QString text(qint64 units) const { return QString::fromRawData(static_cast<const QChar *>(m_p), units); }
    static constexpr qint64 Size = (qint64(1) << 33) + 4096;  // 8 GiB: 4 GiB and more of UTF-16
private:
    void *m_p;
};

// Puts a field of the given length into q: "body", "comment", "line", "title" or "variant".
void setHugeField(TNQuestion &q, const ZeroPages &zeros, const QString &field, qint64 length)
{
    if (field == QLatin1String("body"))
        q.Body = zeros.bytes(length);
    else if (field == QLatin1String("comment"))
        q.Comment = zeros.bytes(length);
    else if (field == QLatin1String("line"))
        q.PlainLines.Put(0, zeros.text(length));
    else if (field == QLatin1String("title")) {
        q.HasTitle = true;
        q.Title = zeros.text(length);
    } else if (field == QLatin1String("variant"))
        q.Variants[1] = zeros.text(length);
    else
        qFatal("unknown field %s", qPrintable(field));
}
}

class TstTestFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void emptyTestRoundTrip();
    void manyQuestionsRoundTrip();
    void playerTakesCountModulo65536();
    void writerRefusesMoreQuestionsThanThePlayerCounts();
    void errorsKeepQuestionsReadBefore();
    void randomDamageGivesOnlyDocumentedErrors();
    void everyTruncationFailsCleanly();
    void failedSaveKeepsOldFile();
    void unreadablePaths();
    void oversizeFieldsAreRefusedBeforeWriting_data();
    void oversizeFieldsAreRefusedBeforeWriting();
    void fieldsAtTheLimitPass();
};

void TstTestFiles::emptyTestRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("empty.qe2"));
    TTestInfo info = TTestInfo::NewTestValues();
    info.QuestionCount = 99;
    SaveTestToFile(path, info, {});
    QCOMPARE(info.QuestionCount, 0u);
    const QByteArray bytes = readFile(path);
    QCOMPARE(bytes.mid(17, 4), QByteArray(4, '\0'));
    QVERIFY(bytes.mid(47).startsWith("BZh1"));
    QCOMPARE(Decompress(bytes.mid(47)), QByteArray());
    QCOMPARE(SaveTestToBytes(info, {}), bytes);

    TTestInfo back;
    TQuestionList out;
    const TTestLoadResult r = LoadTestFromFile(path, back, out);
    QVERIFY(r.Ok);
    QCOMPARE(r.HeaderCode, 0);
    QVERIFY(out.empty());
    QCOMPARE(back, info);
}

void TstTestFiles::manyQuestionsRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.qe2"));
    const TQuestionList questions = sampleTest(256);
    TTestInfo info = TTestInfo::NewTestValues();
    info.Password = QStringLiteral("тест");
    info.ReservedBytes.fill(9);
    QList<int> progress;
    SaveTestToFile(path, info, questions, [&](int p) { progress.append(p); });
    QCOMPARE(info.QuestionCount, 256u);
    QCOMPARE(info.IQCount, CalcIQCount(questions));
    QVERIFY(info.IQCount > 0);
    QCOMPARE(info.ReservedBytes, (std::array<quint8, 8>{}));
    QCOMPARE(progress.size(), 256);
    QCOMPARE(progress.first(), 0);  // 1 of 256 rounds to 0 %
    QCOMPARE(progress.at(127), 50);
    QCOMPARE(progress.last(), 100);

    TTestInfo back;
    TQuestionList out;
    QList<int> readProgress;
    const TTestLoadResult r = LoadTestFromFile(path, back, out, [&](int p) { readProgress.append(p); });
    QVERIFY2(r.Ok, qPrintable(r.ErrorKind + ": " + r.ErrorText));
    QCOMPARE(back, info);
    QCOMPARE(int(out.size()), 256);
    for (int i = 0; i < 256; ++i)
        QVERIFY2(SameStoredQuestion(*out[i], *questions[i]), qPrintable(QString::number(i)));
    QCOMPARE(readProgress, progress);
    // No temporary left beside the file.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"big.qe2"});
}

void TstTestFiles::playerTakesCountModulo65536()
{
    TTestInfo info = TTestInfo::NewTestValues();
    QByteArray bytes = SaveTestToBytes(info, sampleTest(3));
    bytes[17 + 2] = 1;  // QuestionCount = 65 536 + 3
    TQuestionList player, editor;
    const TTestLoadResult p = loadBytes(bytes, player, true);
    QVERIFY(p.Ok);
    QCOMPARE(player.size(), size_t(3));
    const TTestLoadResult e = loadBytes(bytes, editor, false);
    QVERIFY(!e.Ok);
    QCOMPARE(e.HeaderCode, 0);
    QCOMPARE(e.ErrorKind, QStringLiteral("EReadError"));
    QCOMPARE(editor.size(), size_t(3));
}

void TstTestFiles::writerRefusesMoreQuestionsThanThePlayerCounts()
{
    // Regression: 65 537 questions were written and the player ran one of them.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.qe2"));
    const TQuestionList one = sampleTest(1);
    TQuestionList list(TestFileFormat::MaxQuestions, one[0]);
    TTestInfo info = TTestInfo::NewTestValues();
    SaveTestToFile(path, info, list);
    const QByteArray before = readFile(path);
    TQuestionList player;
    QVERIFY(loadBytes(before, player, true).Ok);
    QCOMPARE(player.size(), size_t(65535));

    list.push_back(one[0]);
    try {
        SaveTestToFile(path, info, list);
        QFAIL("saved a test the player cannot count");
    } catch (const ERangeError &e) {
        QCOMPARE(e.text(), QStringLiteral("Вопросов в тесте 65536, а тест может содержать не больше 65535"));
    }
    QCOMPARE(readFile(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"t.qe2"});
    QVERIFY_THROWS_EXCEPTION(ERangeError, SaveTestToBytes(info, list));
}

void TstTestFiles::errorsKeepQuestionsReadBefore()
{
    // A body whose third record has 1001 plain lines.
    LeBytes body;
    TQuestionList two = sampleTest(2);
    QByteArray records;
    {
        QBuffer b(&records);
        b.open(QIODevice::WriteOnly);
        for (auto &q : two)
            WriteQuestion(*q, b);
    }
    body.raw(records).u8(0).u32(1001);
    for (int i = 0; i < 1001; ++i)
        body.wide(QStringLiteral("x"));
    body.u32(0).u32(0);
    TTestInfo info = TTestInfo::NewTestValues();
    QByteArray header = SaveTestToBytes(info, {}).left(47);
    header[17] = 4;
    TQuestionList out;
    TTestLoadResult r = loadBytes(header + Compress(body), out);
    QVERIFY(!r.Ok);
    QCOMPARE(r.ErrorKind + ": " + r.ErrorText, QStringLiteral("ERangeError: Ошибка в структуре теста"));
    QCOMPARE(out.size(), size_t(2));
    QVERIFY(SameStoredQuestion(*out[1], *two[1]));
    QCOMPARE(r.ErrorQuestion, 2);
    QCOMPARE(r.ErrorOffset, qint64(records.size()));

    out.clear();
    r = loadBytes(header + "this is not bzip2 data at all", out);
    QCOMPARE(r.ErrorKind, QStringLiteral("EBZDecompressionError"));
    QCOMPARE(r.ErrorText, QStringLiteral("error -5"));
    QVERIFY(out.empty());
}

void TstTestFiles::randomDamageGivesOnlyDocumentedErrors()
{
    TTestInfo info = TTestInfo::NewTestValues();
    info.Password = QStringLiteral("pass");
    const QByteArray good = SaveTestToBytes(info, sampleTest(12));
    QRandomGenerator rng(20261208);
    int bodyFailures = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray bad = good;
        const int flips = 1 + int(rng.bounded(4));
        for (int f = 0; f < flips; ++f) {
            // Half of the damage in the header, where every field is meaningful.
            const int at = round % 2 ? int(rng.bounded(qint32(bad.size()))) : int(rng.bounded(60));
            bad[at] = char(rng.bounded(256));
        }
        TQuestionList out;
        const TTestLoadResult r = loadBytes(bad, out, round % 3 == 0);
        QVERIFY(r.HeaderCode >= 0 && r.HeaderCode <= 4);
        if (r.HeaderCode == 0 && !r.Ok) {
            QVERIFY2(BodyErrors.contains(r.ErrorKind), qPrintable(r.ErrorKind + ": " + r.ErrorText));
            ++bodyFailures;
        }
        if (r.HeaderCode != 0)
            QVERIFY(out.empty());
    }
    QVERIFY(bodyFailures > 50);
}

void TstTestFiles::everyTruncationFailsCleanly()
{
    TTestInfo info = TTestInfo::NewTestValues();
    const TQuestionList questions = sampleTest(5);
    const QByteArray good = SaveTestToBytes(info, questions);
    for (int len = 0; len < good.size(); len += (len < 60 ? 1 : len > good.size() - 20 ? 1 : 7)) {
        TQuestionList out;
        const TTestLoadResult r = loadBytes(good.left(len), out);
        QVERIFY2(!r.Ok, qPrintable(QString::number(len)));
        QCOMPARE(r.HeaderCode, len < 16 ? 1 : len < 47 ? 4 : 0);
        if (r.HeaderCode == 0)
            QCOMPARE(r.ErrorKind, QStringLiteral("EReadError"));
        // Whatever was kept is exactly what was saved.
        for (size_t i = 0; i < out.size(); ++i)
            QVERIFY(SameStoredQuestion(*out[i], *questions[i]));
    }
}

void TstTestFiles::failedSaveKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.qe2"));
    TTestInfo info = TTestInfo::NewTestValues();
    SaveTestToFile(path, info, sampleTest(4));
    const QByteArray before = readFile(path);

    // A question whose record cannot be written.
    TQuestionList broken = sampleTest(6);
    broken[4]->RightMarks = QStringLiteral("!");
    QVERIFY_THROWS_EXCEPTION(ERangeError, SaveTestToFile(path, info, broken));
    QCOMPARE(readFile(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"t.qe2"});

    TQuestionList withNull = sampleTest(2);
    withNull.push_back(nullptr);
    QVERIFY_THROWS_EXCEPTION(EQuizError, SaveTestToFile(path, info, withNull));
    QCOMPARE(readFile(path), before);

    // The disk refuses the data half-way (a file size limit stands in for a full disk).
    {
        const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 2000;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        QString kind;
        try {
            SaveTestToFile(path, info, sampleTest(200));
        } catch (const EQuizError &e) {
            kind = e.kind();
        }
        setrlimit(RLIMIT_FSIZE, &old);
        ::signal(SIGXFSZ, oldHandler);
        QCOMPARE(kind, QStringLiteral("EWriteError"));
        QCOMPARE(readFile(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"t.qe2"});
    }

    // A folder that cannot be written to.
    if (::geteuid() == 0)
        QSKIP("root writes into read-only folders");
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    QString kind;
    try {
        SaveTestToFile(path, info, sampleTest(8));
    } catch (const EQuizError &e) {
        kind = e.kind();
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(kind, QStringLiteral("EFOpenError"));
    QCOMPARE(readFile(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"t.qe2"});
}

void TstTestFiles::unreadablePaths()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.qe2"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A named pipe given as the test would block the open until someone writes to it.
    for (const QString &path : {QStringLiteral("/nonexistent/dir/x.qe2"), dir.path(), fifo}) {
        TTestInfo info;
        TQuestionList out;
        const TTestLoadResult r = LoadTestFromFile(path, info, out);
        QVERIFY2(!r.Ok, qPrintable(path));
        QCOMPARE(r.HeaderCode, 4);
        QCOMPARE(r.ErrorKind, QStringLiteral("EFOpenError"));
        QVERIFY(r.ErrorText.contains(QDir::toNativeSeparators(path)));
    }
}

void TstTestFiles::oversizeFieldsAreRefusedBeforeWriting_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<qint64>("length");
    QTest::addColumn<QString>("named");
    QTest::newRow("body") << "body" << Limit + 1 << "Body";
    // Beyond 4 GiB the stored length would wrap round to a small, wrong one.
    QTest::newRow("body over 4 GiB") << "body" << (qint64(1) << 32) + 16 << "Body";
    QTest::newRow("comment") << "comment" << Limit + 1 << "Comment";
    QTest::newRow("plain line") << "line" << Limit / 2 + 1 << "Plain line";
    QTest::newRow("title") << "title" << Limit + 1 << "Title";
    QTest::newRow("variant") << "variant" << Limit + 1 << "Variant";
}

void TstTestFiles::oversizeFieldsAreRefusedBeforeWriting()
{
    QFETCH(QString, field);
    QFETCH(qint64, length);
    QFETCH(QString, named);
    const ZeroPages zeros;
    QVERIFY(zeros.ok());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.qe2"));
    TTestInfo info = TTestInfo::NewTestValues();
    SaveTestToFile(path, info, sampleTest(3));
    const QByteArray before = readFile(path);

    TQuestionList list = sampleTest(3);
    setHugeField(*list[1], zeros, field, length);
    try {
        SaveTestToFile(path, info, list);
        QFAIL("saved a field no reader takes");
    } catch (const ERangeError &e) {
        QVERIFY2(e.text().startsWith(QStringLiteral("Question 2: ") + named + QStringLiteral(" too long to store")),
                 qPrintable(e.text()));
    }
    QCOMPARE(readFile(path), before);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"t.qe2"});
    QVERIFY_THROWS_EXCEPTION(ERangeError, SaveTestToBytes(info, list));

    // The record writer on its own refuses it before its first byte too.
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    QVERIFY_THROWS_EXCEPTION(ERangeError, WriteQuestion(*list[1], buf));
    QCOMPARE(out.size(), 0);
}

void TstTestFiles::fieldsAtTheLimitPass()
{
    const ZeroPages zeros;
    QVERIFY(zeros.ok());
    TQuestionList list = sampleTest(2);
    TNQuestion &q = *list[1];
    setHugeField(q, zeros, QStringLiteral("body"), Limit);
    setHugeField(q, zeros, QStringLiteral("comment"), Limit);
    setHugeField(q, zeros, QStringLiteral("line"), Limit / 2);
    setHugeField(q, zeros, QStringLiteral("title"), Limit);
    setHugeField(q, zeros, QStringLiteral("variant"), Limit);
    try {
        CheckQuestionFits(q);
    } catch (const ERangeError &e) {
        QFAIL(qPrintable(e.text()));
    }

    // Plain lines past the ones stored are not written, so they cannot be too long.
    TQuestionList extra = sampleTest(1);
    while (quint32(extra[0]->PlainLines.Count()) < TestFileFormat::MaxPlainLines)
        extra[0]->PlainLines.Add(QStringLiteral("line"));
    extra[0]->PlainLines.Add(zeros.text(Limit));
    TTestInfo info = TTestInfo::NewTestValues();
    TQuestionList back;
    QVERIFY(loadBytes(SaveTestToBytes(info, extra), back).Ok);
    QCOMPARE(quint32(back[0]->PlainLines.Count()), TestFileFormat::MaxPlainLines);
}

QTEST_GUILESS_MAIN(TstTestFiles)
#include "tst_TestFiles.moc"
