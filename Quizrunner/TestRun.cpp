#include "TestRun.h"

#include "AnswersJournal.h"
#include "Clock.h"
#include "ColorButton.h"
#include "MCheckBox.h"
#include "MJvRichedit.h"
#include "JournalStore.h"
#include "ResultsFile.h"
#include "RunState.h"
#include "Scoring.h"
#include "fConfirmExit.h"
#include "fData.h"
#include "fQuestion.h"
#include "fResults.h"
#include "fSaveResults.h"
#include "ui_fData.h"
#include "ui_fQuestion.h"
#include "ui_fResults.h"
#include "ui_fSaveResults.h"

#include <QApplication>
#include <QBuffer>
#include <QPointer>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <cmath>
#include <optional>

namespace {
const QColor Red(255, 0, 0), Green(0, 128, 0), Blue(0, 0, 255), Grey(128, 128, 128);
const QString ReviewSuffix = QStringLiteral(" (просмотр только неправильно отвеченных вопросов)");
const QString CommentCaption = QStringLiteral("Комментарий");
const QString QuestionCaption = QStringLiteral("Вопрос");

// Hourglass cursor for the length of a rebuild. The window needs no freezing:
// nothing is painted before control returns to the event loop, and freezing the
// parent would leave the text area's own redraw switch off after loading.
class TBusyFreeze {
public:
    explicit TBusyFreeze(QWidget *) { QApplication::setOverrideCursor(Qt::BusyCursor); }
    ~TBusyFreeze() { QApplication::restoreOverrideCursor(); }
};
} // namespace

class TTestRunPrivate {
public:
    TRunContext ctx;
    TRunState S;
    QPointer<TfrmData> data;
    QPointer<TfrmQuestion> question;
    QPointer<TfrmResults> results;
    QPointer<TfrmConfirmExit> confirm;
    QPointer<TfrmSaveResults> save;
    QTimer *tm = nullptr;
    int periodMs = 1000;
    std::function<void()> beeper;
    quint16 score = 0;
    quint16 possible = 0;
    bool commentShown = false;
    TResultsFolder resultsFolder;
    quint8 phase = 1;
    bool reviewing = false;
    qint64 resultTime = 0;
    bool scored = false;
    QStringList scoredMarks;

    TTestInfo &info() const { return *ctx.TestInfo; }
    TQuestionList &items() const { return *ctx.Questions; }
    int count() const { return int(items().size()); }
    TNQuestion &current() const { return *items()[S.CurQuestion - 1]; }
    bool backNav() const { return info().has(EnableBackNavigation); }
    Ui::TfrmQuestion *qui() const { return question->ui; }

    void OnTimer();
    void DisplayQuestion();
    void LoadRecord(const QByteArray &record);
    void LoadText();
    void SetScrollBars();
    void FreeCheckBoxes();
    void StoreQuestion();
    void bbtnCheckClick();
    void bbtnCommentClick();
    void SwitchItem(int newCur, bool scroll);
    bool SaveResults();
    TAnswersRecord AnswersRecord(const TQuestionList &asked, const QStringList &marks) const;
    void WriteAnswers(const TQuestionList &asked, const QStringList &marks, bool mayBeThere);
    void ShowResults();
    QString ResultsPath() const;
    TResultRecord ResultRecord() const;
    QString MarksOnShow() const;
    QStringList Marks() const;
    void Notify(TRunStep step) const
    {
        if (ctx.Changed)
            ctx.Changed(step);
    }
};

