// The editor's document: caption, modified flag and lock, new, open, save.
#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "BZStreams.h"
#include "QuizDocument.h"
#include "TestFileFormat.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Bodies that bzip2 cannot shrink, so a cut file ends inside the questions,
// several compressed blocks after the first.
QByteArray noise(int size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray b(size, Qt::Uninitialized);
    for (char &c : b)
        c = char(gen.bounded(256));
    return b;
}

TQuestionPtr libQuestion(int i)
{
    auto q = std::make_shared<TNQuestion>();
    q->PlainLines.Add(QStringLiteral("Вопрос %1").arg(i));
    q->Body = noise(30000 + 1000 * i, quint32(i + 1));
    switch (i % 4) {
    case 0: break;                                                      // information item
    case 1: q->Variants = {"да", "нет"}; q->RightMarks = "! "; break;   // good
    case 2: q->Variants = {"один"}; q->RightMarks = "!"; break;         // faulty: one variant
    case 3: q->Variants = {"a", "b", "c"}; q->RightMarks = "   "; break;  // faulty: none marked
    }
    return q;
}

TQuestionList libTest(int n)
{
    TQuestionList list;
    for (int i = 0; i < n; ++i)
        list.push_back(libQuestion(i));
    return list;
}

// A test file written by the library alone.
QString writeTest(const QString &path, int n, const QString &password = {}, quint8 timeLimit = 10)
{
    TTestInfo info = TTestInfo::NewTestValues();
    info.Password = password;
    info.TimeLimit = timeLimit;
    SaveTestToFile(path, info, libTest(n));
    return path;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The uncompressed question records of a test file.
QByteArray questionRecords(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    TTestInfo info;
    if (ReadTestHeader(f, info) != hrOk)
        return {};
    TBZDecompressionStream z(f);
    QByteArray out;
    char buf[65536];
    while (!z.atEnd()) {
        const qint64 n = z.read(buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, n);
    }
    return out;
}

QByteArray bodyOf(const QString &text) { return ("{\\rtf1 " + text + "}").toUtf8(); }

std::unique_ptr<TNQuestion> docQuestion(const QString &text, const QStringList &variants = {},
                                        const QString &marks = {})
{
    auto q = std::make_unique<TNQuestion>();
    q->PlainLines.Add(text);
    q->Body = bodyOf(text);
    q->Variants = variants;
    q->RightMarks = marks;
    return q;
}

TReadOptions answering(const std::optional<QString> &password)
{
    TReadOptions o;
    o.AskPassword = [password] { return password; };
    return o;
}

QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Makes a folder refuse new files for its own lifetime: by its mode, and for
// the superuser (whom modes do not stop) by the immutable attribute.
class TReadOnlyFolder {
public:
    explicit TReadOnlyFolder(const QString &path) : m_path(QFile::encodeName(path))
    {
        ::chmod(m_path.constData(), 0500);
        if (::access(m_path.constData(), W_OK) != 0)
            return;
        m_fd = ::open(m_path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        int flags = 0;
        if (m_fd >= 0 && ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            m_immutable = ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
    }
    ~TReadOnlyFolder()
    {
        if (m_immutable) {
            int flags = 0;
            ::ioctl(m_fd, FS_IOC_GETFLAGS, &flags);
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags);
        }
        if (m_fd >= 0)
            ::close(m_fd);
        ::chmod(m_path.constData(), 0700);
    }
    bool refusesWrites() const
    {
        const QByteArray probe = m_path + "/.probe";
        const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0)
            return true;
        ::close(fd);
        ::unlink(probe.constData());
        return false;
    }
private:
    QByteArray m_path;
    int m_fd = -1;
    bool m_immutable = false;
};
}

class TstQuizDocument : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void captionInEveryState();
    void lockCounterAndSetModified();
    void newTestResetsSettingsAndList();
    void saveAsNamesTheFile_data();
    void saveAsNamesTheFile();
    void saveThenOpen();
    void progressAfterEachQuestion();
    void failedOpenLeavesDocument_data();
    void failedOpenLeavesDocument();
    void damagedQuestionsCanBeTakenWhenAsked();
    void testPassword();
    void fileWithoutQuestions();
    void recentFilesAndDirectories();
    void failedSaveKeepsDocumentAndOldFile();
    void unchangedQuestionsKeepTheirBytes();
    void bigTestThroughThePool();
    void checkTestAndIQCount();
};

