#include <QtTest>

#include "Ansi.h"
#include "HtmlRich.h"
#include "Interchange.h"
#include "MJvRichedit.h"
#include "TextFormats.h"

using namespace Interchange;

namespace {

TQuestionPtr Question(const QString &text, const QStringList &variants, const QString &marks)
{
    auto q = std::make_shared<TNQuestion>();
    SetBody(*q, RichRecordFromPlain(text));
    q->Variants = variants;
    q->RightMarks = marks;
    return q;
}

} // namespace

class TstAiken : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sample();
    void tooManyOptions();
    void malformed_data();
    void malformed();
    void exportSkipsWhatItCannotHold();
    void roundTrip();
    void separatorWithoutSpace();
    void singleOptionSkipped();
    void notUtf8SaysItsEncoding();
    void hostileTextsRoundTrip();
};

void TstAiken::sample()
{
    const QByteArray file = QStringLiteral(
            "Какая планета ближе всех к Солнцу?\n"
            "A) Венера\n"
            "B) Меркурий\n"
            "C) Марс\n"
            "ANSWER: B\n"
            "\n\n"
            "Сколько будет 2+2?\n"
            "A. 3\n"
            "B. 4\n"
            "ANSWER: B\n"
            "Без пустой строки следом\n"
            "A) да\n"
            "B) нет\n"
            "ANSWER: A\n").toUtf8();
    const TImportResult r = ImportAiken(file);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(3));
    QCOMPARE(r.Questions[0]->PlainLines.items(), QStringList{QStringLiteral("Какая планета ближе всех к Солнцу?")});
    QCOMPARE(r.Questions[0]->Variants, (QStringList{"Венера", "Меркурий", "Марс"}));
    QCOMPARE(r.Questions[0]->RightMarks, QStringLiteral(" ! "));
    QCOMPARE(r.Questions[1]->Variants, (QStringList{"3", "4"}));
    QCOMPARE(r.Questions[1]->RightMarks, QStringLiteral(" !"));
    QCOMPARE(r.Questions[2]->RightMarks, QStringLiteral("! "));
    QVERIFY(r.Report.isEmpty());

    // The same file in Windows-1251 reads the same.
    const TImportResult ansi = ImportAiken(ToAnsi(QString::fromUtf8(file)));
    QVERIFY(ansi.Ok);
    QCOMPARE(ansi.Questions[0]->Variants, r.Questions[0]->Variants);
}

void TstAiken::tooManyOptions()
{
    QString text = QStringLiteral("Много?\n");
    for (int i = 0; i < 11; ++i)
        text += QChar(u'A' + i) + QStringLiteral(") ") + QString::number(i) + QLatin1Char('\n');
    text += QStringLiteral("ANSWER: K\n\nДальше?\nA) α\nB) b\nANSWER: A\n");
    const TImportResult r = ImportAiken(text.toUtf8());
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(1));
    QCOMPARE(r.Questions[0]->Variants, (QStringList{"?", "b"}));
    QCOMPARE(r.Report.Lines.size(), 2);
    QVERIFY(r.Report.Lines[0].startsWith(QStringLiteral("Вопрос 1 (строка 1): пропущен: 11 вариантов")));
    QVERIFY(r.Report.Lines[1].startsWith(QStringLiteral("Вопрос 2 (строка 15): вариант ответа: знаки")));
}

