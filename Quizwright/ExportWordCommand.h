#pragma once
// The main window's export to a word-processor document: templates, the
// settings dialog, the target dialog, the progress window and the messages
// around Docx::ExportToWord.
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class TfrmMain;
class TfrmExportSettings;

namespace ExportWordTexts {
inline const QString InfoCaption = QStringLiteral("Экспорт...");
inline const QString InfoText = QStringLiteral("\rПроизводится экспорт теста в\rMicrosoft Word. При большом количестве "
                                               "объектов эта операция может\rзанять несколько минут");
inline const QString TargetFilter = QStringLiteral("Документы Word (*.docx)");
}

class TExportWordCommand : public QObject {
    Q_OBJECT
public:
    // Owned by the main window; made at start-up, when the working folder is
    // the one whose "Шаблоны" the templates are looked for in first.
    explicit TExportWordCommand(TfrmMain &owner);

    void Execute();

    // The folders searched, in order.
    QStringList TemplateFolders;
    // The target dialog: the chosen path, empty when cancelled. The command asks before
    // replacing either file it writes.
    std::function<QString(const QString &dir, const QString &name)> TargetInput;
    // Shows a written document; the desktop's application unless QE_NO_OPEN=1.
    std::function<void(const QString &path)> OpenDocument;
    TfrmExportSettings *Settings() const { return m_settings; }
    // The two files the last export wrote, empty when it wrote none.
    const QStringList &LastWritten() const { return m_lastWritten; }

private:
    QString AskTarget(const QString &dir, const QString &name);

    TfrmMain &m_owner;
    TfrmExportSettings *m_settings;
    QStringList m_lastWritten;
};