void TstQuizDocument::captionInEveryState()
{
    QTemporaryDir dir;
    TQuizDocument doc;
    QCOMPARE(doc.caption(), QStringLiteral("без имени (0) - Редактор тестов"));
    QCOMPARE(doc.path(), QStringLiteral("без имени"));
    QVERIFY(doc.isUntitled() && !doc.isModified());

    QSignalSpy prop(&doc, &TQuizDocument::propChanged);
    doc.model()->appendQuestion(docQuestion("Первый"));
    doc.SetModified(true);
    QCOMPARE(doc.caption(), QStringLiteral("без имени (1)* - Редактор тестов"));
    // Already modified: the count still reaches the caption.
    const int before = prop.count();
    doc.model()->appendQuestion(docQuestion("Второй"));
    QVERIFY(prop.count() > before);
    QCOMPARE(doc.caption(), QStringLiteral("без имени (2)* - Редактор тестов"));

    const QString base = dir.filePath("math");
    QVERIFY(doc.SaveTestAs(base).Ok);
    QCOMPARE(doc.caption(), base + QStringLiteral(" (2) - Редактор тестов"));
    doc.SetModified(true);
    QCOMPARE(doc.caption(), base + QStringLiteral(" (2)* - Редактор тестов"));
    // A save in place keeps the name.
    QVERIFY(doc.SaveTestToFile(doc.path()).Ok);
    QCOMPARE(doc.caption(), base + QStringLiteral(" (2) - Редактор тестов"));

    TQuizDocument other;
    QVERIFY(other.OpenFile(base + ".qe2").ok());
    QCOMPARE(other.caption(), QStringLiteral("math (2) - Редактор тестов"));
    other.model()->removeQuestions({0});
    other.SetModified(true);
    QCOMPARE(other.caption(), QStringLiteral("math (1)* - Редактор тестов"));
    other.NewTest();
    QCOMPARE(other.caption(), QStringLiteral("без имени (0) - Редактор тестов"));
}

void TstQuizDocument::lockCounterAndSetModified()
{
    TQuizDocument doc;
    QSignalSpy prop(&doc, &TQuizDocument::propChanged);
    doc.SetModified(false);
    QCOMPARE(prop.count(), 0);

    doc.unlock();  // never below zero: one lock after it still locks
    doc.lock();
    QVERIFY(doc.isLocked());
    doc.SetModified(true);
    QVERIFY(!doc.isModified());
    doc.model()->appendQuestion(docQuestion("x"));
    QCOMPARE(prop.count(), 0);
    {
        TUpdateLockGuard nested(doc);
        QCOMPARE(doc.lockCount(), 2);
    }
    QCOMPARE(doc.lockCount(), 1);
    doc.unlock();
    QVERIFY(!doc.isLocked());
    doc.unlock();
    QCOMPARE(doc.lockCount(), 0);

    doc.SetModified(true);
    QVERIFY(doc.isModified());
    QCOMPARE(prop.count(), 1);
    doc.SetModified(true);
    QCOMPARE(prop.count(), 1);
}

void TstQuizDocument::newTestResetsSettingsAndList()
{
    QTemporaryDir dir;
    const QString file = writeTest(dir.filePath("t.qe2"), 4, "pw", 33);
    TQuizDocument doc;
    QVERIFY(doc.OpenFile(file, answering(QStringLiteral("pw"))).ok());
    doc.header().Options = CanViewErrors | SetCustomQSize;
    doc.header().RandomCount = 3;
    doc.header().Zoom = 150;
    doc.header().QWidth = 800;
    doc.header().QHeight = 700;
    doc.header().QScrollBars = 2;
    doc.header().ReservedWord = 77;
    doc.SetModified(true);
    doc.model()->setFocusedRow(1);

    QSignalSpy replaced(&doc, &TQuizDocument::documentReplaced);
    doc.NewTest();
    QCOMPARE(replaced.count(), 1);
    const TTestInfo &h = doc.header();
    QCOMPARE(h.Password, QString());
    QCOMPARE(h.Options, quint16(RandomVOrder));
    QCOMPARE(h.RandomCount, quint16(0xFFFF));
    QCOMPARE(h.TimeLimit, quint8(10));
    QCOMPARE(h.ReservedWord, quint16(10));
    QCOMPARE(h.Version, quint8(11));
    QCOMPARE(h.Zoom, quint8(100));
    QCOMPARE(h.QWidth, quint16(500));
    QCOMPARE(h.QHeight, quint16(300));
    QCOMPARE(h.QScrollBars, quint8(0));
    QCOMPARE(doc.model()->count(), 0);
    QCOMPARE(doc.model()->focusedRow(), -1);
    QVERIFY(doc.isUntitled() && !doc.isModified());
    QCOMPARE(doc.testName(), QStringLiteral("без имени"));
    QVERIFY(!doc.isLocked());

    // Even when called under a lock, the new test is clean.
    doc.SetModified(true);
    doc.lock();
    doc.NewTest();
    QVERIFY(!doc.isModified());
    QCOMPARE(doc.lockCount(), 1);
}

