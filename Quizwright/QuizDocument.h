#pragma once
// The editor's document: file path, test name, modified flag, header, the
// question list and the update lock, with the file operations as plain calls.
// Nothing here shows a window: results come back as codes and message texts
// that the main window shows.
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "QeErrors.h"
#include "QuestionListModel.h"
#include "QuizEngineCommon.h"

namespace DocTexts {
inline const QString Untitled = QStringLiteral("без имени");
inline const QString EditorTitle = QStringLiteral("Редактор тестов");
inline const QString TestFileExtension = QStringLiteral(".qe2");
// The file dialogs' filter in Qt's form, and the extension the dialog adds to a bare name.
inline const QString FileFilter = QStringLiteral("Файлы тестов 2.0 (*.qe2);;Все файлы (*)");
inline const QString DialogDefaultSuffix = QStringLiteral("tst");

inline const QString TestPasswordLabel = QStringLiteral("Для редактирования этого теста необходимо ввести пароль");
inline const QString WrongPassword = QStringLiteral("Пароль не верен");
// Followed by "kind: text" of the failure.
inline const QString ReadQuestionsFailed = QStringLiteral("Ошибка чтения файла.\r\r");
inline const QString WriteFailed = QStringLiteral("Ошибка записи файла.");
// A failed read or save names the file and why, each on a line of its own.
inline const QString FileLine = QStringLiteral("Файл: ");
inline const QString ReasonLine = QStringLiteral("Причина: ");
inline const QString DamagedAt = QStringLiteral("файл повреждён: ошибка в данных до байта %1 (вопрос №%2 из %3).");
inline const QString DamagedAfterLast = QStringLiteral("файл повреждён: ошибка в данных до байта %1 (после последнего вопроса).");
inline const QString CutAt = QStringLiteral("файл повреждён: он обрывается на байте %1.");
inline const QString BusyWriting = QStringLiteral("файл сейчас записывает другая программа. Повторите позже.");
inline const QString OutOfMemory = QStringLiteral("недостаточно памяти.");
// Followed by the path.
inline const QString FileNotFound = QStringLiteral("Файл не найден: \r\r");
inline const QString AskSave = QStringLiteral("Тест изменен. Сохранить?");
inline const QString QuestionCaption = QStringLiteral("Внимание!");
inline const QString ClipboardKeep = QStringLiteral(
    "Буфер обмена содержит скопированные вопросы.\r\rВы хотите, чтобы эти данные были доступны после закрытия файла?");
inline const QString ClipboardFailed = QStringLiteral("Ошибка при работе с буфером обмена");
inline const QString FaultyQuestions = QStringLiteral(
    "В тесте присутствуют вопросы с ошибками.\rПроверьте вопросы, помеченные красным цветом.\r\r"
    "Возможные ошибки:\r - нет текста вопроса\r - один вариант ответа\r - нет отмеченных вариантов ответа\r\r"
    "Это предупреждение. Запрошенная операция выполнена");

// Status-bar texts (SInfo adds the leading space).
inline const QString StatusReading = QStringLiteral("Чтение файла..");
inline const QString StatusSaving = QStringLiteral("Сохранение файла..");
inline const QString StatusFreeing = QStringLiteral("Освобождение памяти..");
inline const QString StatusClipboard = QStringLiteral("Помещение вопросов в буфер обмена..");
// frmInfo while saving.
inline const QString SaveInfoCaption = QStringLiteral(" Сохранение..");
inline const QString SaveInfoText = QStringLiteral(
    "\rПроизводится сжатие и сохранение данных. При большом количестве объектов эта операция может занять несколько минут");
}

// text, then the file's path and the reason on lines of their own.
QString FileFailureText(const QString &text, const QString &path, const QString &reason);
// What an errno means for the teacher, in Russian, and what to do about it.
QString SystemErrorReason(int err);
// Why a file failed, from the error that ended the work and the system's
// error number behind it (SafeFile::LastError), 0 when there is none.
QString FailureReason(const EQuizError &e, int sysError);

