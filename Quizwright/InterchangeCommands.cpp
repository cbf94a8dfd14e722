#include "InterchangeCommands.h"

#include <QAction>
#include <QBuffer>
#include <QCryptographicHash>
#include <cerrno>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QListView>
#include <QMenu>

#include "Interchange.h"
#include "MessageBoxes.h"
#include "QuestionListModel.h"
#include "QuizDocument.h"
#include "SafeFile.h"
#include "StreamIO.h"
#include "SaveTargetDialog.h"
#include "fMain.h"
#include "ui_fMain.h"

namespace {

Interchange::TFormat FormatOfFilter(const QString &filter)
{
    if (filter.startsWith(QLatin1String("GIFT")))
        return Interchange::TFormat::Gift;
    if (filter.startsWith(QLatin1String("Aiken")))
        return Interchange::TFormat::Aiken;
    if (filter.startsWith(QLatin1String("Moodle")))
        return Interchange::TFormat::Moodle;
    return Interchange::TFormat::Unknown;
}

QString ReportText(const Interchange::TReport &report)
{
    QStringList lines = report.Lines.mid(0, InterchangeTexts::MaxReportLines);
    if (report.Lines.size() > InterchangeTexts::MaxReportLines)
        lines << QStringLiteral("… и ещё %1").arg(report.Lines.size() - InterchangeTexts::MaxReportLines);
    return lines.join(QLatin1Char('\r'));
}

// The counts are worked out at each save, and the settings dialog counts again.
bool SameSettings(TTestInfo a, TTestInfo b)
{
    a.QuestionCount = b.QuestionCount = 0;
    a.IQCount = b.IQCount = 0;
    return a == b;
}

} // namespace

TInterchangeCommands::TInterchangeCommands(TfrmMain &owner)
    : QObject(&owner), m_owner(owner)
{
    setObjectName(QStringLiteral("InterchangeCommands"));
    m_import = new QAction(InterchangeTexts::ImportCaption, &owner);
    m_import->setObjectName(QStringLiteral("actFileImportQuestions"));
    m_export = new QAction(InterchangeTexts::ExportCaption, &owner);
    m_export->setObjectName(QStringLiteral("actFileExportQuestions"));
    // Beside the other exports, on the File menu.
    owner.ui->mnuFile->insertActions(owner.ui->actFileExportExe, {m_import, m_export});
    owner.ui->mnuFile->insertSeparator(owner.ui->actFileExportExe);
    connect(m_import, &QAction::triggered, this, &TInterchangeCommands::Import);
    connect(m_export, &QAction::triggered, this, &TInterchangeCommands::Export);
    connect(owner.Document(), &TQuizDocument::documentReplaced, this, &TInterchangeCommands::Forget);
    // Saved after the import: without the import the test differs from its file.
    connect(owner.Document(), &TQuizDocument::propChanged, this, [this] {
        if (m_last.Valid && !m_owner.Document()->isModified())
            m_last.WasModified = true;
    });
    FileInput = [this](bool save, const QString &dir, QString &filter) { return AskFile(save, dir, filter); };
}

QString TInterchangeCommands::AskFile(bool save, const QString &dir, QString &selectedFilter)
{
    QFileDialog dlg(&m_owner, save ? InterchangeTexts::ExportTitle : InterchangeTexts::ImportTitle);
    dlg.setObjectName(save ? QStringLiteral("ExportQuestionsDialog") : QStringLiteral("ImportQuestionsDialog"));
    dlg.setNameFilter(save ? InterchangeTexts::ExportFilter : InterchangeTexts::ImportFilter);
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Export asks about the file it writes, extension added.
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!dir.isEmpty())
        dlg.setDirectory(dir);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    selectedFilter = dlg.selectedNameFilter();
    return dlg.selectedFiles().constFirst();
}

