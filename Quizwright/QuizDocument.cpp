#include "QuizDocument.h"

#include "FileLocks.h"
#include "SafeFile.h"
#include "TestFileFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <new>

QString FileFailureText(const QString &text, const QString &path, const QString &reason)
{
    QString out = text + QStringLiteral("\r\r") + DocTexts::FileLine + QDir::toNativeSeparators(path);
    if (!reason.isEmpty())
        out += u'\r' + DocTexts::ReasonLine + reason;
    return out;
}

QString SystemErrorReason(int err)
{
    switch (err) {
    case ENOSPC: return QStringLiteral("на диске нет свободного места. Освободите место или сохраните тест на другой диск.");
    case EDQUOT: return QStringLiteral("исчерпана дисковая квота. Удалите ненужные файлы или сохраните тест в другое место.");
    case EACCES:
    case EPERM: return QStringLiteral("нет прав на доступ к файлу или папке. Выберите другую папку или обратитесь к администратору.");
    case EROFS: return QStringLiteral("диск доступен только для чтения. Сохраните тест в другое место.");
    case ENOENT: return QStringLiteral("файл или папка не найдены.");
    case ENOTDIR: return QStringLiteral("часть пути не является папкой.");
    case EISDIR: return QStringLiteral("по этому пути находится папка, а не файл.");
    case ENAMETOOLONG: return QStringLiteral("слишком длинное имя файла.");
    case EIO: return QStringLiteral("ошибка ввода-вывода: диск повреждён или отключён.");
    case EMFILE:
    case ENFILE: return QStringLiteral("открыто слишком много файлов. Закройте другие программы и повторите.");
    case EBUSY:
    case ETXTBSY:
    case EAGAIN: return DocTexts::BusyWriting;
    case ESTALE:
    case ENOTCONN:
    case EHOSTDOWN:
    case ETIMEDOUT: return QStringLiteral("сетевая папка недоступна. Проверьте подключение к сети.");
    case ENOMEM: return DocTexts::OutOfMemory;
    case 0: return QString();
    default: return QStringLiteral("системная ошибка %1 (%2).").arg(err).arg(QString::fromLocal8Bit(strerror(err)));
    }
}

QString FailureReason(const EQuizError &e, int sysError)
{
    const bool fileError = e.kind() == QLatin1String("EWriteError") || e.kind() == QLatin1String("EFOpenError");
    if (fileError && sysError != 0)
        return SystemErrorReason(sysError);
    if (e.kind() == QLatin1String("ERangeError"))
        return QStringLiteral("тест нельзя сохранить: ") + e.text() + u'.';
    return e.message();
}

namespace {
// The header table's message; a read failure also names the file and why.
QString HeaderMessage(int code, const QFile &f, const QString &path)
{
    if (code != hrReadError)
        return HeaderResultMessage(code);
    const QString reason = f.error() != QFileDevice::NoError && f.error() != QFileDevice::UnspecifiedError
                               ? SystemErrorReason(EIO) : DocTexts::CutAt.arg(f.size());
    return FileFailureText(HeaderResultMessage(code), path, reason);
}

// Why a test file cannot be opened for reading, as far as can be found out.
QString OpenFailureReason(const QString &path, int err)
{
    const QFileInfo fi(path);
    if (!fi.exists())
        return SystemErrorReason(ENOENT);
    if (fi.isDir())
        return SystemErrorReason(EISDIR);
    if (!fi.isFile())
        return QStringLiteral("это не обычный файл.");
    if (!fi.isReadable())
        return SystemErrorReason(EACCES);
    // A file that can be opened and is still refused: a writer holds its lock
    // (the reader's retries leave errno to chance).
    QFile probe(path);
    if (probe.open(QIODevice::ReadOnly) && !FileLocks::TryLockShared(probe))
        return DocTexts::BusyWriting;
    probe.close();
    return err == 0 || err == ENOENT || err == EAGAIN ? DocTexts::BusyWriting : SystemErrorReason(err);
}

QString LoadFailureReason(const TTestLoadResult &lr, const QFile &f, quint32 count)
{
    if (f.error() != QFileDevice::NoError && f.error() != QFileDevice::UnspecifiedError)
        return SystemErrorReason(EIO);
    if (lr.ErrorKind == QLatin1String("EOutOfMemory"))
        return DocTexts::OutOfMemory;
    // As far as the decompressor had read: the damage lies before it.
    const qint64 at = f.pos();
    if (lr.ErrorKind == QLatin1String("EReadError") && at >= f.size())
        return DocTexts::CutAt.arg(f.size());
    if (lr.ErrorQuestion < 0 || quint32(lr.ErrorQuestion) >= count)
        return DocTexts::DamagedAfterLast.arg(at);
    return DocTexts::DamagedAt.arg(at).arg(lr.ErrorQuestion + 1).arg(count);
}
}  // namespace

