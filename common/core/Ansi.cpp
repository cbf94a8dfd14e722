#include "Ansi.h"

#include <QTextCodec>

namespace {
QTextCodec *codec1251()
{
    static QTextCodec *const c = QTextCodec::codecForName("windows-1251");
    Q_ASSERT(c);
    return c;
}
}

QByteArray ToAnsi(const QString &s)
{
    if (s.isEmpty())
        return {};
    // A character outside the code page becomes one '?', a surrogate pair included.
    QByteArray out;
    out.reserve(s.size());
    QTextCodec *c = codec1251();
    const QChar *p = s.constData();
    const qsizetype n = s.size();
    qsizetype runStart = 0;
    auto flush = [&](qsizetype end) {
        if (end > runStart)
            out += c->fromUnicode(p + runStart, int(end - runStart));
    };
    for (qsizetype i = 0; i < n; ++i) {
        const QChar ch = p[i];
        if (ch.unicode() < 0x80)
            continue;
        const bool pair = ch.isHighSurrogate() && i + 1 < n && p[i + 1].isLowSurrogate();
        if (!pair && !ch.isSurrogate() && c->canEncode(ch))
            continue;
        flush(i);
        out += '?';
        if (pair)
            ++i;
        runStart = i + 1;
    }
    flush(n);
    return out;
}

QString FromAnsi(const QByteArray &b)
{
    if (b.isEmpty())
        return {};
    return codec1251()->toUnicode(b);
}
