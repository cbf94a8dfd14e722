#include "RecoveryCommands.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "Clock.h"
#include "MJvRichedit.h"
#include "MessageBoxes.h"
#include "QuestionPane.h"
#include "QuizDocument.h"
#include "fRecovery.h"

using namespace Recovery;

TRecoveryCommands::TRecoveryCommands(TQuizDocument &doc, TQuestionPane &pane, TRecoveryHost host, QWidget *window,
                                     const QString &folder)
    : QObject(window), m_doc(doc), m_host(std::move(host)), m_window(window),
      m_store(std::make_unique<TRecoveryStore>(folder)), m_writer(new TCopyWriter(*m_store, this)),
      m_poll(new QTimer(this))
{
    setObjectName(QStringLiteral("RecoveryCommands"));
    m_poll->setInterval(PollMs);
    connect(m_poll, &QTimer::timeout, this, &TRecoveryCommands::Poll);
    connect(m_writer, &TCopyWriter::written, this, [this](bool ok, const QString &message) {
        if (!ok && m_host.Status)
            m_host.Status(RecoveryTexts::CopyFailed + message);
    });
    connect(&doc, &TQuizDocument::propChanged, this, &TRecoveryCommands::DocumentChanged);
    QAbstractItemModel *model = doc.model();
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, &TRecoveryCommands::Edited);
    connect(model, &QAbstractItemModel::rowsMoved, this, &TRecoveryCommands::Edited);
    connect(model, &QAbstractItemModel::dataChanged, this, &TRecoveryCommands::Edited);
    connect(pane.questionText(), &QTextEdit::textChanged, this, &TRecoveryCommands::Edited);
    connect(pane.questionComment(), &QTextEdit::textChanged, this, &TRecoveryCommands::Edited);
    connect(pane.variants(), &QPlainTextEdit::textChanged, this, &TRecoveryCommands::Edited);
    for (QCheckBox *box : pane.checkBoxes())
        connect(box, &QCheckBox::clicked, this, &TRecoveryCommands::Edited);
    ChooseCopy = [this](const std::vector<TEntry> &entries, const std::function<bool(int)> &deleter) {
        return ChooseInDialog(entries, deleter);
    };
    AskOverwrite = [this] { return AskOverwriteBox(); };
}

TRecoveryCommands::~TRecoveryCommands()
{
    // The worker ends before the store it writes into.
    delete m_writer;
    m_writer = nullptr;
}

void TRecoveryCommands::Edited()
{
    if (!m_doc.isModified() || m_doc.isLocked())
        return;
    m_schedule.edited(QeClock::TickCount());
    if (!m_poll->isActive())
        m_poll->start();
}

void TRecoveryCommands::DocumentChanged()
{
    if (m_doc.isModified()) {
        Edited();
        return;
    }
    // Saved, replaced or given up: the copy has nothing left to keep.
    m_schedule.clear();
    m_poll->stop();
    if (!m_writer->IsIdle() || m_store->HasOwnCopy())
        m_writer->RemoveCopy();
}

void TRecoveryCommands::Poll()
{
    if (m_schedule.isDue(QeClock::TickCount()))
        WriteCopyNow(false);
    if (!m_schedule.isPending())
        m_poll->stop();
}

bool TRecoveryCommands::WriteCopyNow(bool wait)
{
    if (m_schedule.isOff() || !m_doc.isModified())
        return false;
    if (m_host.Flush)
        m_host.Flush();
    m_writer->Submit(TakeSnapshot(m_doc.header(), m_doc.model()->questionList(),
                                  m_doc.isUntitled() ? QString() : m_doc.path(), m_doc.testName(),
                                  m_doc.isUntitled() ? TFileStamp() : m_stamp));
    m_schedule.copied(QeClock::TickCount());
    if (wait)
        m_writer->WaitForIdle();
    return true;
}

void TRecoveryCommands::Closing()
{
    m_poll->stop();
    m_schedule.clear();
    m_writer->RemoveCopy();
}

// ---- recovery at start ----------------------------------------------------------

