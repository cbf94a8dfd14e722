// The XML question-bank format of learning platforms, both ways: what our
// questions keep through it, what is skipped or changed and says so, and
// files that must be refused whole.
#include <QtTest>

#include <QBuffer>
#include <QFile>
#include <QTextCursor>
#include <QTextDocument>
#include <QXmlStreamReader>

#include "HtmlRich.h"
#include "Interchange.h"
#include "testutil_interchange.h"
#include "MJvRichedit.h"
#include "RichObjects.h"
#include "RichRecord.h"

using namespace Interchange;
using namespace RichText;

namespace {

QImage Picture(int w, int h, QRgb a, QRgb b)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, (x * y) % 5 ? a : b);
    return img;
}

QByteArray WithPicture(const QString &before, const QImage &img, const QString &after)
{
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(before);
    c.insertText(QString(QChar(QChar::ObjectReplacementCharacter)), ObjectFormat(PictureObject(img)));
    c.insertText(after);
    return SaveRecord(doc);
}

TQuestionPtr Question(const QByteArray &body, const QStringList &variants, const QString &marks,
                      const QString &title = {}, const std::optional<QByteArray> &comment = {})
{
    auto q = std::make_shared<TNQuestion>();
    q->Body = body;
    for (const QString &l : RichRecord::PlainLines(body))
        q->PlainLines.Add(ReplaceObjectMarks(l, ObjectMarkText));
    q->Variants = variants;
    q->RightMarks = marks;
    q->HasTitle = !title.isEmpty();
    q->Title = title;
    q->Comment = comment;
    return q;
}

int PictureCount(const QByteArray &record)
{
    QTextDocument doc;
    LoadRecord(doc, record);
    return int(doc.toRawText().count(QChar(QChar::ObjectReplacementCharacter)));
}

bool ReportHas(const TReport &r, const QString &part)
{
    for (const QString &l : r.Lines)
        if (l.contains(part))
            return true;
    return false;
}

QByteArray Quiz(const QString &questions)
{
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<quiz>\n") + questions +
            QStringLiteral("</quiz>\n")).toUtf8();
}

QString Multi(const QString &name, const QString &answers, const QString &single = QStringLiteral("false"))
{
    return QStringLiteral("<question type=\"multichoice\"><name><text>%1</text></name>"
                          "<questiontext format=\"html\"><text>Текст %1</text></questiontext>"
                          "<single>%2</single>%3</question>\n").arg(name, single, answers);
}

QString Answer(const QString &fraction, const QString &text, const QString &feedback = {})
{
    return QStringLiteral("<answer fraction=\"%1\" format=\"html\"><text><![CDATA[%2]]></text>"
                          "<feedback format=\"html\"><text>%3</text></feedback></answer>").arg(fraction, text, feedback);
}

// The fractions and grade written for each question, in file order.
QList<QStringList> Fractions(const QByteArray &xml)
{
    QList<QStringList> out;
    QXmlStreamReader r(xml);
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == u"question")
            out << QStringList{r.attributes().value(QStringLiteral("type")).toString()};
        else if (r.isStartElement() && r.name() == u"defaultgrade")
            out.last() << QStringLiteral("grade ") + r.readElementText();
        else if (r.isStartElement() && r.name() == u"answer")
            out.last() << r.attributes().value(QStringLiteral("fraction")).toString();
    }
    return out;
}

} // namespace

class TstMoodleXml : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void ourQuestionsComeBack();
    void fractionsScoreLikeOurs();
    void whatCannotBeWritten();
    void platformQuestionsRead();
    void skipsAndLimitsReported();
    void brokenFilesRefusedWhole();
    void exampleFileReads();
    void onePictureReferencedOftenIsBounded();
    void markupCharactersInCdata();
    void trueFalseFeedbackReported();
    void oldImageElementsRead();
    void namesLoseTheirTags();
    void hostileTextsRoundTrip();
};

