#include "testutil_core.h"

#include "BZStreams.h"

#include <QBuffer>

LeBytes &LeBytes::wide(const QString &s)
{
    u32(quint32(s.size()));
    for (QChar c : s)
        u16(c.unicode());
    return *this;
}

TQuestionPtr MakeQuestion(int seed, int variants, int bodySize, bool comment, bool title)
{
    auto q = std::make_shared<TNQuestion>();
    q->PlainLines.Add(QStringLiteral("Вопрос %1").arg(seed));
    q->PlainLines.Add(QStringLiteral("line \U0001F600 %1").arg(seed));
    QByteArray body;
    for (int i = 0; i < bodySize; ++i)
        body.append(char((seed * 31 + i * 7) & 0xFF));
    q->Body = body;
    if (comment)
        q->Comment = QByteArray("comment ") + QByteArray::number(seed);
    if (title) {
        q->HasTitle = true;
        q->Title = QStringLiteral("Заголовок %1").arg(seed);
    }
    for (int v = 0; v < variants; ++v) {
        q->Variants.append(QStringLiteral("Ответ %1.%2").arg(seed).arg(v));
        q->RightMarks.append(v % 2 == 0 ? QLatin1Char('!') : QLatin1Char(' '));
    }
    return q;
}

QByteArray Compress(const QByteArray &plain)
{
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    {
        TBZCompressionStream z(buf);
        z.write(plain);
        z.finish();
    }
    return out;
}

QByteArray Decompress(const QByteArray &packed)
{
    QByteArray in = packed;
    QBuffer buf(&in);
    buf.open(QIODevice::ReadOnly);
    TBZDecompressionStream z(buf);
    QByteArray out;
    char chunk[4096];
    while (!z.atEnd()) {
        const qint64 got = z.read(chunk, sizeof chunk);
        if (got <= 0)
            break;
        out.append(chunk, got);
    }
    return out;
}

bool SameStoredQuestion(const TNQuestion &a, const TNQuestion &b)
{
    return a.PlainLines == b.PlainLines && a.Body == b.Body && a.Comment == b.Comment
        && a.Variants == b.Variants && a.RightMarks == b.RightMarks && a.HasTitle == b.HasTitle
        && a.Title == b.Title;
}
