// Questions as the XML question-bank files of learning platforms.
#include "HtmlRich.h"
#include "Interchange.h"

#include "RichRecord.h"
#include "TextFormats.h"

#include <QRegularExpression>
#include <QTextDocument>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <cmath>
#include <memory>
#include <optional>

namespace Interchange {

namespace {

// An attached file larger than this is refused with the whole file.
constexpr qsizetype kMaxFileBytes = 16 * 1024 * 1024;
constexpr int kMaxDepth = 32;
constexpr int kNameLength = 50;

const QString kTrue = QStringLiteral("Верно");
const QString kFalse = QStringLiteral("Неверно");

struct TElem {
    QString Name;
    QXmlStreamAttributes Attrs;
    QString Text;
    qint64 Line = 0;
    std::vector<std::unique_ptr<TElem>> Children;

    const TElem *child(QStringView name) const
    {
        for (const auto &c : Children)
            if (c->Name == name)
                return c.get();
        return nullptr;
    }
    QList<const TElem *> all(QStringView name) const
    {
        QList<const TElem *> r;
        for (const auto &c : Children)
            if (c->Name == name)
                r << c.get();
        return r;
    }
    QString attr(const QString &name) const { return Attrs.value(name).toString(); }
    // The <text> of a field such as <name> or <questiontext>.
    QString fieldText() const
    {
        const TElem *t = child(u"text");
        return t ? t->Text : QString();
    }
};

struct TFailure {
    QString Message;
    qint64 Line;
};

class TReader {
public:
    explicit TReader(const QByteArray &data) : m_xml(data) {}

    // The next <question> below <quiz>, or null at the end. Throws TFailure.
    std::unique_ptr<TElem> next()
    {
        if (!m_inQuiz) {
            if (!nextStart())
                fail(QStringLiteral("в файле нет элемента «quiz»."));
            if (m_xml.name() != u"quiz")
                fail(QStringLiteral("это не файл вопросов: корневой элемент «%1» вместо «quiz».")
                         .arg(m_xml.name().toString()));
            m_inQuiz = true;
        }
        for (;;) {
            const auto t = readToken();
            if (t == QXmlStreamReader::EndElement || t == QXmlStreamReader::EndDocument) {
                finish();
                return nullptr;
            }
            if (t != QXmlStreamReader::StartElement)
                continue;
            if (m_xml.name() != u"question") {
                skipElement();
                continue;
            }
            return readElement(1);
        }
    }

private:
    [[noreturn]] void fail(const QString &message, qint64 line = -1)
    {
        throw TFailure{message, line >= 0 ? line : m_xml.lineNumber()};
    }

    QXmlStreamReader::TokenType readToken()
    {
        const auto t = m_xml.readNext();
        if (t == QXmlStreamReader::DTD)
            fail(QStringLiteral("файл содержит объявление типа документа (DTD); объявления сущностей "
                                "не допускаются."));
        if (t == QXmlStreamReader::EntityReference)
            fail(QStringLiteral("ссылка на необъявленную сущность «%1».").arg(m_xml.name().toString()));
        if (m_xml.hasError())
            fail(QStringLiteral("ошибка в структуре XML: %1").arg(m_xml.errorString()));
        return t;
    }

    bool nextStart()
    {
        for (;;) {
            const auto t = readToken();
            if (t == QXmlStreamReader::StartElement)
                return true;
            if (t == QXmlStreamReader::EndDocument)
                return false;
        }
    }

    void skipElement()
    {
        int depth = 1;
        while (depth > 0) {
            const auto t = readToken();
            if (t == QXmlStreamReader::StartElement)
                ++depth;
            else if (t == QXmlStreamReader::EndElement)
                --depth;
            else if (t == QXmlStreamReader::EndDocument)
                fail(QStringLiteral("файл оборван."));
        }
    }

