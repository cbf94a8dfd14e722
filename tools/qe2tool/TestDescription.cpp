#include "TestDescription.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <cmath>

#include "Ansi.h"
#include "MJvRichedit.h"
#include "RtfReader.h"
#include "TestSettings.h"

namespace Qe2Tool {

namespace {

[[noreturn]] void Fail(const QString &path, const QString &message)
{
    throw ToolError(path.isEmpty() ? message : path + QStringLiteral(": ") + message);
}

QString Key(const QString &path, const QString &key)
{
    return path.isEmpty() ? key : path + QLatin1Char('.') + key;
}

QString Index(const QString &path, qsizetype i)
{
    return QStringLiteral("%1[%2]").arg(path).arg(i);
}

void CheckKeys(const QJsonObject &o, const QString &path, std::initializer_list<const char *> allowed)
{
    QSet<QString> known;
    for (const char *k : allowed)
        known.insert(QLatin1String(k));
    for (auto it = o.begin(); it != o.end(); ++it)
        if (!known.contains(it.key()))
            Fail(Key(path, it.key()), QStringLiteral("unknown key"));
}

bool ReadBool(const QJsonValue &v, const QString &path)
{
    if (!v.isBool())
        Fail(path, QStringLiteral("expected true or false"));
    return v.toBool();
}

int ReadInt(const QJsonValue &v, const QString &path, int min, int max)
{
    const double d = v.toDouble(std::nan(""));
    if (!v.isDouble() || std::floor(d) != d)
        Fail(path, QStringLiteral("expected a whole number"));
    if (d < min || d > max)
        Fail(path, QStringLiteral("%1 is outside %2..%3").arg(d).arg(min).arg(max));
    return int(d);
}

QString ReadString(const QJsonValue &v, const QString &path)
{
    if (!v.isString())
        Fail(path, QStringLiteral("expected a string"));
    return v.toString();
}

// Text that the test file keeps as Windows-1251 on one line.
QString ReadAnsiLine(const QJsonValue &v, const QString &path)
{
    const QString s = ReadString(v, path);
    for (QChar c : s)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            Fail(path, QStringLiteral("must be a single line"));
    if (!FitsAnsi(s))
        Fail(path, QStringLiteral("has characters that Windows-1251 cannot hold"));
    return s;
}

struct TRichText {
    QByteArray record;
    QStringList lines;   // the lines view, objects as "[объект]"
};

class TDescriptionReader {
public:
    explicit TDescriptionReader(const QString &baseDir) : m_baseDir(baseDir) {}
    TBuiltTest read(const QJsonObject &root);

private:
    void readSettings(const QJsonObject &s, const QString &path, TTestInfo &info,
                      QJsonObject &order);
    void applyQuestionOrder(const QJsonObject &order, TTestInfo &info, int realQuestions);
    TQuestionPtr readQuestion(const QJsonObject &q, const QString &path);
    TRichText readRich(const QJsonObject &o, const QString &path, bool required);
    TRichText readComment(const QJsonValue &v, const QString &path);
    TRichText fromParagraphs(const QJsonValue &v, const QString &path);
    TRichText fromRtf(const QByteArray &rtf, const QString &path);
    TRichText finish(const QByteArray &record, const QString &path);
    QString pictureFile(const QJsonValue &v, const QString &path);

