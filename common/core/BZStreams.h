#pragma once
// Forward-only bzip2 adaptors over another QIODevice, through 65 536-byte chunks.
// With more than one thread both spread the blocks of the one stream over a
// pool: the writer's output stays byte for byte what libbz2 alone writes.
#include <QIODevice>
#include <bzlib.h>
#include <memory>
#include <vector>

// Threads the streams made from now on use: QThread::idealThreadCount(), or
// $QE_BZ_THREADS, or what BZSetThreads set (0 follows the cores again).
// One thread is plain libbz2, block after block.
int BZThreads();
void BZSetThreads(int n);

// Writes a bzip2 stream (block size 1, verbosity 0, work factor 0) into dest
// from dest's position at creation. close() (or destruction) finishes the stream.
// Reading or seeking anywhere but the current position: EStreamError "Invalid stream operation".
class TBZCompressionStream : public QIODevice {
    Q_OBJECT
public:
    explicit TBZCompressionStream(QIODevice &dest, int blockSize100k = 1);
    ~TBZCompressionStream() override;
    void close() override;         // finishes the stream; throws on failure
    bool isSequential() const override { return true; }
    bool seek(qint64 pos) override;
    qint64 pos() const override;   // uncompressed bytes written so far
    void finish();                 // like close(), throwing EBZCompressionError/EWriteError
protected:
    qint64 readData(char *data, qint64 maxlen) override;
    qint64 writeData(const char *data, qint64 len) override;
private:
    struct Parallel;
    void flushOut(bool all);
    QIODevice &m_dest;
    std::unique_ptr<Parallel> m_par;
    bz_stream m_bz{};
    std::vector<char> m_out;
    qint64 m_written = 0;
    bool m_finished = false;
};

// Reads and decompresses from source's position at creation, 65 536 bytes at a time.
// Writing, or seeking backwards: EStreamError. A libbz2 error: EBZDecompressionError "error %d".
// Data ending inside the stream: EReadError.
// A random-access source with a block size 1 stream is decoded on the pool, block by
// verified block; anything else, and any doubt (damage, a cut, an unknown stream),
// goes to libbz2 alone from the start, so errors and bytes are the same either way.
class TBZDecompressionStream : public QIODevice {
    Q_OBJECT
public:
    explicit TBZDecompressionStream(QIODevice &source);
    ~TBZDecompressionStream() override;
    bool isSequential() const override { return true; }
    bool seek(qint64 pos) override;  // forward only: reads and discards
    qint64 pos() const override;     // uncompressed bytes delivered so far
    bool atEnd() const override;
    qint64 bytesAvailable() const override;
    bool pooled() const { return m_par != nullptr; }  // not (or no longer) libbz2 alone
protected:
    qint64 readData(char *data, qint64 maxlen) override;
    qint64 writeData(const char *data, qint64 len) override;
private:
    struct Parallel;
    void startSequential();
    qint64 readSequential(char *data, qint64 maxlen, qint64 already);
    qint64 readParallel(char *data, qint64 maxlen);
    QIODevice &m_source;
    std::unique_ptr<Parallel> m_par;
    qint64 m_sourceStart = 0;
    bool m_bzOpen = false;
    bz_stream m_bz{};
    std::vector<char> m_in;
    qint64 m_delivered = 0;
    bool m_streamEnd = false;
};
