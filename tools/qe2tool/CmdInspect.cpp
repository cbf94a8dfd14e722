// qe2tool info and dump: what a test file holds.
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "Ansi.h"
#include "MJvRichedit.h"
#include "QuizEngineCommon.h"
#include "ResourceTrailer.h"
#include "TestSettings.h"
#include "Tool.h"

namespace Qe2Tool {

namespace {

QString OneLine(QString message)
{
    return message.replace(QLatin1Char('\r'), QLatin1Char(' ')).simplified();
}

struct TTestBytes {
    QByteArray bytes;
    QString embeddedPath;   // the TEST_FILE_NAME of a standalone program
    bool embedded = false;
};

// A test file, or the test a standalone test program carries.
TTestBytes ReadTestBytes(const QString &path)
{
    TTestBytes t;
    t.bytes = ReadWholeFile(path);
    if (t.bytes.startsWith("KMQuizEngineFile"))
        return t;
    if (const auto test = ResourceTrailer::FindResource(path, QStringLiteral("TEST"))) {
        t.bytes = *test;
        t.embedded = true;
        const QByteArray name = ResourceTrailer::FindResource(path, QStringLiteral("TEST_FILE_NAME")).value_or(QByteArray());
        const qsizetype end = name.indexOf('\0');
        t.embeddedPath = FromAnsi(end < 0 ? name : name.left(end));
    }
    return t;
}

// What info and dump share: their arguments, the test's bytes and a reader over them.
struct TInspected {
    TArgs args;
    QString path;
    TTestBytes test;
    QBuffer buffer;
};

void OpenInspected(TInspected &in, const QStringList &args)
{
    in.args = ParseArgs(args, {{QStringLiteral("show-password"), {}, false}}, 1, 1);
    in.path = in.args.positional.first();
    in.test = ReadTestBytes(in.path);
    in.buffer.setData(in.test.bytes);
    in.buffer.open(QIODevice::ReadOnly);
}

void CheckHeader(const QString &path, int code)
{
    if (code != hrOk)
        throw ToolError(QStringLiteral("%1: %2").arg(path, OneLine(HeaderResultMessage(code))));
}

QString ReservedBytesHex(const TTestInfo &info)
{
    QStringList parts;
    for (quint8 b : info.ReservedBytes)
        parts << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
    return parts.join(QLatin1Char(' '));
}

QString QuestionOrderText(quint16 randomCount)
{
    if (randomCount == 0)
        return QStringLiteral("stored order, all questions");
    if (randomCount == RandomAll)
        return QStringLiteral("random order, all questions");
    return QStringLiteral("random order, %1 questions asked").arg(randomCount);
}

struct TRichLines {
    QJsonArray lines;
    int objects = 0;
    QString error;
};

TRichLines RichLines(const QByteArray &record)
{
    TRichLines r;
    try {
        for (const QString &line : RichRecord::PlainLines(record)) {
            r.objects += int(line.count(QChar(0xFFFC)));
            r.lines.append(ReplaceObjectMarks(line, ObjectMarkText));
        }
    } catch (const EQuizError &e) {
        r.error = e.message();
    }
    return r;
}

}  // namespace

int CmdInfo(const QStringList &args)
{
    TInspected in;
    OpenInspected(in, args);
    const TArgs &a = in.args;
    const QString &path = in.path;
    const TTestBytes &test = in.test;
    TTestInfo info;
    CheckHeader(path, ReadTestHeader(in.buffer, info));

    QString t;
    auto line = [&t](const QString &key, const QString &value) {
        t += key + QStringLiteral(": ") + value + QLatin1Char('\n');
    };
    line(QStringLiteral("file"), QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    if (test.embedded)
        line(QStringLiteral("embedded test"), test.embeddedPath);
    line(QStringLiteral("version"), QString::number(info.Version));
    line(QStringLiteral("questions"), QString::number(info.QuestionCount));
    line(QStringLiteral("information items"), QString::number(info.IQCount));
    line(QStringLiteral("real questions"),
         QString::number(qint64(info.QuestionCount) - qint64(info.IQCount)));
    line(QStringLiteral("question order"), QuestionOrderText(info.RandomCount));
    line(QStringLiteral("random count"), QString::number(info.RandomCount));
    line(QStringLiteral("time limit"), info.TimeLimit == 0
                                           ? QStringLiteral("none")
                                           : QStringLiteral("%1 min").arg(info.TimeLimit));
    line(QStringLiteral("options"), QStringLiteral("%1 %2")
                                        .arg(info.Options)
                                        .arg(OptionCodeNames(info.Options).join(QLatin1Char(' ')))
                                        .trimmed());
    line(QStringLiteral("zoom"), QStringLiteral("%1 %").arg(info.Zoom));
    line(QStringLiteral("window size"),
         QStringLiteral("%1 x %2 (%3)")
             .arg(info.QWidth)
             .arg(info.QHeight)
             .arg(info.has(SetCustomQSize) ? QStringLiteral("used") : QStringLiteral("not used")));
    line(QStringLiteral("scroll bars"),
         QStringLiteral("%1 %2").arg(info.QScrollBars).arg(ScrollBarsCaption(info.QScrollBars)));
    line(QStringLiteral("reserved word"), QString::number(info.ReservedWord));
    line(QStringLiteral("reserved bytes"), ReservedBytesHex(info));
    line(QStringLiteral("password"), info.Password.isEmpty() ? QStringLiteral("no") : QStringLiteral("yes"));
    if (a.has(QStringLiteral("show-password")) && !info.Password.isEmpty())
        line(QStringLiteral("password text"), info.Password);
    WriteOut(t);
    return exitOk;
}

int CmdDump(const QStringList &args)
{
    TInspected in;
    OpenInspected(in, args);
    const TArgs &a = in.args;
    const QString &path = in.path;
    const TTestBytes &test = in.test;
    TTestInfo info;
    TQuestionList questions;
    const TTestLoadResult load = LoadTestFromDevice(in.buffer, info, questions);
    CheckHeader(path, load.HeaderCode);
    if (!load.Ok)
        throw ToolError(QStringLiteral("%1: %2 %3: %4 (question %5 of %6)")
                            .arg(path, OneLine(HeaderResultMessage(hrReadError)), load.ErrorKind,
                                 load.ErrorText)
                            .arg(questions.size() + 1)
                            .arg(info.QuestionCount));

    QJsonObject header;
    header[QStringLiteral("version")] = int(info.Version);
    header[QStringLiteral("questionCount")] = qint64(info.QuestionCount);
    header[QStringLiteral("iqCount")] = qint64(info.IQCount);
    header[QStringLiteral("randomCount")] = int(info.RandomCount);
    header[QStringLiteral("options")] = int(info.Options);
    header[QStringLiteral("optionNames")] = QJsonArray::fromStringList(OptionCodeNames(info.Options));
    header[QStringLiteral("reservedBytes")] = ReservedBytesHex(info);
    header[QStringLiteral("hasPassword")] = !info.Password.isEmpty();

    QStringList richErrors;
    QJsonArray list;
    for (size_t i = 0; i < questions.size(); ++i) {
        const TNQuestion &q = *questions[i];
        QJsonObject o;
        o[QStringLiteral("index")] = int(i);
        o[QStringLiteral("plainLines")] = QJsonArray::fromStringList(q.PlainLines.items());
        o[QStringLiteral("variants")] = QJsonArray::fromStringList(q.Variants);
        o[QStringLiteral("marks")] = q.RightMarks;
        o[QStringLiteral("hasTitle")] = q.HasTitle;
        o[QStringLiteral("title")] = q.Title;
        o[QStringLiteral("bodySize")] = q.Body.size();
        const TRichLines body = RichLines(q.Body);
        o[QStringLiteral("bodyLines")] = body.lines;
        o[QStringLiteral("bodyObjects")] = body.objects;
        if (!body.error.isEmpty()) {
            o[QStringLiteral("bodyError")] = body.error;
            richErrors << QStringLiteral("questions[%1].body: %2").arg(i).arg(body.error);
        }
        o[QStringLiteral("hasComment")] = q.Comment.has_value();
        if (q.Comment) {
            o[QStringLiteral("commentSize")] = q.Comment->size();
            const TRichLines comment = RichLines(*q.Comment);
            o[QStringLiteral("commentLines")] = comment.lines;
            o[QStringLiteral("commentObjects")] = comment.objects;
            if (!comment.error.isEmpty()) {
                o[QStringLiteral("commentError")] = comment.error;
                richErrors << QStringLiteral("questions[%1].comment: %2").arg(i).arg(comment.error);
            }
        }
        list.append(o);
    }

    QJsonObject root;
    root[QStringLiteral("file")] = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    if (test.embedded)
        root[QStringLiteral("embeddedTest")] = test.embeddedPath;
    root[QStringLiteral("header")] = header;
    root[QStringLiteral("settings")] = SettingsToJson(info);
    if (a.has(QStringLiteral("show-password")))
        root[QStringLiteral("password")] = info.Password;
    root[QStringLiteral("questions")] = list;
    WriteOut(QJsonDocument(root).toJson(QJsonDocument::Indented));
    // The dump is still printed, so that the rest of a damaged test can be seen.
    if (!richErrors.isEmpty())
        throw ToolError(QStringLiteral("%1: %2").arg(path, richErrors.join(QStringLiteral("; "))));
    return exitOk;
}

}  // namespace Qe2Tool