TTestRun::TTestRun(const TRunContext &ctx, QObject *parent)
    : QObject(parent), d(new TTestRunPrivate)
{
    d->ctx = ctx;
    QWidget *owner = ctx.MainWindow;
    d->data = new TfrmData(owner);
    d->question = new TfrmQuestion(d->S, owner);
    d->results = new TfrmResults(owner);
    d->confirm = new TfrmConfirmExit(d->question);
    d->save = new TfrmSaveResults(owner);

    d->tm = new QTimer(this);
    d->tm->setTimerType(Qt::PreciseTimer);
    d->tm->setInterval(d->periodMs);
    connect(d->tm, &QTimer::timeout, this, [this] {
        // A tick after a switch came from the rest of a paused period.
        if (d->tm->interval() != d->periodMs)
            d->tm->setInterval(d->periodMs);
        OnTimer();
    });
    d->beeper = [] { QApplication::beep(); };

    const int zoom = ctx.TestInfo ? ctx.TestInfo->Zoom : 100;
    QFont f = d->qui()->panVariants->font();
    f.setPointSize(qMax(1, int(std::lround(zoom * 12 / 100.0))));
    d->qui()->panVariants->setFont(f);

    d->question->SwitchItem = [this](int c, bool scroll) { d->SwitchItem(c, scroll); };
    d->question->ConfirmExit = [this] { return d->confirm->exec() == QDialog::Accepted; };
    d->question->StoreOnClose = [this] { d->StoreQuestion(); };
    connect(d->qui()->bbtnComment, &QPushButton::clicked, this, [this] { d->bbtnCommentClick(); });
}

TTestRun::~TTestRun()
{
    d->tm->stop();
    delete d->confirm;
    delete d->data;
    delete d->question;
    delete d->results;
    delete d->save;
    delete d;
}

void TTestRun::SetTimerInterval(int ms)
{
    d->periodMs = ms;
    d->tm->setInterval(ms);
}
void TTestRun::SetBeeper(std::function<void()> beeper) { d->beeper = std::move(beeper); }
TfrmData *TTestRun::frmData() const { return d->data; }
TfrmQuestion *TTestRun::frmQuestion() const { return d->question; }
TfrmResults *TTestRun::frmResults() const { return d->results; }
TfrmConfirmExit *TTestRun::frmConfirmExit() const { return d->confirm; }
TfrmSaveResults *TTestRun::frmSaveResults() const { return d->save; }
QTimer *TTestRun::tmTest() const { return d->tm; }
const TRunState &TTestRun::State() const { return d->S; }
quint16 TTestRun::Score() const { return d->score; }
quint16 TTestRun::PossibleScore() const { return d->possible; }
QString TTestRun::ResultsFilePath() const { return d->ResultsPath(); }
void TTestRun::OnTimer() { d->OnTimer(); }
QStringList TTestRun::Marks() const { return d->Marks(); }
quint8 TTestRun::Phase() const { return d->phase; }
bool TTestRun::Reviewing() const { return d->reviewing; }
qint64 TTestRun::ResultTime() const { return d->resultTime; }

TRunResume TTestRun::Registration() const
{
    TRunResume r;
    r.LastName = d->data->LastName();
    r.FirstName = d->data->FirstName();
    r.Patronymic = d->data->Patronymic();
    r.AddInfo = d->data->AddInfo();
    r.CurQuestion = d->S.CurQuestion;
    r.SecondsLeft = d->S.SecondsLeft;
    r.Phase = d->phase;
    r.ResultTime = d->resultTime;
    return r;
}

QString TTestRunPrivate::MarksOnShow() const
{
    QString marks;
    const bool anyTicked = std::any_of(S.CheckBoxes.cbegin(), S.CheckBoxes.cend(),
                                       [](TMCheckBox *cb) { return cb->isChecked(); });
    if (anyTicked) {
        for (TMCheckBox *cb : std::as_const(S.CheckBoxes))
            marks += cb->isChecked() ? QLatin1Char('!') : QLatin1Char(' ');
    }
    return marks;
}

QStringList TTestRunPrivate::Marks() const
{
    if (scored)
        return scoredMarks;
    QStringList marks;
    marks.reserve(count());
    for (const TQuestionPtr &q : items())
        marks.append(q->UserMarks);
    // The boxes on show belong to the current item until it is stored.
    if (!S.CheckBoxes.isEmpty() && S.CurQuestion >= 1 && S.CurQuestion <= marks.size())
        marks[S.CurQuestion - 1] = MarksOnShow();
    return marks;
}