void TstAiken::malformed_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("message");
    QTest::newRow("no answer line") << QStringLiteral("Q\nA) a\nB) b\n\nQ2\nA) a\nANSWER: A\n") << 1 << QStringLiteral("нет строки «ANSWER");
    QTest::newRow("end of file") << QStringLiteral("Q\nA) a\nANSWER: A\n\nQ2\nA) a\nB) b\n") << 5 << QStringLiteral("нет строки «ANSWER");
    QTest::newRow("unknown letter") << QStringLiteral("Q\nA) a\nB) b\nANSWER: C\n") << 4 << QStringLiteral("буква C");
    QTest::newRow("two answers") << QStringLiteral("Q\nA) a\nB) b\nANSWER: A, B\n") << 4 << QStringLiteral("одна буква");
    QTest::newRow("no options") << QStringLiteral("Q\n\nA) a\nANSWER: A\n") << 1 << QStringLiteral("нет вариантов");
    QTest::newRow("lone answer") << QStringLiteral("ANSWER: A\n") << 1 << QStringLiteral("без вопроса");
    QTest::newRow("text after options") << QStringLiteral("Q\nA) a\nлишнее\nANSWER: A\n") << 3 << QStringLiteral("ожидался вариант");
    QTest::newRow("twice") << QStringLiteral("Q\nA) a\nA) b\nANSWER: A\n") << 3 << QStringLiteral("дважды");
}

void TstAiken::malformed()
{
    QFETCH(QString, text);
    QFETCH(int, line);
    QFETCH(QString, message);
    const TImportResult r = ImportAiken(text.toUtf8());
    QVERIFY(!r.Ok);
    QVERIFY(r.Questions.empty());
    QCOMPARE(r.ErrorLine, line);
    QVERIFY2(r.Error.startsWith(QStringLiteral("Строка %1: ").arg(line)), qPrintable(r.Error));
    QVERIFY2(r.Error.contains(message), qPrintable(r.Error));
}

void TstAiken::exportSkipsWhatItCannotHold()
{
    TQuestionList qs;
    qs.push_back(Question(QStringLiteral("Справка"), {}, {}));
    qs.push_back(Question(QStringLiteral("Два верных"), {"a", "b", "c"}, QStringLiteral("!! ")));
    qs.push_back(Question(QStringLiteral("Один вариант"), {"a"}, QStringLiteral("!")));
    auto full = Question(QStringLiteral("Первая строка\nвторая"), {"x", "y"}, QStringLiteral(" !"));
    full->HasTitle = true;
    full->Title = QStringLiteral("Название");
    full->Comment = RichRecordFromPlain(QStringLiteral("Пояснение"));
    qs.push_back(full);
    // Another face in one look loses nothing worth a line; bold does.
    auto face = Question({}, {"p", "q"}, QStringLiteral("! "));
    SetBody(*face, RichRecord::FromPlainText(QStringLiteral("Шрифт")));
    qs.push_back(face);
    TReport html;
    auto bold = Question({}, {"p", "q"}, QStringLiteral("! "));
    SetBody(*bold, RichRecordFromHtml(QStringLiteral("<b>Жирный</b>"), {}, html, {}));
    qs.push_back(bold);
    TReport report;
    const QString out = QString::fromUtf8(ExportAiken(qs, report));
    QCOMPARE(out, QStringLiteral("Первая строка вторая\nA) x\nB) y\nANSWER: B\n\n"
                                 "Шрифт\nA) p\nB) q\nANSWER: A\n\nЖирный\nA) p\nB) q\nANSWER: A\n\n"));
    QCOMPARE(report.Lines.size(), 7);
    QVERIFY(report.Lines[6].startsWith(QStringLiteral("Вопрос 6: оформление текста")));
    QVERIFY(report.Lines[0].startsWith(QStringLiteral("Вопрос 1: пропущен: информационный блок")));
    QVERIFY(report.Lines[1].startsWith(QStringLiteral("Вопрос 2: пропущен: верных вариантов 2")));
    QVERIFY(report.Lines[2].startsWith(QStringLiteral("Вопрос 3: пропущен: один вариант")));
    QVERIFY(report.Lines[3].startsWith(QStringLiteral("Вопрос 4: текст в несколько строк")));
    QVERIFY(report.Lines[4].startsWith(QStringLiteral("Вопрос 4: название")));
    QVERIFY(report.Lines[5].startsWith(QStringLiteral("Вопрос 4: комментарий")));
}

