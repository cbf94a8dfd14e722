#pragma once
// Export to a standalone test program: a copy of the player carrying the saved
// test file as the resources "TEST" and "TEST_FILE_NAME". Plain calls that show
// no window; failures come back as the texts the main window shows.
#include <QByteArray>
#include <QString>

namespace ExportTexts {
inline const QString PlayerFileName = QStringLiteral("Quizrunner");
inline const QString TestResource = QStringLiteral("TEST");
inline const QString TestNameResource = QStringLiteral("TEST_FILE_NAME");

inline const QString EmptyTest = QStringLiteral("Тест пустой");
// Followed by the bare file name of the player.
inline const QString FileNotFound = QStringLiteral("Файл не найден: ");
inline const QString AskSave =
    QStringLiteral("Для экспорта в exe-файл необходимо сохранить тест.\r\rСохранить сейчас?");
inline const QString InfoCaption = QStringLiteral("Экспорт..");
inline const QString InfoText = QStringLiteral(
    "\rПроизводится экспорт теста в exe-файл.\rПри большом количестве объектов эта операция может занять несколько минут");
inline const QString TargetFilter = QStringLiteral("Все файлы (*)");

inline const QString CopyFailed = QStringLiteral("Ошибка копирования:\rиз %1\rв %2");
inline const QString OpenFailed = QStringLiteral("Ошибка CreateFile: ");
inline const QString MappingFailed = QStringLiteral("Ошибка CreateFileMapping");
inline const QString ViewFailed = QStringLiteral("Ошибка MapViewOfFile");
inline const QString UpdateFailed = QStringLiteral("Ошибка EndUpdateResource");
}

namespace ExportExe {
// The player beside the editor: programDir, a separator and its file name.
QString PlayerPath(const QString &programDir);

// "TEST_FILE_NAME": the path in Windows-1251 and one zero byte.
QByteArray TestNameResource(const QString &testFile);

struct TExportResult {
    bool Ok = false;
    QString Message;  // the error box's text; empty on success
    QString Detail;   // why, for a log or a test; not shown
};

// Writes target as a copy of player with the test file's bytes and its path as
// resources; a player that already carries them gets them replaced. The copy
// keeps the player's permission bits. The program is built beside target and
// renamed into place when complete: on failure target is as it was before and
// nothing else is left behind.
TExportResult WriteProgram(const QString &player, const QString &testFile, const QString &target);
}
