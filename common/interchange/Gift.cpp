// The plain-text question format with answers in braces: "Text {=right ~wrong}".
#include <QRegularExpression>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <algorithm>
#include <cmath>
#include <vector>

#include "HtmlNesting.h"
#include "HtmlRich.h"
#include "Interchange.h"
#include "TextFormats.h"

namespace Interchange {

namespace {

// The file's characters after escapes are resolved: an escaped character is
// text, never syntax. Each keeps the line it came from.
struct TChars {
    QString c;
    std::vector<bool> esc;
    std::vector<int> lineStarts;   // offset in c where each line of the block begins
    std::vector<int> lineNumbers;  // and that line's number in the file

    int size() const { return int(c.size()); }
    bool is(int i, QChar ch) const { return i >= 0 && i < size() && c[i] == ch && !esc[size_t(i)]; }
    bool isSpace(int i) const { return c[i].isSpace() && !esc[size_t(i)]; }
    // The first unescaped ch at or after from, or -1.
    int find(QChar ch, int from, int to = -1) const
    {
        if (to < 0) to = size();
        for (int i = from; i < to; ++i)
            if (is(i, ch)) return i;
        return -1;
    }
    int findPair(QChar ch, int from, int to = -1) const
    {
        if (to < 0) to = size();
        for (int i = from; i + 1 < to; ++i)
            if (is(i, ch) && is(i + 1, ch)) return i;
        return -1;
    }
    QString text(int from, int to) const { return c.mid(from, to - from); }
    int lineAt(int i) const
    {
        const auto it = std::upper_bound(lineStarts.begin(), lineStarts.end(), i);
        return it == lineStarts.begin() ? 0 : lineNumbers[size_t(it - lineStarts.begin() - 1)];
    }
};

struct TBlock {
    int firstLine = 0;
    QStringList lines;
    std::vector<int> numbers;   // comment lines inside a block are not in lines
};

enum class TTextFormat { Auto, Plain, Html, Markdown };

struct TSyntaxError {
    int line;
    QString text;
};

const QString kEscapable = QStringLiteral("~=#{}:");

TChars Unescape(const TBlock &b)
{
    TChars s;
    for (int k = 0; k < b.lines.size(); ++k) {
        const QString &l = b.lines[k];
        if (k > 0) {
            s.c += QLatin1Char('\n');
            s.esc.push_back(false);
        }
        s.lineStarts.push_back(s.size());
        s.lineNumbers.push_back(b.numbers[size_t(k)]);
        for (int i = 0; i < l.size(); ++i) {
            QChar ch = l[i];
            bool escaped = false;
            if (ch == QLatin1Char('\\') && i + 1 < l.size()) {
                const QChar next = l[i + 1];
                // "\\" is one backslash first, so "\\n" is a backslash and an n.
                if (next == QLatin1Char('\\') || kEscapable.contains(next)) {
                    ch = next;
                    escaped = true;
                    ++i;
                } else if (next == QLatin1Char('n')) {
                    ch = QLatin1Char('\n');
                    escaped = true;
                    ++i;
                }
            }
            s.c += ch;
            s.esc.push_back(escaped);
        }
    }
    return s;
}

// Markdown through Qt's reader into HTML, then as any HTML text.
QString HtmlFromMarkdown(const QString &md)
{
    QTextDocument doc;
    doc.setMarkdown(md);
    QString html = doc.toHtml();
    const qsizetype body = html.indexOf(QLatin1String("<body"));
    if (body >= 0) {
        const qsizetype start = html.indexOf(QLatin1Char('>'), body);
        const qsizetype end = html.lastIndexOf(QLatin1String("</body>"));
        if (start >= 0 && end > start)
            html = html.mid(start + 1, end - start - 1);
    }
    return html;
}

QByteArray RecordFromText(const QString &text, TTextFormat format, TReport &report, const QString &where,
                          TImportPictures &pictures)
{
    switch (format) {
    case TTextFormat::Html: return RichRecordFromHtml(text, {}, report, where, &pictures);
    case TTextFormat::Markdown: return RichRecordFromHtml(HtmlFromMarkdown(text), {}, report, where, &pictures);
    case TTextFormat::Auto:
    case TTextFormat::Plain: break;
    }
    return RichRecordFromPlain(text);
}

// A text's own "[html]" and the like, as the platform reads them: at the very
// start, in lower case. False, text unchanged, when there is none.
bool TakeFormatMarker(QString &text, TTextFormat &format)
{
    static const struct { const char *name; TTextFormat f; } kFormats[] = {
        {"[html]", TTextFormat::Html}, {"[moodle]", TTextFormat::Auto},
        {"[plain]", TTextFormat::Plain}, {"[markdown]", TTextFormat::Markdown}};
    for (const auto &f : kFormats) {
        const QLatin1String name(f.name);
        if (text.startsWith(name)) {
            format = f.f;
            text.remove(0, name.size());
            return true;
        }
    }
    return false;
}

struct TAnswer {
    QString text;
    double weight = 0;
    bool feedback = false;
};

bool ParseWeight(const QString &s, double &w)
{
    bool ok = false;
    w = QString(s).replace(QLatin1Char(','), QLatin1Char('.')).trimmed().toDouble(&ok);
    return ok && std::isfinite(w);
}

class TGiftReader {
public:
    explicit TGiftReader(const QByteArray &data) : m_text(DecodeText(data, &m_encoding)) {}
    TImportResult run();

private:
    void readBlock(const TBlock &b);
    QString answerText(const QString &raw, TTextFormat format, const QString &where, bool &rich);