    std::unique_ptr<TElem> readElement(int depth)
    {
        if (depth > kMaxDepth)
            fail(QStringLiteral("слишком глубокая вложенность элементов."));
        auto e = std::make_unique<TElem>();
        e->Name = m_xml.name().toString();
        e->Attrs = m_xml.attributes();
        e->Line = m_xml.lineNumber();
        const bool file = e->Name == u"file" || e->Name == u"image_base64";
        for (;;) {
            const auto t = readToken();
            switch (t) {
            case QXmlStreamReader::StartElement:
                e->Children.push_back(readElement(depth + 1));
                break;
            case QXmlStreamReader::Characters:
                e->Text += m_xml.text();
                // base64 is 4 characters for 3 bytes, and may be wrapped in lines
                if (file && e->Text.size() > kMaxFileBytes / 3 * 4 + kMaxFileBytes / 38 + 1024)
                    fail(QStringLiteral("вложенный файл «%1» больше %2 МБ.")
                             .arg(e->attr(QStringLiteral("name"))).arg(kMaxFileBytes / (1024 * 1024)),
                         e->Line);
                break;
            case QXmlStreamReader::EndElement:
                return e;
            case QXmlStreamReader::EndDocument:
                fail(QStringLiteral("файл оборван."));
            default:
                break;
            }
        }
    }

    void finish()
    {
        // Whatever follows the root must still be well-formed.
        while (!m_xml.atEnd())
            readToken();
    }