void TTestRun::Start(const TRunResume *resume)
{
    if (!d->ctx.TestInfo || !d->ctx.Questions || d->ctx.Questions->empty())
        return;
    TRunState &S = d->S;
    TTestInfo &info = d->info();
    d->resultsFolder = ResultsFolderOf(d->ResultsPath());

    d->data->setWindowTitle(QStringLiteral(" Регистрация"));
    if (resume) {
        d->data->ui->edLastName->setText(resume->LastName);
        d->data->ui->edFirstName->setText(resume->FirstName);
        d->data->ui->edPatronymic->setText(resume->Patronymic);
        d->data->ui->edAddInfo->setText(resume->AddInfo);
        d->phase = resume->Phase;
        d->resultTime = resume->ResultTime;
    } else if (d->data->exec() != QDialog::Accepted) {
        return;
    }

    if (d->ctx.MainWindow)
        d->ctx.MainWindow->repaint();
    QCoreApplication::processEvents();
    if (d->ctx.SetFIO)
        d->ctx.SetFIO(d->data->FIO());

    QScreen *screen = d->ctx.MainWindow ? d->ctx.MainWindow->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    int w, h;
    if (info.has(SetCustomQSize)) {
        w = qMin<int>(info.QWidth, area.width());
        h = qMin<int>(info.QHeight, area.height());
    } else {
        w = int(std::lround(area.width() * 0.8));
        h = int(std::lround(area.height() * 0.8));
    }
    d->question->SetClientSize(w, h);
    d->question->move(area.center() - d->question->rect().center());

    d->question->LayoutStrip(d->count());
    for (int i = 0; i < d->count(); ++i) {
        const TNQuestion &q = *d->items()[i];
        TMColorButton *b = d->question->AddQButton(i + 1, q.IsInformation(), d->backNav());
        if (resume && b && !q.IsInformation() && !q.UserMarks.isEmpty())
            b->SetColor(Green);
    }

    S.CurQuestion = resume ? resume->CurQuestion : 1;
    S.SecondsLeft = quint16(resume ? resume->SecondsLeft : info.TimeLimit * 60);
    if (d->phase == 1) {
        d->DisplayQuestion();
        if (resume) {
            d->question->ScrollToQuestion();
            d->question->SetScrollArrows();
        }
        d->Notify(TRunStep::Registered);
        // A run resumed with no time left has ended: it goes on to the scoring.
        const bool timeUp = resume && info.TimeLimit != 0 && S.SecondsLeft == 0;
        if (info.TimeLimit != 0 && !timeUp) {
            d->qui()->panClock->show();
            d->OnTimer();
            d->tm->start();
        }
        if (!timeUp)
            d->question->exec();
    }

    // Scoring.
    d->tm->stop();
    d->qui()->panClock->hide();
    d->scoredMarks = d->Marks();
    d->scored = true;
    // Scoring takes the exact answers out of the list: the journal needs them all.
    const TQuestionList asked = d->items();
    const TRunScore r = ScoreRun(d->items(), info.Options);
    d->score = r.Score;
    d->possible = r.PossibleScore;
    if (d->phase < 3 && d->ctx.AskedCount && *d->ctx.AskedCount != 0) {
        const bool resumedAtSave = d->phase == 2;
        if (d->phase == 1) {
            d->resultTime = QDateTime::currentMSecsSinceEpoch();
            d->phase = 2;
        }
        // The journal says "saving" on disk before the line can be there, so a
        // crash in between finds the line rather than writing it twice.
        d->Notify(TRunStep::Saving);
        const bool lineThere =
            resumedAtSave && ResultsFileHoldsLine(d->ResultsPath(), ResultsDataLine(d->ResultRecord()));
        // Only beside a line that is there: a record without its line would
        // count a run the results do not hold.
        if (lineThere || d->SaveResults())
            d->WriteAnswers(asked, d->scoredMarks, resumedAtSave);
    }
    d->phase = 3;
    d->Notify(TRunStep::Saved);
    S.ReviewMode = true;
    d->ShowResults();
    d->Notify(TRunStep::Finished);
}

