#pragma once
// Forward-only bzip2 adaptors over another QIODevice, through 65 536-byte chunks.
#include <QIODevice>
#include <bzlib.h>
#include <vector>

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
    void flushOut(bool all);
    QIODevice &m_dest;
    bz_stream m_bz{};
    std::vector<char> m_out;
    qint64 m_written = 0;
    bool m_finished = false;
};

// Reads and decompresses from source's position at creation, 65 536 bytes at a time.
// Writing, or seeking backwards: EStreamError. A libbz2 error: EBZDecompressionError "error %d".
// Data ending inside the stream: EReadError.
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
protected:
    qint64 readData(char *data, qint64 maxlen) override;
    qint64 writeData(const char *data, qint64 len) override;
private:
    QIODevice &m_source;
    bz_stream m_bz{};
    std::vector<char> m_in;
    qint64 m_delivered = 0;
    bool m_streamEnd = false;
};
