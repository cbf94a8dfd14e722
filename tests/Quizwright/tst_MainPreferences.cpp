// The editor's window with its preferences: a first start, what a close
// stores, what the next start restores, the settings dialog, the bars' close
// buttons and View commands, and a damaged store at start-up.
#include <QtTest>
#include <QAction>
#include <QCheckBox>
#include <QPushButton>
#include <QListView>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>
#include <QMenu>
#include <numeric>

#include "MJvRichedit.h"

#include "Preferences.h"
#include "QuizDocument.h"
#include "fMain.h"
#include "fPrgSettings.h"
#include "testutil_Editor.h"

using namespace EditorTest;

namespace {
template <class T> T *Widget(const TfrmMain &w, const char *name)
{
    return w.findChild<T *>(QLatin1String(name));
}

QString SettingsPath(const TEditorFixture &f) { return f.Path(QStringLiteral("settings.ini")); }

std::unique_ptr<QSettings> Store(const TEditorFixture &f)
{
    return std::make_unique<QSettings>(SettingsPath(f), QSettings::IniFormat);
}

void Close(TEditorFixture &f)
{
    f.W().QuestionInput = [](const QString &, const QString &, QMessageBox::StandardButtons,
                             QMessageBox::Icon) { return QMessageBox::No; };
    f.W().close();
    QVERIFY(!f.W().isVisible());
}

// What a teacher left: a smaller window, the formatting bar on the left, no
// status bar, three recent files, the folders.
Prefs::TPreferences Left()
{
    Prefs::TPreferences p;
    p.PrefFlags = Prefs::BoldFocused | Prefs::SaveInterface | Prefs::ReadInterface | Prefs::RecheckClipMarked;
    p.WindowState = 0;
    p.MainLeft = 50;
    p.MainTop = 60;
    p.MainWidth = 700;
    p.MainHeight = 500;
    p.I1 = 300;
    p.DefOpenPath = QStringLiteral("/srv/tests");
    p.DefSavePath = QStringLiteral("/srv/out");
    p.RecentFiles = {QStringLiteral("/srv/c.qe2"), QStringLiteral("/srv/b.qe2"), QStringLiteral("/srv/a.qe2")};
    p.BarsStored = true;
    p.Bars[Prefs::BarFormat] = {Prefs::DockLeft, 0, 0, true, QPoint()};
    p.StatusVisible = false;
    return p;
}
}  // namespace

class TestMainPreferences : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstStartStoresAtClose();
    void nextStartRestores();
    void settingsDialogClearsRecheckBit();
    void closeButtonAndViewCommand();
    void damagedBarValueEndsStartup();
    void windowOffEveryScreenComesBack();
    void commentPaneHeightOutlivesAQuestionWithoutComment();
    void floatingBarComesBackAboveTheMaximisedWindow();
};

void TestMainPreferences::floatingBarComesBackAboveTheMaximisedWindow()
{
    TEditorFixture f;
    Prefs::TPreferences left = Left();
    left.PrefFlags |= Prefs::Maximize;
    left.Bars[Prefs::BarFormat] = {QString(), 0, 0, true, QPoint(200, 150)};
    QVERIFY(Prefs::SaveSettings(*Store(f), left));
    QVERIFY(f.Start());
    QVERIFY(QTest::qWaitFor([&] { return f.W().isMaximized(); }));
    auto *bar = Widget<QToolBar>(f.W(), "TBToolbarFormat");
    QVERIFY(bar->isFloating());
    QVERIFY(bar->isVisible());
    QVERIFY(f.W().Action("actViewToolBarFormat")->isChecked());
    // The main window's own: the window manager keeps it above the window.
    QVERIFY(bar->windowHandle());
    QCOMPARE(bar->windowHandle()->transientParent(), f.W().windowHandle());
    QVERIFY(bar->windowHandle()->isVisible());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(screen.contains(bar->geometry().topLeft()), qPrintable(QStringLiteral("%1,%2").arg(bar->x()).arg(bar->y())));
    QCOMPARE(bar->pos(), QPoint(200, 150));
}

