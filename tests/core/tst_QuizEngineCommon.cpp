// The model, the string routines, the header and the question record.
#include <QBuffer>
#include <QtTest>

#include "Ansi.h"
#include "BZStreams.h"
#include "QuizEngineCommon.h"
#include "testutil_core.h"

#include <sys/resource.h>
#include <unistd.h>

Q_DECLARE_METATYPE(TTestInfo)

namespace {
const QByteArray Magic("KMQuizEngineFile");

QBuffer *readerOver(QByteArray &bytes, QObject *parent)
{
    auto *b = new QBuffer(&bytes, parent);
    b->open(QIODevice::ReadOnly);
    return b;
}

TTestInfo starting() { return TTestInfo::StartingValues(); }

QByteArray recordBytes(const TNQuestion &q)
{
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    WriteQuestion(q, b);
    return out;
}

// Read q from bytes; the error kind, or "" on success.
QString readRecord(const QByteArray &bytes, TNQuestion &q)
{
    QByteArray copy = bytes;
    QBuffer b(&copy);
    b.open(QIODevice::ReadOnly);
    try {
        ReadQuestion(q, b);
        return {};
    } catch (const EQuizError &e) {
        return e.kind();
    }
}

// Keeps the address space small while a hostile length is read, so that
// allocating what the length claims fails instead of passing unnoticed.
class AddressSpaceCap {
public:
    explicit AddressSpaceCap(qint64 extraBytes)
    {
        getrlimit(RLIMIT_AS, &m_old);
        QFile statm(QStringLiteral("/proc/self/statm"));
        statm.open(QIODevice::ReadOnly);
        const qint64 pages = statm.readAll().split(' ').value(0).toLongLong();
        rlimit cap = m_old;
        cap.rlim_cur = rlim_t(pages * sysconf(_SC_PAGESIZE) + extraBytes);
        m_ok = pages > 0 && setrlimit(RLIMIT_AS, &cap) == 0;
    }
    ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &m_old); }
    bool ok() const { return m_ok; }
private:
    rlimit m_old{};
    bool m_ok = false;
};
}

class TstQuizEngineCommon : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void newTestValues();
    void wideStrings();
    void assignMakesWorkingCopy();
    void replaceObjectMarks_data();
    void replaceObjectMarks();
    void calcIQCount();

    void stringsRoundTrip();

    void readHeader_data();
    void readHeader();
    void writeHeaderBytes();
    void writeHeaderRewindsAndSetsVersion();
    void passwords_data();
    void passwords();
    void scrambleRules();
    void writerRefusesUnreadablePassword();
    void headerMessages();

    void questionRoundTrip();
    void questionRecordBytes();
    void informationItemHasNoKey();
    void plainLineLimit();
    void hostileLengths();
    void failedReadLeavesQuestion();
    void keyMustMatchVariants();
};

void TstQuizEngineCommon::newTestValues()
{
    const TTestInfo t = TTestInfo::NewTestValues();
    QVERIFY(t.Password.isEmpty());
    QCOMPARE(t.RandomCount, quint16(0xFFFF));
    QCOMPARE(t.ReservedWord, quint16(10));
    QCOMPARE(t.TimeLimit, quint8(10));
    QCOMPARE(t.Version, quint8(11));
    QCOMPARE(t.Zoom, quint8(100));
    QCOMPARE(t.QWidth, quint16(500));
    QCOMPARE(t.QHeight, quint16(300));
    QCOMPARE(t.Options, quint16(RandomVOrder));
    QCOMPARE(t.QuestionCount, 0u);
    const TTestInfo s = TTestInfo::StartingValues();
    QCOMPARE(s.Zoom, quint8(100));
    QCOMPARE(s.RandomCount, quint16(0));
    QCOMPARE(s.Version, quint8(0));
}

