#include "testutil_rich.h"

#include "RichDump.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTextDocument>

namespace RichTest {

QString CorpusDir()
{
    return QStringLiteral(QE_CORPUS_DIR "/richedit");
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QList<QJsonObject> ReadJsonl(const QString &path)
{
    QList<QJsonObject> out;
    for (const QByteArray &line : ReadFile(path).split('\n'))
        if (!line.trimmed().isEmpty())
            out.append(QJsonDocument::fromJson(line).object());
    return out;
}

QStringList ReadLines(const QString &path)
{
    QStringList out;
    const QString text = QString::fromUtf8(ReadFile(path));
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        if (line.isEmpty())
            continue;
        out.append(line.section(QLatin1Char('\t'), 1));
    }
    return out;
}

QStringList CorpusFiles(const QString &suffix, bool withPictures)
{
    QStringList out;
    const QDir dir(CorpusDir());
    for (const QString &f : dir.entryList({QStringLiteral("*") + suffix}, QDir::Files, QDir::Name))
        out.append(f);
    if (withPictures) {
        const QDir pics(CorpusDir() + QStringLiteral("/pictures"));
        for (const QString &f : pics.entryList({QStringLiteral("*") + suffix}, QDir::Files, QDir::Name))
            out.append(QStringLiteral("pictures/") + f);
    }
    return out;
}

QList<QJsonObject> Dump(const QTextDocument &doc)
{
    return RichDump(doc);
}

FlatDump Flatten(const QList<QJsonObject> &dump)
{
    FlatDump f;
    int para = -1;
    for (const QJsonObject &o : dump) {
        const QString type = o.value(QStringLiteral("type")).toString();
        if (type == QLatin1String("doc")) {
            f.doc = o;
        } else if (type == QLatin1String("para")) {
            QJsonObject p = o;
            p.remove(QStringLiteral("type"));
            f.paras.append(p);
            ++para;
        } else if (type == QLatin1String("run")) {
            QJsonObject attrs = o;
            const QString text = o.value(QStringLiteral("text")).toString();
            for (const char *k : {"type", "start", "end", "text"})
                attrs.remove(QLatin1String(k));
            if (text.isEmpty()) {
                // an empty paragraph's format, kept at the paragraph
                attrs[QStringLiteral("ch")] = QString();
                attrs[QStringLiteral("para")] = para;
                f.paras.back()[QStringLiteral("emptyRun")] = attrs;
                continue;
            }
            for (QChar ch : text) {
                QJsonObject c = attrs;
                c[QStringLiteral("ch")] = QString(ch);
                c[QStringLiteral("para")] = para;
                f.chars.append(c);
            }
        }
    }
    return f;
}

static QString Show(const QJsonValue &v)
{
    if (v.isString())
        return QLatin1Char('"') + v.toString() + QLatin1Char('"');
    if (v.isObject() || v.isArray())
        return QString::fromUtf8((v.isObject() ? QJsonDocument(v.toObject()) : QJsonDocument(v.toArray())).toJson(QJsonDocument::Compact));
    return v.toVariant().toString();
}

static void CompareObjects(const QString &where, const QJsonObject &e, const QJsonObject &a, QStringList &out, int limit)
{
    for (auto it = e.begin(); it != e.end() && out.size() < limit; ++it) {
        if (it.value() != a.value(it.key()))
            out.append(QStringLiteral("%1: %2 expected %3 got %4")
                           .arg(where, it.key(), Show(it.value()), Show(a.value(it.key()))));
    }
}

QStringList Compare(const FlatDump &e, const FlatDump &a, int limit)
{
    QStringList out;
    CompareObjects(QStringLiteral("doc"), e.doc, a.doc, out, limit);
    if (e.paras.size() != a.paras.size())
        out.append(QStringLiteral("paragraphs: expected %1 got %2").arg(e.paras.size()).arg(a.paras.size()));
    for (int i = 0; i < std::min(e.paras.size(), a.paras.size()) && out.size() < limit; ++i)
        CompareObjects(QStringLiteral("para %1").arg(i), e.paras[i], a.paras[i], out, limit);
    if (e.chars.size() != a.chars.size())
        out.append(QStringLiteral("characters: expected %1 got %2").arg(e.chars.size()).arg(a.chars.size()));
    for (int i = 0; i < std::min(e.chars.size(), a.chars.size()) && out.size() < limit; ++i)
        CompareObjects(QStringLiteral("char %1").arg(i), e.chars[i], a.chars[i], out, limit);
    return out;
}

QList<QByteArray> ObjectRecords(const QByteArray &record)
{
    QList<QByteArray> out;
    if (record.size() < 4)
        return out;
    const auto le32 = [&](qsizetype at) {
        const auto *p = reinterpret_cast<const uchar *>(record.constData() + at);
        return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
    };
    qsizetype pos = 4 + qsizetype(le32(0));
    while (pos + 48 <= record.size()) {
        const qsizetype len = 48 + qsizetype(le32(pos + 8));
        out.append(record.mid(pos, len));
        pos += len;
    }
    return out;
}

} // namespace RichTest
