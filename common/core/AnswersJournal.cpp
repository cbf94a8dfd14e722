#include "AnswersJournal.h"

#include "FileLocks.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSet>

namespace AnswersJournal {

namespace {
const QString kFormat = QStringLiteral("qe2-answers");
const QString kWhenFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

bool IsHex(const QString &s, qsizetype n)
{
    if (s.size() != n)
        return false;
    for (QChar c : s)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    return true;
}

bool IsMarks(const QString &s)
{
    for (QChar c : s)
        if (c != u'!' && c != u' ')
            return false;
    return true;
}

// A number that is a whole number within [lo, hi]; JSON numbers are doubles.
bool WholeIn(const QJsonValue &v, qint64 lo, qint64 hi, qint64 *out)
{
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    if (!(d >= double(lo) && d <= double(hi)) || d != double(qint64(d)))
        return false;
    *out = qint64(d);
    return true;
}

bool ReadItem(const QJsonValue &value, TAnswerItem *it, QString *why)
{
    if (!value.isObject()) {
        *why = QStringLiteral("not an object");
        return false;
    }
    const QJsonObject o = value.toObject();
    qint64 pos = 0;
    if (!WholeIn(o.value(u"pos"), 1, MaxItems, &pos)) {
        *why = QStringLiteral("no position");
        return false;
    }
    it->Position = int(pos);
    it->TextHash = o.value(u"textHash").toString();
    if (!IsHex(it->TextHash, 16)) {
        *why = QStringLiteral("no text hash");
        return false;
    }
    it->TextStart = o.value(u"text").toString().left(TextStartChars);
    const QJsonArray order = o.value(u"order").toArray();
    if (order.isEmpty() || order.size() > MaxVariants) {
        *why = QStringLiteral("%1 variants").arg(order.size());
        return false;
    }
    QList<bool> seen(order.size(), false);
    it->Order.clear();
    for (const QJsonValue &v : order) {
        qint64 k = 0;
        if (!WholeIn(v, 0, order.size() - 1, &k) || seen[k]) {
            *why = QStringLiteral("the variants' order is not a permutation");
            return false;
        }
        seen[k] = true;
        it->Order.append(int(k));
    }
    it->Marks = o.value(u"marks").toString();
    it->Key = o.value(u"key").toString();
    const bool answered = o.value(u"answered").toBool();
    if (it->Key.size() != order.size() || !IsMarks(it->Key) || !IsMarks(it->Marks)
        || it->Marks.size() != (answered ? order.size() : 0) || (answered && !it->Marks.contains(u'!'))) {
        *why = QStringLiteral("marks or key do not fit the variants");
        return false;
    }
    return true;
}
} // namespace

QString PathFor(const QString &resultsPath)
{
    const qsizetype slash = resultsPath.lastIndexOf(u'/');
    const qsizetype dot = resultsPath.lastIndexOf(u'.');
    // A dot that starts the name (".res") is the name, not its extension.
    const bool hasExt = dot > slash + 1;
    return (hasExt ? resultsPath.left(dot) : resultsPath) + QStringLiteral(".answers");
}

QString QuestionTextHash(const TNQuestion &q)
{
    const QByteArray text = q.PlainLines.items().join(u'\n').toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha256).toHex().left(16));
}

QString QuestionTextStart(const TNQuestion &q)
{
    QString text = q.PlainLines.items().join(u' ').simplified();
    if (text.size() > TextStartChars)
        text = text.left(TextStartChars - 1) + QChar(0x2026);
    return text;
}

