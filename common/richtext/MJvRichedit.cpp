#include "MJvRichedit.h"

#include "RichLists.h"
#include "RichObjects.h"
#include "RichRecord.h"
#include "RtfReader.h"
#include "RtfWriter.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextList>

#include <new>

using namespace RichText;

namespace {

const QString kRtfMime = QStringLiteral("text/rtf");
const QString kRtfMimeWin = QStringLiteral("application/x-qt-windows-mime;value=\"Rich Text Format\"");

bool IsSymbolFamily(const QString &family)
{
    return family.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0 ||
           family.startsWith(QLatin1String("Wingdings"), Qt::CaseInsensitive) ||
           family.compare(QLatin1String("Webdings"), Qt::CaseInsensitive) == 0 ||
           family.compare(QLatin1String("Marlett"), Qt::CaseInsensitive) == 0;
}

// Sets every object's resizable flag off (read-only controls never resize).
void ClearResizable(QTextDocument *doc)
{
    QList<QPair<int, QTextCharFormat>> changes;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            QTextCharFormat f = it.fragment().charFormat();
            if (IsObjectFormat(f) && (f.property(PropObjFlags).toUInt() & kReoResizable)) {
                f.setProperty(PropObjFlags, f.property(PropObjFlags).toUInt() & ~kReoResizable);
                changes.append({it.fragment().position(), f});
                for (int k = 1; k < it.fragment().length(); ++k)
                    changes.append({it.fragment().position() + k, f});
            }
        }
    const bool undo = doc->isUndoRedoEnabled();
    const bool modified = doc->isModified();
    doc->setUndoRedoEnabled(false);
    QTextCursor c(doc);
    for (const auto &[pos, f] : changes) {
        c.setPosition(pos);
        c.setPosition(pos + 1, QTextCursor::KeepAnchor);
        c.setCharFormat(f);
    }
    doc->setUndoRedoEnabled(undo);
    doc->setModified(modified);
}

} // namespace

// ---- lines view ------------------------------------------------------------

QStringList RichText::DocumentLines(const QTextDocument &doc)
{
    QStringList lines;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        QString text = b.text();
        text.replace(QChar(0x0B), QChar(QChar::LineSeparator));   // pasted vertical tabs break too
        qsizetype from = 0;
        for (;;) {
            const qsizetype at = text.indexOf(QChar(QChar::LineSeparator), from);
            const QString line = text.mid(from, at < 0 ? -1 : at - from);
            lines.append(line.left(kMaxLineLength));
            if (at < 0)
                break;
            from = at + 1;
        }
    }
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    return lines;
}

const QStringList &TWideRichEditStrings::lines() const
{
    const QTextDocument *doc = m_owner.document();
    if (!m_valid || doc != m_cacheDoc || doc->revision() != m_cacheRevision) {
        m_cache = DocumentLines(*doc);
        m_cacheDoc = doc;
        m_cacheRevision = doc->revision();
        m_valid = true;
    }
    return m_cache;
}

int TWideRichEditStrings::Count() const
{
    return int(lines().size());
}

QString TWideRichEditStrings::Get(int i) const
{
    const QStringList &l = lines();
    return (i >= 0 && i < l.size()) ? l[i] : QString();
}

void TWideRichEditStrings::Clear()
{
    m_owner.clear();
}

// ---- control ----------------------------------------------------------------

TMJvRichEdit::TMJvRichEdit(QWidget *parent) : QTextEdit(parent)
{
    RegisterObjectHandler(document());
    setMouseTracking(true);
    // textChanged also follows a replaced document
    connect(this, &QTextEdit::textChanged, this, [this] { m_lines.m_valid = false; });
}

TMJvRichEdit::~TMJvRichEdit() = default;

void TMJvRichEdit::SaveRichToStream(QIODevice &dev)
{
    QByteArray rec;
    try {
        rec = SaveRecord(*document());
    } catch (const ERichEditError &) {
        throw;
    } catch (const std::exception &) {
        throw ERichEditError(kFailedToSave);
    }
    if (dev.write(rec) != rec.size())
        throw ERichEditError(kFailedToSave);
}

