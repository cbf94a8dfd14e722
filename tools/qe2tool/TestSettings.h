#pragma once
// Readable names of the header fields, shared by the description reader and the dumps,
// so that a dump's "settings" object can be pasted into a description.
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "QuizEngineCommon.h"

namespace Qe2Tool {

struct TOptionName {
    TTestOption bit;
    const char *codeName;   // as the code names the bit: "RandomVOrder"
    const char *key;        // settings key: "randomVariantOrder"
};
extern const TOptionName OptionNames[7];

// Settings limits, as the editor's settings dialog offers them.
constexpr int MaxTimeLimit = 120;
constexpr int MinQWidth = 500, MaxQWidth = 2000;
constexpr int MinQHeight = 100, MaxQHeight = 2000;
constexpr int MinZoom = 30, MaxZoom = 255;   // the header holds one byte
constexpr int MaxVariants = 10;
constexpr int MaxPasswordLength = 14;        // 28 hex digits; readers accept at most 29
constexpr int MaxPlainLines = 1000;
constexpr quint16 RandomAll = 0xFFFF;

QStringList OptionCodeNames(quint16 options);
QString ScrollBarsKey(quint8 value);              // "auto", "vertical", ...; "" when unknown
int ScrollBarsFromKey(const QString &key);        // -1 when unknown
QString ScrollBarsCaption(quint8 value);          // the settings dialog's item text

// The settings object of a description for this header (every key).
QJsonObject SettingsToJson(const TTestInfo &info);

}  // namespace Qe2Tool
