#include "BZStreams.h"

#include "QeErrors.h"
#include "TestFileFormat.h"

#include <algorithm>
#include <climits>

using TestFileFormat::BZChunk;

namespace {
[[noreturn]] void invalidOperation() { throw EStreamError(QStringLiteral("Invalid stream operation")); }
QString bzCode(int code) { return QStringLiteral("error %1").arg(code); }
}

// ---- compression ----

TBZCompressionStream::TBZCompressionStream(QIODevice &dest, int blockSize100k)
    : m_dest(dest), m_out(BZChunk)
{
    const int rc = BZ2_bzCompressInit(&m_bz, blockSize100k, 0, 0);
    if (rc != BZ_OK)
        throw EBZCompressionError(bzCode(rc));
    m_bz.next_out = m_out.data();
    m_bz.avail_out = unsigned(m_out.size());
    // ReadWrite so that a read reaches readData and is refused there.
    QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

TBZCompressionStream::~TBZCompressionStream()
{
    if (!m_finished) {
        try {
            finish();
        } catch (...) {
            // A destructor cannot report; callers that care call close() first.
        }
    }
    if (!m_finished)
        BZ2_bzCompressEnd(&m_bz);
}

void TBZCompressionStream::flushOut(bool all)
{
    const qint64 have = qint64(m_out.size()) - m_bz.avail_out;
    if (have == 0 || (!all && m_bz.avail_out > 0))
        return;
    if (m_dest.write(m_out.data(), have) != have)
        throw EWriteError(QStringLiteral("Stream write error"));
    m_bz.next_out = m_out.data();
    m_bz.avail_out = unsigned(m_out.size());
}

qint64 TBZCompressionStream::writeData(const char *data, qint64 len)
{
    if (m_finished)
        invalidOperation();
    qint64 left = len;
    while (left > 0) {
        const unsigned step = unsigned(std::min<qint64>(left, UINT_MAX / 2));
        m_bz.next_in = const_cast<char *>(data);
        m_bz.avail_in = step;
        while (m_bz.avail_in > 0) {
            const int rc = BZ2_bzCompress(&m_bz, BZ_RUN);
            if (rc != BZ_RUN_OK)
                throw EBZCompressionError(bzCode(rc));
            flushOut(false);
        }
        data += step;
        left -= step;
    }
    m_written += len;
    return len;
}

void TBZCompressionStream::finish()
{
    if (m_finished)
        return;
    m_bz.next_in = nullptr;
    m_bz.avail_in = 0;
    for (;;) {
        const int rc = BZ2_bzCompress(&m_bz, BZ_FINISH);
        if (rc == BZ_STREAM_END)
            break;
        if (rc != BZ_FINISH_OK)
            throw EBZCompressionError(bzCode(rc));
        flushOut(false);
    }
    flushOut(true);
    BZ2_bzCompressEnd(&m_bz);
    m_finished = true;
    QIODevice::close();
}

void TBZCompressionStream::close()
{
    finish();
}

bool TBZCompressionStream::seek(qint64 pos)
{
    if (pos != m_written)
        invalidOperation();
    return true;
}

qint64 TBZCompressionStream::pos() const { return m_written; }

qint64 TBZCompressionStream::readData(char *, qint64) { invalidOperation(); }

// ---- decompression ----

TBZDecompressionStream::TBZDecompressionStream(QIODevice &source)
    : m_source(source), m_in(BZChunk)
{
    const int rc = BZ2_bzDecompressInit(&m_bz, 0, 0);
    if (rc != BZ_OK)
        throw EBZDecompressionError(bzCode(rc));
    m_bz.next_in = m_in.data();
    m_bz.avail_in = 0;
    QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

TBZDecompressionStream::~TBZDecompressionStream()
{
    BZ2_bzDecompressEnd(&m_bz);
}

qint64 TBZDecompressionStream::readData(char *data, qint64 maxlen)
{
    if (m_streamEnd)
        return maxlen == 0 ? 0 : -1;
    qint64 total = 0;
    while (total < maxlen && !m_streamEnd) {
        if (m_bz.avail_in == 0) {
            const qint64 got = m_source.read(m_in.data(), qint64(m_in.size()));
            if (got <= 0) {
                if (total > 0)
                    break;  // hand out what there is; the next read fails
                throw EReadError(QStringLiteral("Stream read error"));
            }
            m_bz.next_in = m_in.data();
            m_bz.avail_in = unsigned(got);
        }
        const unsigned want = unsigned(std::min<qint64>(maxlen - total, UINT_MAX / 2));
        m_bz.next_out = data + total;
        m_bz.avail_out = want;
        const int rc = BZ2_bzDecompress(&m_bz);
        total += want - m_bz.avail_out;
        if (rc == BZ_STREAM_END) {
            m_streamEnd = true;
            // Leave a seekable source just behind the stream.
            if (m_bz.avail_in > 0 && !m_source.isSequential())
                m_source.seek(m_source.pos() - m_bz.avail_in);
            m_bz.avail_in = 0;
        } else if (rc != BZ_OK) {
            throw EBZDecompressionError(bzCode(rc));
        }
    }
    m_delivered += total;
    return total;
}

qint64 TBZDecompressionStream::writeData(const char *, qint64) { invalidOperation(); }

bool TBZDecompressionStream::seek(qint64 pos)
{
    if (pos < m_delivered)
        invalidOperation();
    char scratch[4096];
    while (m_delivered < pos) {
        const qint64 got = readData(scratch, std::min<qint64>(sizeof scratch, pos - m_delivered));
        if (got <= 0)
            throw EReadError(QStringLiteral("Stream read error"));
    }
    return true;
}

qint64 TBZDecompressionStream::pos() const { return m_delivered; }

bool TBZDecompressionStream::atEnd() const { return m_streamEnd; }

qint64 TBZDecompressionStream::bytesAvailable() const { return QIODevice::bytesAvailable(); }