    QXmlStreamReader m_xml;
    bool m_inQuiz = false;
};

// ---- import of one question -------------------------------------------------------

QList<TEmbeddedFile> FilesOf(const TElem &field, TReport &report, const QString &where)
{
    QList<TEmbeddedFile> files;
    for (const TElem *f : field.all(u"file")) {
        const QString name = f->attr(QStringLiteral("name"));
        const QString enc = f->attr(QStringLiteral("encoding"));
        if (!enc.isEmpty() && enc.compare(u"base64", Qt::CaseInsensitive) != 0) {
            report.add(QStringLiteral("%1вложенный файл «%2» в кодировке «%3» не прочитан.")
                           .arg(where, name, enc));
            continue;
        }
        QByteArray b64 = f->Text.toLatin1();
        b64.replace(' ', QByteArray()).replace('\n', QByteArray()).replace('\r', QByteArray())
            .replace('\t', QByteArray());
        const auto decoded = QByteArray::fromBase64Encoding(b64, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            report.add(QStringLiteral("%1вложенный файл «%2» повреждён (base64), не прочитан.").arg(where, name));
            continue;
        }
        files.append(TEmbeddedFile{name, *decoded});
    }
    return files;
}

// The picture of the older files: <image> names it, <image_base64> carries it;
// the platform shows it after the question text.
std::optional<TEmbeddedFile> LegacyImage(const TElem &question, TReport &report, const QString &where)
{
    const TElem *name = question.child(u"image");
    const TElem *data = question.child(u"image_base64");
    const QString path = name ? name->Text.trimmed() : QString();
    QByteArray b64 = data ? data->Text.toLatin1() : QByteArray();
    b64.replace(' ', QByteArray()).replace('\n', QByteArray()).replace('\r', QByteArray()).replace('\t', QByteArray());
    if (b64.isEmpty()) {
        if (!path.isEmpty())
            report.add(QStringLiteral("%1рисунок «%2» не вложен в файл, пропущен.").arg(where, path.left(80)));
        return std::nullopt;
    }
    const auto decoded = QByteArray::fromBase64Encoding(b64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        report.add(QStringLiteral("%1рисунок в элементе «image_base64» повреждён (base64), пропущен.").arg(where));
        return std::nullopt;
    }
    QString file = path.section(QLatin1Char('/'), -1);
    if (file.isEmpty())
        file = QStringLiteral("image");
    return TEmbeddedFile{file, *decoded};
}

QByteArray RichOfField(const TElem &field, TReport &report, const QString &where, TImportPictures &pictures,
                       const std::optional<TEmbeddedFile> &extra = std::nullopt)
{
    const QString format = field.attr(QStringLiteral("format")).toLower();
    QString text = field.fieldText();
    const bool plain = format == u"plain_text" || format == u"markdown" ||
                       (format == u"moodle_auto_format" && !text.contains(QLatin1Char('<')));
    if (plain && !extra)
        return RichRecordFromPlain(text);
    QList<TEmbeddedFile> files = FilesOf(field, report, where);
    if (plain)
        text = QStringLiteral("<p style=\"white-space:pre-wrap\">") +
               text.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>")) + QStringLiteral("</p>");
    if (extra) {
        // A name of its own, so that no attached file of the text is taken for it.
        TEmbeddedFile legacy = *extra;
        legacy.Name = QStringLiteral("qe-legacy-image/") + legacy.Name;
        text += QStringLiteral("<p><img src=\"@@PLUGINFILE@@/%1\"></p>").arg(legacy.Name.toHtmlEscaped());
        files << legacy;
    }
    return RichRecordFromHtml(text, files, report, where, &pictures);
}

// The plain text of an answer, one line; rich answers say so.
QString AnswerText(const TElem &answer, TReport &report, const QString &where, int n)
{
    const QString format = answer.attr(QStringLiteral("format")).toLower();
    QString raw = answer.fieldText();
    QString text;
    bool rich = false;
    const bool plain = format == u"plain_text" || format == u"markdown" ||
                       (format == u"moodle_auto_format" && !raw.contains(QLatin1Char('<')));
    if (plain) {
        text = raw;
    } else {
        TReport local;   // pictures of an answer are dropped anyway, never decoded
        const QByteArray rec = RichRecordFromHtml(raw, {}, local, where, nullptr);
        text = PlainFromRichRecord(rec);
        static const QRegularExpression tag(QStringLiteral("<\\s*(img|b|strong|i|em|u|s|sub|sup|font|span|"
                                                           "table|ul|ol|h[1-6])\\b"),
                                            QRegularExpression::CaseInsensitiveOption);
        rich = raw.contains(tag) || text.contains(QLatin1Char('\n'));
    }
    // One line: our variants are lines of the variants box.
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QChar(QChar::LineSeparator), QLatin1Char(' ')).replace(QChar(QChar::ParagraphSeparator), QLatin1Char(' '));
    if (!plain) {
        text.replace(QChar(0x00A0), QLatin1Char(' '));
        text = text.trimmed();
    }
    if (rich)
        report.add(QStringLiteral("%1ответ %2 с оформлением, сохранён простым текстом.").arg(where).arg(n));
    return text;
}

QString FirstLine(const QByteArray &body)
{
    const QStringList lines = PlainFromRichRecord(body).split(QLatin1Char('\n'));
    for (const QString &l : lines)
        if (!l.simplified().isEmpty())
            return l.simplified();
    return {};
}

// The name a question without a title gets: its text's first line, shortened.
QString DerivedName(const QByteArray &body)
{
    QString s = FirstLine(body);
    if (s.size() > kNameLength)
        s = s.left(kNameLength - 3).trimmed() + QStringLiteral("...");
    return s;
}

// False, reported: the text has more lines than a question keeps.
bool FinishQuestion(TNQuestion &q, const QByteArray &body, TReport &report, const QString &where)
{
    if (SetBody(q, body))
        return true;
    report.add(QStringLiteral("%1в тексте вопроса больше %2 строк, пропущен.").arg(where).arg(kMaxPlainLines));
    return false;
}

bool IsTrue(const QString &s)
{
    const QString t = s.trimmed().toLower();
    return t == u"true" || t == u"1";
}

// Null: skipped, the reason reported.
TQuestionPtr ImportOne(const TElem &e, int number, TReport &report, TImportPictures &pictures)
{
    const QString type = e.attr(QStringLiteral("type"));
    const QString where = Where(number, int(e.Line));
    auto q = std::make_shared<TNQuestion>();
    const TElem *text = e.child(u"questiontext");
    const std::optional<TEmbeddedFile> legacy = LegacyImage(e, report, where);
    TElem none;
    const QByteArray body = text || legacy ? RichOfField(text ? *text : none, report, where, pictures, legacy)
                                           : RichRecordFromPlain(QString());
    if (const TElem *fb = e.child(u"generalfeedback")) {
        if (!fb->fieldText().trimmed().isEmpty())
            q->Comment = RichOfField(*fb, report, where + QStringLiteral("общий отзыв: "), pictures);
    }
    if (const TElem *name = e.child(u"name")) {
        const QString title = NameWithoutTags(name->fieldText());
        const QString derived = DerivedName(body);
        // An untitled question without text lines is written under the generated name.
        static const QRegularExpression generated(QStringLiteral("^Вопрос \\d+$"));
        if (!title.isEmpty() && title != derived && !(derived.isEmpty() && generated.match(title).hasMatch())) {
            q->HasTitle = true;
            q->Title = AnsiOnly(title, QStringLiteral("в названии"), report, where);
        }
    }
    if (type == u"description")
        return FinishQuestion(*q, body, report, where) ? q : nullptr;
    if (type == u"truefalse") {
        bool trueRight = false, falseRight = false, seenTrue = false, seenFalse = false, feedback = false;
        for (const TElem *a : e.all(u"answer")) {
            if (const TElem *fb = a->child(u"feedback"))
                feedback = feedback || !fb->fieldText().trimmed().isEmpty();
            const QString t = a->fieldText().trimmed().toLower();
            const bool right = a->attr(QStringLiteral("fraction")).toDouble() > 0;
            if (t == u"true" || t == kTrue.toLower()) {
                trueRight = right;
                seenTrue = true;
            } else if (t == u"false" || t == kFalse.toLower()) {
                falseRight = right;
                seenFalse = true;
            }
        }
        if (!seenTrue && !seenFalse) {
            report.add(QStringLiteral("%1в вопросе «верно/неверно» нет ответов, пропущен.").arg(where));
            return nullptr;
        }
        if (feedback)
            report.add(QStringLiteral("%1отзывы к ответам не сохранены.").arg(where));
        q->Variants = QStringList{kTrue, kFalse};
        q->RightMarks = QString(trueRight ? QLatin1Char('!') : QLatin1Char(' ')) +
                        QString(falseRight ? QLatin1Char('!') : QLatin1Char(' '));
        return FinishQuestion(*q, body, report, where) ? q : nullptr;
    }
    if (type != u"multichoice") {
        report.add(QStringLiteral("%1вопросы типа «%2» не поддерживаются, пропущен.").arg(where, type));
        return nullptr;
    }
    const QList<const TElem *> answers = e.all(u"answer");
    if (answers.size() > kMaxVariants) {
        report.add(QStringLiteral("%1%2 вариантов ответа, допускается не более %3, пропущен.")
                       .arg(where).arg(answers.size()).arg(kMaxVariants));
        return nullptr;
    }
    if (answers.isEmpty()) {
        report.add(QStringLiteral("%1нет вариантов ответа, пропущен.").arg(where));
        return nullptr;
    }
    QList<double> positive;
    bool feedback = false;
    for (int i = 0; i < answers.size(); ++i) {
        const TElem &a = *answers[i];
        const QString v = AnswerText(a, report, where, i + 1);
        q->Variants << AnsiOnly(v, QStringLiteral("в ответе %1").arg(i + 1), report, where);
        const double fraction = a.attr(QStringLiteral("fraction")).toDouble();
        q->RightMarks += fraction > 0 ? QLatin1Char('!') : QLatin1Char(' ');
        if (fraction > 0)
            positive << fraction;
        if (const TElem *fb = a.child(u"feedback"))
            feedback = feedback || !fb->fieldText().trimmed().isEmpty();
    }
    const bool single = e.child(u"single") && IsTrue(e.child(u"single")->Text);
    const bool even = std::all_of(positive.begin(), positive.end(),
                                  [&](double f) { return std::abs(f - positive.first()) < 0.01; });
    if (positive.isEmpty())
        report.add(QStringLiteral("%1нет верного ответа.").arg(where));
    else if ((single && (positive.size() > 1 || std::abs(positive.first() - 100) > 0.01)) || !even)
        report.add(QStringLiteral("%1частичные оценки ответов сведены к «верно».").arg(where));
    if (feedback)
        report.add(QStringLiteral("%1отзывы к ответам не сохранены.").arg(where));
    return FinishQuestion(*q, body, report, where) ? q : nullptr;
}

// ---- export ---------------------------------------------------------------------

QString FractionText(double f)
{
    QString s = QString::number(f, 'f', 5);
    while (s.contains(QLatin1Char('.')) && (s.endsWith(QLatin1Char('0')) || s.endsWith(QLatin1Char('.'))))
        s.chop(1);
    return s == u"-0" ? QStringLiteral("0") : s;
}

bool XmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// XML cannot carry control characters at all; the writer would make a file
// that no reader takes.
QString XmlSafe(const QString &s, TReport &report, const QString &where)
{
    QString out;
    out.reserve(s.size());
    bool dropped = false;
    for (char32_t c : s.toUcs4()) {
        if (XmlChar(c))
            out += QString::fromUcs4(&c, 1);
        else
            dropped = true;
    }
    if (dropped)
        report.add(QStringLiteral("%1управляющие знаки, которые нельзя записать в XML, удалены.").arg(where));
    return out;
}

void WriteField(QXmlStreamWriter &w, const QString &element, const QByteArray &record, TReport &report,
                const QString &where)
{
    QList<TEmbeddedFile> files;
    const QString html = HtmlFromRichRecord(record, files, report, where);
    w.writeStartElement(element);
    w.writeAttribute(QStringLiteral("format"), QStringLiteral("html"));
    w.writeStartElement(QStringLiteral("text"));
    w.writeCDATA(XmlSafe(html, report, where));
    w.writeEndElement();
    for (const TEmbeddedFile &f : files) {
        w.writeStartElement(QStringLiteral("file"));
        w.writeAttribute(QStringLiteral("name"), f.Name);
        w.writeAttribute(QStringLiteral("path"), QStringLiteral("/"));
        w.writeAttribute(QStringLiteral("encoding"), QStringLiteral("base64"));
        w.writeCharacters(QString::fromLatin1(f.Data.toBase64()));
        w.writeEndElement();
    }
    w.writeEndElement();
}

// As the platform's own writer does: a text with markup characters goes in
// CDATA, for the platform's reader drops the spaces beside entities.
void WriteText(QXmlStreamWriter &w, const QString &text)
{
    w.writeStartElement(QStringLiteral("text"));
    static const QRegularExpression markup(QStringLiteral("[&<>\"']"));
    if (text.contains(markup))
        w.writeCDATA(text);
    else
        w.writeCharacters(text);
    w.writeEndElement();
}

void WriteTextElement(QXmlStreamWriter &w, const QString &element, const QString &text)
{
    w.writeStartElement(element);
    if (element == u"feedback")
        w.writeAttribute(QStringLiteral("format"), QStringLiteral("html"));
    WriteText(w, text);
    w.writeEndElement();
}

bool IsTrueFalse(const TNQuestion &q)
{
    return q.Variants.size() == 2 && q.Variants[0].trimmed() == kTrue && q.Variants[1].trimmed() == kFalse &&
           q.RightMarks.count(QLatin1Char('!')) == 1 && q.RightMarks.size() == 2;
}

} // namespace

