#include "testutil_interchange.h"

#include "HtmlRich.h"

namespace InterchangeTest {

QString TextsDifference(const TQuestionList &written, const TQuestionList &read)
{
    if (written.size() != read.size())
        return QStringLiteral("%1 questions written, %2 read").arg(written.size()).arg(read.size());
    auto text = [](const std::optional<QByteArray> &r) { return r ? Interchange::PlainFromRichRecord(*r) : QString(); };
    for (size_t i = 0; i < written.size(); ++i) {
        const TNQuestion &a = *written[i], &b = *read[i];
        const auto differ = [&](const char *what, const QString &x, const QString &y) {
            return QStringLiteral("question %1, %2: '%3' | '%4'").arg(i + 1).arg(QLatin1String(what), x, y);
        };
        if (text(a.Body) != text(b.Body))
            return differ("text", text(a.Body), text(b.Body));
        if (a.Variants != b.Variants)
            return differ("variants", a.Variants.join(u'|'), b.Variants.join(u'|'));
        if (a.Title != b.Title)
            return differ("title", a.Title, b.Title);
        if (text(a.Comment) != text(b.Comment))
            return differ("comment", text(a.Comment), text(b.Comment));
    }
    return {};
}

} // namespace InterchangeTest
