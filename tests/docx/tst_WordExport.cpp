// The export to a paper test and its answer key: steps, texts and the edge cases.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "Clock.h"
#include "DocxWriter.h"
#include "DocxZip.h"
#include "MJvRichedit.h"
#include "RichObjects.h"
#include "WordExport.h"
#include "testutil_docx.h"

using namespace DocxTest;

namespace {

TQuestionPtr Question(const QString &text, const QStringList &variants = {}, const QString &marks = {})
{
    auto q = std::make_shared<TNQuestion>();
    q->Body = RichRecord::FromPlainText(text);
    q->PlainLines.Add(text.section(QLatin1Char('\n'), 0, 0));
    q->Variants = variants;
    q->RightMarks = marks;
    return q;
}

struct TExport {
    Docx::TWordExportResult result;
    QStringList messages;
    QList<TPara> test, key;
    TFooter testFooter, keyFooter;
    QMap<QString, QByteArray> testParts;
};

TExport Run(const QString &dir, const TTestInfo &info, const TQuestionList &list, Docx::TWordExportSettings s = {},
            const QString &tpl = DefaultTemplate())
{
    TExport e;
    if (s.templatePath.isEmpty())
        s.templatePath = tpl;
    const QString testPath = dir + QStringLiteral("/Тест.docx");
    e.result = Docx::ExportToWord(info, list, s, testPath, Docx::KeyPathFor(testPath),
                                  [&](const QString &m) { e.messages << m; });
    if (e.result.testWritten) {
        e.testParts = Parts(ReadFile(testPath));
        e.test = Paragraphs(e.testParts.value(QStringLiteral("word/document.xml")));
        e.testFooter = Footer(e.testParts.value(QStringLiteral("word/footer1.xml")));
    }
    if (e.result.keyWritten) {
        const QMap<QString, QByteArray> parts = Parts(ReadFile(Docx::KeyPathFor(testPath)));
        e.key = Paragraphs(parts.value(QStringLiteral("word/document.xml")));
        e.keyFooter = Footer(parts.value(QStringLiteral("word/footer1.xml")));
    }
    return e;
}

// A test that keeps its stored order.
TTestInfo Stored()
{
    TTestInfo info = TTestInfo::NewTestValues();
    info.RandomCount = 0;
    return info;
}

QStringList WithStyle(const QList<TPara> &paras, const QString &style)
{
    QStringList out;
    for (const TPara &p : paras)
        if (p.style == style)
            out << p.text();
    return out;
}

// A template like the default one with some styles renamed away.
QString TemplateWithout(const QString &dir, const QStringList &styleNames)
{
    Docx::TZipEntries entries = Docx::ReadZip(ReadFile(DefaultTemplate()));
    for (auto &[name, bytes] : entries)
        if (name == QLatin1String("word/styles.xml"))
            for (const QString &n : styleNames)
                bytes.replace(n.toUtf8(), "Другое имя " + QByteArray::number(qHash(n)));
    const QString path = dir + QStringLiteral("/Неполный.dotx");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(Docx::WriteZip(entries));
    return path;
}

} // namespace

class TestWordExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QeClock::SeedRandom(12345); }
    void letters();
    void keyPath();
    void templatesFound();
    void emptyTest();
    void wholeExport();
    void variantsOff();
    void lettersOff();
    void formatText();
    void subsetByRandomCount();
    void keyEntries();
    void identifierPerExport();
    void missingStyles();
    void unreadableTemplate();
    void unwritableFolder();
    void replacesOldFiles();
    void pictureQuestion();
    void damagedKeyIsReported();
    void questionsKeptTogether();
};

void TestWordExport::letters()
{
    QCOMPARE(Docx::VariantLetter(0), QStringLiteral("А"));
    QCOMPARE(Docx::VariantLetter(5), QStringLiteral("Е"));
    QCOMPARE(Docx::VariantLetter(6), QStringLiteral("Ж"));
    QCOMPARE(Docx::VariantLetter(9), QStringLiteral("Й"));
}

