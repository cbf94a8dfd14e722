#include "BZStreams.h"

#include "QeErrors.h"
#include "TestFileFormat.h"

#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstring>
#include <deque>
#include <exception>
#include <future>

using TestFileFormat::BZChunk;

namespace {
[[noreturn]] void invalidOperation() { throw EStreamError(QStringLiteral("Invalid stream operation")); }
QString bzCode(int code) { return QStringLiteral("error %1").arg(code); }

std::atomic<int> g_threads{0};

// A pool of our own: the callers wait for its jobs, which a pool shared with
// other work could leave queued behind the very thread that waits.
std::future<void> onPool(int threads, std::function<void()> work)
{
    static QThreadPool pool;
    if (pool.maxThreadCount() != threads)
        pool.setMaxThreadCount(threads);
    auto task = std::make_shared<std::packaged_task<void()>>(std::move(work));
    std::future<void> done = task->get_future();
    pool.start([task] { (*task)(); });
    return done;
}

bool ready(const std::future<void> &f) { return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }

// The format's bit-level marks: blocks and the end of the stream begin with a
// 48-bit magic anywhere in the bits; the stream header "BZh" and the block size
// digit take the first 32.
constexpr quint64 BlockMagic = 0x314159265359ull;
constexpr quint64 EndMagic = 0x177245385090ull;
constexpr quint64 Mask48 = (quint64(1) << 48) - 1;
constexpr quint64 HeaderBits = 32;

quint32 rotl1(quint32 v) { return (v << 1) | (v >> 31); }

quint64 bitsAt(const uchar *b, quint64 at, int n)
{
    quint64 v = 0;
    for (int i = 0; i < n; ++i, ++at)
        v = (v << 1) | ((b[at >> 3] >> (7 - (at & 7))) & 1);
    return v;
}

// Bits appended at any bit offset, most significant first, as bzip2 writes them.
class BitSink {
public:
    std::vector<char> bytes;
    void put(quint32 v, int n)  // n <= 24
    {
        m_acc = (m_acc << n) | (v & ((1u << n) - 1));
        m_n += n;
        while (m_n >= 8) {
            m_n -= 8;
            bytes.push_back(char(m_acc >> m_n));
        }
        m_acc &= (1u << m_n) - 1;
    }
    void put48(quint64 v) { put(quint32(v >> 24), 24); put(quint32(v & 0xFFFFFF), 24); }
    void put32(quint32 v) { put(v >> 16, 16); put(v & 0xFFFF, 16); }
    void header(char level) { put('B', 8); put('Z', 8); put('h', 8); put(uchar(level), 8); }
    // nbits of src from bit `from` on; reads no byte outside those bits.
    void copy(const uchar *src, quint64 from, quint64 nbits)
    {
        const uchar *p = src + (from >> 3);
        const int sh = int(from & 7);
        const quint64 whole = nbits / 8;
        bytes.reserve(bytes.size() + whole + 2);
        if (sh == 0 && m_n == 0) {
            bytes.insert(bytes.end(), p, p + whole);
        } else if (sh == 0) {
            for (quint64 i = 0; i < whole; ++i)
                put(p[i], 8);
        } else {
            for (quint64 i = 0; i < whole; ++i)
                put(quint32((p[i] << 8) | p[i + 1]) >> (8 - sh), 8);
        }
        const int rest = int(nbits % 8);
        if (rest > 0) {
            p += whole;
            const quint32 two = quint32(p[0] << 8) | (sh + rest > 8 ? p[1] : 0);
            put(two >> (16 - sh - rest), rest);
        }
    }
    void finish()
    {
        if (m_n > 0)
            put(0, 8 - m_n);
    }
private:
    quint32 m_acc = 0;
    int m_n = 0;
};
}

int BZThreads()
{
    if (const int forced = g_threads.load())
        return forced;
    bool ok = false;
    const int env = qEnvironmentVariableIntValue("QE_BZ_THREADS", &ok);
    if (ok && env > 0)
        return std::min(env, 64);
    return std::max(1, QThread::idealThreadCount());
}

