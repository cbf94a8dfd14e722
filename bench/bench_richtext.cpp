// Our RTF reading and writing against Qt's HTML import and export of the same
// content (about 1 MB of RTF: mixed formatting, Russian text, lists).
#include "RtfReader.h"
#include "RtfWriter.h"
#include "RichFormat.h"
#include "RichLists.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <benchmark/benchmark.h>

namespace {

QByteArray &SampleRtf()
{
    static QByteArray rtf;
    if (!rtf.isEmpty())
        return rtf;
    QTextDocument doc;
    QTextCursor c(&doc);
    const QString words[] = {QStringLiteral("Вопрос"), QStringLiteral("ответ"), QStringLiteral("тест"),
                             QStringLiteral("формула"), QStringLiteral("E=mc²"), QStringLiteral("школа"),
                             QStringLiteral("Ёлка"), QStringLiteral("√2"), QStringLiteral("example")};
    int n = 0;
    while (RichText::WriteRtf(doc).size() < 1'000'000) {
        for (int p = 0; p < 40; ++p, ++n) {
            QTextBlockFormat bf;
            bf.setAlignment(n % 5 == 0 ? Qt::AlignHCenter : Qt::AlignLeft);
            bf.setLeftMargin((n % 3) * 24);
            c.insertBlock(bf);
            if (n % 7 < 3) {
                QTextListFormat lf = RichText::MakeListFormat(n % 7 == 0 ? RichText::NumBullet : RichText::NumArabic, 1,
                                                              RichText::StylePeriod, 0);
                c.createList(lf);
            }
            for (int w = 0; w < 12; ++w) {
                QTextCharFormat f;
                f.setFontFamilies({(w % 2) ? QStringLiteral("Times New Roman") : QStringLiteral("Arial")});
                f.setProperty(RichText::PropCharset, 204);
                f.setFontPointSize(10 + (w % 4) * 2);
                f.setFontWeight(w % 3 == 0 ? QFont::Bold : QFont::Normal);
                f.setFontItalic(w % 4 == 1);
                if (w % 5 == 2)
                    f.setForeground(QColor(200, 0, 0));
                c.insertText(words[(n + w) % 9] + QLatin1Char(' '), f);
            }
        }
    }
    rtf = RichText::WriteRtf(doc);
    return rtf;
}

QString &SampleHtml()
{
    static QString html;
    if (html.isEmpty()) {
        QTextDocument doc;
        RichText::ReadRtf(SampleRtf(), doc);
        html = doc.toHtml();
    }
    return html;
}

void BM_RtfLoad(benchmark::State &state)
{
    const QByteArray &rtf = SampleRtf();
    for (auto _ : state) {
        QTextDocument doc;
        RichText::ReadRtf(rtf, doc);
        benchmark::DoNotOptimize(doc.characterCount());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * rtf.size());
}

void BM_RtfSave(benchmark::State &state)
{
    QTextDocument doc;
    RichText::ReadRtf(SampleRtf(), doc);
    for (auto _ : state)
        benchmark::DoNotOptimize(RichText::WriteRtf(doc).size());
}

void BM_HtmlLoad(benchmark::State &state)
{
    const QString &html = SampleHtml();
    for (auto _ : state) {
        QTextDocument doc;
        doc.setHtml(html);
        benchmark::DoNotOptimize(doc.characterCount());
    }
}

void BM_HtmlSave(benchmark::State &state)
{
    QTextDocument doc;
    doc.setHtml(SampleHtml());
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.toHtml().size());
}

// One screen of a long list that starts at 5: Qt's own drawing, then with our markers.
void BM_ListPaint(benchmark::State &state)
{
    QTextDocument doc;
    QTextCursor c(&doc);
    c.createList(RichText::MakeListFormat(RichText::NumArabic, state.range(1) ? 5 : 1, RichText::StylePeriod, 0));
    for (int i = 0; i < 2000; ++i) {
        if (i)
            c.insertBlock();
        c.insertText(QStringLiteral("пункт списка %1").arg(i));
    }
    doc.setTextWidth(600);
    QImage img(600, 400, QImage::Format_RGB32);
    const QRectF clip(0, 400 * 20, 600, 400);
    for (auto _ : state) {
        QPainter p(&img);
        p.translate(0, -clip.top());
        doc.drawContents(&p, clip);
        if (state.range(0))
            RichText::DrawListMarkers(p, doc, clip);
    }
}

} // namespace

BENCHMARK(BM_ListPaint)->Args({0, 0})->Args({1, 1})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RtfLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HtmlLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RtfSave)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HtmlSave)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
