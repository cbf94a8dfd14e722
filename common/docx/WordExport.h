#pragma once
// The export of a test to two word-processor documents, a paper test and its
// answer key, freshly shuffled each time. Plain calls: the editor's window and
// qe2tool both drive it, and it never shows a window itself.
#include <QString>
#include <QStringList>
#include <functional>

#include "QuizEngineCommon.h"

namespace Docx {

inline const QString kMsgEmptyTest = QStringLiteral("Тест пустой");
inline const QString kMsgNoTemplates = QStringLiteral("Файлы шаблонов не найдены:\r\r");
inline const QString kMsgCreateFailed = QStringLiteral("Ошибка создания документа Word.");
inline const QString kMsgStylesMissing = QStringLiteral("Ошибка при получении требуемых стилей. Неверный шаблон?");
inline const QString kMsgWordFailed = QStringLiteral("Ошибка при работе с Microsoft Word");
inline const QString kMsgBodyUnreadable = QStringLiteral("Ошибка чтения текста вопроса");

inline const QString kStyleQuestionHeading = QStringLiteral("СТ: Заголовок вопроса");
inline const QString kStyleQuestionText = QStringLiteral("СТ: Текст вопроса");
inline const QString kStyleVariantsHeading = QStringLiteral("СТ: Заголовок вариантов");
inline const QString kStyleVariants = QStringLiteral("СТ: Варианты ответов");
inline const QString kStyleNormal = QStringLiteral("Обычный");
inline const QString kStyleKey = QStringLiteral("СТ: Правильные варианты ответов");

inline const QString kTemplatesFolder = QStringLiteral("Шаблоны");
inline const QString kKeySuffix = QStringLiteral(" (ответы).docx");

struct TWordExportSettings {
    QString templatePath;
    bool formatQuestionText = false;
    bool includeAnswers = true;
    bool numVariants = true;
};

struct TWordExportResult {
    quint32 identifier = 0;     // the number in both footers
    int questionCount = 0;      // questions in both documents
    bool testWritten = false;
    bool keyWritten = false;
};

// "А" for the first variant (j = 0) up to "Й" for the tenth: Windows-1251 0xC0 + j.
QString VariantLetter(int j);
// "Идентификатор теста: N".
QString IdentifierLine(quint32 identifier);
// The answer key's file beside the test document: the name without ".docx" + " (ответы).docx".
QString KeyPathFor(const QString &testPath);
// The *.dotx files of the folders, hidden ones skipped: the first folder's by
// name, then the next folder's; a name found in an earlier folder hides the
// same name in a later one. Full paths.
QStringList FindTemplates(const QStringList &folders);

// Shuffles copies of the questions (the list itself is not touched), draws the
// identifier and writes both documents, each through a temporary file. Every
// problem goes to error() in the order it happens; the export carries on where
// it can. An empty list only reports "Тест пустой". The shuffles' own messages
// go to error() too (their reporter is set for the call and cleared after it).
TWordExportResult ExportToWord(const TTestInfo &info, const TQuestionList &questions,
                               const TWordExportSettings &settings, const QString &testPath,
                               const QString &keyPath, const std::function<void(const QString &)> &error);

} // namespace Docx