void TRecoveryCommands::OfferRecovery()
{
    std::vector<TEntry> entries = m_store->ListOrphans();
    if (entries.empty() || !ChooseCopy)
        return;
    const auto deleter = [this, &entries](int i) {
        if (i < 0 || i >= int(entries.size()) || !DeleteEntry(entries[size_t(i)]))
            return false;
        entries.erase(entries.begin() + i);
        return true;
    };
    const int chosen = ChooseCopy(entries, deleter);
    if (chosen >= 0 && chosen < int(entries.size()))
        OpenCopy(entries[size_t(chosen)]);
}

bool TRecoveryCommands::DeleteEntry(const TEntry &entry)
{
    if (!m_host.Ask
        || m_host.Ask(DocTexts::QuestionCaption, RecoveryTexts::AskDelete, QMessageBox::Yes | QMessageBox::No,
                      QMessageBox::Question) != QMessageBox::Yes)
        return false;
    if (!m_store->Discard(entry)) {
        ShowError(RecoveryTexts::DeleteFailed);
        return false;
    }
    return true;
}

bool TRecoveryCommands::OpenCopy(const TEntry &entry)
{
    if (entry.Damaged || !m_host.RunRead || (m_host.CheckSaved && !m_host.CheckSaved()))
        return false;
    bool taken = false;
    m_host.RunRead([&](const TReadOptions &options) {
        TOpenResult r = m_doc.ReadTestFromFile(entry.CopyPath, options);
        if (r.Status == TOpenResult::Opened || r.Status == TOpenResult::EmptyTest) {
            m_doc.AdoptRecovered(entry.Description.OriginalPath, entry.Description.Title);
            taken = true;
        }
        return r;
    });
    if (!taken)
        return false;
    // The original as the ended editor last knew it, so that a save over a
    // file changed since then asks first.
    m_stampPath = m_doc.isUntitled() ? QString() : m_doc.path();
    m_stamp = entry.Description.Original;
    m_writer->WaitForIdle();
    m_store->Adopt(entry);
    return true;
}

int TRecoveryCommands::ChooseInDialog(const std::vector<TEntry> &entries, const std::function<bool(int)> &deleter)
{
    TfrmRecovery dlg(m_window);
    dlg.SetEntries(entries);
    dlg.DeleteEntry = [&](int i) {
        if (!deleter(i))
            return false;
        dlg.SetEntries(entries);
        return true;
    };
    return dlg.Choose();
}

// ---- another teacher's save -------------------------------------------------------

void TRecoveryCommands::Remember()
{
    m_stampPath = m_doc.isUntitled() ? QString() : m_doc.path();
    m_stamp = TFileStamp::Of(m_stampPath);
}

TRecoveryCommands::TOverwrite TRecoveryCommands::CheckOverwrite()
{
    if (m_doc.isUntitled() || m_doc.path() != m_stampPath)
        return TOverwrite::Save;
    const TFileStamp now = TFileStamp::Of(m_stampPath);
    // A file that has gone is nobody's work to lose.
    if (!now.Exists || now == m_stamp)
        return TOverwrite::Save;
    return AskOverwrite ? AskOverwrite() : TOverwrite::Cancel;
}

TRecoveryCommands::TOverwrite TRecoveryCommands::AskOverwriteBox()
{
    // A headless run declines, as every other question there.
    if (AppendToMessageLog(DocTexts::QuestionCaption, RecoveryTexts::ChangedOnDisk))
        return TOverwrite::Cancel;
    QMessageBox box(QMessageBox::Warning, DocTexts::QuestionCaption, DisplayText(RecoveryTexts::ChangedOnDisk),
                    QMessageBox::NoButton, m_window);
    box.setObjectName(QStringLiteral("ChangedOnDiskBox"));
    QPushButton *yes = box.addButton(QStringLiteral("&Да"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("&Нет"), QMessageBox::NoRole);
    QPushButton *saveAs = box.addButton(RecoveryTexts::SaveAsButton, QMessageBox::ActionRole);
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    box.exec();
    if (box.clickedButton() == yes)
        return TOverwrite::Save;
    if (box.clickedButton() == saveAs)
        return TOverwrite::SaveAs;
    return TOverwrite::Cancel;
}
