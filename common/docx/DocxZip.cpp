#include "DocxZip.h"

#include "DocxError.h"

#include <zip.h>

#include <memory>

namespace Docx {
namespace {

QString ZipErrorText(zip_error_t *e)
{
    return QString::fromUtf8(zip_error_strerror(e));
}

struct ErrorGuard {
    zip_error_t e;
    ErrorGuard() { zip_error_init(&e); }
    ~ErrorGuard() { zip_error_fini(&e); }
};

} // namespace

QByteArray WriteZip(const TZipEntries &entries)
{
    ErrorGuard err;
    zip_source_t *buffer = zip_source_buffer_create(nullptr, 0, 0, &err.e);
    if (!buffer)
        throw EDocxError(QStringLiteral("zip: ") + ZipErrorText(&err.e));
    zip_t *za = zip_open_from_source(buffer, ZIP_TRUNCATE, &err.e);
    if (!za) {
        zip_source_free(buffer);
        throw EDocxError(QStringLiteral("zip: ") + ZipErrorText(&err.e));
    }
    // The buffer must outlive zip_close, which writes the archive into it.
    zip_source_keep(buffer);
    auto fail = [&](const QString &what) {
        const QString text = what + QStringLiteral(": ") + QString::fromUtf8(zip_strerror(za));
        zip_discard(za);
        zip_source_free(buffer);
        throw EDocxError(text);
    };
    for (const auto &[name, bytes] : entries) {
        // libzip reads the data at zip_close; the list is alive until then.
        zip_source_t *src = zip_source_buffer(za, bytes.constData(), zip_uint64_t(bytes.size()), 0);
        if (!src)
            fail(name);
        const QByteArray utf8 = name.toUtf8();
        const zip_int64_t index = zip_file_add(za, utf8.constData(), src, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(src);
            fail(name);
        }
        // Compressed pictures do not shrink again; deflating them only costs time.
        if (name.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) &&
            zip_set_file_compression(za, zip_uint64_t(index), ZIP_CM_STORE, 0) < 0)
            fail(name);
    }
    if (zip_close(za) < 0)
        fail(QStringLiteral("zip"));
    QByteArray out;
    zip_stat_t st;
    if (zip_source_stat(buffer, &st) < 0 || zip_source_open(buffer) < 0) {
        zip_source_free(buffer);
        throw EDocxError(QStringLiteral("zip: cannot read the archive back"));
    }
    out.resize(qsizetype(st.size));
    const zip_int64_t n = zip_source_read(buffer, out.data(), st.size);
    zip_source_close(buffer);
    zip_source_free(buffer);
    if (n != zip_int64_t(st.size))
        throw EDocxError(QStringLiteral("zip: cannot read the archive back"));
    return out;
}

TZipEntries ReadZip(const QByteArray &zip)
{
    ErrorGuard err;
    zip_source_t *src = zip_source_buffer_create(zip.constData(), zip_uint64_t(zip.size()), 0, &err.e);
    if (!src)
        throw EDocxError(QStringLiteral("zip: ") + ZipErrorText(&err.e));
    zip_t *za = zip_open_from_source(src, ZIP_RDONLY, &err.e);
    if (!za) {
        zip_source_free(src);
        throw EDocxError(QStringLiteral("not a zip archive: ") + ZipErrorText(&err.e));
    }
    std::unique_ptr<zip_t, void (*)(zip_t *)> guard(za, [](zip_t *z) { zip_discard(z); });
    TZipEntries out;
    zip_uint64_t total = 0;
    const zip_int64_t count = zip_get_num_entries(za, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(za, zip_uint64_t(i), 0, &st) < 0)
            throw EDocxError(QStringLiteral("zip entry %1: %2").arg(i).arg(QString::fromUtf8(zip_strerror(za))));
        const QString name = QString::fromUtf8(st.name);
        if (name.endsWith(QLatin1Char('/')))
            continue;
        // A stated size beyond what the entry's compressed bytes can inflate to
        // (deflate reaches about 1032:1), or past what any template or document
        // part needs, is a damaged or hostile archive, not an allocation.
        const bool inflatable = (st.valid & ZIP_STAT_COMP_SIZE) && st.size <= st.comp_size * 1100 + 4096;
        if (!(st.valid & ZIP_STAT_SIZE) || !inflatable || st.size > kMaxEntryBytes)
            throw EDocxError(QStringLiteral("zip entry %1: bad size").arg(name));
        total += st.size;
        if (total > kMaxArchiveBytes)
            throw EDocxError(QStringLiteral("zip: more than %1 bytes unpacked").arg(kMaxArchiveBytes));
        zip_file_t *f = zip_fopen_index(za, zip_uint64_t(i), 0);
        if (!f)
            throw EDocxError(QStringLiteral("zip entry %1: %2").arg(name, QString::fromUtf8(zip_strerror(za))));
        QByteArray bytes;
        bytes.resize(qsizetype(st.size));
        const zip_int64_t n = zip_fread(f, bytes.data(), st.size);
        zip_fclose(f);
        if (n != zip_int64_t(st.size))
            throw EDocxError(QStringLiteral("zip entry %1: cannot be read").arg(name));
        out.append({name, bytes});
    }
    return out;
}

} // namespace Docx