    QString m_baseDir;
};

TBuiltTest TDescriptionReader::read(const QJsonObject &root)
{
    CheckKeys(root, QString(), {"settings", "password", "questions"});
    TBuiltTest t;
    t.info = TTestInfo::NewTestValues();

    QJsonObject order;
    if (root.contains(QStringLiteral("settings"))) {
        const QJsonValue s = root.value(QStringLiteral("settings"));
        if (!s.isObject())
            Fail(QStringLiteral("settings"), QStringLiteral("expected an object"));
        readSettings(s.toObject(), QStringLiteral("settings"), t.info, order);
    }

    if (root.contains(QStringLiteral("password"))) {
        const QString path = QStringLiteral("password");
        const QString pw = ReadAnsiLine(root.value(path), path);
        // Longer passwords scramble to more bytes than the readers accept.
        if (pw.size() > MaxPasswordLength)
            Fail(path, QStringLiteral("more than %1 characters").arg(MaxPasswordLength));
        for (QChar c : pw)
            if (c.unicode() < 0x20)
                Fail(path, QStringLiteral("has control characters"));
        t.info.Password = pw;
    }

    const QJsonValue qs = root.value(QStringLiteral("questions"));
    if (!qs.isArray())
        Fail(QStringLiteral("questions"), QStringLiteral("expected a list of questions"));
    const QJsonArray list = qs.toArray();
    if (list.isEmpty())
        Fail(QStringLiteral("questions"), QStringLiteral("the test has no questions"));
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString path = Index(QStringLiteral("questions"), i);
        if (!list[i].isObject())
            Fail(path, QStringLiteral("expected an object"));
        t.questions.push_back(readQuestion(list[i].toObject(), path));
    }

