#pragma once
// Little-endian reads and writes on a QIODevice, bounded by what the device holds.
#include <QByteArray>
#include <QIODevice>

namespace StreamIO {
// Reads until n bytes or the end; returns the count read.
qint64 ReadUpTo(QIODevice &dev, char *buf, qint64 n);
// Exactly n bytes or EReadError "Stream read error".
void ReadExact(QIODevice &dev, char *buf, qint64 n);
quint8 ReadU8(QIODevice &dev);
quint16 ReadU16(QIODevice &dev);
quint32 ReadU32(QIODevice &dev);
// len bytes. Checked against the bytes that remain on a random-access device;
// on a sequential one grown step by step as data arrives, never pre-allocated.
QByteArray ReadBlob(QIODevice &dev, quint32 len);

// EWriteError "Stream write error" unless all n bytes are taken.
void WriteAll(QIODevice &dev, const char *data, qint64 n);
void WriteU8(QIODevice &dev, quint8 v);
void WriteU16(QIODevice &dev, quint16 v);
void WriteU32(QIODevice &dev, quint32 v);
}
