#pragma once
// Embedded objects: document objects (U+FFFC with kObjectType) that keep every
// field of their object record and their storage image byte for byte.
#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSizeF>
#include <QTextCharFormat>
#include <QTextObjectInterface>

class QIODevice;
class QTextDocument;

namespace RichText {

// CLSID of the static picture object, as stored (little-endian GUID fields).
QByteArray StaticPictureClsid();
inline constexpr quint32 kReoResizable = 1;
inline constexpr quint32 kDvAspectContent = 1;

struct TRichObject {
    quint32 aspect = kDvAspectContent;
    QByteArray clsid = QByteArray(16, '\0');
    qint32 width = 0;   // 0.01 mm
    qint32 height = 0;
    quint32 flags = 0;
    quint32 user = 0;
    QByteArray storage; // compound file image
    bool operator==(const TRichObject &) const = default;
};

bool IsObjectFormat(const QTextFormat &f);
QTextCharFormat ObjectFormat(const TRichObject &o, const QTextCharFormat &base = {});
TRichObject ObjectOf(const QTextFormat &f);

// A static picture object as the Windows control stores an inserted picture:
// \x01Ole, \x01CompObj ("StaticDib") and CONTENTS holding a complete BMP file.
// Size from the image at 96 dpi unless given (0.01 mm). Null storage on failure.
TRichObject PictureObject(const QImage &img, int widthHmm = -1, int heightHmm = -1);
QByteArray BuildPictureStorage(const QImage &img);
// The same object around a storage BuildPictureStorage made for a picture of
// pixels points (one storage may serve many objects).
TRichObject PictureObjectOf(const QByteArray &storage, const QSize &pixels, int widthHmm = -1, int heightHmm = -1);

// Pictures from outside (files, drops, the clipboard, exchange files) are
// bounded before they are decoded: a larger one would make a question record
// hundreds of megabytes.
inline constexpr int kMaxPictureSide = 20000;
inline constexpr qint64 kMaxPicturePixels = 5000LL * 5000LL;
bool PictureSizeAllowed(const QSize &size);
// What the picture's bitmap takes in a question record (a 24-bit BMP), in bytes.
qint64 PictureRecordBytes(const QSize &size);
// Reads a picture from outside; a null image when it is beyond the bounds or
// cannot be read, with why in Russian ("слишком велик (…×… точек)").
QImage ReadOutsidePicture(QIODevice *device, QString *why = nullptr, bool *tooLarge = nullptr);
QImage ReadOutsidePicture(const QByteArray &data, QString *why = nullptr);
// A package object carrying a file, as the Windows packager stores one:
// \x01Ole, \x01CompObj ("Package"), \x01Ole10Native with the file's name,
// path and bytes, and \x02OlePres000, the icon with the name as a metafile
// for the icon aspect. Null storage on failure.
inline constexpr int kPackageIconWidth = 96;    // pixels: the icon and its caption
inline constexpr int kPackageIconHeight = 64;
QByteArray PackageClsid();
// The icon and name a package shows (the name only in a GUI application).
QImage PackageIconImage(const QString &fileName);
TRichObject PackageObject(const QString &fileName, const QByteArray &data);
QByteArray BuildPackageStorage(const QString &fileName, const QByteArray &data);
// The file a package storage carries. False when it is no readable package.
bool PackageContents(const QByteArray &storage, QString *fileName, QByteArray *data);
// A compound file image (512-byte sectors) holding the given top-level streams.
QByteArray BuildStorage(const QByteArray &clsid, const QList<QPair<QByteArray, QByteArray>> &streams);

// What a storage image shows, when it can be understood: a DIB or BMP in
// CONTENTS, a DIB/bitmap presentation stream or a metafile one that is a
// single bitmap without text, a bitmap in \x01Ole10Native.
QImage DecodeStoragePicture(const QByteArray &storage);
// The class name shown for objects that cannot be drawn (CompObj user type or ProgID).
QString StorageClassName(const QByteArray &storage);
// The streams of a storage image by name (top level only); empty on damaged
// input, with the reason in error. What libgsf says about a damaged image
// (any GLib critical or warning while it is read) becomes that reason: it is
// never printed and never aborts, whatever G_DEBUG asks.
QList<QPair<QString, QByteArray>> StorageStreams(const QByteArray &storage, QString *error = nullptr);

// A bare DIB (BITMAPINFOHEADER and bits) or a complete BMP file as an image.
QImage ImageFromDib(const QByteArray &dib);

int HmmToPx(int hmm);   // 0.01 mm -> pixels at 96 dpi
int PxToHmm(int px);

// Draws objects; registered on every document's layout that holds them.
class TRichObjectHandler : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    explicit TRichObjectHandler(QObject *parent = nullptr) : QObject(parent) {}
    QSizeF intrinsicSize(QTextDocument *doc, int posInDocument, const QTextFormat &format) override;
    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *doc, int posInDocument,
                    const QTextFormat &format) override;
};

// Pictures decoded for drawing are kept in a cache costed by their bytes.
inline constexpr qsizetype kPictureCacheBudget = 64 * 1024 * 1024;
struct TPictureCacheStats {
    qsizetype entries = 0;
    qsizetype bytes = 0;   // decoded pictures and class names, with their records
    qsizetype budget = 0;
};
TPictureCacheStats PictureCacheStats();  // touches every entry, as a use would
// For tests: a smaller budget evicts at once what no longer fits.
void SetPictureCacheBudget(qsizetype bytes);

// Idempotent: installs the handler on doc's layout.
void RegisterObjectHandler(QTextDocument *doc);
// Zoom used for drawing objects (percent), kept as a document property.
int DocumentZoom(const QTextDocument *doc);

} // namespace RichText