void TstQuizEngineCommon::wideStrings()
{
    TWideStrings w;
    QCOMPARE(w.Add(QStringLiteral("a")), 0);
    QCOMPARE(w.Add(QStringLiteral("b")), 1);
    QCOMPARE(w.Get(1), QStringLiteral("b"));
    QCOMPARE(w.Get(2), QString());
    QCOMPARE(w.Get(-1), QString());
    w.Put(0, QStringLiteral("z"));
    w.Put(2, QStringLiteral("c"));  // Count appends
    QCOMPARE(w.items(), QStringList({"z", "b", "c"}));
    for (int bad : {4, -1, 100}) {
        try {
            w.Put(bad, QStringLiteral("x"));
            QFAIL("Put outside 0..Count must fail");
        } catch (const EListError &e) {
            QCOMPARE(e.text(), QStringLiteral("WideString index out of bounds"));
        }
    }
    QCOMPARE(w.Count(), 3);
    w.Clear();
    QCOMPARE(w.Count(), 0);
}

void TstQuizEngineCommon::assignMakesWorkingCopy()
{
    TQuestionPtr src = MakeQuestion(3, 4, 100, true, true);
    src->UserMarks = QStringLiteral("! ! ");
    TNQuestion copy;
    copy.Assign(*src);
    QCOMPARE(copy.Body, src->Body);
    QCOMPARE(copy.PlainLines.Count(), 1);
    QCOMPARE(copy.PlainLines.Get(0), src->PlainLines.Get(0));
    QCOMPARE(copy.Variants, src->Variants);
    QCOMPARE(copy.RightMarks, src->RightMarks);
    QCOMPARE(copy.UserMarks, src->UserMarks);
    QVERIFY(!copy.Comment.has_value());
    QVERIFY(!copy.HasTitle);
    QVERIFY(copy.Title.isEmpty());
    // The copy is independent of its source.
    src->Body[0] = char(src->Body[0] + 1);
    src->Variants[0] = QStringLiteral("changed");
    QVERIFY(copy.Body != src->Body);
    QVERIFY(copy.Variants[0] != src->Variants[0]);

    TNQuestion fromEmpty;
    fromEmpty.Assign(TNQuestion());
    QCOMPARE(fromEmpty.PlainLines.Count(), 1);
    QCOMPARE(fromEmpty.PlainLines.Get(0), QString());
}

void TstQuizEngineCommon::replaceObjectMarks_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");
    const QString m(QChar(0xFFFC));
    QTest::newRow("empty") << QString() << ObjectMarkText << QString();
    QTest::newRow("only object") << m << ObjectMarkText << QStringLiteral("[объект]");
    QTest::newRow("two in text") << ("a" + m + "b" + m) << ObjectMarkText << QStringLiteral("a[объект]b[объект]");
    QTest::newRow("replacement holds a mark") << (m + m) << ("<" + m + ">") << ("<" + m + "><" + m + ">");
    QTest::newRow("nothing to do") << QStringLiteral("текст") << ObjectMarkText << QStringLiteral("текст");
}

void TstQuizEngineCommon::replaceObjectMarks()
{
    QFETCH(QString, text);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);
    QCOMPARE(ReplaceObjectMarks(text, replacement), expected);
}

void TstQuizEngineCommon::calcIQCount()
{
    TQuestionList list{MakeQuestion(1, 0), MakeQuestion(2, 3), MakeQuestion(3, 0)};
    QCOMPARE(CalcIQCount(list), 2u);
    QCOMPARE(CalcIQCount({MakeQuestion(1, 0)}), 1u);
    QCOMPARE(CalcIQCount({}), 0u);
}