void TstQuizDocument::saveAsNamesTheFile_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("no extension") << "math" << "math.qe2";
    QTest::newRow("other extension") << "quiz.txt" << "quiz.qe2";
    QTest::newRow("dialog's default") << "quiz.tst" << "quiz.qe2";
    QTest::newRow("already qe2") << "quiz.qe2" << "quiz.qe2";
    QTest::newRow("two dots") << "a.b.c" << "a.b.qe2";
    QTest::newRow("dot in folder") << "sub.d/plain" << "sub.d/plain.qe2";
    QTest::newRow("hidden name") << ".hidden" << ".hidden.qe2";
}

void TstQuizDocument::saveAsNamesTheFile()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("sub.d"));
    TQuizDocument doc;
    doc.model()->appendQuestion(docQuestion("q"));
    doc.SetModified(true);
    QSignalSpy prop(&doc, &TQuizDocument::propChanged);

    const TSaveResult r = doc.SaveTestAs(dir.filePath(typed));
    QVERIFY2(r.Ok, qPrintable(r.Detail));
    const QString expected = dir.filePath(written);
    QCOMPARE(r.Path, expected);
    QCOMPARE(doc.path(), expected);
    QVERIFY(QFileInfo::exists(expected));
    const QString folder = QFileInfo(expected).absolutePath();
    QCOMPARE(filesIn(folder), QStringList{QFileInfo(expected).fileName()});
    QCOMPARE(doc.testName(), expected.left(expected.size() - 4));
    QCOMPARE(doc.saveDirectory(), folder);
    QCOMPARE(doc.recentFiles().items(), QStringList{expected});
    QVERIFY(!doc.isModified());
    QVERIFY(prop.count() > 0);
}

void TstQuizDocument::saveThenOpen()
{
    QTemporaryDir dir;
    TQuizDocument doc;
    auto good = docQuestion("Хороший", {"да", "нет"}, " !");
    auto faulty = docQuestion("Плохой", {"x", "y"}, "  ");
    auto titled = docQuestion("С заголовком");
    titled->HasTitle = true;
    titled->Title = QStringLiteral("Заголовок");
    titled->Comment = QByteArray("{\\rtf1 комментарий}");
    doc.model()->appendQuestion(std::move(good));
    // Marked good by hand: the mark is not stored, the reader recomputes it.
    doc.model()->appendQuestion(std::move(faulty), 0);
    doc.model()->appendQuestion(std::move(titled), NodeFlagBad);
    doc.header().Password = QStringLiteral("Ключ");
    doc.header().TimeLimit = 45;
    doc.header().ReservedBytes.fill(7);
    doc.SetModified(true);
    QVERIFY(doc.SaveTestAs(dir.filePath("round")).Ok);
    QCOMPARE(doc.header().QuestionCount, 3u);
    QCOMPARE(doc.header().IQCount, 1u);
    QCOMPARE(doc.header().ReservedBytes, (std::array<quint8, 8>{}));

    TQuizDocument back;
    QSignalSpy replaced(&back, &TQuizDocument::documentReplaced);
    const TOpenResult r = back.OpenFile(dir.filePath("round.qe2"), answering(QStringLiteral("Ключ")));
    QVERIFY2(r.ok(), qPrintable(r.Message));
    QVERIFY(r.Replaced);
    QCOMPARE(replaced.count(), 1);
    QCOMPARE(r.Message, QString());
    QCOMPARE(back.path(), dir.filePath("round.qe2"));
    QCOMPARE(back.testName(), QStringLiteral("round"));
    QVERIFY(!back.isModified() && !back.isLocked());
    QCOMPARE(back.header().TimeLimit, quint8(45));
    QCOMPARE(back.header().Password, QStringLiteral("Ключ"));
    QCOMPARE(back.model()->count(), 3);
    QVERIFY(!back.model()->record(0).isBad());
    QVERIFY(back.model()->record(1).isBad());
    QVERIFY(!back.model()->record(2).isBad());
    const TNQuestion &t = back.model()->question(2);
    QVERIFY(t.HasTitle && t.ContentReady);
    QCOMPARE(t.Title, QStringLiteral("Заголовок"));
    QCOMPARE(t.Comment, std::optional<QByteArray>(QByteArray("{\\rtf1 комментарий}")));

    // A relative path is taken from the working directory and kept whole.
    const QString cwd = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    TQuizDocument rel;
    const TOpenResult rr = rel.OpenFile("round.qe2", answering(QStringLiteral("Ключ")));
    QDir::setCurrent(cwd);
    QVERIFY(rr.ok());
    QCOMPARE(rel.path(), QFileInfo(dir.filePath("round.qe2")).absoluteFilePath());
}