void BZSetThreads(int n) { g_threads = std::clamp(n, 0, 64); }

// ---- parallel compression ----
//
// Pieces are cut where libbz2 itself would start a new block: its first
// run-length stage turns runs of 4 to 255 equal bytes into 5 symbols, and a
// block is full at 100 000 x level - 19 symbols, the run still open moving to
// the next block. Each piece, compressed alone, is then that very block; the
// blocks are spliced bit for bit behind one header.
struct TBZCompressionStream::Parallel {
    struct Piece {
        std::vector<char> plain;
        std::vector<char> packed;  // a whole one-block stream
        quint64 blockBits = 0;     // the block: bits 32 to 32 + blockBits
        quint32 crc = 0;
        int rc = BZ_OK;
        std::future<void> done;
    };

    Parallel(int threads, int level)
        : threads(threads), level(level), nblockMax(quint32(100000 * level - 19)),
          maxInFlight(size_t(2 * threads))
    {
        out.header(char('0' + level));
        piece.reserve(nblockMax + 256);
    }
    ~Parallel()
    {
        for (auto &p : inFlight)
            if (p->done.valid())
                p->done.wait();
    }

    static void compress(Piece &p, int level)
    {
        unsigned len = unsigned(p.plain.size() + p.plain.size() / 100 + 600);
        p.packed.resize(len);
        p.rc = BZ2_bzBuffToBuffCompress(p.packed.data(), &len, p.plain.data(), unsigned(p.plain.size()), level, 0, 0);
        std::vector<char>().swap(p.plain);
        if (p.rc != BZ_OK)
            return;
        p.packed.resize(len);
        const auto *b = reinterpret_cast<const uchar *>(p.packed.data());
        p.rc = BZ_SEQUENCE_ERROR;
        if (len < 24 || bitsAt(b, HeaderBits, 48) != BlockMagic)
            return;
        p.crc = quint32(bitsAt(b, HeaderBits + 48, 32));
        // Behind the block: end magic, the stream CRC (= the block's), 0-7 zero bits.
        const quint64 total = 8ull * len;
        for (int pad = 0; pad < 8; ++pad) {
            const quint64 end = total - quint64(pad);
            if (bitsAt(b, end, pad) == 0 && bitsAt(b, end - 32, 32) == p.crc && bitsAt(b, end - 80, 48) == EndMagic) {
                p.blockBits = end - 80 - HeaderBits;
                p.rc = BZ_OK;
                return;
            }
        }
    }

    void write(QIODevice &dest, const char *data, qint64 len)
    {
        const auto *u = reinterpret_cast<const uchar *>(data);
        qint64 from = 0;
        for (qint64 i = 0; i < len; ++i) {
            const int c = u[i];
            if (c != runCh || runLen == 255) {
                if (runCh < 256)
                    nblock += runLen < 4 ? quint32(runLen) : 5u;
                runCh = c;
                runLen = 1;
            } else {
                ++runLen;
            }
            if (nblock >= nblockMax) {
                piece.insert(piece.end(), data + from, data + i + 1);
                from = i + 1;
                // The open run is not in this block yet.
                std::vector<char> nextPiece(piece.end() - runLen, piece.end());
                nextPiece.reserve(nblockMax + 256);
                piece.resize(piece.size() - size_t(runLen));
                submit(dest, std::move(piece));
                piece = std::move(nextPiece);
                nblock = 0;
            }
        }
        piece.insert(piece.end(), data + from, data + len);
    }

    void submit(QIODevice &dest, std::vector<char> plain)
    {
        auto p = std::make_shared<Piece>();
        p->plain = std::move(plain);
        const int lvl = level;
        // Weak: the piece holds the task through its future.
        p->done = onPool(threads, [w = std::weak_ptr<Piece>(p), lvl] {
            if (const auto piece = w.lock())
                compress(*piece, lvl);
        });
        inFlight.push_back(std::move(p));
        while (!inFlight.empty() && (inFlight.size() >= maxInFlight || ready(inFlight.front()->done)))
            emitFront(dest);
    }

