#include "testutil_run.h"

#include "ColorButton.h"
#include "MCheckBox.h"
#include "MJvRichedit.h"
#include "RunState.h"
#include "fConfirmExit.h"
#include "fData.h"
#include "fQuestion.h"

#include <QAbstractButton>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <cstdio>
#include <cstdlib>

TQuestionPtr RunItem(const QString &text, const QStringList &variants, const QString &marks,
                     const QString &comment)
{
    auto q = std::make_shared<TNQuestion>();
    q->PlainLines.Add(text);
    q->Body = RichRecord::FromPlainText(text);
    if (!comment.isEmpty())
        q->Comment = RichRecord::FromPlainText(comment);
    q->Variants = variants;
    q->RightMarks = marks;
    q->ContentReady = true;
    return q;
}

TRunFixture::TRunFixture(quint16 options, TQuestionList items, quint8 timeLimit)
{
    Info = TTestInfo::NewTestValues();
    Info.Options = options;
    Info.TimeLimit = timeLimit;
    Questions = std::move(items);
    Info.QuestionCount = quint32(Questions.size());
    Info.IQCount = CalcIQCount(Questions);
    AskedCount = Info.QuestionCount - Info.IQCount;
    ResultsPath = Dir.filePath(QStringLiteral("results.res"));
}

TTestRun &TRunFixture::Make()
{
    Ctx.TestInfo = &Info;
    Ctx.Questions = &Questions;
    Ctx.AskedCount = &AskedCount;
    if (Ctx.TestPath.isEmpty())
        Ctx.TestPath = Dir.filePath(QStringLiteral("Физика.qe2"));
    Ctx.TestName = QFileInfo(Ctx.TestPath).completeBaseName();
    Ctx.ResultsPath = ResultsPath;
    Ctx.SetFIO = [this](const QString &s) { FIO = s; };
    Run = std::make_unique<TTestRun>(Ctx);
    Run->SetBeeper([this] { ++Beeps; });
    // Tests drive the countdown themselves; the real tick must never interfere.
    DefaultInterval = Run->tmTest()->interval();
    Run->SetTimerInterval(24 * 3600 * 1000);
    return *Run;
}

QByteArray TRunFixture::ResultsBytes() const
{
    QFile f(ResultsPath);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TRunScript::TRunScript()
{
    m_timer.setInterval(0);
    QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
    m_timer.start();
}

TRunScript::~TRunScript() = default;

TRunScript &TRunScript::When(std::function<bool()> cond, std::function<void()> act)
{
    m_steps.push_back({std::move(cond), std::move(act)});
    return *this;
}

TRunScript &TRunScript::OnModal(QWidget *w, std::function<void()> act)
{
    return When([w] { return QApplication::activeModalWidget() == w && w->isVisible(); },
                std::move(act));
}

void TRunScript::Poll()
{
    if (m_steps.empty())
        return;
    if (!m_steps.front().cond()) {
        // Counted in polls, not time: a script that no longer matches its run
        // would otherwise leave a modal loop open for ever.
        if (++m_idlePolls > 200000) {
            std::fprintf(stderr, "run script stuck with %d steps left\n", Remaining());
            std::abort();
        }
        return;
    }
    m_idlePolls = 0;
    std::function<void()> act = std::move(m_steps.front().act);
    m_steps.pop_front();
    // Acted on from a timer of its own: a step that opens a modal loop must not
    // hold up this poll timer, which Qt never fires recursively.
    QTimer::singleShot(0, this, act);
}

void Click(QAbstractButton *b)
{
    QVERIFY(b);
    b->click();
}

void Register(TTestRun &run, const QString &last, const QString &first,
              const QString &patronymic, const QString &extra)
{
    TfrmData *d = run.frmData();
    Child<QLineEdit>(d, "edLastName")->setText(last);
    Child<QLineEdit>(d, "edFirstName")->setText(first);
    Child<QLineEdit>(d, "edPatronymic")->setText(patronymic);
    Child<QLineEdit>(d, "edAddInfo")->setText(extra);
    Click(Child<QAbstractButton>(d, "btnNext"));
}

void FinishSteps(TRunScript &script, TTestRun &run)
{
    script.OnModal(run.frmQuestion(), [&run] {
        Click(Child<QAbstractButton>(run.frmQuestion(), "btnExit"));
    });
    script.OnModal(run.frmConfirmExit(), [&run] {
        Click(Child<QAbstractButton>(run.frmConfirmExit(), "btnOK"));
    });
}

QList<TMCheckBox *> Boxes(TTestRun &run)
{
    return run.State().CheckBoxes;
}
