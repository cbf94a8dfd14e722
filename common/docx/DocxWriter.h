#pragma once
// WordprocessingML documents built on a template's parts, from our rich-text
// model (QTextDocument as the RTF reader builds it).
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <memory>

#include "DocxZip.h"

class QTextDocument;

namespace Docx {

// The parts of a *.dotx (or *.docx) that a new document reuses.
class TDocxTemplate {
public:
    // Throws EDocxError when the file cannot be read or is not a word-processing package.
    static TDocxTemplate Load(const QString &path);
    static TDocxTemplate FromBytes(const QByteArray &zip);

    // Style id of the paragraph style with that name, empty when there is none.
    // The name "Обычный" is the template's default paragraph style.
    QString paragraphStyleId(const QString &name) const;
    QString defaultParagraphStyleId() const { return m_defaultStyle; }

    // relType is the main part's relationship to it; empty for a part that a kept part refers to.
    struct TPart { QString name; QString contentType; QByteArray bytes; QByteArray rels; QString relType; };
    const QList<TPart> &parts() const { return m_parts; }
    const QList<TPart> &packageParts() const { return m_packageParts; }
    // Page setup of the template's last section, as XML attributes (twips).
    QMap<QString, QString> pageSize, pageMargins;
    // The other properties of that section (columns, grid, borders, page numbers,
    // first page...) as the template has them, in its order: local name and XML
    // with the w: prefix. Headers, footers and printer settings are not among them.
    QList<QPair<QString, QByteArray>> sectionProps;
    // The width of a column and the height of the text area of that section, twips.
    int textWidth() const;
    int textHeight() const;
    // The highest list id of the template's numbering part (0 without one).
    int numberingBase = 0;
    // The highest drawing id of the kept parts (a header's logo): ours come after it.
    qint64 drawingIdBase = 0;
    // Headers of the last section the new document shows too: type ("default", "even", "first") and part.
    QList<QPair<QString, QString>> headers;
    bool evenAndOddHeaders = false;   // the settings show even pages' headers and footers

private:
    QList<TPart> m_parts;          // beside the main part: styles, settings, fonts, theme...
    QList<TPart> m_packageParts;   // docProps
    QHash<QString, QString> m_styleByName;   // paragraph styles only
    QString m_defaultStyle;
    int m_columns = 1, m_columnSpace = 720;
    bool m_equalColumns = true;
    QList<int> m_columnWidths;
};

class TDocxDocument {
public:
    explicit TDocxDocument(const TDocxTemplate &tpl);
    ~TDocxDocument();
    TDocxDocument(const TDocxDocument &) = delete;
    TDocxDocument &operator=(const TDocxDocument &) = delete;

    // How a paragraph keeps to its page: as the style says, its lines on one
    // page (and not with the next, whatever the style says), or its lines on
    // one page with the next paragraph's first.
    enum class TKeep { Style, Lines, LinesWithNext };
    // One paragraph of plain text in a style (empty styleId: the default style).
    void addParagraph(const QString &styleId, const QString &text = {}, TKeep keep = TKeep::Style);
    // Every paragraph of doc. With a styleId the paragraphs take that style and
    // only their lists from doc; without, doc's own paragraph attributes.
    // Characters keep their attributes either way. Objects become inline pictures.
    // keep is for every paragraph but the last, which takes lastKeep.
    void addRichText(const QTextDocument &doc, const QString &styleId = {}, TKeep keep = TKeep::Style,
                     TKeep lastKeep = TKeep::Style);
    // The primary footer, shown on every page: text, then the page number at the right.
    void setFooter(const QString &text);

    // The finished package (the document can take no more content after it).
    QByteArray package();
    // package() written to a temporary beside path, then renamed over it.
    void save(const QString &path);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Relationship and content types this writer uses, for readers and tests.
namespace Ns {
inline const QString W = QStringLiteral("http://schemas.openxmlformats.org/wordprocessingml/2006/main");
inline const QString R = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships");
inline const QString Rels = QStringLiteral("http://schemas.openxmlformats.org/package/2006/relationships");
inline const QString Types = QStringLiteral("http://schemas.openxmlformats.org/package/2006/content-types");
inline const QString RelBase = QStringLiteral("http://schemas.openxmlformats.org/officeDocument/2006/relationships/");
}

} // namespace Docx