void TRecentFiles::add(const QString &path)
{
    if (path.isEmpty())
        return;
    m_items.removeAll(path);
    m_items.prepend(path);
    while (m_items.size() > Max)
        m_items.removeLast();
}

void TRecentFiles::remove(const QString &path) { m_items.removeAll(path); }

TUpdateLockGuard::TUpdateLockGuard(TQuizDocument &doc) : m_doc(doc) { m_doc.lock(); }

TUpdateLockGuard::~TUpdateLockGuard() { m_doc.unlock(); }

TQuizDocument::TQuizDocument(QObject *parent)
    : QObject(parent), m_model(new TQuestionListModel(this)),
      m_path(DocTexts::Untitled), m_testName(DocTexts::Untitled),
      m_header(TTestInfo::NewTestValues())
{
    // The caption shows the question count, which changes without SetModified
    // when the test is already modified.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, &TQuizDocument::onCountChanged);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &TQuizDocument::onCountChanged);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TQuizDocument::onCountChanged);
}

TQuizDocument::~TQuizDocument() = default;

void TQuizDocument::onCountChanged()
{
    if (!isLocked())
        Q_EMIT propChanged();
}

QString TQuizDocument::caption() const
{
    return m_testName + QStringLiteral(" (") + QString::number(questionCount()) + QLatin1Char(')')
        + (m_modified ? QStringLiteral("*") : QString()) + QStringLiteral(" - ") + DocTexts::EditorTitle;
}

void TQuizDocument::SetModified(bool value)
{
    if (isLocked() || m_modified == value)
        return;
    m_modified = value;
    Q_EMIT propChanged();
}

void TQuizDocument::NewTest()
{
    {
        TUpdateLockGuard guard(*this);
        m_path = DocTexts::Untitled;
        m_testName = DocTexts::Untitled;
        const TTestInfo fresh = TTestInfo::NewTestValues();
        m_header.Options = fresh.Options;
        m_header.Password.clear();
        m_header.RandomCount = fresh.RandomCount;
        m_header.TimeLimit = fresh.TimeLimit;
        m_header.ReservedWord = fresh.ReservedWord;
        m_header.Version = fresh.Version;
        m_header.Zoom = fresh.Zoom;
        m_header.QWidth = fresh.QWidth;
        m_header.QHeight = fresh.QHeight;
        m_header.QScrollBars = fresh.QScrollBars;
        m_model->clear();
    }
    m_modified = false;
    Q_EMIT documentReplaced();
    Q_EMIT propChanged();
}

void TQuizDocument::replaceDocument(const TTestInfo &header, std::vector<TNodeRecord> records)
{
    {
        TUpdateLockGuard guard(*this);
        m_header = header;
        m_model->replaceAll(std::move(records));
    }
    m_modified = false;
}