void TestWordExport::keyPath()
{
    QCOMPARE(Docx::KeyPathFor(QStringLiteral("/a/Тест.docx")), QStringLiteral("/a/Тест (ответы).docx"));
    QCOMPARE(Docx::KeyPathFor(QStringLiteral("/a/b.DOCX")), QStringLiteral("/a/b (ответы).docx"));
    QCOMPARE(Docx::KeyPathFor(QStringLiteral("/a/b")), QStringLiteral("/a/b (ответы).docx"));
}

void TestWordExport::templatesFound()
{
    QTemporaryDir a, b;
    QVERIFY(Docx::FindTemplates({a.path(), b.path(), a.path() + QStringLiteral("/нет")}).isEmpty());
    for (const char *n : {"Яблоко.dotx", ".скрытый.dotx", "Берёза.dotx", "not-a-template.docx"})
        QFile(a.path() + QLatin1Char('/') + QString::fromUtf8(n)).open(QIODevice::WriteOnly);
    for (const char *n : {"Берёза.dotx", "Арбуз.dotx"})
        QFile(b.path() + QLatin1Char('/') + QString::fromUtf8(n)).open(QIODevice::WriteOnly);
    QDir(a.path()).mkdir(QStringLiteral("Папка.dotx"));
    const QStringList found = Docx::FindTemplates({a.path(), b.path()});
    // The first folder's templates first, so that its first by name is the one chosen.
    QCOMPARE(found, (QStringList{a.path() + QStringLiteral("/Берёза.dotx"), a.path() + QStringLiteral("/Яблоко.dotx"),
                                 b.path() + QStringLiteral("/Арбуз.dotx")}));
}