void TstQuizEngineCommon::stringsRoundTrip()
{
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    WriteAnsiString(QStringLiteral("Привет"), b);
    WriteWideString(QStringLiteral("Ж\U0001F600"), b);
    WriteAnsiString(QString(), b);
    b.close();
    const QByteArray expected = LeBytes().ansi("\xcf\xf0\xe8\xe2\xe5\xf2").wide(QStringLiteral("Ж\U0001F600")).u32(0);
    QCOMPARE(bytes, expected);
    QCOMPARE(bytes.mid(10, 4), QByteArray("\x03\0\0\0", 4));  // code units, not characters
    b.open(QIODevice::ReadOnly);
    QCOMPARE(ReadAnsiString(b), QStringLiteral("Привет"));
    QCOMPARE(ReadWideString(b), QStringLiteral("Ж\U0001F600"));
    QCOMPARE(ReadAnsiString(b), QString());
    QVERIFY_THROWS_EXCEPTION(EReadError, ReadAnsiString(b));
}

void TstQuizEngineCommon::readHeader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("code");
    QTest::addColumn<TTestInfo>("expected");
    QTest::addColumn<int>("bodyOffset");

    const QByteArray reserved("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    const std::array<quint8, 8> reservedArr{1, 2, 3, 4, 5, 6, 7, 8};

    TTestInfo v11 = starting();
    v11.Version = 11; v11.QuestionCount = 5; v11.IQCount = 1; v11.RandomCount = 3; v11.Options = 0x25;
    v11.TimeLimit = 15; v11.ReservedWord = 10; v11.ReservedBytes = reservedArr; v11.Zoom = 120;
    v11.QWidth = 640; v11.QHeight = 480; v11.QScrollBars = 2;
    QTest::newRow("v11") << LeBytes().raw(Magic).u8(11).u32(5).u32(1).u16(3).u16(0x25).u8(15).u16(10).raw(reserved)
                                .u8(120).u16(640).u16(480).u8(2).u8(0).raw("BZh1").bytes()
                         << 0 << v11 << 47;

    TTestInfo v10 = starting();
    v10.Version = 10; v10.Options = 0x13; v10.TimeLimit = 20; v10.ReservedWord = 7; v10.ReservedBytes = reservedArr;
    v10.QuestionCount = 9; v10.IQCount = 2; v10.Zoom = 80; v10.QWidth = 800; v10.QHeight = 600; v10.QScrollBars = 3;
    QTest::newRow("v10 without RandomCount")
        << LeBytes().raw(Magic).u8(10).u16(0x13).u8(20).u16(7).raw(reserved).u32(9).u32(2).u8(80).u16(800).u16(600)
               .u8(3).u8(0).raw("BZh1").bytes()
        << 0 << v10 << 45;

    TTestInfo v9 = starting();
    v9.Version = 9; v9.Options = 0x07; v9.TimeLimit = 5; v9.ReservedWord = 10; v9.ReservedBytes = reservedArr;
    v9.QuestionCount = 4; v9.IQCount = 0;
    QTest::newRow("v9 without window fields")
        << LeBytes().raw(Magic).u8(9).u16(0x07).u8(5).u16(10).raw(reserved).u32(4).u32(0).u8(0).bytes()
        << 0 << v9 << 39;

    auto v78 = [&](quint8 version, quint8 sw1, quint8 sw2, quint8 sw3) {
        return LeBytes().raw(Magic).u8(version).u8(sw1).u16(7).u8(sw2).u8(sw3).u8(30).u16(10).raw(reserved)
            .u32(12).u32(3).u8(0).bytes();
    };
    auto v78info = [&](quint8 version, quint16 options) {
        TTestInfo t = starting();
        t.Version = version; t.RandomCount = 7; t.Options = options; t.TimeLimit = 30; t.ReservedWord = 10;
        t.ReservedBytes = reservedArr; t.QuestionCount = 12; t.IQCount = 3;
        return t;
    };
    QTest::newRow("v8 switch 3 = 2 counts whole questions")
        << v78(8, 1, 0, 2) << 0 << v78info(8, CanViewErrors | CountWholeQuestion) << 42;
    QTest::newRow("v8 switch 3 = 1") << v78(8, 0, 9, 1) << 0 << v78info(8, EnableBackNavigation | RandomVOrder) << 42;
    QTest::newRow("v8 switch 3 = 4 sets nothing") << v78(8, 0, 0, 4) << 0 << v78info(8, 0) << 42;
    QTest::newRow("v7 switch 3 = 2 is random variant order")
        << v78(7, 0, 5, 2) << 0 << v78info(7, EnableBackNavigation | RandomVOrder) << 42;
    QTest::newRow("v7 all switches") << v78(7, 200, 1, 1) << 0
                                     << v78info(7, CanViewErrors | EnableBackNavigation | RandomVOrder) << 42;

    TTestInfo none = starting();
    QTest::newRow("empty file") << QByteArray() << 1 << none << -1;
    QTest::newRow("shorter than magic") << QByteArray("KMQuizEngine") << 1 << none << -1;
    QTest::newRow("magic in other case") << LeBytes().raw("kmquizenginefile").u8(11).bytes() << 1 << none << -1;
    QTest::newRow("foreign file") << QByteArray("PK\x03\x04 some zip archive here") << 1 << none << -1;
    QTest::newRow("version 6") << LeBytes().raw(Magic).u8(6).raw(QByteArray(40, 0)).bytes() << 2 << none << -1;
    QTest::newRow("version 0") << LeBytes().raw(Magic).u8(0).bytes() << 2 << none << -1;
    QTest::newRow("version 12") << LeBytes().raw(Magic).u8(12).raw(QByteArray(40, 0)).bytes() << 3 << none << -1;
    QTest::newRow("version 255, nothing else") << LeBytes().raw(Magic).u8(255).bytes() << 3 << none << -1;
    QTest::newRow("magic only") << Magic << 4 << none << -1;
    QTest::newRow("v11 cut in the middle")
        << LeBytes().raw(Magic).u8(11).u32(5).u32(1).u16(3).u16(0).u8(1).bytes() << 4 << none << -1;
    QTest::newRow("password cut short")
        << LeBytes().raw(Magic).u8(9).u16(0).u8(5).u16(10).raw(reserved).u32(4).u32(0).u8(10).raw("0a5b").bytes()
        << 4 << none << -1;
}