// Recent files: newest first, no duplicates (exact text), at most Max entries.
class TRecentFiles {
public:
    static constexpr int Max = 4;
    // Puts path first (moving it there when already listed); empty paths are ignored.
    void add(const QString &path);
    void remove(const QString &path);
    void clear() { m_items.clear(); }
    const QStringList &items() const { return m_items; }
    int count() const { return int(m_items.size()); }
    bool contains(const QString &path) const { return m_items.contains(path); }
private:
    QStringList m_items;
};

// What CheckTest found. The warning's text is fixed (DocTexts::FaultyQuestions);
// the rows and counts are for the window's own use (e.g. focusing the first).
struct TTestCheck {
    bool Passed = true;        // no question carries the bad-state mark
    int FirstBadRow = -1;
    QList<int> BadRows;
    int NoText = 0, OneVariant = 0, NoMarkedVariant = 0;
    explicit operator bool() const { return Passed; }
};

struct TOpenResult {
    enum TStatus {
        Opened,             // read; named and clean
        EmptyTest,          // QuestionCount 0: untitled, clean, the file's settings; counts as failed
        HeaderFailed,       // ReadTestHeader codes 1..4 (4 also when the file cannot be opened)
        PasswordCancelled,  // no message
        WrongPassword,
        QuestionsFailed,    // a question record could not be read
        FileNotFound,       // OpenRecentFile only
        AlreadyCurrent,     // OpenRecentFile only: the current file; nothing happens
    };
    TStatus Status = HeaderFailed;
    int HeaderCode = hrReadError;
    // The exact text for the standard error dialog; empty when nothing is shown.
    QString Message;
    int QuestionsRead = 0;  // records read before a failure
    bool ok() const { return Status == Opened; }
    // Whether the document was replaced (Opened, EmptyTest, and QuestionsFailed
    // when the partial questions were taken).
    bool Replaced = false;
};

struct TReadOptions {
    // Returns the typed test password, or nothing when the dialog was cancelled.
    // Called only for a test with a password.
    std::function<std::optional<QString>()> AskPassword;
    // Called once the header and password passed and the questions follow
    // (the window creates its progress bar here).
    std::function<void()> ReadingQuestions;
    // After each question: the integer nearest to i * 100 / n.
    TProgress Progress;
    // A failure inside the question records leaves the old document as it was.
    // When set, the document instead becomes an untitled, clean test holding
    // the questions read before the failure.
    bool TakePartialQuestions = false;
};

struct TSaveResult {
    bool Ok = false;
    QString Path;     // the path written (extension made ".qe2")
    // The exact text for the standard error dialog ("Ошибка записи файла.") and
    // the failure's "kind: text" behind it; empty on success.
    QString Message;
    QString Detail;
};

class TQuizDocument;

// Holds the update lock of a document for its own lifetime.
class TUpdateLockGuard {
public:
    explicit TUpdateLockGuard(TQuizDocument &doc);
    ~TUpdateLockGuard();
    TUpdateLockGuard(const TUpdateLockGuard &) = delete;
    TUpdateLockGuard &operator=(const TUpdateLockGuard &) = delete;
private:
    TQuizDocument &m_doc;
};

class TQuizDocument : public QObject {
    Q_OBJECT
public:
    explicit TQuizDocument(QObject *parent = nullptr);
    ~TQuizDocument() override;

    // ---- state ----
    // Full path of the file, or "без имени" while untitled.
    const QString &path() const { return m_path; }
    bool isUntitled() const { return m_path == DocTexts::Untitled; }
    // Exact text comparison, as the recent-files list uses it.
    bool isCurrentFile(const QString &path) const { return !isUntitled() && path == m_path; }
    const QString &testName() const { return m_testName; }
    bool isModified() const { return m_modified; }
    TTestInfo &header() { return m_header; }
    const TTestInfo &header() const { return m_header; }
    TQuestionListModel *model() const { return m_model; }
    int questionCount() const { return m_model->count(); }