void TMJvRichEdit::LoadRichFromStream(QIODevice &dev)
{
    // an unreadable stream would otherwise load as an empty text
    if (!dev.isReadable())
        throw ERichEditError(kFailedToLoad);
    LoadRichFromBytes(dev.readAll());
}

QByteArray TMJvRichEdit::SaveRichToBytes()
{
    return SaveRecord(*document());
}

void TMJvRichEdit::LoadRichFromBytes(const QByteArray &record)
{
    // Only our own switch is restored: a parent that froze redrawing around the
    // load must not leave this control frozen for good once it thaws.
    const bool updates = !testAttribute(Qt::WA_ForceUpdatesDisabled);
    setUpdatesEnabled(false);
    m_selectedObject = -1;
    struct Finish {
        TMJvRichEdit *e;
        bool updates;
        ~Finish()
        {
            RegisterObjectHandler(e->document());
            if (e->m_zoom != 100)
                e->applyZoom(100, e->m_zoom);
            e->moveCursor(QTextCursor::Start);
            e->setUpdatesEnabled(updates);
            e->viewport()->update();
        }
    } finish{this, updates};
    document()->setProperty("qeZoom", QVariant());
    LoadRecord(*document(), record, isReadOnly());
}

void TMJvRichEdit::SetReadOnly(bool ro)
{
    setReadOnly(ro);
    if (ro) {
        ClearResizable(document());
        m_selectedObject = -1;
    }
}

void TMJvRichEdit::applyZoom(int from, int to)
{
    if (from == to)
        return;
    QTextDocument *doc = document();
    const double factor = double(to) / from;
    const bool undo = doc->isUndoRedoEnabled();
    const bool modified = doc->isModified();
    doc->setUndoRedoEnabled(false);
    struct Change { int pos, len; double size; };
    QList<Change> runs;
    QList<QPair<int, QTextCharFormat>> marks;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            const double pt = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : 12.0;
            runs.append({it.fragment().position(), it.fragment().length(), pt * factor});
        }
        QTextCharFormat mark = b.charFormat();
        mark.setFontPointSize((mark.hasProperty(QTextFormat::FontPointSize) ? mark.fontPointSize() : 12.0) * factor);
        marks.append({b.position(), mark});
    }
    QTextCursor c(doc);
    for (const Change &r : runs) {
        c.setPosition(r.pos);
        c.setPosition(r.pos + r.len, QTextCursor::KeepAnchor);
        QTextCharFormat f;
        f.setFontPointSize(r.size);
        c.mergeCharFormat(f);
    }
    for (const auto &[pos, mark] : marks) {
        c.setPosition(pos);
        c.setBlockCharFormat(mark);
    }
    doc->setProperty("qeZoom", to);
    doc->setUndoRedoEnabled(undo);
    doc->setModified(modified);
    doc->markContentsDirty(0, doc->characterCount());
}

void TMJvRichEdit::SetZoom(int percent)
{
    percent = std::clamp(percent, 10, 500);
    applyZoom(m_zoom, percent);
    m_zoom = percent;
}

bool TMJvRichEdit::InsertPicture(const QImage &image, QString *tooLarge)
{
    if (!PictureSizeAllowed(image.size())) {
        if (tooLarge)
            *tooLarge = QStringLiteral("слишком велик (%1×%2 точек)").arg(image.width()).arg(image.height());
        return false;
    }
    const TRichObject obj = PictureObject(image);
    if (obj.storage.isEmpty())
        return false;
    QTextCursor c = textCursor();
    QTextCharFormat base = c.charFormat();
    base.clearProperty(QTextFormat::ObjectType);
    c.insertText(QString(QChar(QChar::ObjectReplacementCharacter)), ObjectFormat(obj, base));
    setTextCursor(c);
    return true;
}

bool TMJvRichEdit::InsertPictureFromFile(const QString &path, QString *tooLarge)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QString why;
    bool large = false;
    const QImage img = ReadOutsidePicture(&f, &why, &large);
    if (large && tooLarge)
        *tooLarge = why;
    return !img.isNull() && InsertPicture(img, tooLarge);
}