void TstQuizDocument::progressAfterEachQuestion()
{
    QTemporaryDir dir;
    const QString file = writeTest(dir.filePath("seven.qe2"), 7, "p");
    QStringList events;
    TReadOptions o;
    o.AskPassword = [&] { events << "ask"; return std::optional<QString>("p"); };
    o.ReadingQuestions = [&] { events << "start"; };
    o.Progress = [&](int pct) { events << QString::number(pct); };
    TQuizDocument doc;
    QVERIFY(doc.ReadTestFromFile(file, o).ok());
    QCOMPARE(events, (QStringList{"ask", "start", "14", "29", "43", "57", "71", "86", "100"}));

    QList<int> saved;
    QVERIFY(doc.SaveTestToFile(dir.filePath("copy"), [&](int pct) { saved << pct; }).Ok);
    QCOMPARE(saved, (QList<int>{14, 29, 43, 57, 71, 86, 100}));
}

void TstQuizDocument::failedOpenLeavesDocument_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");  // a trailing "*" matches any rest
    const QString readError = QStringLiteral("Ошибка чтения файла.");
    QTest::newRow("not a test file") << "foreign" << int(TOpenResult::HeaderFailed)
                                     << "Ошибка чтения. Файл не был создан редактором тестов.";
    QTest::newRow("too short for the magic") << "tiny" << int(TOpenResult::HeaderFailed)
                                             << "Ошибка чтения. Файл не был создан редактором тестов.";
    QTest::newRow("version 6") << "v6" << int(TOpenResult::HeaderFailed)
                               << "Файл создан устаревшей версией Экзаменовки.\rВоспользуйтесь конвертером тестов для конвертирования файла в новый формат.";
    QTest::newRow("version 12") << "v12" << int(TOpenResult::HeaderFailed)
                                << "Файл создан более старшей версией Экзаменовки.\rУстановите более новую версию программы.";
    // A read failure names the file (%1) and why.
    const QString where = readError + QStringLiteral("\r\rФайл: %1\rПричина: ");
    QTest::newRow("cut in the header") << "cutHeader" << int(TOpenResult::HeaderFailed)
                                       << where + QStringLiteral("файл повреждён: он обрывается на байте *");
    QTest::newRow("missing file") << "missing" << int(TOpenResult::HeaderFailed)
                                  << where + QStringLiteral("файл или папка не найдены.");
    QTest::newRow("a folder") << "folder" << int(TOpenResult::HeaderFailed)
                              << where + QStringLiteral("по этому пути находится папка, а не файл.");
    QTest::newRow("password cancelled") << "cancel" << int(TOpenResult::PasswordCancelled) << "";
    QTest::newRow("wrong password") << "wrong" << int(TOpenResult::WrongPassword) << "Пароль не верен";
    QTest::newRow("password case") << "case" << int(TOpenResult::WrongPassword) << "Пароль не верен";
    QTest::newRow("cut in the questions") << "cutQuestions" << int(TOpenResult::QuestionsFailed)
                                          << "Ошибка чтения файла.\r\r*";
    QTest::newRow("damaged questions") << "damaged" << int(TOpenResult::QuestionsFailed)
                                       << "Ошибка чтения файла.\r\r*";
}