void TInterchangeCommands::Import()
{
    // Everything that may run out of memory happens before the test changes.
    try {
        ImportFile();
    } catch (const std::bad_alloc &) {
        m_owner.CursorDefault();
        m_owner.ShowMsg(InterchangeTexts::ReadFailed + OutOfMemoryText);
    }
}

void TInterchangeCommands::ImportFile()
{
    TQuizDocument &doc = *m_owner.Document();
    m_owner.UpdateData();
    QString filter;
    const QString path = FileInput ? FileInput(false, doc.openDirectory(), filter) : QString();
    if (path.isEmpty())
        return;
    QFile f(path);
    if (QFileInfo(path).size() > Interchange::kMaxInputBytes) {
        m_owner.ShowMsg(InterchangeTexts::ReadFailed + QStringLiteral("Файл слишком велик: больше %1 байт.").arg(Interchange::kMaxInputBytes));
        return;
    }
    errno = 0;
    if (!f.open(QIODevice::ReadOnly)) {
        m_owner.ShowMsg(FileFailureText(HeaderResultMessage(hrReadError), path, SystemErrorReason(errno ? errno : EACCES)));
        return;
    }
    const QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        m_owner.ShowMsg(FileFailureText(HeaderResultMessage(hrReadError), path, SystemErrorReason(EIO)));
        return;
    }
    Interchange::TFormat format = FormatOfFilter(filter);
    if (format == Interchange::TFormat::Unknown)
        format = Interchange::GuessFormat(data);
    if (format == Interchange::TFormat::Unknown) {
        m_owner.ShowMsg(InterchangeTexts::UnknownFormat);
        return;
    }
    m_owner.CursorWait();
    Interchange::TImportResult r = Interchange::ImportQuestions(data, format);
    m_owner.CursorDefault();
    if (!r.Ok) {
        m_owner.ShowMsg(InterchangeTexts::ReadFailed + r.Error);
        return;
    }
    if (r.Questions.empty()) {
        m_owner.ShowMsg2(InterchangeTexts::ImportTitle,
                         InterchangeTexts::NothingImported + (r.Report.isEmpty() ? QString() : QStringLiteral("\r\r") + ReportText(r.Report)),
                         QMessageBox::Ok, QMessageBox::Warning);
        return;
    }

    if (!m_owner.RoomForQuestions(qsizetype(r.Questions.size())))
        return;
    TQuestionListModel &model = *m_owner.Model();
    TLastImport last;
    last.WasModified = doc.isModified();
    last.Header = doc.header();
    last.FocusBefore = m_owner.CurrentRow();
    last.First = model.count();
    std::vector<TNodeRecord> records;
    records.reserve(r.Questions.size());
    for (auto &q : r.Questions) {
        TNodeRecord rec;
        rec.Question = std::make_unique<TNQuestion>(std::move(*q));
        TQuestionListModel::CheckBadState(rec);
        records.push_back(std::move(rec));
    }
    model.insertRecords(last.First, std::move(records));
    for (int i = last.First; i < model.count(); ++i)
        last.Records << &model.record(i);
    m_owner.SetModified(true);
    m_owner.TestPropChanged();
    m_owner.FocusRow(last.First);
    last.Digest = ListDigest();
    last.Valid = true;
    m_last = last;
    m_owner.ButtonsState();
    if (!r.Report.isEmpty())
        m_owner.ShowMsg2(InterchangeTexts::ImportTitle,
                         InterchangeTexts::ImportedReport.arg(r.Questions.size()) + ReportText(r.Report),
                         QMessageBox::Ok, QMessageBox::Information);
}