TOpenResult TQuizDocument::ReadTestFromFile(const QString &path, const TReadOptions &options)
{
    TOpenResult r;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QFile f(absolute);
    errno = 0;
    if (!FileLocks::OpenSharedRead(f)) {
        const int err = errno;
        r.Status = TOpenResult::HeaderFailed;
        r.HeaderCode = hrReadError;
        r.Message = FileFailureText(HeaderResultMessage(hrReadError), absolute, OpenFailureReason(absolute, err));
        return r;
    }
    struct TUnlock {
        QFile &f;
        ~TUnlock() { FileLocks::Unlock(f); }
    } unlock{f};

    TTestInfo probe = TTestInfo::StartingValues();
    r.HeaderCode = ReadTestHeader(f, probe);
    if (r.HeaderCode != hrOk) {
        r.Status = TOpenResult::HeaderFailed;
        r.Message = HeaderMessage(r.HeaderCode, f, absolute);
        return r;
    }
    if (!probe.Password.isEmpty()) {
        const std::optional<QString> typed = options.AskPassword ? options.AskPassword() : std::nullopt;
        if (!typed) {
            r.Status = TOpenResult::PasswordCancelled;
            return r;
        }
        if (*typed != probe.Password) {
            r.Status = TOpenResult::WrongPassword;
            r.Message = DocTexts::WrongPassword;
            return r;
        }
    }
    if (options.ReadingQuestions)
        options.ReadingQuestions();

    // The whole file again through the library's reader: same lock, same bytes.
    TTestInfo header = TTestInfo::StartingValues();
    TQuestionList read;
    TTestLoadResult lr;
    if (!f.seek(0)) {
        lr.HeaderCode = hrReadError;
    } else {
        lr = LoadTestFromDevice(f, header, read, options.Progress);
    }
    if (lr.HeaderCode != hrOk) {
        r.Status = TOpenResult::HeaderFailed;
        r.HeaderCode = lr.HeaderCode;
        r.Message = HeaderMessage(lr.HeaderCode, f, absolute);
        return r;
    }

    std::vector<TNodeRecord> records;
    try {
        records.reserve(read.size());
        for (TQuestionPtr &q : read) {
            TNodeRecord rec{std::make_unique<TNQuestion>(std::move(*q)), 0};
            q.reset();
            TQuestionListModel::CheckBadState(rec);
            records.push_back(std::move(rec));
        }
    } catch (const std::bad_alloc &) {
        lr.Ok = false;
        lr.ErrorKind = QStringLiteral("EOutOfMemory");
        lr.ErrorText = QStringLiteral("Out of memory");
    }
    r.QuestionsRead = int(records.size());

    if (!lr.Ok) {
        r.Status = TOpenResult::QuestionsFailed;
        r.Message = FileFailureText(DocTexts::ReadQuestionsFailed + lr.ErrorKind + QStringLiteral(": ") + lr.ErrorText,
                                    absolute, LoadFailureReason(lr, f, header.QuestionCount));
        if (options.TakePartialQuestions) {
            replaceDocument(header, std::move(records));
            m_path = m_testName = DocTexts::Untitled;
            r.Replaced = true;
            Q_EMIT documentReplaced();
            Q_EMIT propChanged();
        }
        return r;
    }

    replaceDocument(header, std::move(records));
    r.Replaced = true;
    if (header.QuestionCount == 0) {
        // Nothing to read: an untitled test with the file's settings.
        m_path = m_testName = DocTexts::Untitled;
        r.Status = TOpenResult::EmptyTest;
    } else {
        m_path = absolute;
        m_testName = QFileInfo(absolute).completeBaseName();
        r.Status = TOpenResult::Opened;
    }
    Q_EMIT documentReplaced();
    Q_EMIT propChanged();
    return r;
}

TOpenResult TQuizDocument::OpenFile(const QString &path, const TReadOptions &options)
{
    TOpenResult r = ReadTestFromFile(path, options);
    if (r.ok()) {
        m_openDir = QFileInfo(m_path).absolutePath();
        m_recent.add(m_path);
    }
    return r;
}

