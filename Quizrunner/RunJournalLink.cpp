#include "RunJournalLink.h"

QString ResumeQuestionText(const TRunJournal &j, int timeLimitSeconds)
{
    QString text = ResumeQuestion + QStringLiteral("\r\r") + j.FIO() + u'\r';
    if (j.Phase == JournalFormat::PhaseAnswering)
        text += QStringLiteral("Вопрос %1 из %2").arg(j.CurQuestion).arg(j.Items.size());
    else
        text += QStringLiteral("Все вопросы пройдены");
    if (timeLimitSeconds > 0)
        text += QStringLiteral(", осталось %1:%2").arg(j.SecondsLeft / 60, 2, 10, QLatin1Char('0'))
                    .arg(j.SecondsLeft % 60, 2, 10, QLatin1Char('0'));
    return text;
}

void TRunJournalLink::setAside(const QString &message, const TCallbacks &cb)
{
    const QString moved = m_store->SetAside();
    if (cb.Warn)
        cb.Warn(message + (moved.isEmpty() ? m_store->Path() : moved));
}

TRunJournalLink::TOpen TRunJournalLink::Open(const TJournalTest &test, const TQuestionList &stored,
                                             const TCallbacks &cb, const QString &folder)
{
    m_base = TRunJournal();
    m_base.TestHash = test.Hash;
    m_base.TestPath = test.TestPath;
    m_base.ResultsPath = test.ResultsPath;
    m_store = std::make_unique<TJournalStore>(folder.isEmpty() ? TJournalStore::DefaultFolder() : folder,
                                              test.Identity);
    QString error;
    if (!m_store->Open(&error)) {
        m_store.reset();
        if (cb.Warn)
            cb.Warn(JournalUnavailableText + error);
        return TOpen::Fresh;
    }
    // Without a lock manager (NFS without one) the run still goes on, unguarded.
    if (m_store->Lock() == TJournalStore::TLock::Held) {
        m_store.reset();
        return TOpen::OpenElsewhere;
    }
    TRunJournal j;
    QString reason;
    switch (m_store->Load(j, &reason)) {
    case TJournalStore::TLoad::None:
        return TOpen::Fresh;
    case TJournalStore::TLoad::Bad:
        setAside(JournalDamagedText + reason + u'\r', cb);
        return TOpen::Fresh;
    case TJournalStore::TLoad::Loaded:
        break;
    }
    if (j.TestHash != test.Hash || j.TestPath != test.TestPath || j.ResultsPath != test.ResultsPath) {
        setAside(JournalChangedText, cb);
        return TOpen::Fresh;
    }
    // Copies share the texts; the loaded test stays untouched for a fresh run.
    TQuestionList copies;
    copies.reserve(stored.size());
    for (const TQuestionPtr &q : stored)
        copies.push_back(q ? std::make_shared<TNQuestion>(*q) : nullptr);
    try {
        m_resumed = RebuildRun(j, copies, test.TimeLimitSeconds);
    } catch (const EJournalError &e) {
        setAside(JournalDamagedText + e.text() + u'\r', cb);
        return TOpen::Fresh;
    }
    if (!cb.AskResume || !cb.AskResume(ResumeQuestionText(j, test.TimeLimitSeconds))) {
        m_resumed.clear();
        m_store->SetAside();
        return TOpen::Fresh;
    }
    m_base = j;
    m_resume.LastName = j.LastName;
    m_resume.FirstName = j.FirstName;
    m_resume.Patronymic = j.Patronymic;
    m_resume.AddInfo = j.AddInfo;
    m_resume.CurQuestion = j.CurQuestion;
    m_resume.SecondsLeft = j.SecondsLeft;
    m_resume.Phase = j.Phase;
    m_resume.ResultTime = j.ResultTime;
    return TOpen::Resume;
}

void TRunJournalLink::Begin(const TQuestionList &stored, const TQuestionList &run,
                            const QHash<const TNQuestion *, QList<quint16>> &variantOrders, quint32 askedCount)
{
    m_base.Items = DrawnOrder(stored, run, variantOrders);
    m_base.AskedCount = askedCount;
}

void TRunJournalLink::Record(const TTestRun &run, TRunStep step)
{
    if (!m_store)
        return;
    if (step == TRunStep::Finished) {
        m_store->Remove();
        return;
    }
    TRunJournal j = m_base;
    const QStringList marks = run.Marks();
    for (qsizetype i = 0; i < j.Items.size(); ++i) {
        const QString m = marks.value(i);
        j.Items[i].UserMarks = m.size() == j.Items[i].VariantOrder.size() ? m : QString();
    }
    const TRunResume r = run.Registration();
    j.LastName = r.LastName;
    j.FirstName = r.FirstName;
    j.Patronymic = r.Patronymic;
    j.AddInfo = r.AddInfo;
    j.CurQuestion = quint16(qBound(1, int(r.CurQuestion), int(j.Items.size())));
    j.SecondsLeft = r.SecondsLeft;
    j.Phase = r.Phase;
    j.ResultTime = r.ResultTime;
    j.Review = run.Reviewing();
    m_store->Submit(j);
    if (step == TRunStep::Saving)
        m_store->Flush();
}

void TRunJournalLink::Flush()
{
    if (m_store)
        m_store->Flush();
}

QString TRunJournalLink::Path() const
{
    return m_store ? m_store->Path() : QString();
}
