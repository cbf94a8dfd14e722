// The real player, driven by a script in $QE_DRIVE, for the journal tests
// that kill it at chosen points and start it again. Steps, separated by ";":
//   reg=Last|First|Patronymic|Extra   fill the registration and go on
//   tick=k   click variant k (1-based) of the item on show
//   choose=A|B  tick the variants of the item on show whose texts are A and B, wherever shown
//   next, back, go=k   "Следующий", "Предыдущий", number button k
//   finish   "Завершить", then OK
//   dump     print the run's state (see Dump)
//   pause    once a question or the results are on show, print "PAUSED" and wait to be killed
//   failsave wait for the failed series of the save, then pause
//   atresults  wait for the results window, then pause
//   exit     "Выход" in the results window
// The save's back-off and the splash minimum do not wait, unless QE_DRIVE_SLEEP
// is set (players meeting at the results file need their back-off).
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>

#include <cstdio>

#include "Clock.h"
#include "MCheckBox.h"
#include "fConfirmExit.h"
#include "fData.h"
#include "fMain.h"
#include "fQuestion.h"
#include "fResults.h"
#include "RunJournalLink.h"
#include "fSaveResults.h"
#include "testutil_run.h"

namespace {
template <class T>
T *Modal()
{
    QWidget *w = QApplication::activeModalWidget();
    return w && w->isVisible() ? qobject_cast<T *>(w) : nullptr;
}

template <class T>
T *TopLevel()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *t = qobject_cast<T *>(w))
            return t;
    return nullptr;
}

void Say(const QString &line)
{
    std::fputs(qPrintable(line + u'\n'), stdout);
    std::fflush(stdout);
}

// The point chosen is after the last change has reached the disk.
void Pause()
{
    if (auto *m = TopLevel<TfrmMain>())
        if (m->Journal())
            m->Journal()->Flush();
    Say(QStringLiteral("PAUSED"));
}

// One line per fact: the window's caption, the time shown, the ticks on show,
// then every item with its variants and stored answer.
void Dump()
{
    auto *q = Modal<TfrmQuestion>();
    Say(QStringLiteral("CAPTION %1").arg(q ? q->windowTitle() : QString()));
    if (q) {
        Say(QStringLiteral("TIME %1").arg(q->findChild<QLabel *>(QStringLiteral("labTime"))->text()));
        QString ticks;
        for (int k = 1;; ++k) {
            auto *cb = q->findChild<TMCheckBox *>(QStringLiteral("chbox%1").arg(k));
            if (!cb)
                break;
            ticks += cb->isChecked() ? u'!' : u' ';
        }
        Say(QStringLiteral("TICKS [%1]").arg(ticks));
    }
    // The item on show keeps its answer in its boxes until it is left.
    const QString caption = q ? q->windowTitle() : QString();
    const int on = caption.contains(u'№') ? caption.section(u'№', 1).section(u' ', 0, 0).toInt() : 0;
    QString ticks;
    if (q) {
        for (int k = 1;; ++k) {
            auto *cb = q->findChild<TMCheckBox *>(QStringLiteral("chbox%1").arg(k));
            if (!cb)
                break;
            ticks += cb->isChecked() ? u'!' : u' ';
        }
    }
    if (auto *m = TopLevel<TfrmMain>()) {
        for (std::size_t i = 0; i < m->Questions.size(); ++i) {
            const QString marks = int(i) + 1 == on ? (ticks.contains(u'!') ? ticks : QString())
                                                   : m->Questions[i]->UserMarks;
            Say(QStringLiteral("ITEM %1 %2 [%3]").arg(i + 1).arg(m->Questions[i]->Variants.join(u'|'), marks));
        }
    }
    Say(QStringLiteral("DUMPED"));
}

void Press(QWidget *w, const char *name)
{
    if (auto *b = w->findChild<QAbstractButton *>(QString::fromLatin1(name)))
        b->click();
}