TImportResult ImportMoodleXml(const QByteArray &data)
{
    TImportResult r;
    if (data.size() > kMaxInputBytes) {
        r.Error = QStringLiteral("Файл слишком велик: %1 байт, допускается не более %2.")
                      .arg(data.size()).arg(kMaxInputBytes);
        return r;
    }
    TReader reader(data);
    TQuestionList questions;
    TReport report;
    TImportPictures pictures;
    int number = 0;
    try {
        while (auto e = reader.next()) {
            if (e->attr(QStringLiteral("type")) == u"category")
                continue;
            ++number;
            if (number > kMaxQuestions)
                throw TFailure{QStringLiteral("в файле больше %1 вопросов.").arg(kMaxQuestions), e->Line};
            TQuestionPtr q;
            try {
                q = ImportOne(*e, number, report, pictures);
            } catch (const EPictureBudget &b) {
                throw TFailure{b.Message, e->Line};
            }
            if (q)
                questions.push_back(std::move(q));
        }
    } catch (const TFailure &f) {
        r.ErrorLine = int(f.Line);
        r.Error = f.Line > 0 ? QStringLiteral("Строка %1: %2").arg(f.Line).arg(f.Message) : f.Message;
        return r;
    }
    r.Ok = true;
    r.Questions = std::move(questions);
    r.Report = std::move(report);
    return r;
}