void TestWordExport::emptyTest()
{
    QTemporaryDir dir;
    Docx::TWordExportSettings s;
    s.templatePath = dir.path() + QStringLiteral("/no-such.dotx");   // never looked at
    const TExport e = Run(dir.path(), TTestInfo::NewTestValues(), {}, s);
    QCOMPARE(e.messages, QStringList{QStringLiteral("Тест пустой")});
    QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

void TestWordExport::wholeExport()
{
    QTemporaryDir dir;
    TQuestionList list = {Question(QStringLiteral("Первый вопрос"), {QStringLiteral("да"), QStringLiteral("нет")}, QStringLiteral("! ")),
                          Question(QStringLiteral("Сведения\nв две строки")),
                          Question(QStringLiteral("Третий"), {QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")}, QStringLiteral(" !!"))};
    const QByteArray body0 = list[0]->Body;
    const TExport e = Run(dir.path(), Stored(), list);
    QVERIFY2(e.messages.isEmpty(), qPrintable(e.messages.join(QLatin1Char('|'))));
    QVERIFY(e.result.testWritten && e.result.keyWritten);
    // The document's own questions are untouched.
    QCOMPARE(list[0]->Body, body0);
    QCOMPARE(list[0]->Variants, (QStringList{QStringLiteral("да"), QStringLiteral("нет")}));

    // Stored order (RandomCount 0): the information item first, then the questions.
    QCOMPARE(WithStyle(e.test, QStringLiteral("QuestionHeading")),
             (QStringList{QStringLiteral("Вопрос №: 1"), QStringLiteral("Вопрос №: 2"), QStringLiteral("Вопрос №: 3")}));
    QCOMPARE(WithStyle(e.test, QStringLiteral("VariantsHeading")).size(), 3);
    QCOMPARE(WithStyle(e.test, QStringLiteral("VariantsHeading")).first(), QStringLiteral("Варианты ответов: "));
    QStringList texts = Texts(e.test);
    QCOMPARE(texts.mid(0, 5), (QStringList{QStringLiteral("Вопрос №: 1"), QStringLiteral("Сведения"), QStringLiteral("в две строки"),
                                           QStringLiteral("Варианты ответов: "), QString()}));
    // Every question ends with one empty paragraph in the default style.
    int empties = 0;
    for (const TPara &p : e.test)
        if (p.text().isEmpty()) {
            QCOMPARE(p.style, QStringLiteral("Normal"));
            ++empties;
        }
    QCOMPARE(empties, 3);
    const QStringList variants = WithStyle(e.test, QStringLiteral("Variants"));
    QCOMPARE(variants.size(), 5);
    for (const QString &v : variants)
        QVERIFY2(v.startsWith(QStringLiteral("А) ")) || v.startsWith(QStringLiteral("Б) ")) || v.startsWith(QStringLiteral("В) ")), qPrintable(v));

    // The same identifier in both footers, with the page number.
    QCOMPARE(e.testFooter.texts, QStringList{Docx::IdentifierLine(e.result.identifier)});
    QCOMPARE(e.keyFooter.texts, e.testFooter.texts);
    QVERIFY(e.testFooter.pageField && e.keyFooter.pageField);
    QVERIFY(e.result.identifier >= 1 && e.result.identifier <= 2147483647u);
    // Both files in place, no temporaries left beside them.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{QStringLiteral("Тест (ответы).docx"), QStringLiteral("Тест.docx")}));
}

void TestWordExport::variantsOff()
{
    QTemporaryDir dir;
    Docx::TWordExportSettings s;
    s.includeAnswers = false;
    const TExport e = Run(dir.path(), TTestInfo::NewTestValues(),
                          {Question(QStringLiteral("Q"), {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral(" !"))}, s);
    QCOMPARE(Texts(e.test), (QStringList{QStringLiteral("Вопрос №: 1"), QStringLiteral("Q"), QString()}));
    QVERIFY(WithStyle(e.test, QStringLiteral("Variants")).isEmpty());
    QCOMPARE(WithStyle(e.key, QStringLiteral("AnswerKey")).first().left(13), QStringLiteral("Вопрос №: 1. "));
    QVERIFY(WithStyle(e.key, QStringLiteral("AnswerKey")).first().contains(QLatin1Char(')')));
}

void TestWordExport::lettersOff()
{
    QTemporaryDir dir;
    Docx::TWordExportSettings s;
    s.numVariants = false;
    const TExport e = Run(dir.path(), TTestInfo::NewTestValues(),
                          {Question(QStringLiteral("Q"), {QStringLiteral("один"), QStringLiteral("два")}, QStringLiteral("!!"))}, s);
    QStringList variants = WithStyle(e.test, QStringLiteral("Variants"));
    variants.sort();
    QCOMPARE(variants, (QStringList{QStringLiteral("два"), QStringLiteral("один")}));
    QCOMPARE(WithStyle(e.key, QStringLiteral("AnswerKey")).first(), QStringLiteral("Вопрос №: 1. А) Б)"));
}

void TestWordExport::formatText()
{
    QTemporaryDir dir;
    Docx::TWordExportSettings s;
    s.formatQuestionText = true;
    const TExport on = Run(dir.path(), TTestInfo::NewTestValues(), {Question(QStringLiteral("строка 1\nстрока 2"))}, s);
    QCOMPARE(WithStyle(on.test, QStringLiteral("QuestionText")), (QStringList{QStringLiteral("строка 1"), QStringLiteral("строка 2")}));
    const TExport off = Run(dir.path(), TTestInfo::NewTestValues(), {Question(QStringLiteral("строка 1\nстрока 2"))});
    QVERIFY(WithStyle(off.test, QStringLiteral("QuestionText")).isEmpty());
}

// 5 of 20 questions plus 2 information items: 7 in both documents, numbered
// from 1, the key's letters naming the test document's correct variants.
void TestWordExport::subsetByRandomCount()
{
    QTemporaryDir dir;
    TQuestionList list;
    QMap<QString, QSet<QString>> correct;
    for (int i = 0; i < 20; ++i) {
        const QString text = QStringLiteral("Вопрос-%1").arg(i);
        QStringList vars;
        QString marks;
        for (int j = 0; j < 4; ++j) {
            vars << QStringLiteral("в%1-%2").arg(i).arg(j);
            marks += (i + j) % 3 == 0 ? QLatin1Char('!') : QLatin1Char(' ');
            if (marks.back() == QLatin1Char('!'))
                correct[text].insert(vars.last());
        }
        list.push_back(Question(text, vars, marks));
        if (i == 4 || i == 11)
            list.push_back(Question(QStringLiteral("Справка-%1").arg(i)));
    }
    TTestInfo info = TTestInfo::NewTestValues();
    info.RandomCount = 5;
    const TExport e = Run(dir.path(), info, list);
    QCOMPARE(e.result.questionCount, 7);
    QCOMPARE(WithStyle(e.test, QStringLiteral("QuestionHeading")).size(), 7);
    QCOMPARE(WithStyle(e.test, QStringLiteral("QuestionHeading")).last(), QStringLiteral("Вопрос №: 7"));
    const QStringList key = WithStyle(e.key, QStringLiteral("AnswerKey")).filter(QStringLiteral("Вопрос"));
    QCOMPARE(key.size(), 7);
    QCOMPARE(key[0], QStringLiteral("Вопрос №: 1. "));
    QCOMPARE(key[1], QStringLiteral("Вопрос №: 2. "));

    // Walk the test document: the question's text, its lettered variants; compare with the key.
    int question = 0;
    QString text;
    QMap<QString, QString> byLetter;
    auto check = [&] {
        if (question < 3)
            return;
        QSet<QString> named;
        const QString entry = key[question - 1];
        for (auto it = byLetter.begin(); it != byLetter.end(); ++it)
            if (entry.contains(it.key() + QLatin1Char(')')))
                named.insert(it.value());
        QCOMPARE(named, correct.value(text));
    };
    for (const TPara &p : e.test) {
        if (p.style == QLatin1String("QuestionHeading")) {
            check();
            ++question;
            QCOMPARE(p.text(), QStringLiteral("Вопрос №: %1").arg(question));
            text.clear();
            byLetter.clear();
        } else if (p.style == QLatin1String("Variants")) {
            byLetter.insert(p.text().left(1), p.text().mid(3));
        } else if (p.style.isEmpty() && text.isEmpty()) {
            text = p.text();
        }
    }
    check();
    QCOMPARE(question, 7);
}

void TestWordExport::keyEntries()
{
    QTemporaryDir dir;
    // Every variant correct: letters in order, no space after the last one.
    const TExport all = Run(dir.path(), Stored(),
                            {Question(QStringLiteral("q"), {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, QStringLiteral("!!!")),
                             Question(QStringLiteral("single"), {QStringLiteral("только")}, QStringLiteral("!")),
                             Question(QStringLiteral("none"), {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("  "))});
    QCOMPARE(WithStyle(all.key, QStringLiteral("AnswerKey")),
             (QStringList{QStringLiteral("Вопрос №: 1. А) Б) В)"), QStringLiteral("Вопрос №: 2. А)"),
                          QStringLiteral("Вопрос №: 3. "), QString()}));
    // Only the last of four correct, whatever the shuffle: the entry ends with ")" when
    // that variant ends up last, and with ") " otherwise.
    for (quint64 seed = 1; seed <= 8; ++seed) {
        QeClock::SeedRandom(seed);
        const TExport e = Run(dir.path(), TTestInfo::NewTestValues(),
                              {Question(QStringLiteral("q"), {QStringLiteral("w1"), QStringLiteral("w2"), QStringLiteral("w3"), QStringLiteral("ok")},
                                        QStringLiteral("   !"))});
        QString letter;
        for (const QString &v : WithStyle(e.test, QStringLiteral("Variants")))
            if (v.endsWith(QLatin1String("ok")))
                letter = v.left(1);
        const QString entry = WithStyle(e.key, QStringLiteral("AnswerKey")).first();
        QCOMPARE(entry, QStringLiteral("Вопрос №: 1. ") + letter + (letter == QStringLiteral("Г") ? QStringLiteral(")") : QStringLiteral(") ")));
    }
}

void TestWordExport::identifierPerExport()
{
    QTemporaryDir dir;
    const TQuestionList list = {Question(QStringLiteral("q"), {QStringLiteral("a")}, QStringLiteral("!"))};
    QSet<quint32> ids;
    for (int i = 0; i < 5; ++i) {
        const TExport e = Run(dir.path(), TTestInfo::NewTestValues(), list);
        QCOMPARE(e.keyFooter.texts, e.testFooter.texts);
        ids.insert(e.result.identifier);
    }
    QCOMPARE(ids.size(), 5);
    // A seed repeats it.
    QeClock::SeedRandom(99);
    const quint32 first = Run(dir.path(), TTestInfo::NewTestValues(), list).result.identifier;
    QeClock::SeedRandom(99);
    QCOMPARE(Run(dir.path(), TTestInfo::NewTestValues(), list).result.identifier, first);
}

void TestWordExport::missingStyles()
{
    QTemporaryDir dir;
    const QString tpl = TemplateWithout(dir.path(), {QStringLiteral("СТ: Текст вопроса"), QStringLiteral("СТ: Варианты ответов")});
    Docx::TWordExportSettings s;
    s.formatQuestionText = true;
    const TExport e = Run(dir.path(), TTestInfo::NewTestValues(),
                          {Question(QStringLiteral("q1"), {QStringLiteral("a")}, QStringLiteral("!")),
                           Question(QStringLiteral("q2"), {QStringLiteral("b")}, QStringLiteral("!"))}, s, tpl);
    // Once for the test document; the key's style is there.
    QCOMPARE(e.messages, QStringList{QStringLiteral("Ошибка при получении требуемых стилей. Неверный шаблон?")});
    QVERIFY(e.result.testWritten && e.result.keyWritten);
    QCOMPARE(WithStyle(e.test, QStringLiteral("QuestionHeading")).size(), 2);
    // Those paragraphs are written without a style.
    QCOMPARE(WithStyle(e.test, QString()).filter(QStringLiteral("А) ")).size(), 2);

    const QString noKey = TemplateWithout(dir.path(), {QStringLiteral("СТ: Правильные варианты ответов"), QStringLiteral("СТ: Заголовок вопроса")});
    const TExport k = Run(dir.path(), TTestInfo::NewTestValues(), {Question(QStringLiteral("q1"), {QStringLiteral("a")}, QStringLiteral("!"))}, {}, noKey);
    QCOMPARE(k.messages.size(), 2);   // once per document
    QVERIFY(k.result.keyWritten);
    QCOMPARE(WithStyle(k.key, QString()).first(), QStringLiteral("Вопрос №: 1. А)"));
}

void TestWordExport::unreadableTemplate()
{
    QTemporaryDir dir;
    QFile f(dir.path() + QStringLiteral("/Плохой.dotx"));
    f.open(QIODevice::WriteOnly);
    f.write("PK\x03\x04 damaged");
    f.close();
    const TExport e = Run(dir.path(), TTestInfo::NewTestValues(),
                          {Question(QStringLiteral("q"), {QStringLiteral("a")}, QStringLiteral("!"))}, {}, f.fileName());
    QCOMPARE(e.messages, (QStringList{QStringLiteral("Ошибка создания документа Word."),
                                      QStringLiteral("Ошибка при получении требуемых стилей. Неверный шаблон?"),
                                      QStringLiteral("Ошибка при работе с Microsoft Word")}));
    QVERIFY(!e.result.testWritten);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("Плохой.dotx")});
}

void TestWordExport::unwritableFolder()
{
    QTemporaryDir dir;
    const QString missing = dir.path() + QStringLiteral("/нет/такой");
    const TExport e = Run(missing, TTestInfo::NewTestValues(), {Question(QStringLiteral("q"), {QStringLiteral("a")}, QStringLiteral("!"))});
    QCOMPARE(e.messages.size(), 1);
    QVERIFY2(e.messages.first().contains(QStringLiteral("нет/такой")), qPrintable(e.messages.first()));
    QVERIFY(!e.result.testWritten && !e.result.keyWritten);
}

void TestWordExport::replacesOldFiles()
{
    QTemporaryDir dir;
    for (const QString &n : {QStringLiteral("Тест.docx"), QStringLiteral("Тест (ответы).docx")}) {
        QFile f(dir.path() + QLatin1Char('/') + n);
        f.open(QIODevice::WriteOnly);
        f.write("old");
    }
    const TExport e = Run(dir.path(), TTestInfo::NewTestValues(), {Question(QStringLiteral("новый"), {QStringLiteral("a")}, QStringLiteral("!"))});
    QVERIFY(e.result.testWritten && e.result.keyWritten);
    QCOMPARE(Texts(e.test).value(1), QStringLiteral("новый"));
    QCOMPARE(WithStyle(e.key, QStringLiteral("AnswerKey")).first(), QStringLiteral("Вопрос №: 1. А)"));
}

void TestWordExport::pictureQuestion()
{
    QTemporaryDir dir;
    auto q = std::make_shared<TNQuestion>();
    q->Body = ReadFile(QStringLiteral(QE_CORPUS_DIR "/richedit/pictures/pic1_checker24_bitmap.rec"));
    q->Variants = {QStringLiteral("a")};
    q->RightMarks = QStringLiteral("!");
    const TExport e = Run(dir.path(), TTestInfo::NewTestValues(), {q});
    int drawings = 0;
    for (const TPara &p : e.test)
        for (const TRun &r : p.runs)
            drawings += int(r.drawings.size());
    QCOMPARE(drawings, 1);
    QVERIFY(e.testParts.contains(QStringLiteral("word/media/image1.png")));
}

// A key shorter than the variants (a damaged file) stops the variant shuffle with
// its message; the documents are still written, the unmarked variants not in the key.
void TestWordExport::damagedKeyIsReported()
{
    QTemporaryDir dir;
    const TExport e = Run(dir.path(), Stored(),
                          {Question(QStringLiteral("q"), {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, QStringLiteral("!"))});
    QCOMPARE(e.messages, QStringList{QStringLiteral("Ошибка при перемешивании вариантов!")});
    QVERIFY(e.result.testWritten && e.result.keyWritten);
    QCOMPARE(WithStyle(e.key, QStringLiteral("AnswerKey")).first(), QStringLiteral("Вопрос №: 1. А) "));
}

// Each question's paragraphs keep their lines together and stay with the next,
// all but its last; the empty paragraph between questions is free to break.
void TestWordExport::questionsKeptTogether()
{
    QTemporaryDir dir;
    const TQuestionList list = {Question(QStringLiteral("Первый\nв два абзаца"), {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, QStringLiteral("!  ")),
                                Question(QStringLiteral("Сведения"))};
    auto keeps = [](const QList<TPara> &paras) {
        QStringList out;
        for (const TPara &p : paras)
            out << p.props.value(QStringLiteral("keepNext"), QStringLiteral("-")) + p.props.value(QStringLiteral("keepLines"), QStringLiteral("-"));
        return out;
    };
    const TExport e = Run(dir.path(), Stored(), list);
    QCOMPARE(Texts(e.test).value(5), QStringLiteral("Первый"));
    // The information item first: heading, text, variants heading, empty; then the
    // question: heading, two text paragraphs, variants heading, three variants, empty.
    QCOMPARE(keeps(e.test), (QStringList{"11", "11", "01", "--",
                                         "11", "11", "11", "11", "11", "11", "01", "--"}));
    Docx::TWordExportSettings s;
    s.includeAnswers = false;
    s.formatQuestionText = true;
    const TExport noVariants = Run(dir.path(), Stored(), list, s);
    QCOMPARE(keeps(noVariants.test), (QStringList{"11", "01", "--", "11", "11", "01", "--"}));
}

QTEST_MAIN(TestWordExport)
#include "tst_WordExport.moc"
