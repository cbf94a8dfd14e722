#pragma once
// File → import and export of questions in the exchange formats of learning
// platforms. An import appends to the test as one step that the list's undo
// takes back while the list is as the import left it.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

#include "QuizEngineCommon.h"

class QAction;
class TfrmMain;
struct TNodeRecord;

namespace InterchangeTexts {
inline const QString ImportCaption = QStringLiteral("Импорт вопросов...");
inline const QString ExportCaption = QStringLiteral("Экспорт вопросов...");
inline const QString ImportTitle = QStringLiteral("Импорт вопросов");
inline const QString ExportTitle = QStringLiteral("Экспорт вопросов");
inline const QString ImportFilter = QStringLiteral(
    "Файлы вопросов (*.gift *.txt *.xml);;GIFT (*.gift *.txt);;Aiken (*.txt);;Moodle XML (*.xml);;Все файлы (*)");
inline const QString ExportFilter = QStringLiteral("GIFT (*.gift);;Aiken (*.txt);;Moodle XML (*.xml)");
// Followed by the reader's message.
inline const QString ReadFailed = QStringLiteral("Ошибка чтения файла.\r\r");
inline const QString UnknownFormat = QStringLiteral("Не удалось определить формат файла. Выберите формат в списке типов файлов.");
inline const QString NothingImported = QStringLiteral("В файле нет вопросов, которые можно добавить в тест.");
inline const QString ImportedReport = QStringLiteral("Добавлено вопросов: %1.\rПропущено или изменено:\r\r");
inline const QString ExportedReport = QStringLiteral("Записано в файл: %1.\rНе перенесено или изменено:\r\r");
inline const QString EmptyTest = QStringLiteral("В тесте нет вопросов.");
inline const QString UndoRefused = QStringLiteral("Вопросы изменены после импорта: отменить импорт уже нельзя.");
inline constexpr int MaxReportLines = 40;
}

class TInterchangeCommands : public QObject {
    Q_OBJECT
public:
    // Made by the main window at start-up; puts both commands on the File menu.
    explicit TInterchangeCommands(TfrmMain &owner);

    void Import();
    void Export();
    // The last import can be taken back: its rows are where it put them.
    bool CanUndoImport() const;
    // Removes the questions of the last import and restores the modified flag;
    // false when there is nothing to take back.
    bool UndoImport();

    // File dialog: the chosen path and the chosen filter, empty when cancelled.
    std::function<QString(bool save, const QString &dir, QString &selectedFilter)> FileInput;
    QAction *ImportAction() const { return m_import; }
    QAction *ExportAction() const { return m_export; }

private:
    void ImportFile();
    QString AskFile(bool save, const QString &dir, QString &selectedFilter);
    QByteArray ListDigest() const;
    void Forget();

    TfrmMain &m_owner;
    QAction *m_import;
    QAction *m_export;
    // The last import: its rows, the list as it left it, and the flag before it.
    struct TLastImport {
        bool Valid = false;
        int First = 0;
        QList<const TNodeRecord *> Records;
        QByteArray Digest;
        // The settings as the import found them: changed since, the test is not
        // what was saved, whatever the flag before the import said.
        TTestInfo Header;
        bool WasModified = false;
        int FocusBefore = -1;
    } m_last;
};
