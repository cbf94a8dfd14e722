#include <QtTest>

#include "Ansi.h"
#include "HtmlRich.h"
#include "Interchange.h"
#include "testutil_interchange.h"
#include "MJvRichedit.h"
#include "TextFormats.h"

using namespace Interchange;

namespace {

TQuestionPtr Question(const QString &text, const QStringList &variants, const QString &marks,
                      const QString &title = {}, const QString &comment = {})
{
    auto q = std::make_shared<TNQuestion>();
    SetBody(*q, RichRecordFromPlain(text));
    q->Variants = variants;
    q->RightMarks = marks;
    q->HasTitle = !title.isEmpty();
    q->Title = title;
    if (!comment.isEmpty())
        q->Comment = RichRecordFromPlain(comment);
    return q;
}

TImportResult Read(const QString &text)
{
    return ImportGift(text.toUtf8());
}

bool ReportHas(const TReport &r, const QString &part)
{
    for (const QString &l : r.Lines)
        if (l.contains(part))
            return true;
    return false;
}

} // namespace

class TstGift : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void multipleChoice();
    void trueFalseAndTitles();
    void escapesAndLines();
    void feedbackCommentsCategories();
    void otherKindsSkipped();
    void limitsReported();
    void htmlAnswersKeepTheirText();
    void malformed_data();
    void malformed();
    void roundTrip();
    void richTextTravelsAsHtml();
    void htmlShowingNothing();
    void gapOpeningTheTextIsStable();
    void dataPicturesAreBounded();
    void backslashesAsThePlatformReadsThem();
    void eachAnswerKeepsItsFormat();
    void trueFalseOnlyInCapitals();
    void titlesLoseTheirTags();
    void encodingDecidedByContent_data();
    void encodingDecidedByContent();
    void hostileTextsRoundTrip();
    void halfSurrogateReferences();
};

