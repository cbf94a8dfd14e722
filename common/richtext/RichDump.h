#pragma once
// The document as the reference dumps show it: one "doc" object, then per
// paragraph a "para" object followed by its "run" objects (runs of equal
// visible character format; sizes in points, indents and spacing in twips).
#include <QJsonObject>
#include <QList>

class QTextDocument;

QList<QJsonObject> RichDump(const QTextDocument &doc);