    const int real = int(t.questions.size()) - int(CalcIQCount(t.questions));
    applyQuestionOrder(order, t.info, real);
    t.info.QuestionCount = quint32(t.questions.size());
    t.info.IQCount = CalcIQCount(t.questions);
    return t;
}

void TDescriptionReader::readSettings(const QJsonObject &s, const QString &path, TTestInfo &info,
                                      QJsonObject &order)
{
    CheckKeys(s, path,
              {"timeLimit", "questionOrder", "questionsAsked", "canViewErrors",
               "enableBackNavigation", "canViewComments", "canAlwaysViewComments",
               "randomVariantOrder", "countWholeQuestion", "customWindowSize", "windowWidth",
               "windowHeight", "zoom", "scrollBars", "reservedWord"});
    auto has = [&s](const char *k) { return s.contains(QLatin1String(k)); };
    auto at = [&s](const char *k) { return s.value(QLatin1String(k)); };
    auto p = [&path](const char *k) { return Key(path, QLatin1String(k)); };

    if (has("timeLimit"))
        info.TimeLimit = quint8(ReadInt(at("timeLimit"), p("timeLimit"), 0, MaxTimeLimit));
    for (const TOptionName &o : OptionNames) {
        if (!has(o.key))
            continue;
        if (ReadBool(at(o.key), p(o.key)))
            info.Options |= o.bit;
        else
            info.Options &= quint16(~o.bit);
    }
    if (info.has(CanAlwaysViewComments) && !info.has(CanViewComments))
        Fail(p("canAlwaysViewComments"), QStringLiteral("needs canViewComments"));
    if (has("windowWidth"))
        info.QWidth = quint16(ReadInt(at("windowWidth"), p("windowWidth"), MinQWidth, MaxQWidth));
    if (has("windowHeight"))
        info.QHeight = quint16(ReadInt(at("windowHeight"), p("windowHeight"), MinQHeight, MaxQHeight));
    if (has("zoom"))
        info.Zoom = quint8(ReadInt(at("zoom"), p("zoom"), MinZoom, MaxZoom));
    if (has("scrollBars")) {
        const int v = ScrollBarsFromKey(ReadString(at("scrollBars"), p("scrollBars")));
        if (v < 0)
            Fail(p("scrollBars"), QStringLiteral("expected \"auto\", \"vertical\", \"horizontal\" or \"none\""));
        info.QScrollBars = quint8(v);
    }
    if (has("reservedWord"))
        info.ReservedWord = quint16(ReadInt(at("reservedWord"), p("reservedWord"), 0, 0xFFFF));
    if (has("questionOrder")) {
        const QString v = ReadString(at("questionOrder"), p("questionOrder"));
        if (v != QLatin1String("stored") && v != QLatin1String("random"))
            Fail(p("questionOrder"), QStringLiteral("expected \"stored\" or \"random\""));
        order[QStringLiteral("questionOrder")] = v;
    }
    if (has("questionsAsked")) {
        order[QStringLiteral("questionsAsked")] =
            ReadInt(at("questionsAsked"), p("questionsAsked"), 2, 0xFFFE);
        if (order.value(QStringLiteral("questionOrder")).toString() == QLatin1String("stored"))
            Fail(p("questionsAsked"), QStringLiteral("needs questionOrder \"random\""));
    }
}

// As the settings dialog: random order needs more than two real questions, and
// asking for all of them is stored as "all".
void TDescriptionReader::applyQuestionOrder(const QJsonObject &order, TTestInfo &info,
                                            int realQuestions)
{
    const QString orderPath = QStringLiteral("settings.questionOrder");
    const QString askedPath = QStringLiteral("settings.questionsAsked");
    const bool explicitRandom = order.value(QStringLiteral("questionOrder")).toString()
                                    == QLatin1String("random")
                                || order.contains(QStringLiteral("questionsAsked"));
    const bool stored = order.value(QStringLiteral("questionOrder")).toString() == QLatin1String("stored");
    if (stored) {
        info.RandomCount = 0;
        return;
    }
    if (realQuestions < 3) {
        if (explicitRandom)
            Fail(order.contains(QStringLiteral("questionOrder")) ? orderPath : askedPath,
                 QStringLiteral("random order needs at least 3 questions with variants, the test has %1")
                     .arg(realQuestions));
        info.RandomCount = 0;
        return;
    }
    info.RandomCount = RandomAll;
    if (order.contains(QStringLiteral("questionsAsked"))) {
        const int n = order.value(QStringLiteral("questionsAsked")).toInt();
        if (n > realQuestions)
            Fail(askedPath, QStringLiteral("%1 is more than the %2 questions with variants")
                                .arg(n)
                                .arg(realQuestions));
        info.RandomCount = n == realQuestions ? RandomAll : quint16(n);
    }
}

TQuestionPtr TDescriptionReader::readQuestion(const QJsonObject &q, const QString &path)
{
    CheckKeys(q, path, {"text", "rtf", "rtfFile", "variants", "marks", "comment", "title"});
    auto question = std::make_shared<TNQuestion>();

    const TRichText body = readRich(q, path, true);
    if (body.lines.isEmpty())
        Fail(Key(path, QStringLiteral("text")), QStringLiteral("the question has no text"));
    question->Body = body.record;
    for (const QString &line : body.lines)
        question->PlainLines.Add(line);

    if (q.contains(QStringLiteral("comment")))
        question->Comment = readComment(q.value(QStringLiteral("comment")), Key(path, QStringLiteral("comment"))).record;

    if (q.contains(QStringLiteral("title"))) {
        const QString tp = Key(path, QStringLiteral("title"));
        question->Title = ReadAnsiLine(q.value(QStringLiteral("title")), tp);
        if (question->Title.isEmpty())
            Fail(tp, QStringLiteral("empty title"));
        question->HasTitle = true;
    }

    const QString vp = Key(path, QStringLiteral("variants"));
    if (q.contains(QStringLiteral("variants"))) {
        const QJsonValue v = q.value(QStringLiteral("variants"));
        if (!v.isArray())
            Fail(vp, QStringLiteral("expected a list of strings"));
        const QJsonArray variants = v.toArray();
        if (variants.size() > MaxVariants)
            Fail(vp, QStringLiteral("more than %1 variants").arg(MaxVariants));
        if (variants.size() == 1)
            Fail(vp, QStringLiteral("a single variant (give two or more, or none for an information item)"));
        for (qsizetype k = 0; k < variants.size(); ++k) {
            const QString s = ReadAnsiLine(variants[k], Index(vp, k));
            if (s.trimmed().isEmpty())
                Fail(Index(vp, k), QStringLiteral("empty variant"));
            question->Variants << s;
        }
    }

    const QString mp = Key(path, QStringLiteral("marks"));
    const bool hasMarks = q.contains(QStringLiteral("marks"));
    if (question->Variants.isEmpty()) {
        if (hasMarks && !ReadString(q.value(QStringLiteral("marks")), mp).isEmpty())
            Fail(mp, QStringLiteral("marks without variants"));
    } else {
        if (!hasMarks)
            Fail(mp, QStringLiteral("missing: one \"!\" (correct) or \" \" (wrong) per variant"));
        const QString marks = ReadString(q.value(QStringLiteral("marks")), mp);
        if (marks.size() != question->Variants.size())
            Fail(mp, QStringLiteral("%1 marks for %2 variants").arg(marks.size()).arg(question->Variants.size()));
        for (QChar c : marks)
            if (c != QLatin1Char('!') && c != QLatin1Char(' '))
                Fail(mp, QStringLiteral("only \"!\" (correct) and \" \" (wrong) are allowed"));
        if (!marks.contains(QLatin1Char('!')))
            Fail(mp, QStringLiteral("no variant is marked correct"));
        question->RightMarks = marks;
    }
    question->ContentReady = true;
    return question;
}

TRichText TDescriptionReader::readRich(const QJsonObject &o, const QString &path, bool required)
{
    const bool hasText = o.contains(QStringLiteral("text"));
    const bool hasRtf = o.contains(QStringLiteral("rtf"));
    const bool hasRtfFile = o.contains(QStringLiteral("rtfFile"));
    if (int(hasText) + int(hasRtf) + int(hasRtfFile) > 1)
        Fail(path, QStringLiteral("give only one of \"text\", \"rtf\" and \"rtfFile\""));
    if (hasText)
        return fromParagraphs(o.value(QStringLiteral("text")), Key(path, QStringLiteral("text")));
    if (hasRtf) {
        const QString rp = Key(path, QStringLiteral("rtf"));
        const QString rtf = ReadString(o.value(QStringLiteral("rtf")), rp);
        if (!FitsAnsi(rtf))
            Fail(rp, QStringLiteral("has characters that Windows-1251 cannot hold (use \\uN in RTF)"));
        return fromRtf(ToAnsi(rtf), rp);
    }
    if (hasRtfFile) {
        const QString rp = Key(path, QStringLiteral("rtfFile"));
        const QString file = QDir(m_baseDir).absoluteFilePath(ReadString(o.value(QStringLiteral("rtfFile")), rp));
        try {
            return fromRtf(ReadWholeFile(file), rp);
        } catch (const ToolError &e) {
            Fail(rp, e.message());
        }
    }
    if (required)
        Fail(path, QStringLiteral("missing \"text\", \"rtf\" or \"rtfFile\""));
    return {};
}

TRichText TDescriptionReader::readComment(const QJsonValue &v, const QString &path)
{
    if (v.isString() || v.isArray())
        return fromParagraphs(v, path);
    if (!v.isObject())
        Fail(path, QStringLiteral("expected a string, a list of paragraphs or an object"));
    const QJsonObject o = v.toObject();
    CheckKeys(o, path, {"text", "rtf", "rtfFile"});
    return readRich(o, path, true);
}

QString TDescriptionReader::pictureFile(const QJsonValue &v, const QString &path)
{
    const QString name = ReadString(v, path);
    const QString file = QDir(m_baseDir).absoluteFilePath(name);
    const QFileInfo fi(file);
    if (!fi.exists())
        Fail(path, QStringLiteral("no such file: %1").arg(QDir::toNativeSeparators(file)));
    if (!fi.isFile())
        Fail(path, QStringLiteral("not a file: %1").arg(QDir::toNativeSeparators(file)));
    static const QSet<QByteArray> formats = {"png", "jpeg", "jpg", "bmp", "gif"};
    QImageReader reader(file);
    if (!formats.contains(reader.format().toLower()))
        Fail(path, QStringLiteral("not a PNG, JPEG, BMP or GIF picture: %1").arg(QDir::toNativeSeparators(file)));
    return file;
}

// Paragraphs: a string (lines split at line breaks) or a list whose items are
// strings or {"picture": FILE}, a paragraph holding only that picture.
TRichText TDescriptionReader::fromParagraphs(const QJsonValue &v, const QString &path)
{
    QStringList paragraphs;
    QList<QPair<int, QString>> pictures;   // paragraph number, file
    auto addText = [&paragraphs](QString s) {
        s.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
        paragraphs << s.split(QLatin1Char('\n'));
    };
    if (v.isString()) {
        addText(v.toString());
    } else if (v.isArray()) {
        const QJsonArray items = v.toArray();
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QString ip = Index(path, i);
            if (items[i].isString()) {
                addText(items[i].toString());
            } else if (items[i].isObject()) {
                const QJsonObject o = items[i].toObject();
                CheckKeys(o, ip, {"picture"});
                if (!o.contains(QStringLiteral("picture")))
                    Fail(ip, QStringLiteral("expected {\"picture\": FILE}"));
                pictures.append({int(paragraphs.size()),
                                 pictureFile(o.value(QStringLiteral("picture")), Key(ip, QStringLiteral("picture")))});
                paragraphs << QString();
            } else {
                Fail(ip, QStringLiteral("expected a string or {\"picture\": FILE}"));
            }
        }
    } else {
        Fail(path, QStringLiteral("expected a string or a list of paragraphs"));
    }
    if (paragraphs.size() > MaxPlainLines)
        Fail(path, QStringLiteral("more than %1 lines").arg(MaxPlainLines));