void TMJvRichEdit::mergeCharAttributes(const QTextCharFormat &format)
{
    QTextCharFormat f = format;
    if (f.hasProperty(QTextFormat::FontPointSize))
        f.setFontPointSize(f.fontPointSize() * m_zoom / 100.0);
    if (f.hasProperty(QTextFormat::FontFamilies) && !f.hasProperty(PropCharset))
        f.setProperty(PropCharset, IsSymbolFamily(FontNameOf(f)) ? 2 : 204);
    QTextCursor c = textCursor();
    if (!c.hasSelection())
        c.select(QTextCursor::WordUnderCursor);
    c.mergeCharFormat(f);
    mergeCurrentCharFormat(f);
}

QTextCharFormat TMJvRichEdit::charAttributes() const
{
    QTextCharFormat f = textCursor().charFormat();
    if (f.hasProperty(QTextFormat::FontPointSize))
        f.setFontPointSize(std::lround(f.fontPointSize() * 200.0 / m_zoom) / 2.0);
    return f;
}

TParaAttributes TMJvRichEdit::paraAttributes() const
{
    const QTextBlock b = textCursor().block();
    const QTextList *list = b.textList();
    const QTextListFormat lf = list ? list->format() : QTextListFormat();
    return ParaAttributesOf(b.blockFormat(), list ? &lf : nullptr);
}

void TMJvRichEdit::setParaAttributes(const TParaAttributes &a)
{
    QTextCursor sel = textCursor();
    QTextDocument *doc = document();
    const QTextBlock first = doc->findBlock(sel.selectionStart());
    const QTextBlock last = doc->findBlock(sel.selectionEnd());
    QTextCursor c(doc);
    c.beginEditBlock();
    QTextList *list = nullptr;
    for (QTextBlock b = first; b.isValid(); b = b.next()) {
        c.setPosition(b.position());
        QTextBlockFormat bf = b.blockFormat();
        ApplyParaAttributes(bf, a);
        c.setBlockFormat(bf);
        if (a.numbering != NumNone) {
            const QTextListFormat lf = MakeListFormat(a.numbering, a.numberingStart, a.numberingStyle, a.numberingTab);
            if (!list) {
                QTextList *own = b.textList();
                if (own && own->format() == lf)
                    list = own;
                else {
                    if (own)
                        own->remove(b);
                    list = c.createList(lf);
                }
            } else if (b.textList() != list) {
                if (b.textList())
                    b.textList()->remove(b);
                list->add(b);
            }
        } else if (QTextList *own = b.textList()) {
            own->remove(b);
            QTextBlockFormat plain = c.blockFormat();
            plain.setIndent(0);
            ApplyParaAttributes(plain, a);
            c.setBlockFormat(plain);
        }
        if (b == last)
            break;
    }
    c.endEditBlock();
}

// ---- clipboard and drops: only what the writer can write comes in -----------

bool TMJvRichEdit::canInsertFromMimeData(const QMimeData *source) const
{
    return source->hasImage() || source->hasText() || source->hasUrls() || source->hasFormat(kRtfMime) ||
           source->hasFormat(kRtfMimeWin);
}

void TMJvRichEdit::insertFromMimeData(const QMimeData *source)
{
    if (isReadOnly())
        return;
    // Pastes and drops come straight from the event loop: nothing may escape.
    // Each is a step of its own: the document would merge two plain pastes
    // side by side into one undo step.
    QTextCursor block(document());
    block.beginEditBlock();
    try {
        insertOutsideData(source);
        block.endEditBlock();
    } catch (const std::bad_alloc &) {
        block.endEditBlock();
        Q_EMIT insertRefused(QStringLiteral("Недостаточно памяти: данные не вставлены."));
    }
}