void TstMoodleXml::ourQuestionsComeBack()
{
    const QImage red = Picture(9, 6, qRgb(220, 10, 10), qRgb(255, 255, 255));
    const QImage green = Picture(5, 5, qRgb(0, 160, 0), qRgb(0, 0, 0));
    TQuestionList qs{
        Question(RichRecordFromPlain(QStringLiteral("Вводный текст\nвторая строка")), {}, {}),
        Question(WithPicture(QStringLiteral("Что на рисунке "), red, QStringLiteral("?")),
                 {QStringLiteral("Красное"), QStringLiteral("Зелёное"), QStringLiteral("A & B <c>")},
                 QStringLiteral("! !"), QStringLiteral("Цвет"),
                 WithPicture(QStringLiteral("Так выглядит зелёное: "), green, QString())),
        Question(RichRecordFromPlain(QStringLiteral("Один верный")),
                 {QStringLiteral("да"), QStringLiteral("  нет,  не так\t ")}, QStringLiteral(" !"), {},
                 RichRecordFromPlain(QStringLiteral("Потому что."))),
        Question(RichRecordFromPlain(QStringLiteral("Земля круглая")),
                 {QStringLiteral("Верно"), QStringLiteral("Неверно")}, QStringLiteral("! "),
                 QStringLiteral("Форма Земли")),
    };
    TReport report;
    const QByteArray xml = ExportMoodleXml(qs, report);
    QVERIFY2(report.isEmpty(), qPrintable(report.Lines.join('\n')));
    const TImportResult r = ImportMoodleXml(xml);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QVERIFY2(r.Report.isEmpty(), qPrintable(r.Report.Lines.join('\n')));
    QCOMPARE(r.Questions.size(), qs.size());
    for (size_t i = 0; i < qs.size(); ++i) {
        const TNQuestion &a = *qs[i], &b = *r.Questions[i];
        QCOMPARE(b.Variants, a.Variants);
        QCOMPARE(b.RightMarks, a.RightMarks);
        QCOMPARE(b.HasTitle, a.HasTitle);
        QCOMPARE(b.Title, a.Title);
        QCOMPARE(b.PlainLines, a.PlainLines);
        QCOMPARE(PlainFromRichRecord(b.Body), PlainFromRichRecord(a.Body));
        QCOMPARE(PictureCount(b.Body), PictureCount(a.Body));
        QCOMPARE(b.Comment.has_value(), a.Comment.has_value());
        if (a.Comment) {
            QCOMPARE(PlainFromRichRecord(*b.Comment), PlainFromRichRecord(*a.Comment));
            QCOMPARE(PictureCount(*b.Comment), PictureCount(*a.Comment));
        }
    }
    QCOMPARE(r.Questions[1]->PlainLines.Get(0), QStringLiteral("Что на рисунке [объект]?"));
    QCOMPARE(Fractions(xml)[3].first(), QStringLiteral("truefalse"));
    QCOMPARE(Fractions(xml)[0].first(), QStringLiteral("description"));

    // From the first round on the file is the same, pictures byte for byte.
    TReport again;
    const QByteArray xml2 = ExportMoodleXml(r.Questions, again);
    QCOMPARE(xml2, xml);
    QVERIFY(xml.contains("<file name=\"image1.png\" path=\"/\" encoding=\"base64\">"));
}