    // "<test name> (<count>)[*] - Редактор тестов": the window caption and application title.
    QString caption() const;

    // Does nothing under the update lock or when the flag already has the value;
    // otherwise stores it and emits propChanged().
    void SetModified(bool value);

    // ---- update lock ----
    void lock() { ++m_lock; }
    void unlock() { if (m_lock > 0) --m_lock; }   // never below 0
    bool isLocked() const { return m_lock > 0; }
    int lockCount() const { return m_lock; }

    // ---- directories and recent files (kept in memory) ----
    const QString &openDirectory() const { return m_openDir; }
    void setOpenDirectory(const QString &dir) { m_openDir = dir; }
    const QString &saveDirectory() const { return m_saveDir; }
    void setSaveDirectory(const QString &dir) { m_saveDir = dir; }
    TRecentFiles &recentFiles() { return m_recent; }
    const TRecentFiles &recentFiles() const { return m_recent; }

    // ---- document operations ----
    // An empty, untitled, clean test. The header's settings get their new-test
    // values; QuestionCount, IQCount and the reserved bytes keep theirs.
    // (The clipboard question before it is the window's.)
    void NewTest();
    void newTest() { NewTest(); }

    // Reads a test file into new objects and swaps them in only when it is read
    // (see TOpenResult / TReadOptions for every outcome). Every read question
    // gets CheckBadState. On success: path := absolute path, test name := file
    // name without directory and extension, clean. The directories and the
    // recent-files list are not touched.
    TOpenResult ReadTestFromFile(const QString &path, const TReadOptions &options = {});
    // The open command after its dialog: ReadTestFromFile, then on success the
    // open directory and the recent-files list.
    TOpenResult OpenFile(const QString &path, const TReadOptions &options = {});
    // A recent-files entry (after the window's CheckSaved): AlreadyCurrent for the
    // current file (call isCurrentFile before CheckSaved), FileNotFound with its
    // message for a missing file, else ReadTestFromFile and on success the open
    // directory. The list itself is left as it is.
    TOpenResult OpenRecentFile(const QString &path, const TReadOptions &options = {});

    // Writes the document through the library's safe save: the extension made
    // ".qe2", Version 11, QuestionCount, IQCount, reserved bytes zero. On success:
    // clean, path := the written path. On failure nothing changes (the old file
    // stays, the flag stays set). The caller flushes the editors first
    // (UpdateData) and runs CheckTest afterwards, in either case.
    TSaveResult SaveTestToFile(const QString &path, const TProgress &progress = {});
    // Save under a new name: SaveTestToFile, then test name := the written path
    // without extension, save directory := its directory, the path added to the
    // recent-files list.
    TSaveResult SaveTestAs(const QString &path, const TProgress &progress = {});

    // A recovery copy just read stands for the test at originalPath (untitled
    // when empty) named name: modified, so that closing asks and a save
    // writes the original, not the copy.
    void AdoptRecovered(const QString &originalPath, const QString &name);

    TTestCheck CheckTest() const;
    // Sets IQCount to the number of questions without variants; returns it.
    quint32 CalcIQCount();

    // ".qe2" replacing the file name's extension (appended when it has none).
    static QString WithTestExtension(const QString &path);
    // The path without its file name's extension.
    static QString WithoutExtension(const QString &path);

Q_SIGNALS:
    // Caption-relevant state changed: name, path, modified flag, question count.
    void propChanged();
    // The questions were replaced as a whole (new test, open): nothing is focused.
    void documentReplaced();

private:
    void onCountChanged();
    void replaceDocument(const TTestInfo &header, std::vector<TNodeRecord> records);

    TQuestionListModel *m_model;
    QString m_path;
    QString m_testName;
    bool m_modified = false;
    TTestInfo m_header;
    int m_lock = 0;
    QString m_openDir, m_saveDir;
    TRecentFiles m_recent;
};