void TInterchangeCommands::Export()
{
    TQuizDocument &doc = *m_owner.Document();
    m_owner.UpdateData();
    if (doc.questionCount() == 0) {
        m_owner.ShowMsg(InterchangeTexts::EmptyTest);
        return;
    }
    QString filter;
    Interchange::TFormat format = Interchange::TFormat::Unknown;
    const QString path = ChooseSaveTarget(
        m_owner, doc.saveDirectory(), QString(),
        [&](const QString &dir, const QString &) { return FileInput ? FileInput(true, dir, filter) : QString(); },
        [&](const QString &chosen) {
            format = FormatOfFilter(filter);
            if (format == Interchange::TFormat::Unknown) {
                // No filter chosen: the name's extension tells, GIFT otherwise.
                const QString ext = QFileInfo(chosen).suffix().toLower();
                format = ext == u"xml" ? Interchange::TFormat::Moodle
                       : ext == u"txt" ? Interchange::TFormat::Aiken : Interchange::TFormat::Gift;
            }
            if (!QFileInfo(chosen).suffix().isEmpty())
                return chosen;
            return chosen + (format == Interchange::TFormat::Moodle ? QStringLiteral(".xml")
                             : format == Interchange::TFormat::Aiken ? QStringLiteral(".txt") : QStringLiteral(".gift"));
        });
    if (path.isEmpty())
        return;
    Interchange::TReport report;
    m_owner.CursorWait();
    const QByteArray bytes = Interchange::ExportQuestions(doc.model()->questionList(), format, report);
    QString failed;
    try {
        SafeFile::WriteAtomically(path, [&](QIODevice &dev) { StreamIO::WriteAll(dev, bytes.constData(), bytes.size()); });
    } catch (const EQuizError &e) {
        failed = FileFailureText(DocTexts::WriteFailed, path, FailureReason(e, SafeFile::LastError()));
    }
    m_owner.CursorDefault();
    if (!failed.isEmpty()) {
        m_owner.ShowMsg(failed);
        return;
    }
    if (!report.isEmpty())
        m_owner.ShowMsg2(InterchangeTexts::ExportTitle,
                         InterchangeTexts::ExportedReport.arg(QFileInfo(path).fileName()) + ReportText(report),
                         QMessageBox::Ok, QMessageBox::Information);
}

QByteArray TInterchangeCommands::ListDigest() const
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const TQuestionListModel &model = *m_owner.Model();
    for (int i = 0; i < model.count(); ++i) {
        QByteArray bytes;
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        try {
            WriteQuestion(*model.record(i).Question, buf);
        } catch (const EQuizError &) {
            return {};
        }
        hash.addData(bytes);
    }
    return hash.result();
}

bool TInterchangeCommands::CanUndoImport() const
{
    if (!m_last.Valid)
        return false;
    const TQuestionListModel &model = *m_owner.Model();
    if (model.count() != m_last.First + m_last.Records.size())
        return false;
    for (int i = 0; i < m_last.Records.size(); ++i)
        if (&model.record(m_last.First + i) != m_last.Records[i])
            return false;
    return true;
}

bool TInterchangeCommands::UndoImport()
{
    if (!CanUndoImport())
        return false;
    m_owner.UpdateData();
    const QByteArray digest = ListDigest();
    if (digest.isEmpty() || digest != m_last.Digest) {
        Forget();
        m_owner.ShowMsg2(InterchangeTexts::ImportTitle, InterchangeTexts::UndoRefused, QMessageBox::Ok,
                         QMessageBox::Warning);
        return false;
    }
    const TLastImport last = m_last;
    Forget();
    TQuestionListModel &model = *m_owner.Model();
    QItemSelectionModel *sel = m_owner.QTree()->selectionModel();
    sel->select(QItemSelection(model.index(last.First), model.index(last.First + int(last.Records.size()) - 1)),
                QItemSelectionModel::ClearAndSelect);
    m_owner.DeleteSelectedQuestions();
    m_owner.FocusRow(last.FocusBefore < model.count() ? last.FocusBefore : -1);
    m_owner.SetModified(last.WasModified || !SameSettings(m_owner.Document()->header(), last.Header));
    m_owner.TestPropChanged();
    m_owner.ButtonsState();
    return true;
}

void TInterchangeCommands::Forget()
{
    m_last = TLastImport{};
}
