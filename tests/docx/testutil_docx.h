#pragma once
// Reading back what the package writer produced, for the tests.
#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace DocxTest {

QString DefaultTemplate();   // the template the build makes
QByteArray ReadFile(const QString &path);
QMap<QString, QByteArray> Parts(const QByteArray &zip);
QStringList EntryOrder(const QByteArray &zip);
// Empty when well-formed, else the parser's complaint.
QString XmlError(const QByteArray &xml);

struct TDrawing { QString embed; qint64 cx = 0, cy = 0; };
struct TRun {
    QString text;            // w:t text, w:tab as '\t', w:br as '\n'
    QJsonObject attrs;       // face, size, bold, italic, underlineType, strike, color, background, offset, super, sub
    QList<TDrawing> drawings;
};
struct TPara {
    QString style;
    QMap<QString, QString> props;   // "jc", "ind.left", "spacing.before", "numId", "tabs" ("left@720;..."), "keepNext" ("1"/"0")...
    QList<TRun> runs;
    QString text() const;
};
QList<TPara> Paragraphs(const QByteArray &documentXml);
// Paragraphs' texts only.
QStringList Texts(const QList<TPara> &paras);

struct TRel { QString type, target; };
QMap<QString, TRel> Relationships(const QByteArray &relsXml);   // by id
QMap<QString, QString> Overrides(const QByteArray &contentTypes); // part name without '/' -> type
QMap<QString, QString> Defaults(const QByteArray &contentTypes);  // extension -> type
// Paragraph style names by id.
QMap<QString, QString> StyleNames(const QByteArray &stylesXml);

// numId -> level 0 of its abstract definition: "numFmt", "lvlText", "start", "ind.left", "ind.hanging".
QMap<QString, QMap<QString, QString>> Numbering(const QByteArray &numberingXml);

// The footer's paragraphs' texts and whether a PAGE field is in it.
struct TFooter { QStringList texts; bool pageField = false; QString pageFieldJc; };
TFooter Footer(const QByteArray &footerXml);

// The children of the body's section properties, with their attributes (local names).
struct TSectionProp { QString name; QMap<QString, QString> attrs; int children = 0; };
QList<TSectionProp> SectionProps(const QByteArray &documentXml);
// Every drawing id (wp:docPr) of the package's XML parts.
QList<qint64> DrawingIds(const QMap<QString, QByteArray> &parts);
// The default template with text replaced in its parts and parts added.
struct TEdit { QString part; QByteArray from, to; };
QByteArray EditedTemplate(const QList<TEdit> &edits, const QList<QPair<QString, QByteArray>> &added = {});

} // namespace DocxTest