void TestMainPreferences::firstStartStoresAtClose()
{
    TEditorFixture f;
    QVERIFY(f.Start());
    QVERIFY(QTest::qWaitFor([&] { return f.W().isMaximized(); }));
    QCOMPARE(f.W().PrefFlags, quint8(0x47));   // the maximise request is consumed
    QVERIFY(f.W().Action("actViewToolBarStandart")->isChecked());
    QVERIFY(f.W().Action("actViewToolBarFormat")->isChecked());
    QVERIFY(f.W().Action("actViewToolBarStatus")->isChecked());
    QVERIFY(f.W().Document()->recentFiles().items().isEmpty());
    Close(f);
    auto s = Store(f);
    QCOMPARE(s->value(QStringLiteral("Quizwright/Options")).toByteArray(), QByteArray(1, char(0x67)));
    QCOMPARE(s->value(QStringLiteral("Quizwright/WindowState")).toInt(), 2);
    QVERIFY(!s->contains(QStringLiteral("Quizwright/MainLeft")));
    QVERIFY(s->contains(QStringLiteral("Quizwright/I1")));
    QCOMPARE(s->value(QStringLiteral("Quizwright/Toolbars/StandartCurrentDock")).toString(), Prefs::DockTop);
    // Below the menu bar, which is the top dock's first row.
    QCOMPARE(s->value(QStringLiteral("Quizwright/Toolbars/MenuDockRow")).toInt(), 0);
    QCOMPARE(s->value(QStringLiteral("Quizwright/Toolbars/StandartDockRow")).toInt(), 1);
    QCOMPARE(s->value(QStringLiteral("Quizwright/Toolbars/FormatDockRow")).toInt(), 2);
    QCOMPARE(s->value(QStringLiteral("Quizwright/DefaultAttributes/FontName")).toString(),
             QStringLiteral("MS Sans Serif"));
}

void TestMainPreferences::nextStartRestores()
{
    TEditorFixture f;
    Prefs::TPreferences left = Left();
    QVERIFY(Prefs::SaveSettings(*Store(f), left));
    QVERIFY(f.Start());
    TfrmMain &w = f.W();
    QCOMPARE(w.PrefFlags, quint8(0x67));
    QVERIFY(!w.isMaximized());
    QCOMPARE(w.pos(), QPoint(50, 60));
    QCOMPARE(w.size(), QSize(700, 500));
    QCOMPARE(Widget<QSplitter>(w, "splMain")->sizes().constFirst(), 300);
    QCOMPARE(w.toolBarArea(Widget<QToolBar>(w, "TBToolbarFormat")), Qt::LeftToolBarArea);
    // Docked at the side, the bar keeps to the width of a narrow font box.
    QVERIFY2(Widget<QToolBar>(w, "TBToolbarFormat")->width() < 140,
             qPrintable(QString::number(Widget<QToolBar>(w, "TBToolbarFormat")->width())));
    QVERIFY(w.statusBar()->isHidden());
    QVERIFY(!w.Action("actViewToolBarStatus")->isChecked());
    QCOMPARE(w.Document()->recentFiles().items(), left.RecentFiles);
    QCOMPARE(w.Document()->openDirectory(), QStringLiteral("/srv/tests"));
    QCOMPARE(w.Document()->saveDirectory(), QStringLiteral("/srv/out"));
    // The File menu lists them newest first.
    QStringList listed;
    for (QAction *a : Widget<QMenu>(w, "mnuFile")->actions())
        if (left.RecentFiles.contains(a->statusTip()))
            listed.append(a->statusTip());
    QCOMPARE(listed, left.RecentFiles);

    // Shown again, moved, closed: stored as left.
    w.Action("actViewToolBarStatus")->trigger();
    QVERIFY(!w.statusBar()->isHidden());
    w.move(70, 80);
    Close(f);
    const Prefs::TPreferences p = Prefs::LoadSettings(*Store(f));
    QCOMPARE(p.MainLeft, std::optional<qint32>(70));
    QCOMPARE(p.MainTop, std::optional<qint32>(80));
    QCOMPARE(p.MainWidth, std::optional<qint32>(700));
    QVERIFY(p.StatusVisible);
    QCOMPARE(p.Bars[Prefs::BarFormat].CurrentDock, Prefs::DockLeft);
    QCOMPARE(p.RecentFiles, left.RecentFiles);
    QCOMPARE(p.DefOpenPath, QStringLiteral("/srv/tests"));
}

void TestMainPreferences::settingsDialogClearsRecheckBit()
{
    TEditorFixture f;
    Prefs::TPreferences left = Left();
    QVERIFY(Prefs::SaveSettings(*Store(f), left));
    QVERIFY(f.Start());
    QCOMPARE(f.W().PrefFlags, quint8(0x67));
    bool seen = false;
    QTimer::singleShot(0, &f.W(), [&] {
        auto *dlg = f.W().findChild<TfrmPrgSettings *>();
        QVERIFY(dlg && dlg->isVisible());
        seen = true;
        QVERIFY(dlg->findChild<QCheckBox *>(QStringLiteral("cboxSelectCurrentQuestion"))->isChecked());
        dlg->findChild<QCheckBox *>(QStringLiteral("cboxSelectCurrentQuestion"))->setChecked(false);
        QTest::mouseClick(dlg->findChild<QPushButton *>(QStringLiteral("btnOK")), Qt::LeftButton);
    });
    f.W().Action("actServiceParameters")->trigger();
    QVERIFY(seen);
    QCOMPARE(f.W().PrefFlags, quint8(Prefs::SaveInterface | Prefs::ReadInterface));
    Close(f);
    QCOMPARE(Store(f)->value(QStringLiteral("Quizwright/Options")).toByteArray(), QByteArray(1, char(0x26)));
}