void TstGift::multipleChoice()
{
    const TImportResult r = Read(QStringLiteral(
        "Столица Франции? {=Париж ~Лион ~Марсель}\n"
        "\n"
        "Простые числа {\n"
        "  ~%50%2\n"
        "  ~%50%3\n"
        "  ~%-100%4\n"
        "  ~9\n"
        "}\n"
        "\n"
        "Река {~Волга =%100%Дон ~%0%Нил}\n"
        "\n"
        "Мы {~едем =идём ~плывём} домой.\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(4));
    const TNQuestion &a = *r.Questions[0];
    QCOMPARE(a.Variants, (QStringList{"Париж", "Лион", "Марсель"}));
    QCOMPARE(a.RightMarks, QStringLiteral("!  "));
    QCOMPARE(a.PlainLines.items(), QStringList{QStringLiteral("Столица Франции?")});
    QVERIFY(!a.HasTitle);
    QVERIFY(!a.Comment);
    QVERIFY(a.ContentReady);
    QCOMPARE(r.Questions[1]->Variants, (QStringList{"2", "3", "4", "9"}));
    QCOMPARE(r.Questions[1]->RightMarks, QStringLiteral("!!  "));
    QCOMPARE(r.Questions[2]->RightMarks, QStringLiteral(" ! "));
    // Text on both sides of the answers: a gap in the sentence.
    QCOMPARE(r.Questions[3]->PlainLines.items(), QStringList{QStringLiteral("Мы _____ домой.")});
    QVERIFY(r.Report.isEmpty());
}

void TstGift::trueFalseAndTitles()
{
    const TImportResult r = Read(QStringLiteral(
        "::Земля::Земля круглая.{T}\n\n"
        "::Луна:: Луна — звезда. {FALSE#Нет, спутник.#Верно.}\n\n"
        "::Справка::Дальше вопросы по физике.\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(3));
    QCOMPARE(r.Questions[0]->Title, QStringLiteral("Земля"));
    QVERIFY(r.Questions[0]->HasTitle);
    QCOMPARE(r.Questions[0]->Variants, (QStringList{"Верно", "Неверно"}));
    QCOMPARE(r.Questions[0]->RightMarks, QStringLiteral("! "));
    QCOMPARE(r.Questions[1]->RightMarks, QStringLiteral(" !"));
    QCOMPARE(r.Questions[1]->PlainLines.items(), QStringList{QStringLiteral("Луна — звезда.")});
    // A text without answers is an information item.
    QVERIFY(r.Questions[2]->IsInformation());
    QCOMPARE(r.Questions[2]->Title, QStringLiteral("Справка"));
    QCOMPARE(r.Report.Lines.size(), 1);
    QVERIFY(r.Report.Lines[0].startsWith(QStringLiteral("Вопрос 2 (строка 3): отзывы")));
}

void TstGift::escapesAndLines()
{
    const TImportResult r = Read(QStringLiteral(
        "::a\\:b::Сколько будет 1\\=1\\? Скобки \\{ и \\} \\# \\~\\nвторая строка\n"
        "третья строка {\n"
        "=ответ \\= с \\~ и \\#\n"
        "~неверно \\{x\\}\n"
        "}\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(1));
    const TNQuestion &q = *r.Questions[0];
    QCOMPARE(q.Title, QStringLiteral("a:b"));
    QCOMPARE(q.PlainLines.items(), (QStringList{QStringLiteral("Сколько будет 1=1\\? Скобки { и } # ~"),
                                               QStringLiteral("вторая строка"), QStringLiteral("третья строка")}));
    QCOMPARE(q.Variants, (QStringList{"ответ = с ~ и #", "неверно {x}"}));
    QCOMPARE(q.RightMarks, QStringLiteral("! "));
}

void TstGift::feedbackCommentsCategories()
{
    const TImportResult r = Read(QStringLiteral(
        "// комментарий файла\n"
        "$CATEGORY: $course$/Физика\n"
        "\n"
        "Вопрос // не комментарий\n"
        "// строка-комментарий внутри вопроса\n"
        "{=да#хорошо ~нет#плохо ####Общий отзыв\\nв две строки}\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(1));
    const TNQuestion &q = *r.Questions[0];
    QCOMPARE(q.PlainLines.items(), QStringList{QStringLiteral("Вопрос // не комментарий")});
    QCOMPARE(q.Variants, (QStringList{"да", "нет"}));
    QVERIFY(q.Comment);
    QCOMPARE(PlainFromRichRecord(*q.Comment), QStringLiteral("Общий отзыв\nв две строки"));
    QCOMPARE(r.Report.Lines.size(), 2);
    QVERIFY(r.Report.Lines[0].contains(QStringLiteral("Строка 2: категория «$course$/Физика» пропущена")));
    QVERIFY(r.Report.Lines[1].startsWith(QStringLiteral("Вопрос 1 (строка 4): отзывы к ответам")));
}

void TstGift::otherKindsSkipped()
{
    const TImportResult r = Read(QStringLiteral(
        "Кто? {=никто =ничто}\n\n"
        "Пары {=a -> 1 =b -> 2 =c -> 3}\n\n"
        "Год? {#1822:5}\n\n"
        "Эссе {}\n\n"
        "Два поля {~a =b} и {~c =d}\n\n"
        "Настоящий {=да ~нет}\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(1));
    QCOMPARE(r.Questions[0]->Variants, (QStringList{"да", "нет"}));
    QCOMPARE(r.Report.Lines, (QStringList{
        QStringLiteral("Вопрос 1 (строка 1): пропущен: вопрос с кратким ответом."),
        QStringLiteral("Вопрос 2 (строка 3): пропущен: вопрос на соответствие."),
        QStringLiteral("Вопрос 3 (строка 5): пропущен: числовой вопрос."),
        QStringLiteral("Вопрос 4 (строка 7): пропущен: вопрос с развёрнутым ответом (эссе)."),
        QStringLiteral("Вопрос 5 (строка 9): пропущен: вопрос с несколькими полями ответа (вложенные ответы).")}));
}

void TstGift::limitsReported()
{
    QString many = QStringLiteral("Много {=0");
    for (int i = 1; i <= 10; ++i)
        many += QStringLiteral(" ~%1").arg(i);
    many += QStringLiteral("}\n\nДесять {=0");
    for (int i = 1; i <= 9; ++i)
        many += QStringLiteral(" ~%1").arg(i);
    many += QStringLiteral("}\n\n::Ω-тест::Юникод {=α-частица ~€ ~обычный}\n\nНикто {~a ~b}\n");
    const TImportResult r = Read(many);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(3));
    QCOMPARE(r.Questions[0]->Variants.size(), 10);
    QVERIFY(r.Report.Lines[0].startsWith(QStringLiteral("Вопрос 1 (строка 1): пропущен: 11 вариантов")));
    const TNQuestion &u = *r.Questions[1];
    QCOMPARE(u.Variants, (QStringList{"?-частица", "€", "обычный"}));   // € is in the code page
    QCOMPARE(u.Title, QStringLiteral("?-тест"));
    QVERIFY(ReportHas(r.Report, QStringLiteral("Вопрос 3 (строка 5): название: знаки")));
    QVERIFY(ReportHas(r.Report, QStringLiteral("Вопрос 3 (строка 5): вариант ответа: знаки")));
    QCOMPARE(r.Questions[2]->RightMarks, QStringLiteral("  "));
    QVERIFY(ReportHas(r.Report, QStringLiteral("Вопрос 4 (строка 7): ни один вариант")));
}

void TstGift::htmlAnswersKeepTheirText()
{
    const TImportResult r = Read(QStringLiteral(
        "[html]<p>Выберите <b>жирное</b></p> {=<b>это</b> ~a &amp; b ~простое}\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(1));
    QCOMPARE(r.Questions[0]->Variants, (QStringList{"это", "a & b", "простое"}));
    QVERIFY(ReportHas(r.Report, QStringLiteral("оформление вариантов ответа не перенесено")));
    QCOMPARE(r.Questions[0]->PlainLines.items(), QStringList{QStringLiteral("Выберите жирное")});
    QVERIFY(!IsPlainLook(r.Questions[0]->Body));
}

void TstGift::malformed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("unclosed") << QStringLiteral("Хорошо {=a ~b}\n\nПлохо\n{=a\n~b\n") << 4 << QStringLiteral("«{» не закрыта");
    QTest::newRow("nested") << QStringLiteral("a {=b {~c}}\n") << 1 << QStringLiteral("«{» не закрыта");
    QTest::newRow("stray close") << QStringLiteral("q\n\nx\ny} {=a ~b}\n") << 4 << QStringLiteral("«}» без открывающей");
    QTest::newRow("close after") << QStringLiteral("a {=b ~c} }\n") << 1 << QStringLiteral("«}» без открывающей");
    QTest::newRow("blank inside") << QStringLiteral("a {\n=b\n\n~c\n}\n") << 1 << QStringLiteral("«{» не закрыта");
    QTest::newRow("second field") << QStringLiteral("a {=b ~c} d {~e\n") << 1 << QStringLiteral("«{» не закрыта");
    QTest::newRow("after a comment line") << QStringLiteral("a\n// comment\n{=b\n// another\n~c {\n") << 3 << QStringLiteral("«{» не закрыта");
    QTest::newRow("title") << QStringLiteral("\n\n::без конца {=a ~b}\n") << 3 << QStringLiteral("«::»");
}

void TstGift::malformed()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(QString, message);
    const TImportResult r = Read(text);
    QVERIFY(!r.Ok);
    QVERIFY(r.Questions.empty());
    QCOMPARE(r.ErrorLine, line);
    QVERIFY2(r.Error.startsWith(QStringLiteral("Строка %1: ").arg(line)), qPrintable(r.Error));
    QVERIFY2(r.Error.contains(message), qPrintable(r.Error));
}

void TstGift::roundTrip()
{
    TQuestionList qs;
    qs.push_back(Question(QStringLiteral("Одна строка {со скобками} = и ~ # :: \\ конец"),
                          {"верно = да", "неверно {нет}", "%50% не вес"}, QStringLiteral("!  "),
                          QStringLiteral("Название: с двоеточием")));
    qs.push_back(Question(QStringLiteral("Две\nстроки"), {"a", "b", "c", "d"}, QStringLiteral("! ! "), {},
                          QStringLiteral("Комментарий\nиз двух строк")));
    qs.push_back(Question(QStringLiteral("Все верны"), {"x", "y"}, QStringLiteral("!!")));
    qs.push_back(Question(QStringLiteral("Правда?"), {"Верно", "Неверно"}, QStringLiteral(" !")));
    qs.push_back(Question(QStringLiteral("Справка перед вопросами"), {}, {}, QStringLiteral("Инфо")));
    qs.push_back(Question(QStringLiteral("Без верного"), {"p", "q"}, QStringLiteral("  ")));
    TReport report;
    const QByteArray gift = ExportGift(qs, report);
    QVERIFY(ReportHas(report, QStringLiteral("Вопрос 6: ни один вариант")));
    QCOMPARE(report.Lines.size(), 1);
    // Several right answers share the mark, the wrong ones take it back.
    QVERIFY2(gift.contains("~%50%a") && gift.contains("~%-50%b"), gift.constData());
    QVERIFY2(gift.contains("{FALSE}"), gift.constData());

    const TImportResult r = ImportGift(gift);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), qs.size());
    for (size_t i = 0; i < qs.size(); ++i) {
        const TNQuestion &a = *qs[i], &b = *r.Questions[i];
        QCOMPARE(b.PlainLines, a.PlainLines);
        QCOMPARE(b.Body, a.Body);
        QCOMPARE(b.Variants, a.Variants);
        QCOMPARE(b.RightMarks, a.RightMarks);
        QCOMPARE(b.HasTitle, a.HasTitle);
        QCOMPARE(b.Title, a.Title);
        QCOMPARE(b.Comment.has_value(), a.Comment.has_value());
        if (a.Comment)
            QCOMPARE(PlainFromRichRecord(*b.Comment), PlainFromRichRecord(*a.Comment));
    }
    // Exported again, the same file.
    TReport again;
    QCOMPARE(ExportGift(r.Questions, again), gift);
}

void TstGift::richTextTravelsAsHtml()
{
    TReport report;
    auto q = std::make_shared<TNQuestion>();
    SetBody(*q, RichRecordFromHtml(QStringLiteral("<p>Слово <b>жирное</b> и <i>наклонное</i></p>"), {}, report, {}));
    q->Variants = {"a", "b"};
    q->RightMarks = QStringLiteral(" !");
    QVERIFY(!IsPlainLook(q->Body));
    // Text in one look of another face travels as plain text: the platform shows its own font.
    auto other = std::make_shared<TNQuestion>();
    SetBody(*other, RichRecord::FromPlainText(QStringLiteral("Другой шрифт\nвторая строка")));
    QVERIFY(!IsPlainLook(other->Body));
    const QByteArray gift = ExportGift({q, other}, report);
    QVERIFY2(gift.contains("[html]") && (gift.contains("<b>") || gift.contains("<strong>")), gift.constData());
    QVERIFY2(gift.contains("[plain]Другой шрифт\\nвторая строка\n"), gift.constData());
    const TImportResult r = ImportGift(gift);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(2));
    QCOMPARE(r.Questions[1]->PlainLines, other->PlainLines);
    QCOMPARE(r.Questions[0]->PlainLines, q->PlainLines);
    QCOMPARE(r.Questions[0]->RightMarks, q->RightMarks);
    QVERIFY(!IsPlainLook(r.Questions[0]->Body));
}

void TstGift::htmlShowingNothing()
{
    // A title keeps an item whose HTML shows nothing; without one it is empty.
    const TImportResult r = Read(QStringLiteral("::Заголовок::[html]<p><b\n\n[html]<p></p>\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(1));
    QCOMPARE(r.Questions[0]->Title, QStringLiteral("Заголовок"));
    QCOMPARE(r.Report.Lines, QStringList{QStringLiteral("Вопрос 2 (строка 3): пропущен: пустой вопрос.")});
    TReport report;
    const TImportResult back = ImportGift(ExportGift(r.Questions, report));
    QVERIFY2(back.Ok, qPrintable(back.Error));
    QCOMPARE(back.Questions.size(), size_t(1));
    QCOMPARE(back.Questions[0]->Title, QStringLiteral("Заголовок"));
}

void TstGift::gapOpeningTheTextIsStable()
{
    // Answers before any text: the gap opens the question, and writing and
    // reading it again gives the same file. Likewise a text ending in a space.
    const TImportResult r = Read(QStringLiteral("{T} это верно.\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(1));
    QCOMPARE(r.Questions[0]->PlainLines.Get(0), QStringLiteral("_____ это верно."));
    TReport report;
    const QByteArray once = ExportGift(r.Questions, report);
    const TImportResult back = ImportGift(once);
    QVERIFY2(back.Ok, qPrintable(back.Error));
    QCOMPARE(back.Questions[0]->PlainLines.Get(0), QStringLiteral("_____ это верно."));
    QCOMPARE(ExportGift(back.Questions, report), once);

    // HTML whose text ends in a space is written without it, as it reads back.
    const TImportResult spaced = Read(QStringLiteral("[html]С <\n"));
    QVERIFY2(spaced.Ok, qPrintable(spaced.Error));
    const QByteArray first = ExportGift(spaced.Questions, report);
    QCOMPARE(ExportGift(ImportGift(first).Questions, report), first);
}

void TstGift::dataPicturesAreBounded()
{
    QImage img(3000, 3000, QImage::Format_RGB32);
    img.fill(qRgb(200, 10, 10));
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    // 27 MB each once decoded: ten of them pass the import's bound.
    const QString pic = QStringLiteral("<img src\\=\"data:image/png;base64,%1\">").arg(QString::fromLatin1(png.toBase64()));
    const TImportResult r = Read(QStringLiteral("Первый {=a ~b}\n\n[html]%1 {=a ~b}\n").arg(pic.repeated(10)));
    QVERIFY(!r.Ok);
    QVERIFY(r.Questions.empty());
    QCOMPARE(r.ErrorLine, 3);
    QVERIFY2(r.Error.startsWith(QStringLiteral("Строка 3: рисунки файла заняли бы в вопросах больше 256 МБ")), qPrintable(r.Error));
}

void TstGift::backslashesAsThePlatformReadsThem()
{
    const TImportResult r = Read(QStringLiteral("Путь C:\\\\new и \\\\neq 0 {=\\\\ ~a\\\\nb ~c\\\\\\=d}\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.at(0)->PlainLines.items(), QStringList{QStringLiteral("Путь C:\\new и \\neq 0")});
    QCOMPARE(r.Questions[0]->Variants, (QStringList{"\\", "a\\nb", "c\\=d"}));

    // Written, a backslash is escaped, so it comes back as it was.
    TReport report;
    const QByteArray gift = ExportGift({Question(QStringLiteral("C:\\new"), {"\\neq 0", "x\\"}, QStringLiteral("! "))}, report);
    QVERIFY2(gift.contains("C\\:\\\\new") && gift.contains("=\\\\neq 0") && gift.contains("~x\\\\\n"), gift.constData());
    const TImportResult back = ImportGift(gift);
    QVERIFY(back.Ok);
    QCOMPARE(PlainFromRichRecord(back.Questions.at(0)->Body), QStringLiteral("C:\\new"));
    QCOMPARE(back.Questions[0]->Variants, (QStringList{"\\neq 0", "x\\"}));
}

void TstGift::eachAnswerKeepsItsFormat()
{
    const TImportResult r = Read(QStringLiteral("Цвета {=[plain]blue ~[html]<b>red</b> ~%50%[markdown]**green** ~[plain]<i>\\= tag</i>}\n"
                                                "\n[html]<p>Вопрос</p> {=[plain]a <b> ~&lt;c&gt;}\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(2));
    QCOMPARE(r.Questions[0]->Variants, (QStringList{"blue", "red", "green", "<i>= tag</i>"}));
    QCOMPARE(r.Questions[0]->RightMarks, QStringLiteral("! ! "));
    QVERIFY(ReportHas(r.Report, QStringLiteral("Вопрос 1 (строка 1): оформление вариантов ответа не перенесено")));
    QCOMPARE(r.Questions[1]->Variants, (QStringList{"a <b>", "<c>"}));

    // A variant that would read as HTML or as a marker is written with its own [plain].
    TReport report;
    auto rich = Question(QStringLiteral("x"), {"[html]y", "a < b & c"}, QStringLiteral("! "));
    SetBody(*rich, RichRecordFromHtml(QStringLiteral("<b>жирный</b> текст"), {}, report, {}));
    const QByteArray gift = ExportGift({rich, Question(QStringLiteral("x"), {"[plain]z", "<b>"}, QStringLiteral(" !"))}, report);
    QVERIFY2(gift.contains("=[plain][html]y") && gift.contains("~[plain]a < b & c") && gift.contains("~[plain][plain]z")
                 && gift.contains("=<b>"), gift.constData());
    const TImportResult back = ImportGift(gift);
    QVERIFY(back.Ok);
    QCOMPARE(back.Questions.at(0)->Variants, (QStringList{"[html]y", "a < b & c"}));
    QCOMPARE(back.Questions.at(1)->Variants, (QStringList{"[plain]z", "<b>"}));
}

void TstGift::trueFalseOnlyInCapitals()
{
    const TImportResult r = Read(QStringLiteral("Первый {true}\n\nВторой {t}\n\nТретий {TRUE}\n\nЧетвёртый {F}\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(2));
    QCOMPARE(r.Questions[0]->RightMarks, QStringLiteral("! "));
    QCOMPARE(r.Questions[1]->RightMarks, QStringLiteral(" !"));
    QVERIFY(ReportHas(r.Report, QStringLiteral("Вопрос 1 (строка 1): пропущен: «true» платформа читает как краткий ответ")));
    QVERIFY(ReportHas(r.Report, QStringLiteral("Вопрос 2 (строка 3): пропущен: «t»")));
}

void TstGift::titlesLoseTheirTags()
{
    const TImportResult r = Read(QStringLiteral("::<b>Жирное</b> <span class\\=\"x\">название</span> 1 < 2::Текст {=a ~b}\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.at(0)->Title, QStringLiteral("Жирное название 1 < 2"));
}

void TstGift::encodingDecidedByContent_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("UTF-8") << QByteArray("Gr\xC3\xB6\xC3\x9F" "e \xD0\xB8 {=a ~b}") << QStringLiteral("Größe и") << QString();
    QTest::newRow("UTF-8 with a mark") << QByteArray("\xEF\xBB\xBF\xD0\xB8 {=a ~b}") << QStringLiteral("и") << QString();
    QTest::newRow("Windows-1251") << QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0 {=a ~b}") << QStringLiteral("Привет, мир")
                                  << QStringLiteral("Файл не в кодировке UTF-8: прочитан в кодировке Windows-1251.");
    QTest::newRow("Windows-1252") << QByteArray("Gr\xF6\xDF" "e, sch\xF6n {=a ~b}") << QStringLiteral("Größe, schön")
                                  << QStringLiteral("Файл не в кодировке UTF-8: прочитан в кодировке Windows-1252.");
    QTest::newRow("UTF-16LE") << QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char *>(u"и {=a ~b}"), 18) << QStringLiteral("и")
                              << QStringLiteral("Файл прочитан в кодировке UTF-16LE (по метке в начале файла).");
}

void TstGift::encodingDecidedByContent()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(QString, firstLine);
    const TImportResult r = ImportGift(bytes);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(1));
    QCOMPARE(r.Questions[0]->PlainLines.items(), QStringList{text});
    QCOMPARE(r.Report.Lines.value(0), firstLine);
    QCOMPARE(r.Report.Lines.size(), firstLine.isEmpty() ? 0 : 1);
}

// Texts that use everything the format reserves come back as they were, and
// the file they make is written the same the second time.
void TstGift::hostileTextsRoundTrip()
{
    const QStringList hostile = {
        QStringLiteral("C:\\new \\\\server\\n \\"), QStringLiteral("~ = # { } : :: \\~ \\{"),
        QStringLiteral("a & b < c > d &amp; <b>не тег</b>"), QStringLiteral("Ёлка — «ёж» №5"),
        QStringLiteral("[html]<i>x</i>"), QStringLiteral("%50% ####")};
    TQuestionList qs;
    for (const QString &t : hostile)
        // Names lose their tags on the platform (and here).
        qs.push_back(Question(t + QStringLiteral("\nвторая строка ") + t, {t, QStringLiteral("x") + t}, QStringLiteral(" !"),
                              t.contains(QLatin1Char('<')) ? QStringLiteral("Название") : t.simplified(),
                              t + QStringLiteral("\n") + t));
    TReport report;
    const QByteArray gift = ExportGift(qs, report);
    const TImportResult r = ImportGift(gift);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    const QString d = InterchangeTest::TextsDifference(qs, r.Questions);
    QVERIFY2(d.isEmpty(), qPrintable(d));
    TReport again;
    QCOMPARE(ExportGift(r.Questions, again), gift);
}

void TstGift::halfSurrogateReferences()
{
    // Half a pair cannot be written in UTF-8: it must not come in as text
    // that changes on the next export.
    const TImportResult r = Read(QStringLiteral(
        "[html]a&#xD800;b&#56832;c &#x1F600; {=[html]x&#xDC00;y ~z}"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(1));
    const QString text = PlainFromRichRecord(r.Questions[0]->Body).trimmed();
    QCOMPARE(text, QStringLiteral("a\uFFFDb\uFFFDc \U0001F600"));
    TReport report;
    const QByteArray gift = ExportGift(r.Questions, report);
    const TImportResult back = ImportGift(gift);
    QVERIFY2(back.Ok, qPrintable(back.Error));
    const QString d = InterchangeTest::TextsDifference(r.Questions, back.Questions);
    QVERIFY2(d.isEmpty(), qPrintable(d));
    TReport again;
    QCOMPARE(ExportGift(back.Questions, again), gift);

    // The same half in a UTF-16 file.
    const TImportResult wide = ImportGift(QByteArray(
        "\xFE\xFF\x00\x61\xD8\x00\x00\x62\x00\x7B\x00\x3D\x00\x78\x00\x20\x00\x7E\x00\x79\x00\x7D", 22));
    QVERIFY2(wide.Ok, qPrintable(wide.Error));
    QCOMPARE(wide.Questions.size(), size_t(1));
    QCOMPARE(PlainFromRichRecord(wide.Questions[0]->Body).trimmed(), QStringLiteral("a\uFFFDb"));
}

QTEST_MAIN(TstGift)
#include "tst_Gift.moc"