QByteArray RecordLine(const TAnswersRecord &rec)
{
    QJsonArray items;
    for (const TAnswerItem &it : rec.Items) {
        QJsonArray order;
        for (int k : it.Order)
            order.append(k);
        items.append(QJsonObject{
            {QStringLiteral("pos"), it.Position},
            {QStringLiteral("textHash"), it.TextHash},
            {QStringLiteral("text"), it.TextStart},
            {QStringLiteral("order"), order},
            {QStringLiteral("marks"), it.Marks},
            {QStringLiteral("key"), it.Key},
            {QStringLiteral("answered"), it.Answered()},
        });
    }
    const QJsonObject o{
        {QStringLiteral("format"), kFormat},
        {QStringLiteral("version"), FormatVersion},
        {QStringLiteral("when"), rec.When.toString(kWhenFormat)},
        {QStringLiteral("test"), rec.TestName},
        {QStringLiteral("testHash"), rec.TestHash},
        {QStringLiteral("lastName"), rec.LastName},
        {QStringLiteral("firstName"), rec.FirstName},
        {QStringLiteral("patronymic"), rec.Patronymic},
        {QStringLiteral("extra"), rec.Extra},
        {QStringLiteral("scoring"), rec.WholeQuestions ? QStringLiteral("question") : QStringLiteral("variant")},
        {QStringLiteral("score"), rec.Score},
        {QStringLiteral("possible"), rec.PossibleScore},
        {QStringLiteral("items"), items},
    };
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

bool ParseRecord(const QByteArray &line, TAnswersRecord *rec, QString *reason)
{
    const auto fail = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return false;
    };
    if (line.size() > MaxLineBytes)
        return fail(QStringLiteral("a line of %1 bytes").arg(line.size()));
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &err);
    if (err.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not JSON at byte %1: %2").arg(err.offset).arg(err.errorString()));
    if (!doc.isObject())
        return fail(QStringLiteral("not a JSON object"));
    const QJsonObject o = doc.object();
    if (o.value(u"format").toString() != kFormat)
        return fail(QStringLiteral("not an answers record"));
    qint64 version = 0;
    if (!WholeIn(o.value(u"version"), 1, 1 << 20, &version) || version != FormatVersion)
        return fail(QStringLiteral("version %1, this program reads %2")
                        .arg(o.value(u"version").toVariant().toString()).arg(FormatVersion));
    TAnswersRecord r;
    r.When = QDateTime::fromString(o.value(u"when").toString(), kWhenFormat);
    if (!r.When.isValid())
        return fail(QStringLiteral("no date and time"));
    r.TestName = o.value(u"test").toString();
    r.TestHash = o.value(u"testHash").toString();
    if (!IsHex(r.TestHash, 64))
        return fail(QStringLiteral("no test hash"));
    r.LastName = o.value(u"lastName").toString();
    r.FirstName = o.value(u"firstName").toString();
    r.Patronymic = o.value(u"patronymic").toString();
    r.Extra = o.value(u"extra").toString();
    const QString scoring = o.value(u"scoring").toString();
    if (scoring != QLatin1String("variant") && scoring != QLatin1String("question"))
        return fail(QStringLiteral("unknown scoring \"%1\"").arg(scoring.left(40)));
    r.WholeQuestions = scoring == QLatin1String("question");
    qint64 score = 0, possible = 0;
    if (!WholeIn(o.value(u"score"), 0, 65535, &score) || !WholeIn(o.value(u"possible"), 0, 65535, &possible)
        || score > possible)
        return fail(QStringLiteral("no score"));
    r.Score = int(score);
    r.PossibleScore = int(possible);
    const QJsonArray items = o.value(u"items").toArray();
    if (items.size() > MaxItems)
        return fail(QStringLiteral("%1 questions").arg(items.size()));
    QSet<int> positions;
    for (qsizetype i = 0; i < items.size(); ++i) {
        TAnswerItem it;
        QString why;
        if (!ReadItem(items.at(i), &it, &why))
            return fail(QStringLiteral("question %1: %2").arg(i + 1).arg(why));
        if (positions.contains(it.Position))
            return fail(QStringLiteral("question %1: position %2 twice").arg(i + 1).arg(it.Position));
        positions.insert(it.Position);
        r.Items.append(std::move(it));
    }
    *rec = std::move(r);
    return true;
}

TAnswersJournal Parse(const QByteArray &bytes)
{
    TAnswersJournal j;
    qsizetype at = 0;
    int lineNo = 0;
    while (at < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            end = bytes.size();
        ++lineNo;
        QByteArray line = bytes.mid(at, end - at);
        at = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        TAnswersRecord rec;
        QString reason;
        if (ParseRecord(line, &rec, &reason)) {
            j.Records.append(std::move(rec));
        } else {
            if (j.Bad.size() < MaxBadLines)
                j.Bad.append({lineNo, reason});
            ++j.BadCount;
        }
    }
    return j;
}

TReadOutcome ReadFile(const QString &path)
{
    TReadOutcome out;
    const QFileInfo fi(path);
    if (!fi.exists()) {
        out.Status = TReadStatus::Missing;
        return out;
    }
    QFile f(path);
    if (!FileLocks::OpenSharedRead(f)) {
        out.Error = QStringLiteral("Не удалось открыть журнал ответов: ") + path;
        return out;
    }
    if (f.size() > MaxFileBytes) {
        out.Status = TReadStatus::TooLarge;
        out.Error = QStringLiteral("Журнал ответов слишком велик: ") + path;
        return out;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        out.Error = QStringLiteral("Ошибка чтения журнала ответов: ") + path;
        return out;
    }
    out.Journal = Parse(bytes);
    out.Status = TReadStatus::Ok;
    return out;
}

} // namespace AnswersJournal