void TstQuizDocument::failedOpenLeavesDocument()
{
    QFETCH(QString, kind);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTemporaryDir dir;

    // The document the teacher has: opened, then edited.
    TQuizDocument doc;
    QVERIFY(doc.OpenFile(writeTest(dir.filePath("old.qe2"), 3, {}, 20)).ok());
    doc.model()->appendQuestion(docQuestion("правка"));
    doc.SetModified(true);
    doc.model()->setFocusedRow(2);
    const QString path = doc.path(), name = doc.testName(), caption = doc.caption();
    const TTestInfo header = doc.header();
    const QStringList recent = doc.recentFiles().items();
    const QString openDir = doc.openDirectory();
    std::vector<const TNodeRecord *> records;
    for (int i = 0; i < doc.model()->count(); ++i)
        records.push_back(&doc.model()->record(i));

    const QString file = dir.filePath("new.qe2");
    QString password;
    std::optional<QString> answer;
    if (kind == "foreign") {
        writeAll(file, "This is a plain text file that is long enough to hold a header.");
    } else if (kind == "tiny") {
        writeAll(file, "KMQuiz");
    } else if (kind == "v6" || kind == "v12") {
        QByteArray b = readAll(writeTest(file, 2));
        b[TestFileFormat::OffVersion] = char(kind == "v6" ? 6 : 12);
        writeAll(file, b);
    } else if (kind == "cutHeader") {
        writeAll(file, readAll(writeTest(file, 2)).left(30));
    } else if (kind == "folder") {
        QVERIFY(QDir(dir.path()).mkdir("new.qe2"));
    } else if (kind == "cancel" || kind == "wrong" || kind == "case") {
        writeTest(file, 2, "Secret");
        if (kind == "wrong")
            answer = QStringLiteral("Другой");
        else if (kind == "case")
            answer = QStringLiteral("secret");
    } else if (kind == "cutQuestions") {
        const QByteArray b = readAll(writeTest(file, 8));
        writeAll(file, b.left(b.size() * 6 / 10));
    } else if (kind == "damaged") {
        QByteArray b = readAll(writeTest(file, 8));
        for (int i = b.size() / 2; i < b.size() / 2 + 64; ++i)
            b[i] = char(~b[i]);
        writeAll(file, b);
    }

    QSignalSpy prop(&doc, &TQuizDocument::propChanged);
    QSignalSpy replaced(&doc, &TQuizDocument::documentReplaced);
    int asked = 0;
    TReadOptions o;
    o.AskPassword = [&] { ++asked; return answer; };
    const TOpenResult r = doc.OpenFile(file, o);

    QCOMPARE(int(r.Status), status);
    QVERIFY(!r.ok() && !r.Replaced);
    if (message.contains(QLatin1String("%1")))
        message = message.arg(QFileInfo(file).absoluteFilePath());
    if (message.endsWith('*') && status == int(TOpenResult::HeaderFailed)) {
        QVERIFY2(r.Message.startsWith(message.chopped(1)), qPrintable(r.Message));
    } else if (message.endsWith('*')) {
        QVERIFY2(r.Message.startsWith(message.chopped(1)), qPrintable(r.Message));
        QVERIFY2(r.Message.contains(QStringLiteral("\r\rФайл: %1\rПричина: файл повреждён").arg(QFileInfo(file).absoluteFilePath())),
                 qPrintable(r.Message));
        // "kind: text" follows, naming the failure.
        QVERIFY2(QRegularExpression("^Ошибка чтения файла\\.\r\rE\\w+: \\S").match(r.Message).hasMatch(),
                 qPrintable(r.Message));
        QVERIFY(r.QuestionsRead < 8);
    } else {
        QCOMPARE(r.Message, message);
    }
    QCOMPARE(asked, (kind == "cancel" || kind == "wrong" || kind == "case") ? 1 : 0);

    QCOMPARE(doc.path(), path);
    QCOMPARE(doc.testName(), name);
    QVERIFY(doc.isModified());
    QCOMPARE(doc.caption(), caption);
    QVERIFY(doc.header() == header);
    QCOMPARE(doc.model()->count(), int(records.size()));
    for (int i = 0; i < doc.model()->count(); ++i)
        QCOMPARE(&doc.model()->record(i), records[size_t(i)]);
    QCOMPARE(doc.model()->focusedRow(), 2);
    QCOMPARE(doc.recentFiles().items(), recent);
    QCOMPARE(doc.openDirectory(), openDir);
    QVERIFY(!doc.isLocked());
    QCOMPARE(prop.count(), 0);
    QCOMPARE(replaced.count(), 0);
}

void TstQuizDocument::damagedQuestionsCanBeTakenWhenAsked()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("cut.qe2");
    const QByteArray whole = readAll(writeTest(file, 8, {}, 55));
    writeAll(file, whole.left(whole.size() * 6 / 10));

    TQuizDocument doc;
    doc.model()->appendQuestion(docQuestion("старый"));
    doc.SetModified(true);
    TReadOptions o;
    o.TakePartialQuestions = true;
    const TOpenResult r = doc.OpenFile(file, o);
    QCOMPARE(r.Status, TOpenResult::QuestionsFailed);
    QVERIFY(r.Replaced && !r.ok());
    QVERIFY(r.QuestionsRead > 0 && r.QuestionsRead < 8);
    QCOMPARE(doc.model()->count(), r.QuestionsRead);
    QVERIFY(doc.isUntitled() && !doc.isModified());
    QCOMPARE(doc.caption(), QStringLiteral("без имени (%1) - Редактор тестов").arg(r.QuestionsRead));
    QCOMPARE(doc.header().TimeLimit, quint8(55));
    for (int i = 0; i < doc.model()->count(); ++i)
        QCOMPARE(doc.model()->question(i).PlainLines.Get(0), QStringLiteral("Вопрос %1").arg(i));
    QVERIFY(doc.recentFiles().items().isEmpty());
    QVERIFY(doc.openDirectory().isEmpty());
}

