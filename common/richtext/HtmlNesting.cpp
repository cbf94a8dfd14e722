#include "HtmlNesting.h"

#include <QHash>
#include <QStringList>
#include <vector>

namespace RichText {

namespace {

bool IsVoid(const QString &name)
{
    static const QStringList kVoid = {
        QStringLiteral("br"), QStringLiteral("img"), QStringLiteral("hr"), QStringLiteral("meta"),
        QStringLiteral("link"), QStringLiteral("input"), QStringLiteral("area"), QStringLiteral("base"),
        QStringLiteral("col"), QStringLiteral("embed"), QStringLiteral("param"), QStringLiteral("source"),
        QStringLiteral("track"), QStringLiteral("wbr")};
    return kVoid.contains(name);
}

bool IsBlock(const QString &name)
{
    static const QStringList kBlock = {
        QStringLiteral("p"), QStringLiteral("div"), QStringLiteral("ul"), QStringLiteral("ol"),
        QStringLiteral("li"), QStringLiteral("table"), QStringLiteral("blockquote"), QStringLiteral("pre"),
        QStringLiteral("dl"), QStringLiteral("dt"), QStringLiteral("dd"), QStringLiteral("h1"),
        QStringLiteral("h2"), QStringLiteral("h3"), QStringLiteral("h4"), QStringLiteral("h5"),
        QStringLiteral("h6"), QStringLiteral("tr"), QStringLiteral("td"), QStringLiteral("th")};
    return kBlock.contains(name);
}

// Elements whose end tag may be left out: the ones an opening name closes
// when they are the innermost open element. Counting them as still open
// would only overstate the depth, so only the common cases are known.
bool ImpliedEnd(const QString &opening, const QString &open)
{
    if (open == u"p")
        return IsBlock(opening);
    if (opening == u"li")
        return open == u"li";
    if (opening == u"dt" || opening == u"dd")
        return open == u"dt" || open == u"dd";
    if (opening == u"td" || opening == u"th")
        return open == u"td" || open == u"th";
    if (opening == u"tr")
        return open == u"td" || open == u"th" || open == u"tr";
    if (opening == u"option")
        return open == u"option";
    return false;
}

// Levels an element needs below it before text can be in it: text straight
// in a table or a row is no text of any cell, and Qt drops it.
int LevelsToText(const QString &name)
{
    if (name == u"table")
        return 4;   // a body of rows may come between
    if (name == u"tbody" || name == u"thead" || name == u"tfoot")
        return 3;
    if (name == u"tr" || name == u"ul" || name == u"ol" || name == u"dl")
        return 2;
    return 1;
}

// The end of the tag that starts at from ('<'), quotes respected; -1 when unclosed.
qsizetype TagEnd(const QString &s, qsizetype from)
{
    QChar quote;
    for (qsizetype i = from + 1; i < s.size(); ++i) {
        const QChar c = s[i];
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'>') {
            return i;
        }
    }
    return -1;
}

} // namespace

QString FlattenHtmlNesting(const QString &html, int maxDepth, bool *flattened)
{
    if (flattened)
        *flattened = false;
    std::vector<QString> open;
    QHash<QString, int> dropped;   // open tags left out, by name, awaiting their end tags
    int droppedOpen = 0;
    QString out;
    bool any = false;
    qsizetype copied = 0;
    auto drop = [&](qsizetype from, qsizetype to) {
        out += QStringView(html).mid(copied, from - copied);
        copied = to;
        any = true;
    };
    for (qsizetype i = html.indexOf(u'<'); i >= 0 && i < html.size(); i = html.indexOf(u'<', i)) {
        if (QStringView(html).mid(i, 4) == u"<!--") {
            const qsizetype end = html.indexOf(QLatin1String("-->"), i + 4);
            if (end < 0)
                break;
            i = end + 3;
            continue;
        }
        const bool closing = i + 1 < html.size() && html[i + 1] == u'/';
        qsizetype n = i + (closing ? 2 : 1);
        const qsizetype nameStart = n;
        while (n < html.size() && (html[n].isLetterOrNumber() || html[n] == u'-' || html[n] == u':'))
            ++n;
        if (n == nameStart || !html[nameStart].isLetter()) {
            ++i;
            continue;
        }
        const qsizetype end = TagEnd(html, i);
        if (end < 0)
            break;
        const QString name = html.mid(nameStart, n - nameStart).toLower();
        if (closing) {
            if (int &d = dropped[name]; d > 0) {
                --d;
                --droppedOpen;
                drop(i, end + 1);
            } else {
                for (auto k = open.size(); k > 0; --k)
                    if (open[k - 1] == name) {
                        open.resize(k - 1);
                        break;
                    }
            }
        } else if (!IsVoid(name) && html[end - 1] != u'/') {
            // Below a dropped tag everything is dropped: no implied end may
            // lower the depth of what was left out.
            while (droppedOpen == 0 && !open.empty() && ImpliedEnd(name, open.back()))
                open.pop_back();
            if (droppedOpen > 0 || int(open.size()) + LevelsToText(name) > maxDepth) {
                ++dropped[name];
                ++droppedOpen;
                drop(i, end + 1);
            } else {
                open.push_back(name);
            }
        }
        i = end + 1;
    }
    if (!any)
        return html;
    out += QStringView(html).mid(copied);
    if (flattened)
        *flattened = true;
    return out;
}

} // namespace RichText
