// Formatting through the main window: the commands follow the focus, the
// boxes sit on the formatting tool bar, the Format menu's own enabling, and
// "Установить для выбранных вопросов" on the selected questions.
#include <QtTest>
#include <QAction>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QToolBar>

#include "FormatCommands.h"
#include "MJvRichedit.h"
#include "QuestionListModel.h"
#include "QuestionPane.h"
#include "QuizDocument.h"
#include "fMain.h"
#include "testutil_Editor.h"

using namespace EditorTest;

namespace {
void Select(TfrmMain &w, const QList<int> &rows)
{
    QItemSelectionModel *sel = w.QTree()->selectionModel();
    sel->clearSelection();
    for (int r : rows)
        sel->select(w.Model()->index(r), QItemSelectionModel::Select);
}

bool BodyIsBold(const QByteArray &body)
{
    TMJvRichEdit ed;
    ed.LoadRichFromBytes(body);
    ed.selectAll();
    const TSelectionAttributes s = SelectionAttributes(ed);
    return s.BoldSame && (s.Style & TMyTextAttr::StyleBold);
}
}  // namespace

class TestMainFormat : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void commandsFollowTheFocus()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 2));
        TFormatCommands *fc = f.W().FormatCommands();
        auto *bar = f.W().findChild<QToolBar *>(QStringLiteral("TBToolbarFormat"));
        QVERIFY(bar->isAncestorOf(fc->cbFont()));
        QVERIFY(bar->isAncestorOf(fc->cbFontSize()));
        QAction *bold = f.W().Action("actFormatFontBold");
        f.W().QTree()->setFocus();
        QTRY_VERIFY(!bold->isEnabled());
        QVERIFY(!fc->cbFont()->isEnabled());

        TMJvRichEdit *text = f.W().Pane()->questionText();
        text->setFocus();
        text->selectAll();
        QTRY_VERIFY(bold->isEnabled());
        QCOMPARE(fc->ActiveEditor(), text);
        bold->trigger();
        QVERIFY(bold->isChecked());
        QVERIFY(BodyIsBold(text->SaveRichToBytes()));

        f.W().Pane()->variants()->setFocus();
        QTRY_VERIFY(!bold->isEnabled());
        QVERIFY(!f.W().Action("actInsertPicture")->isEnabled());
    }

    void applyToSelectedQuestionsNeedsAnotherOne()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 3));
        f.W().FocusRow(0);
        TMJvRichEdit *text = f.W().Pane()->questionText();
        text->setFocus();
        text->selectAll();
        QTRY_VERIFY(f.W().Action("actFormatFontBold")->isEnabled());
        f.W().Action("actFormatFontBold")->trigger();
        auto *menu = f.W().findChild<QMenu *>(QStringLiteral("mnuFormat"));
        QAction *setAll = f.W().Action("actFormatSetAllAttr");

        Select(f.W(), {0});
        Q_EMIT menu->aboutToShow();
        QVERIFY(!setAll->isEnabled());
        QVERIFY(f.W().Action("actFormatSetDefaultAttr")->isEnabled());

        Select(f.W(), {0, 2});
        Q_EMIT menu->aboutToShow();
        QVERIFY(setAll->isEnabled());
        f.W().Document()->SetModified(false);
        setAll->trigger();
        QVERIFY(f.W().Document()->isModified());
        QVERIFY(!BodyIsBold(f.W().Model()->record(1).Question->Body));
        QVERIFY(BodyIsBold(f.W().Model()->record(2).Question->Body));
    }

    void formatMenuFollowsTheLastEditorWhateverHoldsTheFocus()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 2));
        auto *menu = f.W().findChild<QMenu *>(QStringLiteral("mnuFormat"));
        QAction *font = f.W().Action("actFormatFont");
        QAction *setDefault = f.W().Action("actFormatSetDefaultAttr");
        for (TMJvRichEdit *editor : {f.W().Pane()->questionText(), f.W().Pane()->questionComment()}) {
            if (editor == f.W().Pane()->questionComment())
                f.W().Action("actEditAddComment")->trigger();
            editor->setFocus();
            QTRY_COMPARE(f.W().FormatCommands()->ActiveEditor(), editor);
            Q_EMIT menu->aboutToShow();
            QVERIFY(font->isEnabled());
            // Opened again after Esc, the menu bar holds the focus.
            f.W().menuBar()->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), f.W().menuBar());
            Q_EMIT menu->aboutToShow();
            QVERIFY(font->isEnabled());
            QVERIFY(setDefault->isEnabled());
        }
        // The variants are no rich text: the menu itself is off.
        f.W().Pane()->variants()->setFocus();
        QTRY_VERIFY(!menu->menuAction()->isEnabled());
    }

    // The font list is built in the guarded part of the start: a failed
    // check there is the start-up failure, and the editor ends.
    void fontListFailureEndsTheStart()
    {
        {
            TEditorFixture f;
            QVERIFY(f.Start());
            TFormatCommands *fc = f.W().FormatCommands();
            QVERIFY(!fc->FontList().isEmpty());
            QCOMPARE(fc->cbFont()->count(), fc->FontList().size());
        }
        TEditorFixture f;
        f.Window = std::make_unique<TfrmMain>();
        f.W().FormatCommands()->FontListBuilder = [](QComboBox *) -> QList<TFontEntry> {
            throw std::logic_error(FormatTexts::FontListSortFailed.toStdString());
        };
        QVERIFY(!f.W().FormCreate(f.ConfigPath));
        QVERIFY(f.W().isEnding());
        QCOMPARE(f.W().exitCode(), 1);
        const QString messages = f.TakeMessages();
        QVERIFY2(messages.endsWith(MainTexts::StartupFailed + FormatTexts::FontListSortFailed + QStringLiteral(" (fMain)")),
                 qPrintable(messages));
        QCOMPARE(messages.count(u'\n'), 0);   // one message, no configuration error after it
    }
};

QTEST_MAIN(TestMainFormat)
#include "tst_MainFormat.moc"
