// Writes seed inputs that are easiest made with the library itself:
// test files of every header version, question records, a configuration
// file, a program with a resource trailer, rich-text records with a picture
// object and their storages, the default word-processor template. Usage: fuzz_seeds OUTDIR
#include "AnswersJournal.h"
#include "BZStreams.h"
#include "DocxZip.h"
#include "QuizEngineCommon.h"
#include "ResourceTrailer.h"
#include "ResultsFile.h"
#include "RichObjects.h"
#include "RichRecord.h"
#include "RunJournal.h"
#include "RtfReader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdio>

namespace {
QDir out;

void put(const QString &folder, const QString &name, const QByteArray &bytes)
{
    out.mkpath(folder);
    QFile f(out.filePath(folder + '/' + name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
        std::exit(1);
    }
}

struct Le {
    QByteArray b;
    Le &u8(quint8 v) { b.append(char(v)); return *this; }
    Le &u16(quint16 v) { return u8(quint8(v)).u8(quint8(v >> 8)); }
    Le &u32(quint32 v) { return u16(quint16(v)).u16(quint16(v >> 16)); }
    Le &raw(const QByteArray &r) { b.append(r); return *this; }
};

TQuestionPtr question(int n, int variants, const QByteArray &body)
{
    auto q = std::make_shared<TNQuestion>();
    q->PlainLines.Add(QStringLiteral("Вопрос %1").arg(n));
    q->Body = body;
    for (int i = 0; i < variants; ++i) {
        q->Variants.append(QStringLiteral("Ответ %1").arg(i + 1));
        q->RightMarks.append(i == 0 ? '!' : ' ');
    }
    if (n % 2) {
        q->Comment = QByteArray("{\\rtf1 comment}");
        q->HasTitle = true;
        q->Title = QStringLiteral("Заголовок");
    }
    return q;
}

QByteArray recordBytes(const TNQuestion &q)
{
    QByteArray b;
    QBuffer buf(&b);
    buf.open(QIODevice::WriteOnly);
    WriteQuestion(q, buf);
    return b;
}

QByteArray packed(const TQuestionList &qs)
{
    QByteArray b;
    QBuffer buf(&b);
    buf.open(QIODevice::WriteOnly);
    {
        TBZCompressionStream z(buf);
        for (const auto &q : qs)
            WriteQuestion(*q, z);
        z.finish();
    }
    return b;
}

QByteArray oldHeader(int version, quint32 count, quint32 iq, const QByteArray &scrambled)
{
    Le h;
    h.raw("KMQuizEngineFile").u8(quint8(version));
    if (version <= 8) {
        h.u8(1).u16(0xFFFF).u8(1).u8(version == 8 ? 3 : 1).u8(10).u16(0);
        h.raw(QByteArray(8, '\0')).u32(count).u32(iq);
    } else {
        h.u16(0x7F).u8(5).u16(0).raw(QByteArray(8, '\0')).u32(count).u32(iq);
        if (version == 10)
            h.u8(120).u16(640).u16(480).u8(3);
    }
    h.u8(quint8(scrambled.size())).raw(scrambled);
    return h.b;
}

QByteArray rtfRecord(const QByteArray &rtf)
{
    QTextDocument doc;
    RichText::ReadRtf(rtf, doc);
    return RichText::SaveRecord(doc);
}
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUTDIR\n");
        return 2;
    }
    out = QDir(QString::fromLocal8Bit(argv[1]));
    out.mkpath(QStringLiteral("."));

    QImage img(24, 16, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        p.fillRect(4, 4, 10, 6, Qt::blue);
    }
    const RichText::TRichObject pic = RichText::PictureObject(img);
    QTextDocument withPicture;
    {
        QTextCursor c(&withPicture);
        c.insertText(QStringLiteral("Рисунок: "));
        c.insertText(QString(QChar::ObjectReplacementCharacter), RichText::ObjectFormat(pic));
        c.insertText(QStringLiteral(" конец"));
    }
    const QByteArray picRecord = RichText::SaveRecord(withPicture);
    const QByteArray textRecord = rtfRecord("{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0 Arial;}}"
                                            "{\\colortbl;\\red255\\green0\\blue0;}"
                                            "\\f0\\fs24 plain \\b bold\\b0 \\cf1 red\\par"
                                            "\\'c2\\'ee\\'ef\\'f0\\'ee\\u1089?\\par}");

    TQuestionList qs{question(1, 3, textRecord), question(2, 0, picRecord), question(3, 2, textRecord)};
    // The editor's clipboard block: byte count, then each question's size, record and bad-state byte.
    QByteArray nodes;
    for (const auto &q : qs) {
        const QByteArray rec = recordBytes(*q);
        nodes += Le().u32(quint32(rec.size() + 1)).raw(rec).u8(q->Variants.isEmpty() ? 1 : 0).b;
    }
    put("clipboard", "three", Le().u32(quint32(nodes.size())).raw(nodes).b);

    // Test files.
    TTestInfo info = TTestInfo::NewTestValues();
    info.Password = QStringLiteral("пароль");
    put("testfile", "v11.qe2", SaveTestToBytes(info, qs));
    TTestInfo empty = TTestInfo::NewTestValues();
    put("testfile", "v11-empty.qe2", SaveTestToBytes(empty, {}));
    const QByteArray scrambled = ScramblePassword(PasswordKey, QByteArray("abc"));
    for (int v = 7; v <= 10; ++v)
        put("testfile", QStringLiteral("v%1.qe2").arg(v),
            oldHeader(v, quint32(qs.size()), CalcIQCount(qs), scrambled) + packed(qs));