void TstQuizEngineCommon::readHeader()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, code);
    QFETCH(TTestInfo, expected);
    QFETCH(int, bodyOffset);
    QBuffer *b = readerOver(bytes, this);
    if (!bytes.isEmpty())
        b->seek(3);  // the reader rewinds by itself
    TTestInfo info = TTestInfo::NewTestValues();
    QCOMPARE(ReadTestHeader(*b, info), code);
    if (code == 0) {
        QCOMPARE(info, expected);
        QCOMPARE(b->pos(), qint64(bodyOffset));
    }
}

void TstQuizEngineCommon::writeHeaderBytes()
{
    TTestInfo t = TTestInfo::NewTestValues();
    t.QuestionCount = 0x01020304;
    t.IQCount = 2;
    t.RandomCount = 0xFFFF;
    t.Options = 0x7F;
    t.TimeLimit = 120;
    t.ReservedWord = 0xBEEF;
    t.ReservedBytes.fill(0xAA);  // never reaches the disk
    t.Zoom = 150;
    t.QWidth = 1024;
    t.QHeight = 768;
    t.QScrollBars = 1;
    t.Password = QStringLiteral("abc");
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    WriteTestHeader(b, t);
    const QByteArray expected = LeBytes().raw(Magic).u8(11).u32(0x01020304).u32(2).u16(0xFFFF).u16(0x7F).u8(120)
                                    .u16(0xBEEF).raw(QByteArray(8, 0)).u8(150).u16(1024).u16(768).u8(1).u8(6)
                                    .raw("0a5b45");
    QCOMPARE(out, expected);

    t.Password.clear();
    out.clear();
    b.seek(0);
    WriteTestHeader(b, t);
    QCOMPARE(out.size(), 47);
    QCOMPARE(out.at(46), '\0');
}

