#pragma once
#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

class QTextDocument;

namespace RichTest {
QString CorpusDir();
QByteArray ReadFile(const QString &path);
QList<QJsonObject> ReadJsonl(const QString &path);
// "index<TAB>text" lines of a *.lines.txt file, text only.
QStringList ReadLines(const QString &path);
// Corpus files with the given suffix, names relative to the corpus folder.
QStringList CorpusFiles(const QString &suffix, bool withPictures);
QList<QJsonObject> Dump(const QTextDocument &doc);

// Per-character view of a dump: paragraph attributes by paragraph index and
// run attributes by character position, so that differently split runs compare.
struct FlatDump {
    QJsonObject doc;
    QList<QJsonObject> paras;
    QList<QJsonObject> chars;   // one per position, with "ch" and "para"
};
FlatDump Flatten(const QList<QJsonObject> &dump);
// Differences "where: key expected X got Y", at most limit of them.
QStringList Compare(const FlatDump &expected, const FlatDump &actual, int limit = 10);

// The object records after the RTF of a content record (raw bytes).
QList<QByteArray> ObjectRecords(const QByteArray &record);
} // namespace RichTest