    void emitFront(QIODevice &dest)
    {
        const std::shared_ptr<Piece> p = std::move(inFlight.front());
        inFlight.pop_front();
        p->done.wait();
        if (p->rc != BZ_OK)
            throw EBZCompressionError(bzCode(p->rc));
        combined = rotl1(combined) ^ p->crc;
        out.copy(reinterpret_cast<const uchar *>(p->packed.data()), HeaderBits, p->blockBits);
        if (out.bytes.size() >= size_t(BZChunk))
            flush(dest);
    }

    void flush(QIODevice &dest)
    {
        const qint64 n = qint64(out.bytes.size());
        if (n > 0 && dest.write(out.bytes.data(), n) != n)
            throw EWriteError(QStringLiteral("Stream write error"));
        out.bytes.clear();
    }

    void finish(QIODevice &dest)
    {
        if (!piece.empty())
            submit(dest, std::move(piece));
        piece.clear();
        while (!inFlight.empty())
            emitFront(dest);
        out.put48(EndMagic);
        out.put32(combined);
        out.finish();
        flush(dest);
    }

    const int threads;
    const int level;
    const quint32 nblockMax;
    const size_t maxInFlight;
    int runCh = 256;  // none yet
    int runLen = 0;
    quint32 nblock = 0;
    std::vector<char> piece;
    std::deque<std::shared_ptr<Piece>> inFlight;
    BitSink out;
    quint32 combined = 0;
    std::exception_ptr failure;  // once a write failed, every later one fails alike
};

// ---- compression ----