void TTestRunPrivate::OnTimer()
{
    QLabel *lab = qui()->labTime;
    const int minutes = S.SecondsLeft / 60;
    const int seconds = S.SecondsLeft - minutes * 60;
    lab->setText(QStringLiteral("%1:%2").arg(minutes, 2, 10, QLatin1Char('0'))
                     .arg(seconds, 2, 10, QLatin1Char('0')));
    if (S.SecondsLeft <= 60) {
        if ((S.SecondsLeft > 30 && S.SecondsLeft % 5 == 0) || (S.SecondsLeft <= 30 && S.SecondsLeft % 2 == 0)) {
            if (beeper)
                beeper();
        }
        QPalette pal = lab->palette();
        pal.setColor(QPalette::WindowText, pal.color(QPalette::WindowText) == Red ? Qt::black : Red);
        lab->setPalette(pal);
    }
    if (S.SecondsLeft > 0) {
        --S.SecondsLeft;
        if (S.SecondsLeft % 10 == 0)
            Notify(TRunStep::Tick);
        return;
    }
    tm->stop();
    if (confirm->isVisible())
        confirm->done(QDialog::Accepted);
    question->done(QDialog::Accepted);
}

void TTestRunPrivate::FreeCheckBoxes()
{
    // The focused box may be inside its own key handler (Enter on a box presses
    // "Следующий"), so boxes go away later. Hiding a focused box would pass the
    // focus on to "Завершить", where the next Enter would end the test; the
    // window keeps it instead, so Enter stays with the default button.
    for (TMCheckBox *cb : std::as_const(S.CheckBoxes)) {
        if (cb->hasFocus())
            question->setFocus();
        cb->hide();
        cb->deleteLater();
    }
    S.CheckBoxes.clear();
}

void TTestRunPrivate::DisplayQuestion()
{
    if (S.CurQuestion < 1 || S.CurQuestion > count())
        return;
    Ui::TfrmQuestion *ui = qui();
    {
        TBusyFreeze busy(question);
        TNQuestion &q = current();
        const int n = count();

        QString caption = q.IsInformation()
            ? QStringLiteral(" Информация")
            : QStringLiteral(" Вопрос №%1 из %2").arg(S.CurQuestion).arg(n);
        if (S.ReviewMode)
            caption += ReviewSuffix;
        question->setWindowTitle(caption);

        ui->bbtnForward->setEnabled(S.CurQuestion < n && (backNav() || q.IsInformation()));
        ui->bbtnBack->setEnabled(S.CurQuestion > 1 && (backNav() || S.ReviewMode));
        ui->bbtnComment->setEnabled(info().has(CanViewComments)
                                    && (info().has(CanAlwaysViewComments) || S.ReviewMode)
                                    && q.Comment.has_value());
        commentShown = false;

        FreeCheckBoxes();
        QSize panel;
        if (!q.IsInformation()) {
            // The text height of "Й_": the font's full line height.
            const int lineH = QFontMetrics(ui->panVariants->font()).height();
            const int room = question->width() - 40;
            int y = 5, widest = 0;
            for (int k = 0; k < q.Variants.size(); ++k) {
                auto *cb = new TMCheckBox(ui->panVariants);
                cb->setObjectName(QStringLiteral("chbox%1").arg(k + 1));
                S.CheckBoxes.append(cb);
                cb->move(5, y);
                cb->SetCaption(q.Variants[k]);
                const int w = QFontMetrics(cb->font()).horizontalAdvance(q.Variants[k]) + 25;
                if (w > room && room > 0) {
                    const int lines = (w + room - 1) / room;
                    cb->resize(room, lines * lineH);
                    cb->SetWordWrap(true);
                    // Words wrap where they break, which can take a line more
                    // than the width alone asks for; the caption is never cut.
                    if (cb->CaptionHeight() > cb->height())
                        cb->resize(room, (cb->CaptionHeight() + lineH - 1) / lineH * lineH);
                } else {
                    cb->resize(w, lineH);
                }
                QObject::connect(cb, &TMCheckBox::clicked, question, [this] {
                    bbtnCheckClick();
                    if (!S.ReviewMode)
                        Notify(TRunStep::Answered);
                });
                widest = qMax(widest, cb->width());
                y += cb->height();
                if (S.ReviewMode) {
                    if (k < q.RightMarks.size() && q.RightMarks[k] == QLatin1Char('!'))
                        cb->SetCaptionColor(Green);
                    cb->SetUserToggle(false);
                    cb->setFocusPolicy(Qt::NoFocus);
                }
                if (!q.UserMarks.isEmpty()) {
                    cb->setChecked(k < q.UserMarks.size() && q.UserMarks[k] == QLatin1Char('!'));
                    bbtnCheckClick();
                }
                cb->show();
            }
            panel = QSize(widest + 5, y + 5);
        }

        LoadText();
        question->LayoutQuestion(panel);
        SetScrollBars();
        ui->bbtnComment->setText(CommentCaption);
        commentShown = false;
        if (S.CurQuestion - 1 < S.QButtons.size())
            S.QButtons[S.CurQuestion - 1]->SetColor(Blue);
    }
    if (question->isVisible() && !S.ReviewMode && !S.CheckBoxes.isEmpty())
        S.CheckBoxes.first()->setFocus();
}

