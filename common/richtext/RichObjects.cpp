#include "RichObjects.h"

#include "RichFormat.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QCache>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QTextCodec>
#include <QTextDocument>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <mutex>

namespace RichText {

namespace {

// Limits of what we take from a storage image.
constexpr qint64 kMaxStreamSize = 64 * 1024 * 1024;
constexpr int kMaxStreams = 256;
constexpr int kBmpFileHeaderSize = 14;
constexpr int kDibMinHeaderSize = 12;
constexpr int kCompObjHeaderSize = 28;
constexpr int kPresHeaderAfterFormat = 28;   // aspect, lindex, advf, reserved, width, height, size
constexpr quint32 kCfBitmap = 2;
constexpr quint32 kCfMetafilePict = 3;
constexpr quint32 kCfDib = 8;
// Windows metafiles: the header and the records we write or look for.
constexpr int kWmfHeaderSize = 18;
constexpr quint16 kWmfHeaderWords = 9;
constexpr int kMaxWmfRecords = 4096;
constexpr quint16 kWmfEof = 0x0000;
constexpr quint16 kWmfSetWindowOrg = 0x020B;
constexpr quint16 kWmfSetWindowExt = 0x020C;
constexpr quint16 kWmfStretchDib = 0x0F43;
constexpr quint16 kWmfDibStretchBlt = 0x0B41;
constexpr quint16 kWmfTextOut = 0x0521;
constexpr quint16 kWmfExtTextOut = 0x0A32;
constexpr qsizetype kStretchDibParams = 4 + 2 + 8 * 2;    // raster op, colour use, eight coordinates
constexpr qsizetype kDibStretchBltParams = 4 + 8 * 2;     // raster op, eight coordinates
constexpr quint32 kSrcCopy = 0x00CC0020;

quint32 Le32(const QByteArray &b, qsizetype at)
{
    if (at < 0 || at + 4 > b.size())
        return 0;
    const auto *p = reinterpret_cast<const uchar *>(b.constData() + at);
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint16 Le16(const QByteArray &b, qsizetype at)
{
    if (at < 0 || at + 2 > b.size())
        return 0;
    const auto *p = reinterpret_cast<const uchar *>(b.constData() + at);
    return quint16(p[0] | p[1] << 8);
}

void PutLe32(QByteArray &b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xff));
}

// GLib messages raised on this thread while a storage is read or built.
struct GLibTrapState {
    int depth = 0;
    bool failed = false;
    QString first;
};
thread_local GLibTrapState t_trap;
GLogFunc g_previousHandler = nullptr;
gpointer g_previousData = nullptr;

void OnGLibMessage(const gchar *domain, GLogLevelFlags level, const gchar *message, gpointer)
{
    if (t_trap.depth == 0) {
        (g_previousHandler ? g_previousHandler : g_log_default_handler)(domain, level, message, g_previousData);
        return;
    }
    if (level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) {
        if (!t_trap.failed)
            t_trap.first = QString::fromUtf8(message ? message : "").simplified();
        t_trap.failed = true;
    }
}

// G_DEBUG=fatal-criticals (or fatal-warnings) must not end the program over a
// damaged object in a question; outside a trap such messages stay fatal.
// (GLib keeps one such handler per process; nothing else here sets one.)
gboolean AbortOutsideTrap(const gchar *, GLogLevelFlags, const gchar *, gpointer)
{
    return t_trap.depth == 0;
}

void EnsureGsf()
{
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // Damaged storages are expected input: libgsf's criticals, warnings of
        // any domain or none, come to OnGLibMessage, never to the console.
        g_previousHandler = g_log_set_default_handler(OnGLibMessage, nullptr);
        g_log_set_handler("libgsf:msole", GLogLevelFlags(G_LOG_LEVEL_MASK), OnGLibMessage, nullptr);
        g_log_set_handler("libgsf", GLogLevelFlags(G_LOG_LEVEL_MASK), OnGLibMessage, nullptr);
        g_test_log_set_fatal_handler(AbortOutsideTrap, nullptr);
    });
}