QByteArray ExportMoodleXml(const TQuestionList &questions, TReport &report)
{
    QByteArray out;
    QXmlStreamWriter w(&out);
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(2);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("quiz"));
    int number = 0;
    for (const TQuestionPtr &qp : questions) {
        ++number;
        if (!qp)
            continue;
        const TNQuestion &q = *qp;
        const QString where = Where(number, 0);
        const int right = int(q.RightMarks.left(q.Variants.size()).count(QLatin1Char('!')));
        if (!q.IsInformation()) {
            if (q.Variants.size() < 2) {
                report.add(QStringLiteral("%1один вариант ответа, а нужно не меньше двух; не записан.").arg(where));
                continue;
            }
            if (right == 0) {
                report.add(QStringLiteral("%1нет верного варианта; не записан.").arg(where));
                continue;
            }
        }
        const bool tf = IsTrueFalse(q);
        w.writeStartElement(QStringLiteral("question"));
        w.writeAttribute(QStringLiteral("type"), q.IsInformation() ? QStringLiteral("description")
                                                 : tf ? QStringLiteral("truefalse")
                                                      : QStringLiteral("multichoice"));
        QString name = q.HasTitle ? q.Title.simplified() : QString();
        if (name.isEmpty())
            name = DerivedName(q.Body);
        if (name.isEmpty())
            name = QStringLiteral("Вопрос %1").arg(number);
        WriteTextElement(w, QStringLiteral("name"), XmlSafe(name, report, where));
        WriteField(w, QStringLiteral("questiontext"), q.Body, report, where);
        if (q.Comment)
            WriteField(w, QStringLiteral("generalfeedback"), *q.Comment, report,
                       where + QStringLiteral("комментарий: "));
        if (q.IsInformation()) {
            w.writeTextElement(QStringLiteral("defaultgrade"), QStringLiteral("0"));
            w.writeEndElement();
            continue;
        }
        const int n = int(q.Variants.size());
        const int wrong = n - right;
        // Each question weighs as many points as it has variants, as in our
        // per-variant scoring; a fully right answer takes them all.
        w.writeTextElement(QStringLiteral("defaultgrade"), QString::number(tf ? 1 : n));
        w.writeTextElement(QStringLiteral("penalty"), QStringLiteral("0"));
        w.writeTextElement(QStringLiteral("hidden"), QStringLiteral("0"));
        if (tf) {
            const bool trueRight = q.RightMarks.at(0) == QLatin1Char('!');
            for (int i = 0; i < 2; ++i) {
                const bool isTrue = i == 0;
                w.writeStartElement(QStringLiteral("answer"));
                w.writeAttribute(QStringLiteral("fraction"), isTrue == trueRight ? QStringLiteral("100")
                                                                                 : QStringLiteral("0"));
                w.writeTextElement(QStringLiteral("text"), isTrue ? QStringLiteral("true") : QStringLiteral("false"));
                WriteTextElement(w, QStringLiteral("feedback"), QString());
                w.writeEndElement();
            }
            w.writeEndElement();
            continue;
        }
        w.writeTextElement(QStringLiteral("single"), QStringLiteral("false"));
        w.writeTextElement(QStringLiteral("shuffleanswers"), QStringLiteral("false"));
        w.writeTextElement(QStringLiteral("answernumbering"), QStringLiteral("none"));
        for (int i = 0; i < n; ++i) {
            const bool ok = i < q.RightMarks.size() && q.RightMarks.at(i) == QLatin1Char('!');
            const double fraction = ok ? 100.0 / right : -100.0 / wrong;
            w.writeStartElement(QStringLiteral("answer"));
            w.writeAttribute(QStringLiteral("fraction"), FractionText(fraction));
            // Plain text keeps every space of the variant; HTML would fold them.
            w.writeAttribute(QStringLiteral("format"), QStringLiteral("plain_text"));
            WriteText(w, XmlSafe(q.Variants[i], report, where));
            WriteTextElement(w, QStringLiteral("feedback"), QString());
            w.writeEndElement();
        }
        w.writeEndElement();
    }
    w.writeEndElement();
    w.writeEndDocument();
    return out;
}

} // namespace Interchange