void TstQuizEngineCommon::writeHeaderRewindsAndSetsVersion()
{
    TTestInfo t = TTestInfo::NewTestValues();
    t.Version = 8;
    QByteArray out(100, 'x');
    QBuffer b(&out);
    b.open(QIODevice::ReadWrite);
    b.seek(60);
    WriteTestHeader(b, t);
    QCOMPARE(t.Version, quint8(11));
    QVERIFY(out.startsWith(Magic));
    QCOMPARE(b.pos(), qint64(47));
    b.seek(10);
    TTestInfo back;
    QCOMPARE(ReadTestHeader(b, back), 0);
    QCOMPARE(back, t);
}

void TstQuizEngineCommon::passwords_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("storedLength");
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("14 characters") << QStringLiteral("Secret_pass_14") << 28;
    QTest::newRow("20 characters, old editor") << QStringLiteral("abcdefghij0123456789") << 40;
    QTest::newRow("cyrillic") << QStringLiteral("Пароль") << 12;
}

void TstQuizEngineCommon::passwords()
{
    QFETCH(QString, password);
    QFETCH(int, storedLength);
    TTestInfo t = TTestInfo::NewTestValues();
    t.Password = password;
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::ReadWrite);
    WriteTestHeader(b, t);
    QCOMPARE(int(uchar(out.at(46))), storedLength);
    QCOMPARE(out.size(), 47 + storedLength);
    const QByteArray stored = out.mid(47);
    QCOMPARE(stored, stored.toLower());
    TTestInfo back;
    QCOMPARE(ReadTestHeader(b, back), 0);
    QCOMPARE(back.Password, password);
}

void TstQuizEngineCommon::scrambleRules()
{
    QCOMPARE(ScramblePassword(PasswordKey, "abc"), QByteArray("0a5b45"));
    QCOMPARE(ScramblePassword(QByteArray(), "AZ"), QByteArray("415a"));
    QCOMPARE(ScramblePassword(PasswordKey, QByteArray()), QByteArray());
    QCOMPARE(UnscramblePassword(PasswordKey, "0A5B45"), QByteArray("abc"));
    QCOMPARE(UnscramblePassword(PasswordKey, "0a5b4"), QByteArray("ab"));  // odd digit dropped
    QCOMPARE(UnscramblePassword(PasswordKey, "zz"), QByteArray(1, char(32 ^ 'k')));
    QCOMPARE(UnscramblePassword(PasswordKey, "0az1"), QByteArray("a") + char(32 ^ '9'));
    QCOMPARE(UnscramblePassword(QByteArray(), "415a"), QByteArray("AZ"));
    const QByteArray all = [] { QByteArray a; for (int i = 0; i < 256; ++i) a += char(i); return a; }();
    QCOMPARE(UnscramblePassword(PasswordKey, ScramblePassword(PasswordKey, all)), all);

    // Stored lengths: 40 is the longest the readers take.
    const auto withStored = [](const QByteArray &stored) {
        return LeBytes().raw(Magic).u8(11).raw(QByteArray(29, 0)).u8(quint8(stored.size())).raw(stored).bytes();
    };
    QByteArray forty = withStored(QByteArray(40, '1'));
    QByteArray fortyOne = withStored(QByteArray(41, '1'));
    TTestInfo t;
    QCOMPARE(ReadTestHeader(*readerOver(forty, this), t), 0);
    QCOMPARE(t.Password.size(), 20);
    QCOMPARE(ReadTestHeader(*readerOver(fortyOne, this), t), 4);
}

void TstQuizEngineCommon::writerRefusesUnreadablePassword()
{
    // 21 characters scramble to 42 bytes, more than any reader takes: such a
    // header must not be written at all rather than saved unreadable.
    TTestInfo t = TTestInfo::NewTestValues();
    t.Password = QStringLiteral("abcdefghij0123456789X");
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    QVERIFY_THROWS_EXCEPTION(ERangeError, WriteTestHeader(b, t));
    QVERIFY(out.isEmpty());

    TQuestionList none;
    QVERIFY_THROWS_EXCEPTION(ERangeError, SaveTestToBytes(t, none));
}