// Inside its scope a critical or warning from GLib makes the libgsf work at
// hand a failure; messages below that are dropped.
class GLibMessageTrap {
public:
    GLibMessageTrap()
    {
        EnsureGsf();
        if (t_trap.depth++ == 0) {
            t_trap.failed = false;
            t_trap.first.clear();
        }
    }
    ~GLibMessageTrap() { --t_trap.depth; }
    GLibMessageTrap(const GLibMessageTrap &) = delete;
    GLibMessageTrap &operator=(const GLibMessageTrap &) = delete;
    bool failed() const { return t_trap.failed; }
    const QString &message() const { return t_trap.first; }
};

QByteArray CompObjStream()
{
    QByteArray b;
    b.append("\x01\x00\xfe\xff\x03\x0a\x00\x00\xff\xff\xff\xff", 12);
    b.append(StaticPictureClsid());
    const QByteArray userType("Picture (Device Independent Bitmap)");
    PutLe32(b, quint32(userType.size() + 1));
    b.append(userType).append('\0');
    PutLe32(b, 1);          // clipboard format: an empty ANSI string
    b.append('\0');
    const QByteArray progId("StaticDib");
    PutLe32(b, quint32(progId.size() + 1));
    b.append(progId).append('\0');
    PutLe32(b, 0x71B239F4); // Unicode marker, followed by three empty fields
    b.append(12, '\0');
    return b;
}

QByteArray OleStream()
{
    QByteArray b("\x01\x00\x00\x02", 4);
    b.append(16, '\0');
    return b;
}

QByteArray ReadInput(GsfInput *in, qint64 limit)
{
    const gsf_off_t size = gsf_input_size(in);
    if (size < 0 || size > limit)
        return {};
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (size > 0 && !gsf_input_read(in, size_t(size), reinterpret_cast<guint8 *>(out.data())))
        return {};
    return out;
}

} // namespace

QByteArray StaticPictureClsid()
{
    return QByteArray("\x16\x03\x00\x00\x00\x00\x00\x00\xc0\x00\x00\x00\x00\x00\x00\x46", 16);
}

bool IsObjectFormat(const QTextFormat &f)
{
    return f.objectType() == kObjectType;
}

QTextCharFormat ObjectFormat(const TRichObject &o, const QTextCharFormat &base)
{
    QTextCharFormat f = base;
    f.setObjectType(kObjectType);
    f.setProperty(PropObjAspect, o.aspect);
    f.setProperty(PropObjClsid, o.clsid.leftJustified(16, '\0', true));
    f.setProperty(PropObjWidth, o.width);
    f.setProperty(PropObjHeight, o.height);
    f.setProperty(PropObjFlags, o.flags);
    f.setProperty(PropObjUser, o.user);
    f.setProperty(PropObjStorage, o.storage);
    return f;
}

TRichObject ObjectOf(const QTextFormat &f)
{
    TRichObject o;
    o.aspect = f.property(PropObjAspect).toUInt();
    o.clsid = f.property(PropObjClsid).toByteArray().leftJustified(16, '\0', true);
    o.width = f.property(PropObjWidth).toInt();
    o.height = f.property(PropObjHeight).toInt();
    o.flags = f.property(PropObjFlags).toUInt();
    o.user = f.property(PropObjUser).toUInt();
    o.storage = f.property(PropObjStorage).toByteArray();
    return o;
}

int HmmToPx(int hmm)
{
    return int(std::lround(hmm * 96.0 / 2540.0));
}

int PxToHmm(int px)
{
    // The Windows control truncates: 12 px -> 317.
    return int(qint64(px) * 2540 / 96);
}

QImage ImageFromDib(const QByteArray &dib)
{
    if (dib.startsWith("BM"))
        return QImage::fromData(dib, "BMP");
    if (dib.size() < kDibMinHeaderSize)
        return {};
    const quint32 hdr = Le32(dib, 0);
    if (hdr < 12 || hdr > 1024 || hdr > quint32(dib.size()))
        return {};
    quint32 bpp, colors = 0, compression = 0;
    if (hdr == 12) {
        bpp = Le16(dib, 10);
    } else {
        bpp = Le16(dib, 14);
        compression = Le32(dib, 16);
        colors = Le32(dib, 32);
    }
    if (colors == 0 && bpp <= 8)
        colors = 1u << bpp;
    colors = std::min<quint32>(colors, 256);
    const quint32 entry = hdr == 12 ? 3 : 4;
    const quint64 masks = (compression == 3 && hdr == 40) ? 12 : 0;
    const quint64 offset = kBmpFileHeaderSize + hdr + masks + quint64(colors) * entry;
    QByteArray file("BM");
    PutLe32(file, quint32(kBmpFileHeaderSize + dib.size()));
    PutLe32(file, 0);
    PutLe32(file, quint32(offset));
    file.append(dib);
    return QImage::fromData(file, "BMP");
}