    // Question records.
    for (size_t i = 0; i < qs.size(); ++i)
        put("question", QStringLiteral("q%1.rec").arg(i), recordBytes(*qs[i]));

    // Rich-text records and storages.
    put("richrecord", "picture.rec", picRecord);
    put("richrecord", "text.rec", textRecord);
    put("storage", "picture.cfb", pic.storage);
    put("storage", "streams.cfb",
        RichText::BuildStorage(QByteArray(16, '\x11'),
                               {{QByteArray("\x01" "CompObj"), QByteArray(64, 'c')},
                                {QByteArray("CONTENTS"), QByteArray(700, 'x')}}));

    // Run journals: mid-test with answers, and in the save with its line's time.
    TRunJournal j;
    j.TestHash = TestHash(SaveTestToBytes(info, qs));
    j.TestPath = QStringLiteral("/школа/тест.qe2");
    j.ResultsPath = QStringLiteral("/школа/тест.res");
    j.LastName = QStringLiteral("Иванов");
    j.FirstName = QStringLiteral("Иван");
    j.Patronymic = QStringLiteral("Иванович");
    j.AskedCount = 2;
    j.CurQuestion = 2;
    j.SecondsLeft = 300;
    j.Items = {{1, {}, {}}, {0, {2, 0, 1}, QStringLiteral(" ! ")}, {2, {1, 0}, {}}};
    put("journal", "answering.qrj", WriteJournal(j));
    j.Phase = JournalFormat::PhaseSaving;
    j.ResultTime = 1796000000000;
    put("journal", "saving.qrj", WriteJournal(j));

    // Configuration file.
    TKMQuizEngineConfig cfg;
    cfg.AccessPassword = QStringLiteral("demo");
    cfg.ConfigText = QStringLiteral("Школа №1");
    cfg.ConfigFlag = 1;
    const QString cfgPath = out.filePath(QStringLiteral("config/KMQuizEngine2.ini"));
    out.mkpath(QStringLiteral("config"));
    cfg.SaveToFile(cfgPath);

    // A small "program" with a trailer.
    out.mkpath(QStringLiteral("trailer"));
    const QString prog = out.filePath(QStringLiteral("trailer/.program"));
    put("trailer", ".program", QByteArray("\x7f" "ELF not really a program", 25));
    ResourceTrailer::AddResources(prog, out.filePath(QStringLiteral("trailer/embedded.bin")),
                                  {{QStringLiteral("TEST"), SaveTestToBytes(empty, {})},
                                   {QStringLiteral("TESTNAME"), QByteArray("demo")}});
    QFile::remove(prog);

    // The default word-processor template, zipped and as 0x01-separated parts
    // in the order fuzz_template names them.
    const char *const names[] = {
        "[Content_Types].xml", "_rels/.rels", "word/document.xml", "word/_rels/document.xml.rels",
        "word/styles.xml", "word/numbering.xml", "word/settings.xml", "word/header1.xml",
        "word/_rels/header1.xml.rels", "word/media/image1.png", "docProps/core.xml", "docProps/app.xml",
    };
    Docx::TZipEntries entries;
    QByteArray parts;
    for (const char *name : names) {
        QFile f(QStringLiteral(QE_TEMPLATE_DIR "/") + QLatin1String(name));
        const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        if (!bytes.isEmpty())
            entries.append({QLatin1String(name), bytes});
        if (name != names[0])
            parts.append('\x01');
        parts.append(bytes);
    }
    put("template", "parts", parts);
    put("template", "zip", 'Z' + Docx::WriteZip(entries));

    // A results file as the player writes it, with a cut last line.
    QByteArray results = ResultsHeaderLine();
    for (int n = 0; n < 4; ++n) {
        TResultRecord r;
        r.When = QDateTime(QDate(2026, 12, 7 + n), QTime(9 + n, 5));
        r.TestName = QStringLiteral("Химия");
        r.LastName = n % 2 ? QStringLiteral("Ёлкин") : QStringLiteral("Иванов");
        r.FirstName = QStringLiteral("Пётр");
        r.Extra = QStringLiteral("9А");
        r.Score = quint16(n * 700);
        r.PossibleScore = quint16(n == 3 ? 1 : 3);
        results += ResultsDataLine(r);
    }
    put("results", "class.res", results + results.left(40));

    // An answers journal of four runs, shuffled, one question unanswered, a cut last line.
    QByteArray answers;
    for (int n = 0; n < 4; ++n) {
        TAnswersRecord a;
        a.When = QDateTime(QDate(2026, 12, 10), QTime(9, n, 30));
        a.TestName = QStringLiteral("Химия");
        a.TestHash = QString(64, QChar(char16_t(u'a' + n % 2)));
        a.LastName = n % 2 ? QStringLiteral("Ёлкин") : QStringLiteral("Иванов");
        a.Extra = QStringLiteral("9А");
        a.WholeQuestions = n == 3;
        a.Score = n;
        a.PossibleScore = 3;
        for (int q = 0; q < 3; ++q) {
            TAnswerItem it;
            it.Position = q + 2;
            it.TextHash = QStringLiteral("0123456789abcde") + QChar(char16_t(u'0' + q));
            it.TextStart = QStringLiteral("Вопрос %1").arg(q + 1);
            it.Order = q == 1 ? QList<int>{2, 0, 1} : QList<int>{0, 1, 2};
            it.Key = QStringLiteral(" ! ");
            it.Marks = q == n ? QString() : q < n ? QStringLiteral(" ! ") : QStringLiteral("! !");
            a.Items.append(it);
        }
        answers += AnswersJournal::RecordLine(a);
    }
    put("answers", "class.answers", answers + answers.left(60));
    return 0;
}