TOpenResult TQuizDocument::OpenRecentFile(const QString &path, const TReadOptions &options)
{
    TOpenResult r;
    if (isCurrentFile(path)) {
        r.Status = TOpenResult::AlreadyCurrent;
        return r;
    }
    if (!QFileInfo::exists(path)) {
        r.Status = TOpenResult::FileNotFound;
        r.Message = DocTexts::FileNotFound + path;
        return r;
    }
    r = ReadTestFromFile(path, options);
    if (r.ok())
        m_openDir = QFileInfo(m_path).absolutePath();
    return r;
}

TSaveResult TQuizDocument::SaveTestToFile(const QString &path, const TProgress &progress)
{
    TSaveResult r;
    r.Path = WithTestExtension(QFileInfo(path).absoluteFilePath());
    // Work on a copy: a failed save leaves the header as it was.
    TTestInfo info = m_header;
    info.Version = TestFileFormat::CurrentVersion;
    try {
        ::SaveTestToFile(r.Path, info, m_model->questionList(), progress);
    } catch (const EQuizError &e) {
        r.Message = FileFailureText(DocTexts::WriteFailed, r.Path, FailureReason(e, SafeFile::LastError()));
        r.Detail = e.message();
        return r;
    } catch (const std::bad_alloc &) {
        r.Message = FileFailureText(DocTexts::WriteFailed, r.Path, DocTexts::OutOfMemory);
        r.Detail = QStringLiteral("EOutOfMemory: Out of memory");
        return r;
    }
    m_header = info;
    m_path = r.Path;
    m_modified = false;
    r.Ok = true;
    Q_EMIT propChanged();
    return r;
}

TSaveResult TQuizDocument::SaveTestAs(const QString &path, const TProgress &progress)
{
    TSaveResult r = SaveTestToFile(path, progress);
    if (!r.Ok)
        return r;
    m_testName = WithoutExtension(r.Path);
    m_saveDir = QFileInfo(r.Path).absolutePath();
    m_recent.add(r.Path);
    Q_EMIT propChanged();
    return r;
}

void TQuizDocument::AdoptRecovered(const QString &originalPath, const QString &name)
{
    m_path = originalPath.isEmpty() ? DocTexts::Untitled : originalPath;
    m_testName = originalPath.isEmpty() || name.isEmpty() ? DocTexts::Untitled : name;
    m_modified = true;
    Q_EMIT propChanged();
}

TTestCheck TQuizDocument::CheckTest() const
{
    TTestCheck c;
    for (int i = 0; i < m_model->count(); ++i) {
        const TNodeRecord &rec = m_model->record(i);
        if (!rec.isBad())
            continue;
        c.Passed = false;
        if (c.FirstBadRow < 0)
            c.FirstBadRow = i;
        c.BadRows.append(i);
        switch (TQuestionListModel::FaultOf(*rec.Question)) {
        case TQuestionFault::NoText: ++c.NoText; break;
        case TQuestionFault::OneVariant: ++c.OneVariant; break;
        case TQuestionFault::NoMarkedVariant: ++c.NoMarkedVariant; break;
        case TQuestionFault::None: break;  // marked, but edited since the last check
        }
    }
    return c;
}

quint32 TQuizDocument::CalcIQCount()
{
    m_header.IQCount = ::CalcIQCount(m_model->questionList());
    return m_header.IQCount;
}

namespace {
// Where the file name's extension starts, or -1. A leading dot names a hidden
// file, not an extension.
qsizetype extensionStart(const QString &path)
{
    const qsizetype nameStart = path.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > nameStart ? dot : -1;
}
}

QString TQuizDocument::WithTestExtension(const QString &path)
{
    return WithoutExtension(path) + DocTexts::TestFileExtension;
}

QString TQuizDocument::WithoutExtension(const QString &path)
{
    const qsizetype dot = extensionStart(path);
    return dot < 0 ? path : path.left(dot);
}