QList<QPair<QString, QByteArray>> StorageStreams(const QByteArray &storage, QString *error)
{
    QList<QPair<QString, QByteArray>> out;
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return QList<QPair<QString, QByteArray>>();
    };
    if (error)
        error->clear();
    if (storage.size() < 512)
        return fail(QStringLiteral("not a compound file: %1 bytes").arg(storage.size()));
    GLibMessageTrap trap;
    GsfInput *mem = gsf_input_memory_new(reinterpret_cast<const guint8 *>(storage.constData()), storage.size(), FALSE);
    if (!mem)
        return fail(QStringLiteral("not a compound file"));
    GError *err = nullptr;
    GsfInfile *ole = gsf_infile_msole_new(mem, &err);
    g_object_unref(mem);
    if (!ole) {
        const QString why = QStringLiteral("not a compound file: %1")
                                .arg(err ? QString::fromUtf8(err->message) : trap.message());
        if (err)
            g_error_free(err);
        return fail(why);
    }
    const int n = std::min(gsf_infile_num_children(ole), kMaxStreams);
    for (int i = 0; i < n && !trap.failed(); ++i) {
        GsfInput *child = gsf_infile_child_by_index(ole, i);
        if (!child)
            continue;
        const char *name = gsf_infile_name_by_index(ole, i);
        const bool isDir = GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0;
        if (!isDir) {
            const qint64 limit = std::min<qint64>(kMaxStreamSize, storage.size());
            out.append({QString::fromUtf8(name ? name : ""), ReadInput(child, limit)});
        }
        g_object_unref(child);
    }
    g_object_unref(ole);
    if (trap.failed())
        return fail(QStringLiteral("damaged compound file: %1").arg(trap.message()));
    return out;
}

static QByteArray StreamNamed(const QList<QPair<QString, QByteArray>> &streams, const QString &name)
{
    for (const auto &s : streams)
        if (s.first.compare(name, Qt::CaseInsensitive) == 0)
            return s.second;
    return {};
}

// The picture of a metafile that is one bitmap and no text: what our own
// package icons are. Icons drawn with a separate caption are left to the
// caller, which draws the label itself.
static QImage MetafileBitmap(const QByteArray &wmf)
{
    if (wmf.size() < kWmfHeaderSize || Le16(wmf, 2) != kWmfHeaderWords)
        return {};
    qsizetype at = kWmfHeaderSize;
    QByteArray dib;
    for (int n = 0; n < kMaxWmfRecords && at + 6 <= wmf.size(); ++n) {
        const quint64 bytes = quint64(Le32(wmf, at)) * 2;
        const quint16 func = Le16(wmf, at + 4);
        if (func == kWmfEof)
            break;
        if (bytes < 6 || bytes > quint64(wmf.size() - at))
            return {};
        if (func == kWmfTextOut || func == kWmfExtTextOut)
            return {};
        const qsizetype params = func == kWmfStretchDib ? kStretchDibParams
                               : func == kWmfDibStretchBlt ? kDibStretchBltParams : -1;
        if (params >= 0 && dib.isEmpty() && qsizetype(bytes) > 6 + params)
            dib = wmf.mid(at + 6 + params, qsizetype(bytes) - 6 - params);
        at += qsizetype(bytes);
    }
    return dib.isEmpty() ? QImage() : ImageFromDib(dib);
}

static QImage PresentationPicture(const QByteArray &pres)
{
    const quint32 marker = Le32(pres, 0);
    if (marker != 0xFFFFFFFF && marker != 0xFFFFFFFE)
        return {};
    const quint32 format = Le32(pres, 4);
    if (format != kCfDib && format != kCfBitmap && format != kCfMetafilePict)
        return {};
    const quint32 tdSize = Le32(pres, 8);
    if (tdSize < 4 || tdSize > quint32(pres.size()))
        return {};
    const qint64 after = 8 + qint64(tdSize);
    const quint32 size = Le32(pres, after + kPresHeaderAfterFormat - 4);
    const qint64 data = after + kPresHeaderAfterFormat;
    if (data > pres.size() || size > quint64(pres.size() - data))
        return {};
    if (format == kCfMetafilePict)
        return MetafileBitmap(pres.mid(data, size));
    return ImageFromDib(pres.mid(data, size));
}