    QString m_encoding;
    QString m_text;
    TImportResult m_result;
    TImportPictures m_pictures;
    int m_number = 0;
};

TImportResult TGiftReader::run()
{
    std::vector<TBlock> blocks;
    TBlock current;
    const QStringList lines = m_text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString &l = lines[i];
        const QString t = l.trimmed();
        if (t.startsWith(QLatin1String("//")))
            continue;
        if (t.isEmpty()) {
            if (!current.lines.isEmpty())
                blocks.push_back(std::move(current));
            current = TBlock{};
            continue;
        }
        if (current.lines.isEmpty())
            current.firstLine = i + 1;
        current.lines << l;
        current.numbers.push_back(i + 1);
    }
    if (!current.lines.isEmpty())
        blocks.push_back(std::move(current));

    try {
        for (const TBlock &b : blocks) {
            try {
                readBlock(b);
            } catch (const EPictureBudget &p) {
                throw TSyntaxError{b.firstLine, p.Message};
            }
        }
    } catch (const TSyntaxError &e) {
        TImportResult bad;
        bad.ErrorLine = e.line;
        bad.Error = QStringLiteral("Строка %1: %2").arg(e.line).arg(e.text);
        return bad;
    }
    if (const QString line = EncodingLine(m_encoding); !line.isEmpty())
        m_result.Report.Lines.prepend(line);
    m_result.Ok = true;
    return std::move(m_result);
}

QString TGiftReader::answerText(const QString &raw, TTextFormat format, const QString &where, bool &rich)
{
    QString t = raw.trimmed();
    // An answer's own marker says how to read it, whatever the question's says.
    if (TakeFormatMarker(t, format))
        t = t.trimmed();
    if (format == TTextFormat::Markdown) {
        QString plain = QTextDocumentFragment::fromHtml(HtmlFromMarkdown(t)).toPlainText();
        plain = WithoutLoneSurrogates(plain).trimmed();
        if (plain != t)
            rich = true;
        t = plain;
    } else if (format == TTextFormat::Html) {
        if (t.contains(QLatin1Char('<')) || t.contains(QLatin1Char('&'))) {
            const QString plain = WithoutLoneSurrogates(
                QTextDocumentFragment::fromHtml(RichText::FlattenHtmlNesting(t)).toPlainText());
            static const QRegularExpression tag(QStringLiteral("<[A-Za-z/][^>]*>"));
            if (t.contains(tag))
                rich = true;
            t = plain.trimmed();
        }
    }
    if (t.contains(QLatin1Char('\n')) || t.contains(QChar(QChar::LineSeparator))
        || t.contains(QChar(QChar::ParagraphSeparator))) {
        t = t.simplified();
        m_result.Report.add(where + QStringLiteral("ответ в несколько строк записан одной строкой."));
    }
    return t;
}

void TGiftReader::readBlock(const TBlock &b)
{
    const TChars s = Unescape(b);
    int i = 0;
    while (i < s.size() && s.isSpace(i))
        ++i;
    if (s.c.mid(i).startsWith(QLatin1String("$CATEGORY:"), Qt::CaseInsensitive)) {
        m_result.Report.add(QStringLiteral("Строка %1: категория «%2» пропущена: категорий в тесте нет.")
                                .arg(b.firstLine)
                                .arg(s.c.mid(i + 10).section(QLatin1Char('\n'), 0, 0).trimmed()));
        return;
    }
    ++m_number;
    const QString where = Where(m_number, b.firstLine);
    if (m_number > kMaxQuestions)
        throw TSyntaxError{b.firstLine, QStringLiteral("в файле больше %1 вопросов.").arg(kMaxQuestions)};

    QString title;
    if (s.is(i, QLatin1Char(':')) && s.is(i + 1, QLatin1Char(':'))) {
        const int end = s.findPair(QLatin1Char(':'), i + 2);
        if (end < 0)
            throw TSyntaxError{s.lineAt(i), QStringLiteral("название вопроса, начатое «::», не закрыто «::».")};
        title = NameWithoutTags(s.text(i + 2, end));
        i = end + 2;
        while (i < s.size() && s.isSpace(i))
            ++i;
    }

    TTextFormat format = TTextFormat::Auto;
    if (s.is(i, QLatin1Char('['))) {
        QString head = s.c.mid(i, 10);
        const qsizetype before = head.size();
        if (TakeFormatMarker(head, format))
            i += int(before - head.size());
    }

    const int open = s.find(QLatin1Char('{'), i);
    const int stray = s.find(QLatin1Char('}'), i, open < 0 ? -1 : open);
    if (stray >= 0)
        throw TSyntaxError{s.lineAt(stray), QStringLiteral("закрывающая скобка «}» без открывающей «{» (скобку в тексте пишут как «\\}»).")};

    auto question = std::make_shared<TNQuestion>();
    question->HasTitle = !title.isEmpty();
    if (question->HasTitle)
        question->Title = AnsiOnly(title, QStringLiteral("название"), m_result.Report, where);

    QString text;
    QString answers;
    int answersStart = -1, answersEnd = -1;
    if (open < 0) {
        text = s.text(i, s.size()).trimmed();
    } else {
        const int close = s.find(QLatin1Char('}'), open + 1);
        const int nested = s.find(QLatin1Char('{'), open + 1, close);
        if (close < 0 || nested >= 0)
            throw TSyntaxError{s.lineAt(open), QStringLiteral("фигурная скобка «{» не закрыта (скобку в тексте пишут как «\\{»).")};
        const int strayAfter = s.find(QLatin1Char('}'), close + 1);
        const int second = s.find(QLatin1Char('{'), close + 1);
        if (strayAfter >= 0 && (second < 0 || strayAfter < second))
            throw TSyntaxError{s.lineAt(strayAfter), QStringLiteral("закрывающая скобка «}» без открывающей «{» (скобку в тексте пишут как «\\}»).")};
        if (second >= 0) {
            // Every further field must be closed too before the question is set aside.
            for (int from = close + 1, o = second; o >= 0; o = s.find(QLatin1Char('{'), from)) {
                const int c = s.find(QLatin1Char('}'), o + 1);
                const int n = s.find(QLatin1Char('{'), o + 1, c);
                if (c < 0 || n >= 0)
                    throw TSyntaxError{s.lineAt(o), QStringLiteral("фигурная скобка «{» не закрыта (скобку в тексте пишут как «\\{»).")};
                const int next = s.find(QLatin1Char('{'), c + 1);
                const int strayNext = s.find(QLatin1Char('}'), c + 1);
                if (strayNext >= 0 && (next < 0 || strayNext < next))
                    throw TSyntaxError{s.lineAt(strayNext), QStringLiteral("закрывающая скобка «}» без открывающей «{» (скобку в тексте пишут как «\\}»).")};
                from = c + 1;
            }
            m_result.Report.add(where + QStringLiteral("пропущен: вопрос с несколькими полями ответа (вложенные ответы)."));
            return;
        }
        const QString before = s.text(i, open).trimmed();
        const QString after = s.text(close + 1, s.size()).trimmed();
        // Text on both sides of the answers: the answers fill a gap in it.
        // With nothing before it the gap opens the text, with no space of its
        // own, or the text would change each time it is written and read.
        if (after.isEmpty())
            text = before;
        else if (before.isEmpty())
            text = QStringLiteral("_____ ") + after;
        else
            text = before + QStringLiteral(" _____ ") + after;
        answersStart = open + 1;
        answersEnd = close;
        answers = s.text(answersStart, answersEnd);
    }

    // General feedback: "####" inside the braces.
    QString feedback;
    bool hasFeedback = false;
    if (answersStart >= 0) {
        for (int k = answersStart; k + 3 < answersEnd; ++k) {
            if (s.is(k, QLatin1Char('#')) && s.is(k + 1, QLatin1Char('#')) && s.is(k + 2, QLatin1Char('#'))
                && s.is(k + 3, QLatin1Char('#'))) {
                feedback = s.text(k + 4, answersEnd).trimmed();
                hasFeedback = true;
                answersEnd = k;
                break;
            }
        }
    }

    if (answersStart >= 0) {
        int a = answersStart;
        while (a < answersEnd && s.isSpace(a))
            ++a;
        if (a >= answersEnd) {
            m_result.Report.add(where + QStringLiteral("пропущен: вопрос с развёрнутым ответом (эссе)."));
            return;
        }
        if (s.is(a, QLatin1Char('#'))) {
            m_result.Report.add(where + QStringLiteral("пропущен: числовой вопрос."));
            return;
        }
        // True or false, with up to two feedbacks after '#'.
        const int hash = s.find(QLatin1Char('#'), a, answersEnd);
        // As the platform reads them: in capitals only.
        const QString word = s.text(a, hash < 0 ? answersEnd : hash).trimmed();
        const QString upper = word.toUpper();
        if (word != upper && (upper == u"T" || upper == u"TRUE" || upper == u"F" || upper == u"FALSE")) {
            m_result.Report.add(where + QStringLiteral("пропущен: «%1» платформа читает как краткий ответ "
                                                       "(«верно/неверно» пишут заглавными: {T}, {TRUE}, {F}, {FALSE}).").arg(word));
            return;
        }
        if (word == u"T" || word == u"TRUE" || word == u"F" || word == u"FALSE") {
            const bool truth = word.startsWith(QLatin1Char('T'));
            question->Variants = {QStringLiteral("Верно"), QStringLiteral("Неверно")};
            question->RightMarks = truth ? QStringLiteral("! ") : QStringLiteral(" !");
            if (hash >= 0)
                m_result.Report.add(where + QStringLiteral("отзывы к ответам не перенесены."));
        } else {
            std::vector<TAnswer> list;
            bool anyTilde = false, anyArrow = false;
            int k = a;
            if (!s.is(k, QLatin1Char('=')) && !s.is(k, QLatin1Char('~'))) {
                m_result.Report.add(where + QStringLiteral("пропущен: ответы не начинаются с «=» или «~»."));
                return;
            }
            while (k < answersEnd) {
                const bool right = s.is(k, QLatin1Char('='));
                anyTilde |= !right;
                int end = k + 1;
                while (end < answersEnd && !s.is(end, QLatin1Char('=')) && !s.is(end, QLatin1Char('~')))
                    ++end;
                QString body = s.text(k + 1, end);
                TAnswer ans;
                ans.weight = right ? 100 : 0;
                if (body.startsWith(QLatin1Char('%'))) {
                    const int pct = int(body.indexOf(QLatin1Char('%'), 1));
                    double w = 0;
                    if (pct > 0 && ParseWeight(body.mid(1, pct - 1), w)) {
                        ans.weight = w;
                        body = body.mid(pct + 1);
                    }
                }
                // Unescaped '#' starts the answer's own feedback.
                const int fb = s.find(QLatin1Char('#'), k + 1, end);
                if (fb >= 0) {
                    ans.feedback = true;
                    body.truncate(body.size() - (end - fb));
                }
                if (body.contains(QLatin1String("->")))
                    anyArrow = true;
                ans.text = body;
                list.push_back(ans);
                k = end;
            }
            if (!anyTilde) {
                m_result.Report.add(where + (anyArrow ? QStringLiteral("пропущен: вопрос на соответствие.")
                                                      : QStringLiteral("пропущен: вопрос с кратким ответом.")));
                return;
            }
            if (int(list.size()) > kMaxVariants) {
                m_result.Report.add(where + QStringLiteral("пропущен: %1 вариантов ответа, допускается не более %2.")
                                                .arg(list.size())
                                                .arg(kMaxVariants));
                return;
            }
            bool rich = false, feedbackLost = false;
            for (const TAnswer &ans : list) {
                question->Variants << AnsiOnly(answerText(ans.text, format, where, rich),
                                               QStringLiteral("вариант ответа"), m_result.Report, where);
                question->RightMarks += ans.weight > 0 ? QLatin1Char('!') : QLatin1Char(' ');
                feedbackLost |= ans.feedback;
            }
            if (rich)
                m_result.Report.add(where + QStringLiteral("оформление вариантов ответа не перенесено, оставлен их текст."));
            if (feedbackLost)
                m_result.Report.add(where + QStringLiteral("отзывы к ответам не перенесены."));
            if (!question->RightMarks.contains(QLatin1Char('!')))
                m_result.Report.add(where + QStringLiteral("ни один вариант ответа не отмечен верным."));
        }
    }

    if (text.isEmpty() && question->Variants.isEmpty() && !question->HasTitle) {
        m_result.Report.add(where + QStringLiteral("пропущен: пустой вопрос."));
        return;
    }
    if (!SetBody(*question, RecordFromText(text, format, m_result.Report, where, m_pictures))) {
        m_result.Report.add(where + QStringLiteral("пропущен: в тексте больше %1 строк.").arg(kMaxPlainLines));
        return;
    }
    // HTML that shows nothing leaves nothing to keep either.
    if (question->Variants.isEmpty() && !question->HasTitle
        && question->PlainLines.items().join(QString()).trimmed().isEmpty()) {
        m_result.Report.add(where + QStringLiteral("пропущен: пустой вопрос."));
        return;
    }
    if (hasFeedback && !feedback.isEmpty())
        question->Comment = RecordFromText(feedback, format, m_result.Report, where, m_pictures);
    m_result.Questions.push_back(std::move(question));
}

// ---- writing ----

QString Escape(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        if (ch == QLatin1Char('\\') || kEscapable.contains(ch))
            out += QLatin1Char('\\');
        if (ch == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
            continue;
        }
        out += ch;
    }
    return out;
}