void TstAiken::roundTrip()
{
    TQuestionList qs;
    qs.push_back(Question(QStringLiteral("A) текст, похожий на вариант"), {"a", "b", "c"}, QStringLiteral("  !")));
    qs.push_back(Question(QStringLiteral("Обычный вопрос"), {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"},
                          QStringLiteral("        ! ")));
    TReport report;
    const QByteArray aiken = ExportAiken(qs, report);
    QCOMPARE(report.Lines.size(), 1);
    QVERIFY(report.Lines[0].startsWith(QStringLiteral("Вопрос 1: текст начинается")));
    const TImportResult r = ImportAiken(aiken);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(2));
    QCOMPARE(r.Questions[0]->PlainLines.items(), QStringList{QStringLiteral("— A) текст, похожий на вариант")});
    QCOMPARE(r.Questions[1]->Body, qs[1]->Body);
    for (size_t i = 0; i < qs.size(); ++i) {
        QCOMPARE(r.Questions[i]->Variants, qs[i]->Variants);
        QCOMPARE(r.Questions[i]->RightMarks, qs[i]->RightMarks);
    }
    TReport again;
    QCOMPARE(ExportAiken(r.Questions, again), aiken);
}

void TstAiken::separatorWithoutSpace()
{
    const TImportResult r = ImportAiken(QByteArray("Q\nA)Incorrect\nB.Correct\nC)\tTab\nD.  two spaces\nANSWER: B\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.at(0)->Variants, (QStringList{"Incorrect", "Correct", "Tab", "two spaces"}));
    QCOMPARE(r.Questions[0]->RightMarks, QStringLiteral(" !  "));
    // Written, such a text is set apart, as any that reads as an option.
    TReport report;
    const QByteArray out = ExportAiken({Question(QStringLiteral("B.Correct?"), {"a", "b"}, QStringLiteral("! "))}, report);
    QVERIFY2(out.startsWith("— B.Correct?\n"), out.constData());
}

void TstAiken::singleOptionSkipped()
{
    const TImportResult r = ImportAiken(QByteArray("One\nA) only\nANSWER: A\n\nTwo\nA) a\nB) b\nANSWER: A\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), size_t(1));
    QCOMPARE(r.Questions[0]->PlainLines.items(), QStringList{QStringLiteral("Two")});
    QCOMPARE(r.Report.Lines, QStringList{QStringLiteral("Вопрос 1 (строка 1): пропущен: один вариант ответа, а нужно не меньше двух.")});
}

void TstAiken::notUtf8SaysItsEncoding()
{
    const TImportResult r = ImportAiken(QByteArray("\xC2\xEE\xEF\xF0\xEE\xF1\nA) \xE4\xE0\nB) \xED\xE5\xF2\nANSWER: A\n"));
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.at(0)->Variants, (QStringList{"да", "нет"}));
    QCOMPARE(r.Report.Lines, QStringList{QStringLiteral("Файл не в кодировке UTF-8: прочитан в кодировке Windows-1251.")});
}

void TstAiken::hostileTextsRoundTrip()
{
    const QStringList hostile = {QStringLiteral("C:\\new \\\\n \\"), QStringLiteral("~ = # { } : ::"),
                                 QStringLiteral("a & b < c > d &amp; <b>x</b>"), QStringLiteral("Ёлка — «ёж» №5")};
    TQuestionList qs;
    for (const QString &t : hostile)
        qs.push_back(Question(t, {t, QStringLiteral("B) ") + t}, QStringLiteral(" !")));
    TReport report;
    const QByteArray aiken = ExportAiken(qs, report);
    QVERIFY(report.isEmpty());
    const TImportResult r = ImportAiken(aiken);
    QVERIFY2(r.Ok, qPrintable(r.Error));
    QCOMPARE(r.Questions.size(), qs.size());
    for (size_t i = 0; i < qs.size(); ++i) {
        QCOMPARE(r.Questions[i]->Body, qs[i]->Body);
        QCOMPARE(r.Questions[i]->Variants, qs[i]->Variants);
    }
    TReport again;
    QCOMPARE(ExportAiken(r.Questions, again), aiken);
}

QTEST_MAIN(TstAiken)
#include "tst_Aiken.moc"
