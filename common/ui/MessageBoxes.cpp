#include "MessageBoxes.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QWidget>

#include "fSplash.h"

namespace {
TMessageSink &Sink()
{
    static TMessageSink sink;
    return sink;
}

QWidget *DefaultOwner()
{
    if (QWidget *w = QApplication::activeModalWidget())
        return w;
    if (QWidget *w = QApplication::activeWindow())
        return w;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible() && !qobject_cast<TfrmSplash *>(w))
            return w;
    return nullptr;
}

}  // namespace

bool AppendToMessageLog(const QString &caption, const QString &text)
{
    const QString path = qEnvironmentVariable("QE_MESSAGE_LOG");
    if (path.isEmpty())
        return false;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Append))
        f.write((LogLine(caption, text) + u'\n').toUtf8());
    // A log that cannot be written still must not block a headless run.
    return true;
}

void SetMessageSink(TMessageSink sink)
{
    Sink() = std::move(sink);
}

QString DisplayText(const QString &text)
{
    QString s = text;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(u'\r', u'\n');
    return s;
}

QString LogLine(const QString &caption, const QString &text)
{
    QString t = text;
    t.replace(u'\r', QStringLiteral("\\r"));
    t.replace(u'\n', QStringLiteral("\\n"));
    return caption + u'\t' + t;
}

void ShowMessage(QMessageBox::Icon icon, const QString &caption, const QString &text, QWidget *owner,
                 bool aboveAll)
{
    const QString shownCaption = caption.isEmpty() ? QGuiApplication::applicationDisplayName() : caption;
    // The splash goes as soon as any message box takes the activation.
    TfrmSplash::CloseSplash();
    if (Sink()) {
        Sink()(icon, shownCaption, text);
        return;
    }
    if (AppendToMessageLog(shownCaption, text))
        return;
    if (qobject_cast<TfrmSplash *>(owner))
        owner = nullptr;
    QMessageBox box(icon, shownCaption, DisplayText(text), QMessageBox::Ok, owner ? owner : DefaultOwner());
    if (aboveAll)
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.exec();
}

void ShowErrorAboveAll(const QString &message)
{
    ShowMessage(QMessageBox::Critical, ErrorCaption, message, nullptr, true);
}

void ShowError(const QString &message)
{
    ShowMessage(QMessageBox::Critical, ErrorCaption, message);
}

void ShowWarning(const QString &message)
{
    ShowMessage(QMessageBox::Warning, WarningCaption, message);
}