void TstQuizDocument::testPassword()
{
    QTemporaryDir dir;
    const QString open = writeTest(dir.filePath("open.qe2"), 2);
    const QString locked = writeTest(dir.filePath("locked.qe2"), 2, "Пароль 1");
    TQuizDocument doc;
    int asked = 0;
    TReadOptions o;
    o.AskPassword = [&] { ++asked; return std::optional<QString>("Пароль 1"); };
    QVERIFY(doc.ReadTestFromFile(open, o).ok());
    QCOMPARE(asked, 0);
    QVERIFY(doc.ReadTestFromFile(locked, o).ok());
    QCOMPARE(asked, 1);
    QCOMPARE(doc.path(), locked);
    // Without a way to ask, a locked test stays closed.
    TQuizDocument other;
    QCOMPARE(other.ReadTestFromFile(locked).Status, TOpenResult::PasswordCancelled);
    QVERIFY(other.isUntitled());
    // A trailing space is a different password.
    QCOMPARE(other.ReadTestFromFile(locked, answering(QStringLiteral("Пароль 1 "))).Status,
             TOpenResult::WrongPassword);
}

void TstQuizDocument::fileWithoutQuestions()
{
    QTemporaryDir dir;
    TQuizDocument doc;
    doc.header().TimeLimit = 12;
    doc.header().Options = CanViewComments;
    QVERIFY(doc.SaveTestAs(dir.filePath("empty")).Ok);
    QCOMPARE(doc.header().QuestionCount, 0u);

    TQuizDocument back;
    back.model()->appendQuestion(docQuestion("был"));
    back.SetModified(true);
    const TOpenResult r = back.OpenFile(dir.filePath("empty.qe2"));
    QCOMPARE(r.Status, TOpenResult::EmptyTest);
    QVERIFY(r.Replaced && !r.ok());
    QCOMPARE(back.model()->count(), 0);
    QVERIFY(back.isUntitled() && !back.isModified());
    QCOMPARE(back.caption(), QStringLiteral("без имени (0) - Редактор тестов"));
    QCOMPARE(back.header().TimeLimit, quint8(12));
    QCOMPARE(back.header().Options, quint16(CanViewComments));
    QVERIFY(back.recentFiles().items().isEmpty());
    QVERIFY(back.openDirectory().isEmpty());
}

void TstQuizDocument::recentFilesAndDirectories()
{
    TRecentFiles list;
    for (const char *p : {"/a", "/b", "/c", "/d", "/e"})
        list.add(QString::fromLatin1(p));
    QCOMPARE(list.items(), (QStringList{"/e", "/d", "/c", "/b"}));
    list.add("/c");
    QCOMPARE(list.items(), (QStringList{"/c", "/e", "/d", "/b"}));
    list.add("");
    QCOMPARE(list.count(), 4);
    list.remove("/e");
    QCOMPARE(list.items(), (QStringList{"/c", "/d", "/b"}));

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("one"));
    QVERIFY(QDir(dir.path()).mkpath("two"));
    const QString a = writeTest(dir.filePath("one/a.qe2"), 1);
    const QString b = writeTest(dir.filePath("two/b.qe2"), 1);
    TQuizDocument doc;
    QVERIFY(doc.OpenFile(a).ok());
    QVERIFY(doc.OpenFile(b).ok());
    QCOMPARE(doc.recentFiles().items(), (QStringList{b, a}));
    QCOMPARE(doc.openDirectory(), dir.filePath("two"));

    // The current file: nothing happens, even when modified.
    doc.SetModified(true);
    const TOpenResult same = doc.OpenRecentFile(b);
    QCOMPARE(same.Status, TOpenResult::AlreadyCurrent);
    QVERIFY(doc.isModified() && same.Message.isEmpty());

    const QString gone = dir.filePath("gone.qe2");
    const TOpenResult missing = doc.OpenRecentFile(gone);
    QCOMPARE(missing.Status, TOpenResult::FileNotFound);
    QCOMPARE(missing.Message, QStringLiteral("Файл не найден: \r\r") + gone);
    QCOMPARE(doc.path(), b);

    // A recent entry opens and moves the open directory; the list keeps its order.
    QVERIFY(doc.OpenRecentFile(a).ok());
    QCOMPARE(doc.path(), a);
    QVERIFY(!doc.isModified());
    QCOMPARE(doc.openDirectory(), dir.filePath("one"));
    QCOMPARE(doc.recentFiles().items(), (QStringList{b, a}));
}