QString Weight(double w)
{
    QString s = QString::number(w, 'f', 5);
    while (s.contains(QLatin1Char('.')) && (s.endsWith(QLatin1Char('0')) || s.endsWith(QLatin1Char('.'))))
        s.chop(1);
    return s;
}

// A picture cannot travel in a text file: its reference is dropped.
QString HtmlWithoutFiles(const QByteArray &record, TReport &report, const QString &where)
{
    QList<TEmbeddedFile> files;
    QString html = HtmlFromRichRecord(record, files, report, where);
    if (!files.isEmpty()) {
        static const QRegularExpression img(QStringLiteral("<img[^>]*>"), QRegularExpression::CaseInsensitiveOption);
        html.remove(img);
        report.add(where + QStringLiteral("рисунки не перенесены (%1): в этом формате нет файлов.").arg(files.size()));
    }
    return html;
}

} // namespace

TImportResult ImportGift(const QByteArray &data)
{
    return TGiftReader(data).run();
}

QByteArray ExportGift(const TQuestionList &questions, TReport &report)
{
    QString out;
    int number = 0;
    for (const TQuestionPtr &q : questions) {
        ++number;
        if (!q)
            continue;
        const QString where = Where(number, 0);
        if (q->IsInformation() && !(q->HasTitle && !q->Title.isEmpty())
            && PlainFromRichRecord(q->Body).trimmed().isEmpty()) {
            report.add(where + QStringLiteral("пропущен: информационный блок без текста (рисунков в этом формате нет)."));
            continue;
        }
        const bool comment = q->Comment && !PlainFromRichRecord(*q->Comment).isEmpty();
        const bool plain = IsUniformLook(q->Body) && (!comment || IsUniformLook(*q->Comment));
        out += QStringLiteral("// %1\n").arg(number);
        if (q->HasTitle && !q->Title.isEmpty())
            out += QStringLiteral("::") + Escape(q->Title) + QStringLiteral("::");
        if (plain) {
            // The reader trims a text's ends, so the file carries none.
            out += QStringLiteral("[plain]") + Escape(PlainFromRichRecord(q->Body).trimmed());
        } else {
            out += QStringLiteral("[html]") + Escape(HtmlWithoutFiles(q->Body, report, where));
        }
        const int n = int(q->Variants.size());
        const int k = int(q->RightMarks.count(QLatin1Char('!')));
        const bool trueFalse = n == 2 && k == 1 && q->Variants[0] == u"Верно" && q->Variants[1] == u"Неверно";
        if (n == 0 && comment)
            report.add(where + QStringLiteral("комментарий к информационному блоку не перенесён: в этом формате у него нет отзыва."));
        if (n > 0) {
            out += QStringLiteral(" {");
            if (trueFalse) {
                out += q->RightMarks.startsWith(QLatin1Char('!')) ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
            } else {
                if (k == 0)
                    report.add(where + QStringLiteral("ни один вариант ответа не отмечен верным: платформа такой вопрос не примет."));
                if (n == 1)
                    report.add(where + QStringLiteral("один вариант ответа: платформа примет вопрос, только если добавить ещё один."));
                for (int v = 0; v < n; ++v) {
                    const bool right = v < q->RightMarks.size() && q->RightMarks[v] == QLatin1Char('!');
                    out += QStringLiteral("\n\t");
                    // One right answer is "="; several share the full mark and
                    // the wrong ones take it back, as our scoring by variants does.
                    if (k == 1 && n > 1)
                        out += right ? QStringLiteral("=") : QStringLiteral("~");
                    else if (right)
                        out += QStringLiteral("~%") + Weight(100.0 / k) + QLatin1Char('%');
                    else if (k > 0)
                        out += QStringLiteral("~%-") + Weight(100.0 / (n - k)) + QLatin1Char('%');
                    else
                        out += QStringLiteral("~");
                    // A text that starts like a weight gets its weight written out.
                    const QString &variant = q->Variants[v];
                    if (variant.startsWith(QLatin1Char('%')) && ((k == 1 && n > 1) || k == 0))
                        out += right ? QStringLiteral("%100%") : QStringLiteral("%0%");
                    // Variants are plain text: one that would read as HTML, or
                    // starts like a format marker, says so.
                    QString marker = variant;
                    TTextFormat ignored;
                    if (TakeFormatMarker(marker, ignored) ||
                        (!plain && (variant.contains(QLatin1Char('<')) || variant.contains(QLatin1Char('&')))))
                        out += QStringLiteral("[plain]");
                    out += Escape(variant);
                }
            }
            if (comment) {
                out += QStringLiteral("\n\t####");
                out += plain ? Escape(PlainFromRichRecord(*q->Comment))
                             : Escape(HtmlWithoutFiles(*q->Comment, report, where));
            }
            out += trueFalse ? QStringLiteral("}\n") : QStringLiteral("\n}\n");
        } else {
            out += QLatin1Char('\n');
        }
        out += QLatin1Char('\n');
    }
    return out.toUtf8();
}

} // namespace Interchange
