#pragma once
// Helpers shared by the core tests: a little-endian byte builder, sample
// questions and bzip2 packing.
#include <QByteArray>
#include <QString>

#include "QuizEngineCommon.h"

class LeBytes {
public:
    LeBytes &u8(quint8 v) { m_b.append(char(v)); return *this; }
    LeBytes &u16(quint16 v) { return u8(quint8(v)).u8(quint8(v >> 8)); }
    LeBytes &u32(quint32 v) { return u16(quint16(v)).u16(quint16(v >> 16)); }
    LeBytes &raw(const QByteArray &b) { m_b.append(b); return *this; }
    LeBytes &ansi(const QByteArray &b) { return u32(quint32(b.size())).raw(b); }
    LeBytes &wide(const QString &s);
    const QByteArray &bytes() const { return m_b; }
    operator QByteArray() const { return m_b; }
private:
    QByteArray m_b;
};

// A question with n variants (every second one right), some plain lines and a body of bodySize bytes.
TQuestionPtr MakeQuestion(int seed, int variants, int bodySize = 64, bool comment = false, bool title = false);
QByteArray Compress(const QByteArray &plain);
QByteArray Decompress(const QByteArray &packed);
// Field-by-field equality of the stored parts of two questions.
bool SameStoredQuestion(const TNQuestion &a, const TNQuestion &b);