void TestMainPreferences::closeButtonAndViewCommand()
{
    TEditorFixture f;
    QVERIFY(f.Start());
    TfrmMain &w = f.W();
    auto *close = Widget<QWidget>(w, "TBToolbarFormat")->findChild<QToolButton *>(QStringLiteral("TBToolbarFormatClose"));
    QVERIFY(close);
    QVERIFY(!Widget<QWidget>(w, "TBToolbarMenu")->findChild<QToolButton *>(QStringLiteral("TBToolbarMenuClose")));
    QTest::mouseClick(close, Qt::LeftButton);
    QVERIFY(Widget<QWidget>(w, "TBToolbarFormat")->isHidden());
    QVERIFY(!w.Action("actViewToolBarFormat")->isChecked());
    w.Action("actViewToolBarFormat")->trigger();
    QVERIFY(!Widget<QWidget>(w, "TBToolbarFormat")->isHidden());
    QVERIFY(w.Action("actViewToolBarFormat")->isChecked());
    w.Action("actViewToolBarStandart")->trigger();
    QVERIFY(Widget<QWidget>(w, "TBToolBarStandart")->isHidden());
    Close(f);
    auto s = Store(f);
    QCOMPARE(s->value(QStringLiteral("Quizwright/Toolbars/StandartVisible")).toInt(), 0);
    QCOMPARE(s->value(QStringLiteral("Quizwright/Toolbars/FormatVisible")).toInt(), 1);
}

void TestMainPreferences::damagedBarValueEndsStartup()
{
    TEditorFixture f;
    Prefs::TPreferences left = Left();
    QVERIFY(Prefs::SaveSettings(*Store(f), left));
    Store(f)->setValue(QStringLiteral("Quizwright/Toolbars/FormatDockRow"), QStringLiteral("second"));
    QVERIFY(!f.Start());
    const QString messages = f.TakeMessages();
    QVERIFY2(messages.contains(MainTexts::StartupFailed), qPrintable(messages));
    QVERIFY2(messages.contains(SettingsPath(f)), qPrintable(messages));
    QVERIFY2(messages.contains(QStringLiteral("Toolbars\\FormatDockRow")), qPrintable(messages));
}

void TestMainPreferences::windowOffEveryScreenComesBack()
{
    TEditorFixture f;
    Prefs::TPreferences left = Left();
    left.MainLeft = 30000;
    left.MainTop = -4000;
    left.MainWidth = -10;
    QVERIFY(Prefs::SaveSettings(*Store(f), left));
    QVERIFY(f.Start());
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // The design size, its top edge on the screen.
    QCOMPARE(f.W().size(), QSize(TfrmMain::DesignWidth, TfrmMain::DesignHeight));
    QVERIFY(f.W().x() >= screen.left() && f.W().x() < screen.right() - 64);
    QVERIFY(f.W().y() >= screen.top() && f.W().y() < screen.bottom() - 24);
}

// The comment pane is hidden for a question without comment; the height the
// teacher gave it is what the next start shows, not nothing.
void TestMainPreferences::commentPaneHeightOutlivesAQuestionWithoutComment()
{
    TEditorFixture f;
    QVERIFY(f.Start());
    TQuestionList list;
    list.push_back(Question(QStringLiteral("с комментарием"), {"a", "b"}, "! "));
    list.back()->Comment = RichRecord::FromPlainText(QStringLiteral("комментарий"));
    list.push_back(Question(QStringLiteral("без комментария"), {"a", "b"}, " !"));
    const QString path = f.Path(QStringLiteral("t.qe2"));
    WriteTest(path, list);
    f.FileNames = {path};
    QVERIFY(f.W().OpenFile());
    TfrmMain &w = f.W();
    w.FocusRow(0);
    auto *question = Widget<QSplitter>(w, "splQuestion");
    auto *comment = Widget<QWidget>(w, "panComment");
    QTRY_VERIFY(comment->isVisible());
    QList<int> sizes = question->sizes();
    const int index = question->indexOf(comment);
    QVERIFY(index >= 0);
    const int total = std::accumulate(sizes.begin(), sizes.end(), 0);
    sizes[index] = 90;
    sizes[0] = total - 90 - sizes.last();
    question->setSizes(sizes);
    QTRY_COMPARE(comment->height(), 90);
    w.FocusRow(1);
    QTRY_VERIFY(comment->isHidden());
    Close(f);
    QCOMPARE(Prefs::LoadSettings(*Store(f)).I3, std::optional<qint32>(90));
}

QTEST_MAIN(TestMainPreferences)
#include "tst_MainPreferences.moc"