void TstQuizEngineCommon::headerMessages()
{
    QCOMPARE(HeaderResultMessage(1), QStringLiteral("Ошибка чтения. Файл не был создан редактором тестов."));
    QVERIFY(HeaderResultMessage(2).startsWith(QStringLiteral("Файл создан устаревшей версией Экзаменовки.\r")));
    QVERIFY(HeaderResultMessage(3).endsWith(QStringLiteral("\rУстановите более новую версию программы.")));
    QCOMPARE(HeaderResultMessage(4), QStringLiteral("Ошибка чтения файла."));
    QVERIFY(HeaderResultMessage(0).isEmpty());
}

void TstQuizEngineCommon::questionRoundTrip()
{
    const TQuestionPtr samples[] = {MakeQuestion(1, 4, 300, true, true), MakeQuestion(2, 0, 0),
                                    MakeQuestion(3, 10, 5000, false, true), MakeQuestion(4, 1, 10, true)};
    for (const TQuestionPtr &q : samples) {
        TNQuestion back;
        QCOMPARE(readRecord(recordBytes(*q), back), QString());
        QVERIFY(SameStoredQuestion(back, *q));
        QVERIFY(back.ContentReady);
        QVERIFY(back.UserMarks.isEmpty());
    }
}

void TstQuizEngineCommon::questionRecordBytes()
{
    TNQuestion q;
    q.PlainLines.Add(QStringLiteral("Да"));
    q.Body = "{\\rtf1}";
    q.Comment = QByteArray("c");
    q.HasTitle = true;
    q.Title = QStringLiteral("Т");
    q.Variants = {QStringLiteral("Да"), QStringLiteral("Нет")};
    q.RightMarks = QStringLiteral("! ");
    q.UserMarks = QStringLiteral("!!");  // never stored
    const QByteArray expected = LeBytes().u8(3).u32(1).wide(QStringLiteral("Да")).ansi("{\\rtf1}").ansi("c")
                                    .ansi("\xd2").u32(2).ansi("\xc4\xe0").ansi("\xcd\xe5\xf2").ansi("! ");
    QCOMPARE(recordBytes(q), expected);
}

void TstQuizEngineCommon::informationItemHasNoKey()
{
    TNQuestion info;
    info.Body = "x";
    const QByteArray bytes = recordBytes(info);
    QCOMPARE(bytes, LeBytes().u8(0).u32(0).ansi("x").u32(0).bytes());
    TNQuestion back;
    back.RightMarks = QStringLiteral("!!");
    back.Variants = {QStringLiteral("old"), QStringLiteral("old")};
    QCOMPARE(readRecord(bytes, back), QString());
    QVERIFY(back.RightMarks.isEmpty());
    QVERIFY(back.IsInformation());
}

void TstQuizEngineCommon::plainLineLimit()
{
    auto withLines = [](quint32 n) {
        LeBytes b;
        b.u8(0).u32(n);
        for (quint32 i = 0; i < n; ++i)
            b.wide(QStringLiteral("l"));
        return b.u32(0).u32(0).bytes();
    };
    TNQuestion q;
    QCOMPARE(readRecord(withLines(1000), q), QString());
    QCOMPARE(q.PlainLines.Count(), 1000);
    try {
        QByteArray bytes = withLines(1001);
        QBuffer b(&bytes);
        b.open(QIODevice::ReadOnly);
        ReadQuestion(q, b);
        QFAIL("1001 plain lines must be refused");
    } catch (const ERangeError &e) {
        QCOMPARE(e.message(), QStringLiteral("ERangeError: Ошибка в структуре теста"));
    }

    // The writer never stores more than readers take.
    TNQuestion many;
    for (int i = 0; i < 1005; ++i)
        many.PlainLines.Add(QString::number(i));
    TNQuestion back;
    QCOMPARE(readRecord(recordBytes(many), back), QString());
    QCOMPARE(back.PlainLines.Count(), 1000);
    QCOMPARE(back.PlainLines.Get(999), QStringLiteral("999"));
}