QImage DecodeStoragePicture(const QByteArray &storage)
{
    const auto streams = StorageStreams(storage);
    QImage img;
    const QByteArray contents = StreamNamed(streams, QStringLiteral("CONTENTS"));
    if (!contents.isEmpty())
        img = ImageFromDib(contents);
    if (img.isNull()) {
        for (const auto &s : streams) {
            if (s.first.startsWith(QStringLiteral("\x02OlePres"))) {
                img = PresentationPicture(s.second);
                if (!img.isNull())
                    break;
            }
        }
    }
    if (img.isNull()) {
        const QByteArray native = StreamNamed(streams, QStringLiteral("\x01Ole10Native"));
        if (native.size() > 4) {
            const quint32 len = std::min<quint32>(Le32(native, 0), quint32(native.size() - 4));
            img = ImageFromDib(native.mid(4, len));
        }
    }
    return img;
}

QString StorageClassName(const QByteArray &storage)
{
    const QByteArray comp = StreamNamed(StorageStreams(storage), QStringLiteral("\x01" "CompObj"));
    QTextCodec *codec = QTextCodec::codecForName("windows-1251");
    qsizetype at = kCompObjHeaderSize;
    auto readString = [&](QString *out) {
        const quint32 len = Le32(comp, at);
        at += 4;
        if (len == 0xFFFFFFFF || len == 0xFFFFFFFE) {
            at += 4;
            return true;
        }
        if (len > quint32(comp.size() - std::min(at, comp.size())))
            return false;
        if (out)
            *out = codec->toUnicode(comp.mid(at, len)).section(QChar(0), 0, 0);
        at += len;
        return true;
    };
    QString userType, progId;
    if (comp.size() < kCompObjHeaderSize + 4 || !readString(&userType))
        return {};
    if (userType.isEmpty() && readString(nullptr))
        readString(&progId);
    return userType.isEmpty() ? progId : userType;
}