void TstMoodleXml::fractionsScoreLikeOurs()
{
    const QByteArray body = RichRecordFromPlain(QStringLiteral("?"));
    const QStringList four{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")};
    QStringList seven;
    for (int i = 0; i < 7; ++i)
        seven << QString::number(i);
    TQuestionList qs{Question(body, four, QStringLiteral("! ! ")), Question(body, four, QStringLiteral("   !")),
                     Question(body, four, QStringLiteral("!!!!")), Question(body, seven, QStringLiteral("!!!    ")),
                     Question(body, {QStringLiteral("Верно"), QStringLiteral("Неверно")}, QStringLiteral(" !"))};
    TReport report;
    const QList<QStringList> f = Fractions(ExportMoodleXml(qs, report));
    // Right answers share 100, wrong ones share -100; a question weighs its variant count.
    QCOMPARE(f[0], (QStringList{"multichoice", "grade 4", "50", "-50", "50", "-50"}));
    QCOMPARE(f[1], (QStringList{"multichoice", "grade 4", "-33.33333", "-33.33333", "-33.33333", "100"}));
    QCOMPARE(f[2], (QStringList{"multichoice", "grade 4", "25", "25", "25", "25"}));
    QCOMPARE(f[3], (QStringList{"multichoice", "grade 7", "33.33333", "33.33333", "33.33333", "-25", "-25", "-25", "-25"}));
    QCOMPARE(f[4], (QStringList{"truefalse", "grade 1", "0", "100"}));
}

void TstMoodleXml::whatCannotBeWritten()
{
    const QByteArray body = RichRecordFromPlain(QStringLiteral("?"));
    TQuestionList qs{Question(body, {QStringLiteral("один")}, QStringLiteral("!")),
                     Question(body, {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("  ")),
                     Question(body, {QStringLiteral("a\x01"), QStringLiteral("b")}, QStringLiteral("! "))};
    TReport report;
    const QByteArray xml = ExportMoodleXml(qs, report);
    QCOMPARE(Fractions(xml).size(), 1);
    QCOMPARE(report.Lines,
             (QStringList{QStringLiteral("Вопрос 1: один вариант ответа, а нужно не меньше двух; не записан."),
                          QStringLiteral("Вопрос 2: нет верного варианта; не записан."),
                          QStringLiteral("Вопрос 3: управляющие знаки, которые нельзя записать в XML, удалены.")}));
    const TImportResult r = ImportMoodleXml(xml);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.front()->Variants.front(), QStringLiteral("a"));
}

void TstMoodleXml::platformQuestionsRead()
{
    const QByteArray xml = Quiz(
        QStringLiteral("<question type=\"category\"><category><text>$course$/top/Раздел</text></category></question>\n") +
        Multi(QStringLiteral("Столица"), Answer("100", "<p>Париж</p>") + Answer("0", "<p>Лион</p>") +
                                              Answer("-50", "Марсель"), QStringLiteral("true")) +
        Multi(QStringLiteral("Чётные"), Answer("50", "2") + Answer("50", "4") + Answer("-100", "3")) +
        QStringLiteral("<question type=\"truefalse\"><name><text>Вода</text></name>"
                       "<questiontext format=\"plain_text\"><text>Вода мокрая</text></questiontext>"
                       "<generalfeedback format=\"html\"><text><![CDATA[<p><b>Да</b>, мокрая</p>]]></text></generalfeedback>"
                       "<answer fraction=\"0\"><text>true</text></answer>"
                       "<answer fraction=\"100\"><text>false</text></answer></question>\n"
                       "<question type=\"description\"><name><text>Раздел 2</text></name>"
                       "<questiontext format=\"html\"><text>Раздел 2</text></questiontext></question>\n"));
    const TImportResult r = ImportMoodleXml(xml);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QVERIFY2(r.Report.isEmpty(), qPrintable(r.Report.Lines.join('\n')));
    QCOMPARE(r.Questions.size(), size_t(4));
    const TNQuestion &capital = *r.Questions[0];
    QCOMPARE(capital.Variants, (QStringList{"Париж", "Лион", "Марсель"}));
    QCOMPARE(capital.RightMarks, QStringLiteral("!  "));
    QCOMPARE(capital.Title, QStringLiteral("Столица"));
    QVERIFY(capital.HasTitle);
    QCOMPARE(capital.PlainLines.Get(0), QStringLiteral("Текст Столица"));
    QVERIFY(!capital.Comment);
    QCOMPARE(r.Questions[1]->RightMarks, QStringLiteral("!! "));
    const TNQuestion &water = *r.Questions[2];
    QCOMPARE(water.Variants, (QStringList{"Верно", "Неверно"}));
    QCOMPARE(water.RightMarks, QStringLiteral(" !"));
    QVERIFY(water.Comment);
    QCOMPARE(PlainFromRichRecord(*water.Comment), QStringLiteral("Да, мокрая"));
    QCOMPARE(PlainFromRichRecord(water.Body), QStringLiteral("Вода мокрая"));
    // A name that is only the text's first line, as the platform makes one, is no title.
    QVERIFY(r.Questions[3]->IsInformation());
    QVERIFY(!r.Questions[3]->HasTitle);
}

void TstMoodleXml::skipsAndLimitsReported()
{
    QString eleven;
    for (int i = 0; i < 11; ++i)
        eleven += Answer(i ? "0" : "100", QString::number(i));
    const QByteArray xml = Quiz(
        Multi(QStringLiteral("Много"), eleven) +
        QStringLiteral("<question type=\"shortanswer\"><name><text>Кратко</text></name>"
                       "<questiontext format=\"html\"><text>?</text></questiontext>"
                       "<answer fraction=\"100\"><text>x</text></answer></question>\n"
                       "<question type=\"category\"><category><text>$course$/top</text></category></question>\n") +
        Multi(QStringLiteral("Символы"), Answer("100", "стрелка → и € ok") + Answer("0", "<p><b>жирный</b> ответ</p>", "почему") +
                                               Answer("0", "обычный")) +
        Multi(QStringLiteral("Частично"), Answer("100", "a") + Answer("50", "b") + Answer("0", "c"), QStringLiteral("true")) +
        Multi(QStringLiteral("Без верного"), Answer("0", "a") + Answer("0", "b")) +
        Multi(QStringLiteral("Пусто"), QString()) +
        QStringLiteral("<question type=\"multichoice\"><name><text>Рисунок</text></name>"
                       "<questiontext format=\"html\"><text><![CDATA[<p>См. <img src=\"@@PLUGINFILE@@/net.png\"></p>]]></text>"
                       "<file name=\"other.png\" path=\"/\" encoding=\"base64\">iVBORw0KGgo=</file></questiontext>"
                       "<answer fraction=\"100\"><text>a</text></answer><answer fraction=\"0\"><text>b</text></answer>"
                       "</question>\n"));
    const TImportResult r = ImportMoodleXml(xml);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    // Kept: the characters question, the partial one, the one without a right answer, the picture one.
    QCOMPARE(r.Questions.size(), size_t(4));
    QCOMPARE(r.Questions[0]->Variants, (QStringList{"стрелка ? и € ok", "жирный ответ", "обычный"}));
    QCOMPARE(r.Questions[1]->RightMarks, QStringLiteral("!! "));
    QCOMPARE(r.Questions[2]->RightMarks, QStringLiteral("  "));
    QCOMPARE(PictureCount(r.Questions[3]->Body), 0);
    const QStringList expected{
        QStringLiteral("Вопрос 1 (строка 3): 11 вариантов ответа, допускается не более 10, пропущен."),
        QStringLiteral("Вопрос 2 (строка 4): вопросы типа «shortanswer» не поддерживаются, пропущен."),
        QStringLiteral("Вопрос 3 (строка 6): в ответе 1: знаки, которых нет в кодировке Windows-1251, заменены на «?»."),
        QStringLiteral("Вопрос 3 (строка 6): ответ 2 с оформлением, сохранён простым текстом."),
        QStringLiteral("Вопрос 3 (строка 6): отзывы к ответам не сохранены."),
        QStringLiteral("Вопрос 4 (строка 7): частичные оценки ответов сведены к «верно»."),
        QStringLiteral("Вопрос 5 (строка 8): нет верного ответа."),
        QStringLiteral("Вопрос 6 (строка 9): нет вариантов ответа, пропущен."),
        QStringLiteral("Вопрос 7 (строка 10): рисунок «@@PLUGINFILE@@/net.png» не найден среди вложенных файлов, пропущен."),
    };
    QCOMPARE(r.Report.Lines, expected);
}

void TstMoodleXml::brokenFilesRefusedWhole()
{
    const QString good = Multi(QStringLiteral("Хороший"), Answer("100", "a") + Answer("0", "b"));
    // Broken in the second question: the first is not kept either.
    {
        const TImportResult r = ImportMoodleXml(Quiz(good + QStringLiteral("<question type=\"multichoice\">\n<name><text>x</name>\n</question>\n")));
        QVERIFY(!r.Ok);
        QVERIFY(r.Questions.empty());
        QCOMPARE(r.ErrorLine, 5);   // where </name> closes what is still <text>
        QVERIFY2(r.Error.startsWith(QStringLiteral("Строка 5: ошибка в структуре XML")), qPrintable(r.Error));
    }
    {
        const TImportResult r = ImportMoodleXml(Quiz(good).left(Quiz(good).size() - 10));
        QVERIFY(!r.Ok);
        QVERIFY(r.Questions.empty());
        QVERIFY(r.ErrorLine > 0);
    }
    // An entity bomb is refused at its declarations, before anything expands.
    {
        QByteArray bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE quiz [\n<!ENTITY a \"aaaaaaaaaa\">\n";
        for (char c = 'b'; c <= 'k'; ++c)
            bomb += QByteArray("<!ENTITY ") + c + " \"" + QByteArray("&") + char(c - 1) + ";" + QByteArray("&") +
                    char(c - 1) + ";" + QByteArray("&") + char(c - 1) + ";\">\n";
        bomb += "]>\n<quiz><question type=\"description\"><questiontext><text>&k;</text></questiontext></question></quiz>\n";
        const TImportResult r = ImportMoodleXml(bomb);
        QVERIFY(!r.Ok);
        QVERIFY(r.Questions.empty());
        QVERIFY2(r.Error.contains(QStringLiteral("DTD")), qPrintable(r.Error));
        QVERIFY(r.ErrorLine > 0 && r.ErrorLine <= 14);
    }
    {
        const TImportResult r = ImportMoodleXml(Quiz(QStringLiteral("<question type=\"description\"><questiontext><text>&undefined;</text></questiontext></question>\n")));
        QVERIFY(!r.Ok);
        QCOMPARE(r.ErrorLine, 3);
    }
    // An attachment beyond what a picture may weigh.
    {
        const QByteArray huge(17 * 1024 * 1024 / 3 * 4, 'A');
        const QByteArray xml = "<quiz>\n" + Quiz(good).mid(Quiz(good).indexOf("<question")).replace(
            "<questiontext format=\"html\"><text>", "<questiontext format=\"html\"><file name=\"big.png\" encoding=\"base64\">\n" + huge + "</file><text>");
        const TImportResult r = ImportMoodleXml(xml);
        QVERIFY(!r.Ok);
        QVERIFY(r.Questions.empty());
        QVERIFY2(r.Error.contains(QStringLiteral("«big.png» больше 16 МБ")), qPrintable(r.Error));
        QCOMPARE(r.ErrorLine, 2);
    }
    {
        const TImportResult r = ImportMoodleXml("<?xml version=\"1.0\"?>\n<html><body>x</body></html>");
        QVERIFY(!r.Ok);
        QVERIFY2(r.Error.contains(QStringLiteral("«html» вместо «quiz»")), qPrintable(r.Error));
    }
    {
        const TImportResult r = ImportMoodleXml(QByteArray(kMaxInputBytes + 1, ' '));
        QVERIFY(!r.Ok);
        QVERIFY(r.Error.contains(QStringLiteral("слишком велик")));
    }
    {
        const TImportResult r = ImportMoodleXml(QByteArray());
        QVERIFY(!r.Ok);
        QVERIFY(!r.Error.isEmpty());
    }
}

void TstMoodleXml::exampleFileReads()
{
    QFile f(QStringLiteral(QE_SOURCE_DIR "/examples/interchange/geometry.xml"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const TImportResult r = ImportMoodleXml(f.readAll());
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QVERIFY2(r.Report.isEmpty(), qPrintable(r.Report.Lines.join('\n')));
    QCOMPARE(r.Questions.size(), size_t(4));
    QVERIFY(r.Questions[0]->IsInformation());
    QCOMPARE(PictureCount(r.Questions[1]->Body), 1);
    QCOMPARE(PictureCount(r.Questions[2]->Body), 1);
    QCOMPARE(r.Questions[1]->RightMarks, QStringLiteral("!  "));
    QCOMPARE(r.Questions[2]->RightMarks, QStringLiteral("!!! "));
    QCOMPARE(r.Questions[3]->Variants, (QStringList{"Верно", "Неверно"}));
    QVERIFY(r.Questions[1]->Comment);
    // Through our side and out again, the pictures are the platform's own files no more,
    // but the same pixels.
    TReport report;
    const TImportResult back = ImportMoodleXml(ExportMoodleXml(r.Questions, report));
    QVERIFY(report.isEmpty());
    QVERIFY(back.Ok);
    QCOMPARE(back.Questions.size(), r.Questions.size());
    QTextDocument a, b;
    LoadRecord(a, r.Questions[1]->Body);
    LoadRecord(b, back.Questions[1]->Body);
    QCOMPARE(a.toRawText(), b.toRawText());
}

void TstMoodleXml::onePictureReferencedOftenIsBounded()
{
    // A small file: one plain picture that decodes to 12 MB, 40 references.
    QImage img(2000, 2000, QImage::Format_RGB32);
    img.fill(qRgb(10, 20, 30));
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    const QString refs = QStringLiteral("<img src=\"@@PLUGINFILE@@/big.png\">").repeated(40);
    const QString file = QStringLiteral("<file name=\"big.png\" encoding=\"base64\">%1</file>").arg(QString::fromLatin1(png.toBase64()));
    const QByteArray xml = Quiz(Multi(QStringLiteral("a"), Answer(QStringLiteral("100"), QStringLiteral("x")) +
                                                             Answer(QStringLiteral("0"), QStringLiteral("y"))) +
                                QStringLiteral("<question type=\"description\">\n<name><text>b</text></name>\n"
                                               "<questiontext format=\"html\"><text><![CDATA[%1]]></text>%2</questiontext>\n"
                                               "</question>\n").arg(refs, file));
    QVERIFY(xml.size() < 200 * 1024);
    const TImportResult r = ImportMoodleXml(xml);
    QVERIFY(!r.Ok);
    QVERIFY(r.Questions.empty());
    QCOMPARE(r.ErrorLine, 4);
    QCOMPARE(r.Error, QStringLiteral("Строка 4: рисунки файла заняли бы в вопросах больше 256 МБ; файл не импортирован."));

    // Within the bound every reference is a picture of the question.
    const QByteArray few = Quiz(QStringLiteral("<question type=\"description\"><questiontext format=\"html\">"
                                               "<text><![CDATA[%1]]></text>%2</questiontext></question>")
                                    .arg(QStringLiteral("<img src=\"@@PLUGINFILE@@/big.png\">").repeated(3), file));
    const TImportResult ok = ImportMoodleXml(few);
    QVERIFY(ok.Ok);
    QCOMPARE(PictureCount(ok.Questions.at(0)->Body), 3);
}

void TstMoodleXml::markupCharactersInCdata()
{
    const QString both = QStringLiteral("Пушкин & Лермонтов");
    TReport report;
    const QByteArray xml = ExportMoodleXml({Question(RichRecordFromPlain(QStringLiteral("Кто?")),
                                                     {both, QStringLiteral("a < b > c"), QStringLiteral("]]> \"'")},
                                                     QStringLiteral("!  "), both)}, report);
    // As the platform's own writer: its reader drops the spaces next to entities.
    QVERIFY2(xml.contains("<name>\n      <text><![CDATA[Пушкин & Лермонтов]]></text>") ||
                 xml.contains("<text><![CDATA[Пушкин & Лермонтов]]></text>\n    </name>"), xml.constData());
    QVERIFY2(xml.contains("<text><![CDATA[a < b > c]]></text>"), xml.constData());
    QVERIFY(!xml.contains("&amp;") && !xml.contains("&lt;"));
    const TImportResult r = ImportMoodleXml(xml);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.at(0)->Title, both);
    QCOMPARE(r.Questions[0]->Variants, (QStringList{both, QStringLiteral("a < b > c"), QStringLiteral("]]> \"'")}));
}

void TstMoodleXml::trueFalseFeedbackReported()
{
    const TImportResult r = ImportMoodleXml(Quiz(QStringLiteral(
        "<question type=\"truefalse\"><questiontext format=\"html\"><text>Да?</text></questiontext>"
        "<answer fraction=\"100\"><text>true</text><feedback><text>Верно!</text></feedback></answer>"
        "<answer fraction=\"0\"><text>false</text><feedback><text></text></feedback></answer></question>\n")));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(1));
    QCOMPARE(r.Report.Lines, QStringList{QStringLiteral("Вопрос 1 (строка 3): отзывы к ответам не сохранены.")});
}

void TstMoodleXml::oldImageElementsRead()
{
    const QImage img = Picture(7, 4, qRgb(1, 2, 200), qRgb(250, 250, 0));
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    const QString b64 = QString::fromLatin1(png.toBase64());
    const TImportResult r = ImportMoodleXml(Quiz(QStringLiteral(
        "<question type=\"description\"><questiontext format=\"html\"><text>Смотрите</text></questiontext>"
        "<image>pics/old.png</image><image_base64>%1</image_base64></question>\n"
        "<question type=\"description\"><questiontext format=\"plain_text\"><text>a &lt; b</text></questiontext>"
        "<image>old.png</image><image_base64>%1</image_base64></question>\n"
        "<question type=\"description\"><questiontext format=\"html\"><text>Без данных</text></questiontext>"
        "<image>http://example.invalid/x.png</image></question>\n").arg(b64)));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(3));
    QCOMPARE(PictureCount(r.Questions[0]->Body), 1);
    QCOMPARE(PlainFromRichRecord(r.Questions[0]->Body).remove(QChar(QChar::ObjectReplacementCharacter)).trimmed(),
             QStringLiteral("Смотрите"));
    QCOMPARE(PictureCount(r.Questions[1]->Body), 1);
    QVERIFY(PlainFromRichRecord(r.Questions[1]->Body).startsWith(QStringLiteral("a < b")));
    QCOMPARE(PictureCount(r.Questions[2]->Body), 0);
    QCOMPARE(r.Report.Lines, QStringList{QStringLiteral("Вопрос 3 (строка 5): рисунок «http://example.invalid/x.png» не вложен в файл, пропущен.")});
}

void TstMoodleXml::namesLoseTheirTags()
{
    const TImportResult r = ImportMoodleXml(Quiz(QStringLiteral(
        "<question type=\"description\"><name><text><![CDATA[<b>Жирное</b>  <i>имя</i> 1 < 2]]></text></name>"
        "<questiontext format=\"html\"><text>Текст</text></questiontext></question>\n")));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.at(0)->Title, QStringLiteral("Жирное имя 1 < 2"));
}

void TstMoodleXml::hostileTextsRoundTrip()
{
    const QStringList hostile = {QStringLiteral("C:\\new \\\\n \\"), QStringLiteral("~ = # { } : ::"),
                                 QStringLiteral("a & b < c > d &amp; ]]> \"q\" 'a'"), QStringLiteral("Ёлка — «ёж» №5")};
    TQuestionList qs;
    for (const QString &t : hostile)
        qs.push_back(Question(RichRecordFromPlain(t + QStringLiteral("\n") + t), {t, QStringLiteral("x ") + t},
                              QStringLiteral(" !"), QStringLiteral("Название ") + t, RichRecordFromPlain(t)));
    TReport report;
    const QByteArray xml = ExportMoodleXml(qs, report);
    QVERIFY(report.isEmpty());
    const TImportResult r = ImportMoodleXml(xml);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    const QString d = InterchangeTest::TextsDifference(qs, r.Questions);
    QVERIFY2(d.isEmpty(), qPrintable(d));
    TReport again;
    QCOMPARE(ExportMoodleXml(r.Questions, again), xml);
}

QTEST_MAIN(TstMoodleXml)
#include "tst_MoodleXml.moc"