void TstQuizDocument::failedSaveKeepsDocumentAndOldFile()
{
    QTemporaryDir dir;
    TQuizDocument doc;
    doc.model()->appendQuestion(docQuestion("Первый", {"a", "b"}, "! "));
    QVERIFY(doc.SaveTestAs(dir.filePath("keep")).Ok);
    const QString path = doc.path(), name = doc.testName();
    const QByteArray before = readAll(path);
    const TTestInfo header = doc.header();

    // A question the writer refuses halfway through the file.
    auto broken = docQuestion("Сломанный", {"a", "b"}, "!");
    doc.model()->appendQuestion(std::move(broken));
    doc.SetModified(true);
    QSignalSpy prop(&doc, &TQuizDocument::propChanged);
    TSaveResult r = doc.SaveTestToFile(path);
    QVERIFY(!r.Ok);
    QVERIFY2(r.Message.startsWith(QStringLiteral("Ошибка записи файла.\r\rФайл: %1\rПричина: тест нельзя сохранить: ").arg(path)),
             qPrintable(r.Message));
    QVERIFY2(r.Detail.startsWith("ERangeError: "), qPrintable(r.Detail));
    QVERIFY(doc.isModified());
    QCOMPARE(doc.path(), path);
    QVERIFY(doc.header() == header);
    QCOMPARE(readAll(path), before);
    QCOMPARE(filesIn(dir.path()), QStringList{"keep.qe2"});
    QCOMPARE(prop.count(), 0);

    // Save as into a folder that does not exist: the name and lists stay.
    r = doc.SaveTestAs(dir.filePath("nowhere/new"));
    QVERIFY(!r.Ok);
    QCOMPARE(r.Message, QStringLiteral("Ошибка записи файла.\r\rФайл: %1\rПричина: файл или папка не найдены.")
                            .arg(dir.filePath("nowhere/new.qe2")));
    QVERIFY(!r.Detail.isEmpty());
    QCOMPARE(doc.testName(), name);
    QCOMPARE(doc.recentFiles().items(), QStringList{path});
    QCOMPARE(doc.saveDirectory(), dir.path());
    QVERIFY(doc.isModified());

    // A read-only folder.
    doc.model()->question(1).RightMarks = QStringLiteral("! ");
    {
        TReadOnlyFolder ro(dir.path());
        if (!ro.refusesWrites())
            QSKIP("this account can write into any folder here");
        r = doc.SaveTestToFile(path);
        QVERIFY(!r.Ok);
        QCOMPARE(r.Message, QStringLiteral("Ошибка записи файла.\r\rФайл: %1\rПричина: нет прав на доступ к файлу "
                                           "или папке. Выберите другую папку или обратитесь к администратору.").arg(path));
        QVERIFY(doc.isModified());
        QCOMPARE(doc.path(), path);
    }
    QCOMPARE(readAll(path), before);
    QCOMPARE(filesIn(dir.path()), QStringList{"keep.qe2"});
    r = doc.SaveTestToFile(path);
    QVERIFY(r.Ok);
    QVERIFY(!doc.isModified());
    QCOMPARE(doc.header().QuestionCount, 2u);
}

void TstQuizDocument::unchangedQuestionsKeepTheirBytes()
{
    // Content records made by a real rich edit control, as bodies and comments.
    const QDir corpus(QStringLiteral(QE_CORPUS_DIR "/richedit"));
    const QStringList recs = corpus.entryList({"*.rec"}, QDir::Files, QDir::Name);
    QVERIFY(recs.size() >= 10);
    TQuestionList list;
    for (int i = 0; i < recs.size(); ++i) {
        auto q = std::make_shared<TNQuestion>();
        q->Body = readAll(corpus.filePath(recs[i]));
        QVERIFY(!q->Body.isEmpty());
        q->PlainLines.Add(QStringLiteral("Строка %1 \u2116").arg(i));
        if (i % 3 == 0)
            q->Comment = readAll(corpus.filePath(recs[(i + 5) % recs.size()]));
        if (i % 4 == 1) {
            q->HasTitle = true;
            q->Title = QStringLiteral("Заголовок %1").arg(i);
        }
        if (i % 2 == 0) {
            q->Variants = {"Первый", "Второй", "Третий"};
            q->RightMarks = i % 4 == 0 ? " ! " : "   ";
        }
        list.push_back(q);
    }
    QTemporaryDir dir;
    TTestInfo info = TTestInfo::NewTestValues();
    info.TimeLimit = 0;
    info.Options = CanViewErrors | CountWholeQuestion;
    const QString original = dir.filePath("windows.qe2");
    SaveTestToFile(original, info, list);

    TQuizDocument doc;
    QVERIFY(doc.OpenFile(original).ok());
    QCOMPARE(doc.model()->count(), recs.size());
    const QString copy = dir.filePath("copy.qe2");
    QVERIFY(doc.SaveTestToFile(copy).Ok);
    const QByteArray a = questionRecords(original), b = questionRecords(copy);
    QVERIFY(!a.isEmpty());
    QCOMPARE(b.size(), a.size());
    QVERIFY(a == b);
    QCOMPARE(readAll(copy), readAll(original));
}