QByteArray BuildPictureStorage(const QImage &source)
{
    if (source.isNull())
        return {};
    QImage img = source;
    if (img.hasAlphaChannel()) {
        QImage flat(img.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter p(&flat);
        p.drawImage(0, 0, img);
        p.end();
        img = flat;
    }
    QByteArray bmp;
    {
        QBuffer buf(&bmp);
        buf.open(QIODevice::WriteOnly);
        if (!img.save(&buf, "BMP"))
            return {};
    }
    return BuildStorage(StaticPictureClsid(), {{QByteArray("\x01Ole"), OleStream()},
                                               {QByteArray("\x01" "CompObj"), CompObjStream()},
                                               {QByteArray("CONTENTS"), bmp}});
}

namespace {

constexpr quint16 kPackageLinkKind = 2;      // an embedded file
constexpr quint16 kPackageEmbedKind = 3;
constexpr quint32 kDvAspectIcon = 4;

QByteArray PackageCompObj()
{
    QByteArray b;
    b.append("\x01\x00\xfe\xff\x03\x0a\x00\x00\xff\xff\xff\xff", 12);
    b.append(PackageClsid());
    for (const QByteArray &s : {QByteArray("OLE Package"), QByteArray(), QByteArray("Package")}) {
        PutLe32(b, quint32(s.size() + 1));
        b.append(s).append('\0');
    }
    PutLe32(b, 0x71B239F4);
    b.append(12, '\0');
    return b;
}

void PutLe16(QByteArray &b, quint16 v)
{
    b.append(char(v & 0xff)).append(char(v >> 8));
}

void PutWide(QByteArray &b, const QString &s)
{
    PutLe32(b, quint32(s.size()));
    for (QChar c : s)
        PutLe16(b, c.unicode());
}

// A NUL-terminated string from at; false when it runs past the end.
bool ReadZString(const QByteArray &b, qsizetype &at, QByteArray *out)
{
    const qsizetype end = b.indexOf('\0', at);
    if (end < 0)
        return false;
    if (out)
        *out = b.mid(at, end - at);
    at = end + 1;
    return true;
}

// A bottom-up 24-bit DIB (header and bits) of img.
QByteArray Dib24(const QImage &source)
{
    const QImage img = source.convertToFormat(QImage::Format_RGB32);
    const int stride = (img.width() * 3 + 3) & ~3;
    QByteArray b;
    PutLe32(b, 40);
    PutLe32(b, quint32(img.width()));
    PutLe32(b, quint32(img.height()));
    PutLe16(b, 1);
    PutLe16(b, 24);
    PutLe32(b, 0);                                   // no compression
    PutLe32(b, quint32(stride * img.height()));
    PutLe32(b, 3780);                                // 96 dpi
    PutLe32(b, 3780);
    PutLe32(b, 0);
    PutLe32(b, 0);
    for (int y = img.height() - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        QByteArray row(stride, '\0');
        for (int x = 0; x < img.width(); ++x) {
            row[3 * x] = char(qBlue(line[x]));
            row[3 * x + 1] = char(qGreen(line[x]));
            row[3 * x + 2] = char(qRed(line[x]));
        }
        b.append(row);
    }
    return b;
}

void PutRecord(QByteArray &wmf, quint16 func, const QByteArray &params, quint32 *maxWords)
{
    const quint32 words = quint32(3 + params.size() / 2);
    PutLe32(wmf, words);
    PutLe16(wmf, func);
    wmf.append(params);
    *maxWords = std::max(*maxWords, words);
}

// A metafile that paints img over its whole frame: window origin and extent,
// then the picture stretched into it.
QByteArray MetafileOf(const QImage &img)
{
    const quint16 w = quint16(img.width()), h = quint16(img.height());
    QByteArray records;
    quint32 maxWords = 0;
    QByteArray p;
    PutLe16(p, 0);
    PutLe16(p, 0);
    PutRecord(records, kWmfSetWindowOrg, p, &maxWords);
    p.clear();
    PutLe16(p, h);   // y before x, as the record stores them
    PutLe16(p, w);
    PutRecord(records, kWmfSetWindowExt, p, &maxWords);
    p.clear();
    PutLe32(p, kSrcCopy);
    PutLe16(p, 0);   // RGB colours
    for (quint16 v : {h, w, quint16(0), quint16(0), h, w, quint16(0), quint16(0)})
        PutLe16(p, v);
    p.append(Dib24(img));
    PutRecord(records, kWmfStretchDib, p, &maxWords);
    PutRecord(records, kWmfEof, QByteArray(), &maxWords);
    QByteArray wmf;
    PutLe16(wmf, 1);                 // in memory
    PutLe16(wmf, kWmfHeaderWords);
    PutLe16(wmf, 0x0300);
    PutLe32(wmf, quint32((kWmfHeaderSize + records.size()) / 2));
    PutLe16(wmf, 0);                 // no objects
    PutLe32(wmf, maxWords);
    PutLe16(wmf, 0);
    return wmf + records;
}

// The cached picture of an object shown as an icon: a metafile of img at
// the given size (0.01 mm), so that a Windows reader draws the object without
// its server.
QByteArray IconPresentation(const QImage &img, qint32 widthHmm, qint32 heightHmm)
{
    const QByteArray wmf = MetafileOf(img);
    QByteArray b;
    PutLe32(b, 0xFFFFFFFF);          // a standard clipboard format follows
    PutLe32(b, kCfMetafilePict);
    PutLe32(b, 4);                   // no target device
    PutLe32(b, kDvAspectIcon);
    PutLe32(b, 0xFFFFFFFF);          // all of it
    PutLe32(b, 2);                   // advise flags: prime first
    PutLe32(b, 0);
    PutLe32(b, quint32(widthHmm));
    PutLe32(b, quint32(heightHmm));
    PutLe32(b, quint32(wmf.size()));
    return b + wmf;
}

} // namespace

QImage PackageIconImage(const QString &fileName)
{
    QImage img(kPackageIconWidth, kPackageIconHeight, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    // A sheet with a folded corner, then the name under it.
    const QRectF sheet(kPackageIconWidth / 2.0 - 12, 3.5, 24, 30);
    const qreal fold = 7;
    QPolygonF outline;
    outline << sheet.topLeft() << QPointF(sheet.right() - fold, sheet.top())
            << QPointF(sheet.right(), sheet.top() + fold) << sheet.bottomRight() << sheet.bottomLeft();
    p.setPen(QPen(QColor(64, 64, 64), 1));
    p.setBrush(QColor(250, 250, 250));
    p.drawPolygon(outline);
    p.setBrush(QColor(210, 210, 210));
    p.drawPolygon(QPolygonF() << QPointF(sheet.right() - fold, sheet.top()) << QPointF(sheet.right() - fold, sheet.top() + fold)
                              << QPointF(sheet.right(), sheet.top() + fold));
    p.setPen(QPen(QColor(70, 110, 200), 1));
    for (int i = 0; i < 4; ++i) {
        const qreal y = sheet.top() + 12 + i * 4;
        p.drawLine(QPointF(sheet.left() + 4, y), QPointF(sheet.right() - 4, y));
    }
    // Text needs the fonts of a GUI application; without one the sheet alone.
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        QFont f = QGuiApplication::font();
        f.setPixelSize(11);
        p.setFont(f);
        p.setPen(Qt::black);
        const QRect box(1, 36, kPackageIconWidth - 2, kPackageIconHeight - 37);
        const QFontMetrics fm(f);
        QString shown = fileName;
        // At most two lines; a longer name loses its middle.
        if (fm.boundingRect(box, Qt::AlignHCenter | Qt::TextWrapAnywhere, shown).height() > box.height())
            shown = fm.elidedText(fileName, Qt::ElideMiddle, box.width() * 2 - fm.averageCharWidth() * 2);
        p.drawText(box, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWrapAnywhere, shown);
    }
    p.end();
    return img;
}

QByteArray PackageClsid()
{
    return QByteArray("\x0c\x00\x03\x00\x00\x00\x00\x00\xc0\x00\x00\x00\x00\x00\x00\x46", 16);
}

QByteArray BuildPackageStorage(const QString &fileName, const QByteArray &data)
{
    if (fileName.isEmpty())
        return {};
    QTextCodec *codec = QTextCodec::codecForName("windows-1251");
    const QByteArray ansi = codec->fromUnicode(fileName);
    QByteArray body;
    PutLe16(body, kPackageLinkKind);
    body.append(ansi).append('\0');           // label
    body.append(ansi).append('\0');           // source path
    PutLe16(body, 0);
    PutLe16(body, kPackageEmbedKind);
    PutLe32(body, quint32(ansi.size() + 1));  // temporary path
    body.append(ansi).append('\0');
    PutLe32(body, quint32(data.size()));
    body.append(data);
    // The same three names in UTF-16, for names Windows-1251 cannot hold.
    PutWide(body, fileName);
    PutWide(body, fileName);
    PutWide(body, fileName);
    QByteArray native;
    PutLe32(native, quint32(body.size()));
    native.append(body);
    return BuildStorage(PackageClsid(),
                        {{QByteArray("\x01Ole"), OleStream()},
                         {QByteArray("\x01" "CompObj"), PackageCompObj()},
                         {QByteArray("\x01Ole10Native"), native},
                         {QByteArray("\x02OlePres000"),
                          IconPresentation(PackageIconImage(fileName), PxToHmm(kPackageIconWidth),
                                           PxToHmm(kPackageIconHeight))}});
}

TRichObject PackageObject(const QString &fileName, const QByteArray &data)
{
    TRichObject o;
    o.aspect = kDvAspectIcon;
    o.clsid = PackageClsid();
    o.flags = kReoResizable;
    o.width = PxToHmm(kPackageIconWidth);
    o.height = PxToHmm(kPackageIconHeight);
    o.storage = BuildPackageStorage(fileName, data);
    return o;
}

bool PackageContents(const QByteArray &storage, QString *fileName, QByteArray *data)
{
    const QByteArray native = StreamNamed(StorageStreams(storage), QStringLiteral("\x01Ole10Native"));
    if (native.size() < 6 || Le16(native, 4) != kPackageLinkKind)
        return false;
    const qsizetype end = std::min<qsizetype>(native.size(), 4 + qsizetype(Le32(native, 0)));
    const QByteArray b = native.left(end);
    qsizetype at = 6;
    QByteArray label;
    if (!ReadZString(b, at, &label) || !ReadZString(b, at, nullptr))
        return false;
    at += 4;   // two kinds
    const quint32 tempLen = Le32(b, at);
    at += 4;
    if (at + qsizetype(tempLen) + 4 > b.size())
        return false;
    at += tempLen;
    const quint32 size = Le32(b, at);
    at += 4;
    if (size > quint64(b.size() - at))
        return false;
    if (data)
        *data = b.mid(at, size);
    at += size;
    QString name = QTextCodec::codecForName("windows-1251")->toUnicode(label);
    // The UTF-16 label follows the UTF-16 temporary path, when present.
    const quint32 wideTemp = Le32(b, at);
    if (at + 4 + qint64(wideTemp) * 2 + 4 <= b.size()) {
        const qsizetype lab = at + 4 + qsizetype(wideTemp) * 2;
        const quint32 n = Le32(b, lab);
        if (n > 0 && lab + 4 + qint64(n) * 2 <= b.size()) {
            QString wide;
            for (quint32 i = 0; i < n; ++i)
                wide.append(QChar(Le16(b, lab + 4 + 2 * i)));
            name = wide;
        }
    }
    if (fileName)
        *fileName = name;
    return true;
}

QByteArray BuildStorage(const QByteArray &clsid, const QList<QPair<QByteArray, QByteArray>> &streams)
{
    GLibMessageTrap trap;
    GsfOutput *mem = gsf_output_memory_new();
    GsfOutfile *ole = gsf_outfile_msole_new_full(mem, 512, 64);
    if (!ole) {
        g_object_unref(mem);
        return {};
    }
    const QByteArray id = clsid.leftJustified(16, '\0', true);
    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(ole), reinterpret_cast<const guint8 *>(id.constData()));
    bool ok = true;
    for (const auto &[name, data] : streams) {
        GsfOutput *s = gsf_outfile_new_child(ole, name.constData(), FALSE);
        ok = ok && s && gsf_output_write(s, size_t(data.size()), reinterpret_cast<const guint8 *>(data.constData()));
        if (s) {
            gsf_output_close(s);
            g_object_unref(s);
        }
    }
    ok = gsf_output_close(GSF_OUTPUT(ole)) && ok && !trap.failed();
    QByteArray out;
    if (ok) {
        const guint8 *bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(mem));
        const gsf_off_t size = gsf_output_size(mem);
        if (bytes && size > 0)
            out = QByteArray(reinterpret_cast<const char *>(bytes), qsizetype(size));
    }
    g_object_unref(ole);
    g_object_unref(mem);
    return out;
}