    QByteArray record = RichRecord::FromPlainText(paragraphs.join(QLatin1Char('\n')));
    if (!pictures.isEmpty()) {
        TMJvRichEdit edit;
        edit.LoadRichFromBytes(record);
        QTextDocument *doc = edit.document();
        for (const auto &[paragraph, file] : pictures) {
            QTextCursor cursor(doc);
            while (doc->blockCount() <= paragraph) {
                cursor.movePosition(QTextCursor::End);
                cursor.insertBlock();
            }
            cursor = QTextCursor(doc->findBlockByNumber(paragraph));
            cursor.movePosition(QTextCursor::StartOfBlock);
            edit.setTextCursor(cursor);
            if (!edit.InsertPictureFromFile(file))
                Fail(path, QStringLiteral("the picture cannot be read: %1").arg(QDir::toNativeSeparators(file)));
        }
        record = edit.SaveRichToBytes();
    }
    return finish(record, path);
}

TRichText TDescriptionReader::fromRtf(const QByteArray &rtf, const QString &path)
{
    if (!rtf.trimmed().startsWith("{\\rtf"))
        Fail(path, QStringLiteral("not RTF (it must start with {\\rtf)"));
    {
        QTextDocument check;
        const RichText::TRtfReadResult r = RichText::ReadRtf(rtf, check);
        if (!r.ok)
            Fail(path, QStringLiteral("RTF error at byte %1: %2").arg(r.errorOffset).arg(r.error));
    }
    QByteArray record;
    try {
        record = RichRecord::FromRtf(rtf);
    } catch (const EQuizError &e) {
        Fail(path, e.message());
    }
    return finish(record, path);
}

// The plain lines as the editor makes them: the lines view, objects as "[объект]".
TRichText TDescriptionReader::finish(const QByteArray &record, const QString &path)
{
    TRichText r;
    r.record = record;
    QStringList lines;
    try {
        lines = RichRecord::PlainLines(record);
    } catch (const EQuizError &e) {
        Fail(path, QStringLiteral("the rich text does not read back: ") + e.message());
    }
    if (lines.size() > MaxPlainLines)
        Fail(path, QStringLiteral("more than %1 lines").arg(MaxPlainLines));
    for (const QString &line : lines)
        r.lines << ReplaceObjectMarks(line, ObjectMarkText);
    return r;
}

}  // namespace

TBuiltTest BuildTestFromDescription(const QByteArray &json, const QString &baseDir)
{
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &err);
    if (err.error != QJsonParseError::NoError)
        throw ToolError(QStringLiteral("not valid JSON at byte %1: %2").arg(err.offset).arg(err.errorString()));
    if (!doc.isObject())
        throw ToolError(QStringLiteral("the description must be a JSON object"));
    return TDescriptionReader(baseDir).read(doc.object());
}

}  // namespace Qe2Tool