TBZCompressionStream::TBZCompressionStream(QIODevice &dest, int blockSize100k)
    : m_dest(dest)
{
    const int threads = BZThreads();
    if (threads > 1 && blockSize100k >= 1 && blockSize100k <= 9) {
        m_par = std::make_unique<Parallel>(threads, blockSize100k);
    } else {
        const int rc = BZ2_bzCompressInit(&m_bz, blockSize100k, 0, 0);
        if (rc != BZ_OK)
            throw EBZCompressionError(bzCode(rc));
        m_out.resize(BZChunk);
        m_bz.next_out = m_out.data();
        m_bz.avail_out = unsigned(m_out.size());
    }
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
    if (!m_finished && !m_par)
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
    if (m_par) {
        if (m_par->failure)
            std::rethrow_exception(m_par->failure);
        try {
            m_par->write(m_dest, data, len);
        } catch (...) {
            m_par->failure = std::current_exception();
            throw;
        }
        m_written += len;
        return len;
    }
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
    if (m_par) {
        if (m_par->failure)
            std::rethrow_exception(m_par->failure);
        try {
            m_par->finish(m_dest);
        } catch (...) {
            m_par->failure = std::current_exception();
            throw;
        }
        m_par.reset();
        m_finished = true;
        QIODevice::close();
        return;
    }
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

// ---- parallel decompression ----
//
// Every place the block magic (or the end magic) shows up, at any bit, is a
// candidate; the bits between two candidates are given to libbz2 as a stream of
// their own. Only a block that decodes in full and matches its CRC, starting
// where the one before ended, is taken; a magic that was only data makes its
// block fail, which is then tried up to the later candidates.
struct TBZDecompressionStream::Parallel {
    struct Block {
        quint64 start = 0, end = 0;  // bits from the stream's first byte
        std::vector<uchar> raw;      // the bytes holding those bits
        quint64 rawFrom = 0;         // start's bit within raw
        std::vector<char> plain;
        quint32 crc = 0;
        bool ok = false;
        std::future<void> done;
    };
    struct Candidate {
        quint64 bit;
        bool end;
    };
    enum class Step { Block, End, Fallback };

    // A block of 100 000 symbols takes under 300 000 bytes even with the
    // longest codes the decoder accepts; its bytes come to at most 51 per symbol.
    static constexpr quint64 MaxBlockBits = 8ull * 512 * 1024;
    static constexpr size_t MaxBlockPlain = size_t(100000) * 52;
    static constexpr int MaxRetries = 64;

    explicit Parallel(int threads) : threads(threads), maxInFlight(size_t(2 * threads)) {}
    ~Parallel()
    {
        for (auto &b : jobs)
            if (b->done.valid())
                b->done.wait();
    }

    static void decode(Block &b)
    {
        if (b.end - b.start < 48 + 32)
            return;  // too short to hold a block's magic and CRC: a false candidate
        BitSink s;
        s.bytes.reserve(b.raw.size() + 16);
        s.header('1');
        s.copy(b.raw.data(), b.rawFrom, b.end - b.start);
        b.crc = quint32(bitsAt(b.raw.data(), b.rawFrom + 48, 32));
        s.put48(EndMagic);
        s.put32(b.crc);  // the stream CRC of a single block is its own
        s.finish();
        std::vector<uchar>().swap(b.raw);

        bz_stream z{};
        if (BZ2_bzDecompressInit(&z, 0, 0) != BZ_OK)
            return;
        z.next_in = s.bytes.data();
        z.avail_in = unsigned(s.bytes.size());
        b.plain.resize(100000 + 4096);
        size_t have = 0;
        for (;;) {
            z.next_out = b.plain.data() + have;
            z.avail_out = unsigned(b.plain.size() - have);
            const int rc = BZ2_bzDecompress(&z);
            have = b.plain.size() - z.avail_out;
            if (rc == BZ_STREAM_END) {
                b.ok = z.avail_in == 0;
                break;
            }
            if (rc != BZ_OK || z.avail_out > 0 || b.plain.size() >= MaxBlockPlain)
                break;
            b.plain.resize(std::min(MaxBlockPlain, b.plain.size() * 2));
        }
        BZ2_bzDecompressEnd(&z);
        b.plain.resize(have);
        if (!b.ok)
            std::vector<char>().swap(b.plain);
    }

    quint64 haveBytes() const { return compBase + comp.size(); }

    bool readMore(QIODevice &src)
    {
        if (sourceDone)
            return false;
        const size_t old = comp.size();
        comp.resize(old + size_t(BZChunk));
        const qint64 got = src.read(reinterpret_cast<char *>(comp.data() + old), BZChunk);
        comp.resize(old + size_t(std::max<qint64>(got, 0)));
        if (got <= 0) {
            sourceDone = true;
            return false;
        }
        scan();
        return true;
    }

    void scan()
    {
        static const auto tables = [] {
            std::array<std::array<uchar, 256>, 2> t{};
            for (int sh = 0; sh < 8; ++sh) {
                t[0][(BlockMagic >> (32 + sh)) & 0xFF] |= uchar(1 << sh);
                t[1][(EndMagic >> (32 + sh)) & 0xFF] |= uchar(1 << sh);
            }
            return t;
        }();
        // A magic starting in byte i at bit sh fills all of byte i + 1.
        for (; scanned + 8 <= haveBytes(); ++scanned) {
            const uchar *p = comp.data() + (scanned - compBase);
            const uchar blk = tables[0][p[1]], eos = tables[1][p[1]];
            if ((blk | eos) == 0)
                continue;
            quint64 w = 0;
            for (int k = 0; k < 8; ++k)
                w = (w << 8) | p[k];
            for (int sh = 0; sh < 8; ++sh) {
                const quint64 v = (w >> (16 - sh)) & Mask48;
                if (((blk >> sh) & 1) && v == BlockMagic)
                    cands.push_back({8 * scanned + quint64(sh), false});
                else if (((eos >> sh) & 1) && v == EndMagic)
                    cands.push_back({8 * scanned + quint64(sh), true});
            }
        }
    }

    std::shared_ptr<Block> makeBlock(quint64 start, quint64 end) const
    {
        auto b = std::make_shared<Block>();
        b->start = start;
        b->end = end;
        const quint64 first = start / 8, last = (end + 7) / 8;
        b->raw.assign(comp.begin() + ptrdiff_t(first - compBase), comp.begin() + ptrdiff_t(last - compBase));
        b->rawFrom = start % 8;
        return b;
    }

    // Jobs for the candidates after the one being read, while few are in flight.
    void fillJobs(QIODevice &src)
    {
        nextJob = std::max(nextJob, at);
        while (jobs.size() < maxInFlight) {
            if (nextJob + 1 < cands.size()) {
                const Candidate a = cands[nextJob], b = cands[nextJob + 1];
                if (a.end && a.bit != next)
                    break;  // no reading past what may be the stream's end
                ++nextJob;
                if (!a.end && b.bit - a.bit <= MaxBlockBits) {
                    auto blk = makeBlock(a.bit, b.bit);
                    blk->done = onPool(threads, [w = std::weak_ptr<Block>(blk)] {
                        if (const auto b = w.lock())
                            decode(*b);  // unless dropped meanwhile
                    });
                    jobs.push_back(std::move(blk));
                }
                continue;
            }
            const quint64 ahead = 8 * haveBytes() - std::min(8 * haveBytes(), next);
            if (ahead > MaxBlockBits * (maxInFlight + 1) || !readMore(src))
                break;
        }
    }

    Step take(Block &b)
    {
        combined = rotl1(combined) ^ b.crc;
        cur = std::move(b.plain);
        curAt = 0;
        next = b.end;
        const quint64 keep = next / 8;
        if (keep - compBase > (1u << 20)) {
            comp.erase(comp.begin(), comp.begin() + ptrdiff_t(keep - compBase));
            compBase = keep;
        }
        return Step::Block;
    }

    Step finishStream(QIODevice &src, qint64 sourceStart)
    {
        while (8 * haveBytes() < next + 80)
            if (!readMore(src))
                return Step::Fallback;
        const quint32 stored = quint32(bitsAt(comp.data(), next + 48 - 8 * compBase, 32));
        if (stored != combined)
            return Step::Fallback;
        src.seek(sourceStart + qint64((next + 80 + 7) / 8));
        return Step::End;
    }

    Step advance(QIODevice &src, qint64 sourceStart)
    {
        if (!headerSeen) {
            while (haveBytes() < 4)
                if (!readMore(src))
                    return Step::Fallback;
            if (std::memcmp(comp.data(), "BZh1", 4) != 0)
                return Step::Fallback;
            headerSeen = true;
        }
        for (;;) {
            while (at < cands.size() && cands[at].bit < next)
                ++at;
            if (at == cands.size()) {
                if (8 * haveBytes() - next > MaxBlockBits || !readMore(src))
                    return Step::Fallback;
                continue;
            }
            if (cands[at].bit != next)
                return Step::Fallback;  // no magic where the last block ended
            if (cands[at].end)
                return finishStream(src, sourceStart);
            fillJobs(src);
            while (!jobs.empty() && jobs.front()->start < next)
                jobs.pop_front();  // begun at a magic that was only data
            if (!jobs.empty() && jobs.front()->start == next)
                break;
            if (at + 1 < cands.size() || !readMore(src))
                break;  // too long for a block, or nothing more to read
        }
        if (!jobs.empty() && jobs.front()->start == next) {
            const std::shared_ptr<Block> b = std::move(jobs.front());
            jobs.pop_front();
            b->done.wait();
            if (b->ok)
                return take(*b);
        }
        // Try the block up to each later candidate, on this thread: rare.
        for (size_t k = at + 2, tries = 0; tries < MaxRetries; ++k, ++tries) {
            while (k >= cands.size())
                if (8 * haveBytes() - next > MaxBlockBits || !readMore(src))
                    return Step::Fallback;
            if (cands[k].bit - next > MaxBlockBits)
                return Step::Fallback;
            const std::shared_ptr<Block> b = makeBlock(next, cands[k].bit);
            decode(*b);
            if (b->ok)
                return take(*b);
        }
        return Step::Fallback;
    }

    const int threads;
    const size_t maxInFlight;
    std::vector<uchar> comp;  // the stream's bytes from compBase on
    quint64 compBase = 0;
    quint64 scanned = 4;      // bytes searched for magics
    bool sourceDone = false;
    bool headerSeen = false;
    std::vector<Candidate> cands;
    size_t at = 0;       // the candidate at next
    size_t nextJob = 0;  // the candidate the next job starts from
    std::deque<std::shared_ptr<Block>> jobs;
    quint64 next = HeaderBits;  // where the next block starts
    quint32 combined = 0;
    std::vector<char> cur;  // the block being read
    size_t curAt = 0;
};

// ---- decompression ----

TBZDecompressionStream::TBZDecompressionStream(QIODevice &source)
    : m_source(source)
{
    const int threads = BZThreads();
    if (threads > 1 && !source.isSequential()) {
        m_sourceStart = source.pos();
        m_par = std::make_unique<Parallel>(threads);
    } else {
        startSequential();
    }
    QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void TBZDecompressionStream::startSequential()
{
    const int rc = BZ2_bzDecompressInit(&m_bz, 0, 0);
    if (rc != BZ_OK)
        throw EBZDecompressionError(bzCode(rc));
    m_bzOpen = true;
    m_in.resize(BZChunk);
    m_bz.next_in = m_in.data();
    m_bz.avail_in = 0;
}

TBZDecompressionStream::~TBZDecompressionStream()
{
    if (m_bzOpen)
        BZ2_bzDecompressEnd(&m_bz);
}

qint64 TBZDecompressionStream::readData(char *data, qint64 maxlen)
{
    qint64 total = 0;
    if (m_par) {
        total = readParallel(data, maxlen);
        if (m_par)
            return total;
        // Fell back: libbz2 alone carries on behind the bytes already copied.
        if (m_streamEnd) {
            m_delivered += total;
            return total;
        }
    }
    total += readSequential(data + total, maxlen - total, total);
    m_delivered += total;
    return total;
}

qint64 TBZDecompressionStream::readParallel(char *data, qint64 maxlen)
{
    if (m_streamEnd)
        return maxlen == 0 ? 0 : -1;
    Parallel &p = *m_par;
    qint64 total = 0;
    for (;;) {
        const qint64 n = std::min<qint64>(maxlen - total, qint64(p.cur.size() - p.curAt));
        if (n > 0)
            std::memcpy(data + total, p.cur.data() + p.curAt, size_t(n));
        p.curAt += size_t(n);
        total += n;
        if (p.curAt < p.cur.size())
            break;
        // At a block's end look at once for the next, so that atEnd() is true
        // as soon as the last byte is out, as with libbz2 alone.
        const Parallel::Step step = p.advance(m_source, m_sourceStart);
        if (step == Parallel::Step::End) {
            m_streamEnd = true;
            break;
        }
        if (step == Parallel::Step::Fallback) {
            // libbz2 alone from the start, up to where we are: it then fails
            // (or goes on) exactly as it would have on its own.
            const qint64 skip = m_delivered + total;
            m_par.reset();
            m_source.seek(m_sourceStart);
            startSequential();
            char scratch[4096];
            for (qint64 done = 0; done < skip;) {
                const qint64 got = readSequential(scratch, std::min<qint64>(sizeof scratch, skip - done), 0);
                if (got <= 0)
                    throw EReadError(QStringLiteral("Stream read error"));
                done += got;
            }
            return total;
        }
        if (total == maxlen)
            break;
    }
    m_delivered += total;
    return total;
}

qint64 TBZDecompressionStream::readSequential(char *data, qint64 maxlen, qint64 already)
{
    if (m_streamEnd)
        return maxlen == 0 || already > 0 ? 0 : -1;
    qint64 total = 0;
    while (total < maxlen && !m_streamEnd) {
        if (m_bz.avail_in == 0) {
            const qint64 got = m_source.read(m_in.data(), qint64(m_in.size()));
            if (got <= 0) {
                if (total + already > 0)
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