TRichObject PictureObjectOf(const QByteArray &storage, const QSize &pixels, int widthHmm, int heightHmm)
{
    TRichObject o;
    o.aspect = kDvAspectContent;
    o.clsid = StaticPictureClsid();
    o.flags = kReoResizable;
    o.width = widthHmm >= 0 ? widthHmm : PxToHmm(pixels.width());
    o.height = heightHmm >= 0 ? heightHmm : PxToHmm(pixels.height());
    o.storage = storage;
    return o;
}

TRichObject PictureObject(const QImage &img, int widthHmm, int heightHmm)
{
    return PictureObjectOf(BuildPictureStorage(img), img.size(), widthHmm, heightHmm);
}

bool PictureSizeAllowed(const QSize &size)
{
    return size.width() <= kMaxPictureSide && size.height() <= kMaxPictureSide &&
           qint64(size.width()) * size.height() <= kMaxPicturePixels;
}

qint64 PictureRecordBytes(const QSize &size)
{
    const qint64 row = (qint64(std::max(0, size.width())) * 3 + 3) / 4 * 4;
    return row * std::max(0, size.height()) + 54;
}

QImage ReadOutsidePicture(QIODevice *device, QString *why, bool *tooLarge)
{
    if (tooLarge)
        *tooLarge = false;
    QImageReader reader(device);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    auto refuse = [&](const QSize &s) {
        if (tooLarge)
            *tooLarge = true;
        if (why)
            *why = QStringLiteral("слишком велик (%1×%2 точек)").arg(s.width()).arg(s.height());
        return QImage();
    };
    if (size.isValid() && !PictureSizeAllowed(size))
        return refuse(size);
    const QImage img = reader.read();
    if (img.isNull()) {
        if (why)
            *why = QStringLiteral("не удалось прочитать");
        return {};
    }
    // A format that tells no size beforehand is checked once it is read.
    if (!PictureSizeAllowed(img.size()))
        return refuse(img.size());
    return img;
}