void TstQuizDocument::bigTestThroughThePool()
{
    // Records made by a real rich edit control, pictures among them, over
    // many bzip2 blocks: opened, saved and opened again on several threads.
    const QDir corpus(QStringLiteral(QE_CORPUS_DIR "/richedit"));
    QStringList recs;
    for (const QString &r : corpus.entryList({"*.rec"}, QDir::Files, QDir::Name))
        recs << corpus.filePath(r);
    for (const QString &r : QDir(corpus.filePath("pictures")).entryList({"*.rec"}, QDir::Files, QDir::Name))
        recs << corpus.filePath("pictures/" + r);
    QVERIFY(recs.size() >= 12);
    TQuestionList list;
    qint64 bytes = 0;
    for (int i = 0; bytes < 3000000; ++i) {
        auto q = std::make_shared<TNQuestion>();
        q->Body = readAll(recs[i % recs.size()]);
        q->PlainLines.Add(QStringLiteral("Вопрос %1").arg(i));
        q->Variants = {"Да", "Нет"};
        q->RightMarks = i % 2 ? "! " : " !";
        bytes += q->Body.size();
        list.push_back(q);
    }
    QTemporaryDir dir;
    TTestInfo info = TTestInfo::NewTestValues();
    const QString alone = dir.filePath("alone.qe2"), pooled = dir.filePath("pooled.qe2");
    BZSetThreads(1);
    SaveTestToFile(alone, info, list);
    const QByteArray records = questionRecords(alone);
    BZSetThreads(3);
    auto reset = qScopeGuard([] { BZSetThreads(0); });
    {
        QFile f(alone);
        QVERIFY(f.open(QIODevice::ReadOnly));
        TTestInfo h;
        QCOMPARE(ReadTestHeader(f, h), hrOk);
        TBZDecompressionStream z(f);
        QVERIFY(z.pooled());
        QVERIFY(z.seek(records.size() - 1));
        z.read(1);
        QVERIFY(z.atEnd() && z.pooled());  // the pool read it all, no fallback
    }
    TQuizDocument doc;
    QVERIFY(doc.OpenFile(alone).ok());
    QCOMPARE(doc.model()->count(), int(list.size()));
    QVERIFY(doc.SaveTestToFile(pooled).Ok);
    QCOMPARE(readAll(pooled), readAll(alone));  // the very bytes of libbz2 alone
    TQuizDocument back;
    QVERIFY(back.OpenFile(pooled).ok());
    QVERIFY(back.SaveTestToFile(pooled).Ok);
    QVERIFY(questionRecords(pooled) == records);
    // As the player reads it.
    TTestInfo playerInfo;
    TQuestionList played;
    QVERIFY(LoadTestFromFile(pooled, playerInfo, played, {}, true).Ok);
    QCOMPARE(played.size(), list.size());
    for (size_t i = 0; i < list.size(); ++i)
        QVERIFY2(played[i]->Body == list[i]->Body && played[i]->RightMarks == list[i]->RightMarks,
                 qPrintable(QString::number(i)));
}

void TstQuizDocument::checkTestAndIQCount()
{
    TQuizDocument doc;
    QVERIFY(doc.CheckTest().Passed);
    auto add = [&](std::unique_ptr<TNQuestion> q) {
        TNodeRecord rec{std::move(q), 0};
        TQuestionListModel::CheckBadState(rec);
        std::vector<TNodeRecord> one;
        one.push_back(std::move(rec));
        doc.model()->insertRecords(doc.model()->count(), std::move(one));
    };
    add(docQuestion("info"));
    add(docQuestion("ok", {"a", "b"}, "!!"));
    auto empty = std::make_unique<TNQuestion>();
    add(std::move(empty));
    add(docQuestion("one", {"a"}, "!"));
    add(docQuestion("none", {"a", "b", "c"}, "   "));
    add(docQuestion("none 2", {"a", "b"}, "  "));
    add(docQuestion("info 2"));

    TTestCheck c = doc.CheckTest();
    QVERIFY(!c.Passed && !c);
    QCOMPARE(c.FirstBadRow, 2);
    QCOMPARE(c.BadRows, (QList<int>{2, 3, 4, 5}));
    QCOMPARE(c.NoText, 1);
    QCOMPARE(c.OneVariant, 1);
    QCOMPARE(c.NoMarkedVariant, 2);
    QCOMPARE(doc.CalcIQCount(), 3u);  // the empty one has no variants either
    QCOMPARE(doc.header().IQCount, 3u);

    // The check reads the marks, not the questions: fixed but unflushed stays bad.
    doc.model()->question(3).Variants << "b";
    doc.model()->question(3).RightMarks = "! ";
    QCOMPARE(doc.CheckTest().BadRows.size(), 4);
    doc.model()->removeQuestions({2, 3, 4, 5});
    QVERIFY(doc.CheckTest().Passed);
    QCOMPARE(doc.CalcIQCount(), 2u);
}

QTEST_MAIN(TstQuizDocument)
#include "tst_QuizDocument.moc"
