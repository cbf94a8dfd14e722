#pragma once
// Attributes the rich edit control has and QTextDocument cannot hold natively.
// They travel in custom format properties so that reading and writing round-trip.
#include <QTextFormat>
#include <QTextCharFormat>
#include <QTextBlockFormat>
#include <QTextListFormat>
#include <QString>

#include "QeErrors.h"

QE_DECLARE_ERROR(ERichEditError)

namespace RichText {

inline const QString kFailedToSave = QStringLiteral("Failed to Save Stream");
inline const QString kFailedToLoad = QStringLiteral("Failed to Load Stream");
inline const QString kCannotGetObject = QStringLiteral("Не могу получить объект");
inline const QString kBadStreamFormat = QStringLiteral("Неверный формат потока");

enum Property : int {
    // character formats
    PropCharset = QTextFormat::UserProperty + 1,   // \fcharset of the run's font
    PropUpDown,              // \up (positive) / \dn (negative) in half points
    PropUnderlineType,       // 1 single, 2 words, 3 double, 4 dotted, ...
    PropLang,                // \lang
    PropHidden,              // \v
    PropProtected,           // \protect
    // block formats
    PropLineRule,            // 0 single, 1 one and a half, 2 double, 3 at least, 4 exactly, 5 multiple
    PropLineValue,           // twips for rules 3/4, twentieths of a line for rule 5
    PropTabKinds,            // QString of one letter per tab stop: l r c d
    PropListFirstIndent,     // \fi of a list paragraph (Qt draws the marker in the margin)
    // list formats
    PropNumbering,           // NumberingCode
    PropNumStart,            // \pnstart
    PropNumStyle,            // NumberingStyle
    PropNumTab,              // \pnindent in twips
    PropNumFontName,         // \pnf font of the bullet
    PropNumFontCharset,
    // object formats: the object record fields and storage image
    PropObjAspect,
    PropObjClsid,            // 16 bytes
    PropObjWidth,            // 0.01 mm
    PropObjHeight,
    PropObjFlags,
    PropObjUser,
    PropObjStorage,          // QByteArray, compound file image
};

// Object format type of embedded objects (U+FFFC).
constexpr int kObjectType = QTextFormat::UserObject + 1;

enum NumberingCode { NumNone = 0, NumBullet = 1, NumArabic = 2, NumLcLetter = 3, NumUcLetter = 4,
                     NumLcRoman = 5, NumUcRoman = 6 };
// The rich edit's numbering styles (PARAFORMAT2 wNumberingStyle).
enum NumberingStyle { StyleParen = 0x000, StyleParens = 0x100, StylePeriod = 0x200, StylePlain = 0x300 };

enum AlignmentValue { AlignLeftValue = 1, AlignRightValue = 2, AlignCenterValue = 3, AlignJustifyValue = 4 };

// Twips <-> QTextDocument pixels at 96 dpi.
inline double TwipsToPx(int twips) { return twips / 15.0; }
inline int PxToTwips(double px) { return int(std::lround(px * 15.0)); }

// Paragraph attributes as the rich edit keeps them (twips).
struct TParaAttributes {
    int alignment = AlignLeftValue;
    int leftIndent = 0;     // \li
    int rightIndent = 0;    // \ri
    int firstIndent = 0;    // \fi, relative to leftIndent
    int spaceBefore = 0;
    int spaceAfter = 0;
    int lineRule = 0;
    int lineValue = 0;
    int numbering = NumNone;
    int numberingStart = 1;
    int numberingStyle = StylePeriod;
    int numberingTab = 0;
    bool operator==(const TParaAttributes &) const = default;
};

// Codec name of an RTF \fcharset, nullptr when unknown. windowsAnsi tells the
// single-byte Windows code pages (the ones the writer encodes \'xx with).
const char *CharsetCodecName(int charset, bool *windowsAnsi = nullptr);
int CharsetOf(const QTextCharFormat &f);        // 1 (default) when unset
int UnderlineTypeOf(const QTextCharFormat &f);  // 0 when not underlined
QString FontNameOf(const QTextCharFormat &f);
// The rich edit's codes for a list format.
int NumberingOf(const QTextListFormat &f);
int NumberingStartOf(const QTextListFormat &f);
int NumberingStyleOf(const QTextListFormat &f);
// Applies rule/value to the block format (both the custom properties and Qt's line height).
void SetLineSpacing(QTextBlockFormat &f, int rule, int value);
void SetUnderlineType(QTextCharFormat &f, int type);
QTextListFormat MakeListFormat(int numbering, int start, int style, int tab);

TParaAttributes ParaAttributesOf(const QTextBlockFormat &bf, const QTextListFormat *lf);
void ApplyParaAttributes(QTextBlockFormat &bf, const TParaAttributes &a);

} // namespace RichText