void AddStep(TRunScript &script, const QString &step)
{
    const QString verb = step.section(u'=', 0, 0);
    const QString arg = step.section(u'=', 1);
    const auto onQuestion = [&script](std::function<void(TfrmQuestion *)> act) {
        script.When([] { return Modal<TfrmQuestion>() != nullptr; }, [act] { act(Modal<TfrmQuestion>()); });
    };
    if (verb == QLatin1String("reg")) {
        script.When([] { return Modal<TfrmData>() != nullptr; }, [arg] {
            TfrmData *d = Modal<TfrmData>();
            const QStringList f = arg.split(u'|');
            d->findChild<QLineEdit *>(QStringLiteral("edLastName"))->setText(f.value(0));
            d->findChild<QLineEdit *>(QStringLiteral("edFirstName"))->setText(f.value(1));
            d->findChild<QLineEdit *>(QStringLiteral("edPatronymic"))->setText(f.value(2));
            d->findChild<QLineEdit *>(QStringLiteral("edAddInfo"))->setText(f.value(3));
            Press(d, "btnNext");
        });
    } else if (verb == QLatin1String("tick")) {
        onQuestion([arg](TfrmQuestion *q) {
            if (auto *cb = q->findChild<TMCheckBox *>(QStringLiteral("chbox") + arg))
                cb->click();
        });
    } else if (verb == QLatin1String("choose")) {
        onQuestion([arg](TfrmQuestion *q) {
            auto *m = TopLevel<TfrmMain>();
            const QString caption = q->windowTitle();
            const int on = caption.contains(u'№') ? caption.section(u'№', 1).section(u' ', 0, 0).toInt() : 0;
            if (!m || on < 1 || on > int(m->Questions.size()))
                return;
            const QStringList shown = m->Questions[size_t(on - 1)]->Variants;
            for (const QString &text : arg.split(u'|'))
                if (auto *cb = q->findChild<TMCheckBox *>(QStringLiteral("chbox%1").arg(shown.indexOf(text) + 1)))
                    cb->click();
        });
    } else if (verb == QLatin1String("next")) {
        onQuestion([](TfrmQuestion *q) { Press(q, "bbtnForward"); });
    } else if (verb == QLatin1String("back")) {
        onQuestion([](TfrmQuestion *q) { Press(q, "bbtnBack"); });
    } else if (verb == QLatin1String("go")) {
        onQuestion([arg](TfrmQuestion *q) { Press(q, qPrintable(QStringLiteral("QButton") + arg)); });
    } else if (verb == QLatin1String("finish")) {
        onQuestion([](TfrmQuestion *q) { Press(q, "btnExit"); });
        script.When([] { return Modal<TfrmConfirmExit>() != nullptr; },
                    [] { Press(Modal<TfrmConfirmExit>(), "btnOK"); });
    } else if (verb == QLatin1String("dump")) {
        onQuestion([](TfrmQuestion *) { Dump(); });
    } else if (verb == QLatin1String("pause")) {
        // Once the run is under way: the registration's own loop has ended.
        script.When([] { return Modal<TfrmQuestion>() || Modal<TfrmResults>(); }, [] { Pause(); });
    } else if (verb == QLatin1String("failsave")) {
        script.When([] {
            auto *s = TopLevel<TfrmSaveResults>();
            auto *retry = s ? s->findChild<QAbstractButton *>(QStringLiteral("btnRetry")) : nullptr;
            return retry && retry->isEnabled();
        }, [] { Pause(); });
    } else if (verb == QLatin1String("atresults")) {
        script.When([] { return Modal<TfrmResults>() != nullptr; }, [] { Pause(); });
    } else if (verb == QLatin1String("exit")) {
        script.When([] { return Modal<TfrmResults>() != nullptr; }, [] {
            auto *r = Modal<TfrmResults>();
            Say(QStringLiteral("RESULTS %1").arg(r->findChild<QLabel *>(QStringLiteral("labResults"))->text()
                                                   .replace(u'\n', u' ')));
            Press(r, "btnExit");
        });
    }
}
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (!qEnvironmentVariableIsSet("QE_DRIVE_SLEEP"))
        QeClock::SetSleeper([](int) {});
    TRunScript script;
    for (const QString &step : qEnvironmentVariable("QE_DRIVE").split(u';', Qt::SkipEmptyParts))
        AddStep(script, step.trimmed());
    return TfrmMain::RunProgram();
}