QImage ReadOutsidePicture(const QByteArray &data, QString *why)
{
    QByteArray copy = data;
    QBuffer buf(&copy);
    buf.open(QIODevice::ReadOnly);
    return ReadOutsidePicture(&buf, why);
}

int DocumentZoom(const QTextDocument *doc)
{
    const QVariant z = doc ? doc->property("qeZoom") : QVariant();
    return z.isValid() ? std::clamp(z.toInt(), 10, 500) : 100;
}

namespace {

struct CachedPicture {
    QImage image;
    QString className;
    qsizetype cost() const { return qsizetype(sizeof(CachedPicture)) + image.sizeInBytes() + className.size() * 2; }
};

// Costed by bytes: a test of large pictures must not hold them all decoded.
QCache<QByteArray, CachedPicture> &PictureCache()
{
    static QCache<QByteArray, CachedPicture> cache(kPictureCacheBudget);
    return cache;
}

CachedPicture PictureFor(const QByteArray &storage)
{
    QByteArray key = QByteArray::number(qHash(storage)) + ':' + QByteArray::number(storage.size());
    if (CachedPicture *c = PictureCache().object(key))
        return *c;
    auto *c = new CachedPicture;
    c->image = DecodeStoragePicture(storage);
    if (c->image.isNull() && !PackageContents(storage, &c->className, nullptr))
        c->className = StorageClassName(storage);
    const CachedPicture picture = *c;
    // One larger than the whole budget is drawn but not kept (insert deletes it).
    PictureCache().insert(key, c, c->cost());
    return picture;
}

} // namespace