// A damaged record leaves what could be read; an unreadable one says so in the
// text area instead of stopping the run.
void TTestRunPrivate::LoadRecord(const QByteArray &record)
{
    TMJvRichEdit *re = qui()->reText;
    QByteArray bytes = record;
    QBuffer buf(&bytes);
    buf.open(QIODevice::ReadOnly);
    try {
        re->LoadRichFromStream(buf);
    } catch (const EQuizError &) {
        if (re->document()->isEmpty())
            re->setPlainText(QStringLiteral("Ошибка чтения текста вопроса"));
    }
    re->moveCursor(QTextCursor::Start);
    re->document()->clearUndoRedoStacks();
    re->SetZoom(info().Zoom);
}

void TTestRunPrivate::LoadText()
{
    LoadRecord(current().Body);
}

void TTestRunPrivate::SetScrollBars()
{
    TMJvRichEdit *re = qui()->reText;
    const quint8 mode = info().QScrollBars;
    const bool vert = mode == 0 || mode == 1;
    const bool horz = mode == 0 || mode == 2;
    re->setVerticalScrollBarPolicy(vert ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    re->setHorizontalScrollBarPolicy(horz ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    if (mode == 0)
        question->CenterText();
}

void TTestRunPrivate::StoreQuestion()
{
    if (S.CurQuestion < 1 || S.CurQuestion > count())
        return;
    TNQuestion &q = current();
    q.UserMarks.clear();
    const bool anyTicked = std::any_of(S.CheckBoxes.cbegin(), S.CheckBoxes.cend(),
                                       [](TMCheckBox *cb) { return cb->isChecked(); });
    if (anyTicked) {
        for (TMCheckBox *cb : std::as_const(S.CheckBoxes))
            q.UserMarks += cb->isChecked() ? QLatin1Char('!') : QLatin1Char(' ');
    }
    FreeCheckBoxes();
    if (S.CurQuestion - 1 < S.QButtons.size()) {
        TMColorButton *b = S.QButtons[S.CurQuestion - 1];
        b->SetColor(q.IsInformation() ? Grey : !q.UserMarks.isEmpty() ? Green : Red);
    }
}

void TTestRunPrivate::bbtnCheckClick()
{
    if (backNav())
        return;
    const bool anyTicked = std::any_of(S.CheckBoxes.cbegin(), S.CheckBoxes.cend(),
                                       [](TMCheckBox *cb) { return cb->isChecked(); });
    qui()->bbtnForward->setEnabled(anyTicked && S.CurQuestion < count());
}

void TTestRunPrivate::bbtnCommentClick()
{
    TNQuestion &q = current();
    {
        TBusyFreeze busy(question);
        if (commentShown) {
            LoadText();
            qui()->bbtnComment->setText(CommentCaption);
        } else {
            LoadRecord(q.Comment.value_or(QByteArray()));
            qui()->bbtnComment->setText(QuestionCaption);
        }
        commentShown = !commentShown;
        SetScrollBars();
    }
}

void TTestRunPrivate::SwitchItem(int newCur, bool scroll)
{
    if (newCur < 1 || newCur > count() || newCur == S.CurQuestion)
        return;
    // Paused, not restarted: a fresh second after every switch would let quick
    // switching hold the clock still.
    const bool wasRunning = tm->isActive();
    const int rest = wasRunning ? qMax(0, tm->remainingTime()) : 0;
    tm->stop();
    StoreQuestion();
    S.CurQuestion = quint16(newCur);
    DisplayQuestion();
    if (scroll)
        question->ScrollToQuestion();
    question->SetScrollArrows();
    if (!S.ReviewMode)
        Notify(TRunStep::Moved);
    if (wasRunning)
        tm->start(rest);
}

QString TTestRunPrivate::ResultsPath() const
{
    return ctx.Embedded ? EmbeddedResultsPath(ctx.TestPath) : ctx.ResultsPath;
}

TResultRecord TTestRunPrivate::ResultRecord() const
{
    TResultRecord rec;
    rec.When = QDateTime::fromMSecsSinceEpoch(resultTime);
    rec.TestName = ctx.TestName;
    rec.LastName = data->LastName();
    rec.FirstName = data->FirstName();
    rec.Patronymic = data->Patronymic();
    rec.Extra = data->AddInfo();
    rec.Score = score;
    rec.PossibleScore = possible;
    return rec;
}

bool TTestRunPrivate::SaveResults()
{
    Ui::TfrmSaveResults *ui = save->ui;
    const QString path = ResultsPath();
    const TResultRecord rec = ResultRecord();

    ui->btnRetry->setEnabled(false);
    ui->btnCont->setEnabled(false);
    save->show();
    QCoreApplication::processEvents();

    const auto onAttempt = [ui](int n) {
        ui->labInfo->setText(QStringLiteral("Идет запись.. (%1)").arg(n));
        ui->labInfo->repaint();
    };
    const auto pump = [] { QCoreApplication::processEvents(); };
    bool written = false;
    for (;;) {
        save->SaveChoice = TfrmSaveResults::ChoiceNone;
        // Off this thread and at most 20 s an attempt: a hung network lock
        // call must leave the window alive and the question reachable.
        if (AppendResultSeries(path, rec, onAttempt, pump, 10, resultsFolder, 20000)) {
            written = true;
            break;
        }
        ui->labInfo->setText(QStringLiteral("Ошибка сохранения:\n") + path);
        ui->btnRetry->setEnabled(true);
        ui->btnCont->setEnabled(true);
        while (save && save->SaveChoice == TfrmSaveResults::ChoiceNone) {
            QCoreApplication::processEvents();
            QeClock::Sleep(10);
        }
        if (!save || save->SaveChoice == TfrmSaveResults::ChoiceDontSave)
            break;
        ui->btnRetry->setEnabled(false);
        ui->btnCont->setEnabled(false);
    }
    if (save)
        save->hide();
    return written;
}

TAnswersRecord TTestRunPrivate::AnswersRecord(const TQuestionList &asked, const QStringList &marks) const
{
    TAnswersRecord rec;
    // To the second, as the line holds it to the minute: the record of this
    // run is the same bytes whenever it is made.
    rec.When = QDateTime::fromMSecsSinceEpoch(resultTime - resultTime % 1000);
    rec.TestName = ctx.TestName;
    rec.TestHash = QString::fromLatin1(ctx.TestHash.toHex());
    rec.LastName = data->LastName();
    rec.FirstName = data->FirstName();
    rec.Patronymic = data->Patronymic();
    rec.Extra = data->AddInfo();
    rec.WholeQuestions = info().has(CountWholeQuestion);
    rec.Score = score;
    rec.PossibleScore = possible;
    for (std::size_t i = 0; i < asked.size(); ++i) {
        const TNQuestion &q = *asked[i];
        if (q.IsInformation())
            continue;
        const TJournalItem &drawn = ctx.Drawn[qsizetype(i)];
        const qsizetype n = q.Variants.size();
        TAnswerItem it;
        it.Position = int(drawn.StoredIndex) + 1;
        it.TextHash = AnswersJournal::QuestionTextHash(q);
        it.TextStart = AnswersJournal::QuestionTextStart(q);
        const QString shown = marks.value(qsizetype(i));
        it.Key = QString(n, u' ');
        if (shown.size() == n && shown.contains(u'!'))
            it.Marks = QString(n, u' ');
        for (qsizetype k = 0; k < n; ++k) {
            const int stored = drawn.VariantOrder.value(k, quint16(k));
            it.Order.append(stored);
            if (stored < 0 || stored >= n)
                continue;
            if (k < q.RightMarks.size() && q.RightMarks[k] == u'!')
                it.Key[stored] = u'!';
            if (!it.Marks.isEmpty() && shown[k] == u'!')
                it.Marks[stored] = u'!';
        }
        rec.Items.append(it);
    }
    return rec;
}

void TTestRunPrivate::WriteAnswers(const TQuestionList &asked, const QStringList &marks, bool mayBeThere)
{
    if (ctx.AnswersPath.isEmpty())
        return;
    const auto log = [this](const QString &text) {
        if (ctx.Log)
            ctx.Log(text);
    };
    if (ctx.Drawn.size() != qsizetype(asked.size())) {
        log(QStringLiteral("answers journal not written: the run's order is unknown"));
        return;
    }
    const QByteArray line = AnswersJournal::RecordLine(AnswersRecord(asked, marks));
    // A run resumed after a crash at the save may have written its record already.
    if (mayBeThere && ResultsFileHoldsLine(ctx.AnswersPath, line))
        return;
    QString error;
    const auto pump = [] { QCoreApplication::processEvents(); };
    if (!AppendRecordSeries(ctx.AnswersPath, line, pump, 10, resultsFolder, 20000, &error))
        log(QStringLiteral("answers journal not written: ") + error);
}

void TTestRunPrivate::ShowResults()
{
    Ui::TfrmResults *ui = results->ui;
    if (ctx.AskedCount && *ctx.AskedCount != 0) {
        ui->labResults->setText(QStringLiteral("%1 из %2\n%3%").arg(score).arg(possible)
                                    .arg(FormatPercent(score, possible)));
        ui->btnViewErrors->setEnabled(score != possible && info().has(CanViewErrors));
    } else {
        ui->btnViewErrors->setEnabled(false);
        ui->labResults->setText(QStringLiteral("В тесте нет вопросов"));
    }
    ui->labResultsMode2->setVisible(info().has(CountWholeQuestion));

    // Back where it was first shown: centred again after the review, it is
    // placed by the frame of the question window, and lands lower.
    std::optional<QPoint> shownAt;
    for (;;) {
        if (shownAt)
            results->move(*shownAt);
        const int rc = results->exec();
        shownAt = results->pos();
        if (rc != QDialog::Accepted)
            break;
        if (items().empty())
            continue;
        if (!reviewing) {
            reviewing = true;
            Notify(TRunStep::Review);
        }
        qui()->panQList->hide();
        question->DoLayout();
        S.CurQuestion = 1;
        DisplayQuestion();
        question->exec();
    }
}