void TMJvRichEdit::insertOutsideData(const QMimeData *source)
{
    const QString rtfFormat = source->hasFormat(kRtfMime) ? kRtfMime
                              : source->hasFormat(kRtfMimeWin) ? kRtfMimeWin : QString();
    if (!rtfFormat.isEmpty()) {
        QTextDocument tmp;
        ReadRtf(source->data(rtfFormat), tmp);
        if (m_zoom != 100) {
            // pasted sizes are natural; show them zoomed like the rest
            QTextCursor all(&tmp);
            all.select(QTextCursor::Document);
            for (QTextBlock b = tmp.begin(); b.isValid(); b = b.next())
                for (auto it = b.begin(); !it.atEnd(); ++it) {
                    QTextCursor c(&tmp);
                    c.setPosition(it.fragment().position());
                    c.setPosition(it.fragment().position() + it.fragment().length(), QTextCursor::KeepAnchor);
                    QTextCharFormat f;
                    f.setFontPointSize(it.fragment().charFormat().fontPointSize() * m_zoom / 100.0);
                    c.mergeCharFormat(f);
                }
        }
        textCursor().insertFragment(QTextDocumentFragment(&tmp));
        ensureCursorVisible();
        return;
    }
    QString refused;
    if (source->hasImage()) {
        const QImage img = qvariant_cast<QImage>(source->imageData());
        QString why;
        if (!img.isNull() && InsertPicture(img, &why))
            return;
        if (!img.isNull())
            refused = why;
    }
    if (source->hasUrls()) {
        bool any = false;
        for (const QUrl &url : source->urls()) {
            QString why;
            if (url.isLocalFile() && InsertPictureFromFile(url.toLocalFile(), &why))
                any = true;
            else if (!why.isEmpty())
                refused = why;
        }
        if (any)
            return;
    }
    if (!refused.isEmpty()) {
        Q_EMIT insertRefused(QStringLiteral("Рисунок не вставлен: он %1.").arg(refused));
        return;
    }
    if (source->hasText())
        textCursor().insertText(source->text(), textCursor().charFormat().objectType() == kObjectType
                                                     ? QTextCharFormat() : textCursor().charFormat());
}

QMimeData *TMJvRichEdit::createMimeDataFromSelection() const
{
    auto *data = new QMimeData;
    const QTextCursor c = textCursor();
    QTextDocument tmp;
    QTextCursor(&tmp).insertFragment(c.selection());
    tmp.setProperty("qeZoom", m_zoom);
    data->setData(kRtfMime, WriteRtf(tmp));
    QString text = c.selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.remove(QChar(QChar::ObjectReplacementCharacter));
    data->setText(text);
    return data;
}

// ---- object resizing ------------------------------------------------------------