TPictureCacheStats PictureCacheStats()
{
    TPictureCacheStats st;
    const QCache<QByteArray, CachedPicture> &cache = PictureCache();
    st.budget = cache.maxCost();
    for (const QByteArray &key : cache.keys()) {
        ++st.entries;
        st.bytes += cache.object(key)->cost();
    }
    return st;
}

void SetPictureCacheBudget(qsizetype bytes)
{
    PictureCache().setMaxCost(bytes);
}

QSizeF TRichObjectHandler::intrinsicSize(QTextDocument *doc, int, const QTextFormat &format)
{
    const double z = DocumentZoom(doc) / 100.0;
    const int w = std::clamp(HmmToPx(format.property(PropObjWidth).toInt()), 1, 10000);
    const int h = std::clamp(HmmToPx(format.property(PropObjHeight).toInt()), 1, 10000);
    return QSizeF(w * z, h * z);
}

void TRichObjectHandler::drawObject(QPainter *painter, const QRectF &rect, QTextDocument *, int,
                                    const QTextFormat &format)
{
    const CachedPicture pic = PictureFor(format.property(PropObjStorage).toByteArray());
    if (!pic.image.isNull()) {
        painter->drawImage(rect, pic.image);
        return;
    }
    painter->save();
    painter->setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
    painter->setBrush(QColor(245, 245, 245));
    painter->drawRect(rect.adjusted(0.5, 0.5, -0.5, -0.5));
    const QString name = pic.className.isEmpty() ? QStringLiteral("OLE") : pic.className;
    painter->setPen(Qt::black);
    QFont f = painter->font();
    f.setPointSizeF(std::clamp(rect.height() / 4, 6.0, 10.0));
    painter->setFont(f);
    const QRectF icon(rect.left() + 4, rect.top() + 4, std::min(24.0, rect.width() - 8), std::min(24.0, rect.height() - 8));
    if (icon.width() > 4 && icon.height() > 4) {
        painter->setPen(Qt::darkBlue);
        painter->drawRect(icon);
        painter->drawLine(icon.topLeft() + QPointF(4, 6), icon.topRight() + QPointF(-4, 6));
    }
    painter->setPen(Qt::black);
    painter->drawText(rect.adjusted(4, icon.height() + 6, -4, -2), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, name);
    painter->restore();
}

void RegisterObjectHandler(QTextDocument *doc)
{
    if (!doc)
        return;
    QAbstractTextDocumentLayout *layout = doc->documentLayout();
    if (layout->handlerForObject(kObjectType))
        return;
    layout->registerHandler(kObjectType, new TRichObjectHandler(layout));
}

} // namespace RichText