void TstQuizEngineCommon::hostileLengths()
{
#ifndef __SANITIZE_ADDRESS__  // the sanitizer reserves address space of its own
    AddressSpaceCap cap(qint64(256) << 20);
    QVERIFY(cap.ok());
#endif
    TNQuestion q;
    const QByteArray tail(100, 'x');
    // Random-access data: refused before anything is allocated.
    QCOMPARE(readRecord(LeBytes().u8(0).u32(0).u32(0x7FFFFFFF).raw(tail), q), QStringLiteral("EReadError"));
    QCOMPARE(readRecord(LeBytes().u8(1).u32(0).u32(0).u32(0xFFFFFFFF).raw(tail), q), QStringLiteral("EReadError"));
    QCOMPARE(readRecord(LeBytes().u8(0).u32(1).u32(0x7FFFFFFF).raw(tail), q), QStringLiteral("EReadError"));
    QCOMPARE(readRecord(LeBytes().u8(0).u32(0).u32(0).u32(0x7FFFFFFF).raw(tail), q), QStringLiteral("ERangeError"));
    QCOMPARE(readRecord(LeBytes().u8(0).u32(0).u32(0).u32(2).ansi("a").u32(0x7FFFFFF0).raw(tail), q),
             QStringLiteral("EReadError"));

    QCOMPARE(readRecord(LeBytes().u8(0).u32(0).u32(0x70000000).raw(tail), q), QStringLiteral("EReadError"));

    // The same behind bzip2, where the remaining length is unknown.
    for (quint32 length : {0x7FFFFFFFu, 0x70000000u, 0x10000000u}) {
        QByteArray packed = Compress(LeBytes().u8(0).u32(0).u32(length).raw(QByteArray(3 << 20, 'x')));
        QBuffer src(&packed);
        src.open(QIODevice::ReadOnly);
        QString kind;
        try {
            TBZDecompressionStream z(src);
            ReadQuestion(q, z);
        } catch (const EQuizError &e) {
            kind = e.kind();
        } catch (const std::bad_alloc &) {
            kind = QStringLiteral("bad_alloc");
        }
        QCOMPARE(kind, QStringLiteral("EReadError"));
    }
}

void TstQuizEngineCommon::failedReadLeavesQuestion()
{
    TQuestionPtr q = MakeQuestion(5, 3, 50, true, true);
    const TNQuestion before = *q;
    QByteArray bytes = recordBytes(*MakeQuestion(6, 2, 80, true, true));
    for (int cut : {1, 5, 20, int(bytes.size()) - 1}) {
        QVERIFY(!readRecord(bytes.left(cut), *q).isEmpty());
        QVERIFY(SameStoredQuestion(*q, before));
    }
    // An existing comment and title stay when the record carries none.
    QCOMPARE(readRecord(recordBytes(*MakeQuestion(7, 2)), *q), QString());
    QCOMPARE(q->Comment, before.Comment);
    QVERIFY(q->HasTitle);
    QCOMPARE(q->Variants, MakeQuestion(7, 2)->Variants);
}

void TstQuizEngineCommon::keyMustMatchVariants()
{
    TNQuestion q;
    const QByteArray shortKey = LeBytes().u8(0).u32(0).u32(0).u32(2).ansi("a").ansi("b").ansi("!");
    QCOMPARE(readRecord(shortKey, q), QStringLiteral("ERangeError"));
    TNQuestion bad;
    bad.Variants = {QStringLiteral("a"), QStringLiteral("b")};
    bad.RightMarks = QStringLiteral("!");
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    QVERIFY_THROWS_EXCEPTION(ERangeError, WriteQuestion(bad, b));
}

QTEST_GUILESS_MAIN(TstQuizEngineCommon)
#include "tst_QuizEngineCommon.moc"