QRectF TMJvRichEdit::objectRect(int pos) const
{
    QTextDocument *doc = document();
    if (pos < 0 || pos >= doc->characterCount() - 1 || doc->characterAt(pos) != QChar::ObjectReplacementCharacter)
        return {};
    const QTextBlock b = doc->findBlock(pos);
    QTextCursor c(doc);
    c.setPosition(pos + 1);
    const QTextCharFormat f = c.charFormat();
    if (!IsObjectFormat(f) || !b.layout())
        return {};
    const QTextLine line = b.layout()->lineForTextPosition(pos - b.position());
    if (!line.isValid())
        return {};
    auto *handler = doc->documentLayout()->handlerForObject(kObjectType);
    const QSizeF size = handler ? static_cast<TRichObjectHandler *>(handler)->intrinsicSize(doc, pos, f) : QSizeF();
    const QPointF origin = b.layout()->position();
    const double x = line.cursorToX(pos - b.position());
    const double y = line.y() + line.ascent() - size.height();
    return QRectF(origin + QPointF(x, y), size)
        .translated(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
}

int TMJvRichEdit::objectAt(const QPoint &p) const
{
    const int pos = cursorForPosition(p).position();
    for (int cand : {pos, pos - 1}) {
        const QRectF r = objectRect(cand);
        if (!r.isEmpty() && r.adjusted(-3, -3, 3, 3).contains(p))
            return cand;
    }
    return -1;
}

void TMJvRichEdit::mousePressEvent(QMouseEvent *e)
{
    if (!isReadOnly() && e->button() == Qt::LeftButton) {
        const QPoint p = e->position().toPoint();
        if (m_selectedObject >= 0) {
            const QRectF r = objectRect(m_selectedObject);
            const QRectF handle(r.bottomRight() - QPointF(6, 6), QSizeF(8, 8));
            if (!r.isEmpty() && handle.contains(p)) {
                QTextCursor c(document());
                c.setPosition(m_selectedObject + 1);
                if (c.charFormat().property(PropObjFlags).toUInt() & kReoResizable) {
                    m_resizing = true;
                    m_resizeSize = r.size();
                    return;
                }
            }
        }
        m_selectedObject = objectAt(p);
        viewport()->update();
    }
    QTextEdit::mousePressEvent(e);
}

void TMJvRichEdit::mouseMoveEvent(QMouseEvent *e)
{
    if (m_resizing) {
        const QRectF r = objectRect(m_selectedObject);
        const QPointF p = e->position();
        m_resizeSize = QSizeF(std::max(4.0, p.x() - r.left()), std::max(4.0, p.y() - r.top()));
        viewport()->update();
        return;
    }
    QTextEdit::mouseMoveEvent(e);
}

void TMJvRichEdit::mouseReleaseEvent(QMouseEvent *e)
{
    if (m_resizing) {
        m_resizing = false;
        QTextCursor c(document());
        c.setPosition(m_selectedObject);
        c.setPosition(m_selectedObject + 1, QTextCursor::KeepAnchor);
        QTextCharFormat f = c.charFormat();
        const double z = m_zoom / 100.0;
        f.setProperty(PropObjWidth, PxToHmm(int(std::lround(m_resizeSize.width() / z))));
        f.setProperty(PropObjHeight, PxToHmm(int(std::lround(m_resizeSize.height() / z))));
        c.setCharFormat(f);
        viewport()->update();
        return;
    }
    QTextEdit::mouseReleaseEvent(e);
}

void TMJvRichEdit::paintEvent(QPaintEvent *e)
{
    QTextEdit::paintEvent(e);
    {
        QPainter lp(viewport());
        lp.setPen(palette().color(QPalette::Text));
        const QPointF scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
        lp.translate(-scroll);
        DrawListMarkers(lp, *document(), QRectF(e->rect()).translated(scroll));
    }
    if (m_selectedObject < 0 || isReadOnly())
        return;
    QRectF r = objectRect(m_selectedObject);
    if (r.isEmpty()) {
        m_selectedObject = -1;
        return;
    }
    if (m_resizing)
        r.setSize(m_resizeSize);
    QPainter p(viewport());
    p.setPen(QPen(Qt::black, 1, Qt::DotLine));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    QTextCursor c(document());
    c.setPosition(m_selectedObject + 1);
    if (c.charFormat().property(PropObjFlags).toUInt() & kReoResizable)
        p.fillRect(QRectF(r.bottomRight() - QPointF(5, 5), QSizeF(6, 6)), Qt::black);
}

// ---- helpers for tools and tests ----------------------------------------------------

QByteArray RichRecord::FromPlainText(const QString &text)
{
    QTextDocument doc;
    QTextCharFormat f;
    f.setFontFamilies(QStringList{QStringLiteral("Times New Roman")});
    f.setProperty(PropCharset, 204);
    f.setFontPointSize(12);
    f.setFontWeight(QFont::Normal);
    QTextCursor c(&doc);
    c.setBlockCharFormat(f);
    QString t = text;
    t.remove(QLatin1Char('\r'));
    const QStringList lines = t.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            c.insertBlock(QTextBlockFormat(), f);
        c.insertText(lines[i], f);
    }
    return SaveRecord(doc);
}

QStringList RichRecord::PlainLines(const QByteArray &record)
{
    QTextDocument doc;
    LoadRecord(doc, record);
    return DocumentLines(doc);
}

QByteArray RichRecord::FromRtf(const QByteArray &rtf)
{
    QTextDocument doc;
    ReadRtf(rtf, doc);
    return SaveRecord(doc);
}
