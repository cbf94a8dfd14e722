// Editing through the main window: adding, deleting with its focus rules,
// reordering, moving the focus, comments, titles, routed edit commands and
// the marks the list shows.
#include <QtTest>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "FormatCommands.h"
#include "MJvRichedit.h"
#include "QuestionListModel.h"
#include "QuestionPane.h"
#include "QuizDocument.h"
#include "RowImages.h"
#include "fMain.h"
#include "fQuestionTitle.h"
#include "testutil_Editor.h"

using namespace EditorTest;

namespace {
const QString AskDelete = QStringLiteral("Внимание!\tУдалить выбранные вопросы?\r\rВы не сможете отменить эту операцию.");

int Image(TfrmMain &w, int row)
{
    return w.Model()->data(w.Model()->index(row), TQuestionListModel::ImageIndexRole).toInt();
}

void Select(TfrmMain &w, const QList<int> &rows)
{
    QItemSelectionModel *sel = w.QTree()->selectionModel();
    sel->clearSelection();
    for (int r : rows)
        sel->select(w.Model()->index(r), QItemSelectionModel::Select);
}
}  // namespace

class TestMainEditing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void addedQuestionIsAnInformationItemUntilItHasVariants()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        f.W().Action("actEditAddQuestion")->trigger();
        QCOMPARE(f.W().CurrentRow(), 0);
        QCOMPARE(Rows(f.W()), QStringList{QStringLiteral("Новый вопрос")});
        QCOMPARE(Image(f.W(), 0), int(RowImages::Info));
        QVERIFY(!f.W().Model()->record(0).isBad());
        QVERIFY(f.W().Pane()->isEnabled());
        QCOMPARE(f.W().Pane()->questionText()->toPlainText(), QStringLiteral("Новый вопрос"));
        QVERIFY(f.W().Action("actEditDeleteQuestions")->isEnabled());
        QVERIFY(f.W().Action("actEditQTitle")->isEnabled());
        QVERIFY(f.W().Action("actEditAddComment")->isEnabled());
        QVERIFY(!f.W().Action("actEditDeleteComment")->isEnabled());
        // The focused row is bold.
        QVERIFY(f.W().Model()->data(f.W().Model()->index(0), Qt::FontRole).value<QFont>().bold());

        // Typing text and two unmarked variants: the row follows after the
        // timer, and the mark comes when the focus leaves the question.
        TMJvRichEdit *text = f.W().Pane()->questionText();
        text->setFocus();
        text->selectAll();
        Type(text, QStringLiteral("Столица Франции?"));
        QPlainTextEdit *mem = f.W().Pane()->variants();
        mem->setFocus();
        Type(mem, QStringLiteral("Париж"));
        QTest::keyClick(mem, Qt::Key_Return);
        Type(mem, QStringLiteral("Лион"));
        QTRY_COMPARE(Rows(f.W()), QStringList{QStringLiteral("Столица Франции?")});
        f.W().Action("actEditAddQuestion")->trigger();
        QCOMPARE(f.W().CurrentRow(), 1);
        QVERIFY(f.W().Model()->record(0).isBad());
        QCOMPARE(Image(f.W(), 0), int(RowImages::Bad));
        QCOMPARE(f.W().Model()->question(0).Variants, (QStringList{"Париж", "Лион"}));
        QCOMPARE(f.W().windowTitle(), QStringLiteral("без имени (2)* - Редактор тестов"));
        // Ticked on the next visit, the mark goes when it is left again.
        f.W().FocusRow(0);
        QTest::mouseClick(f.W().Pane()->checkBox(0), Qt::LeftButton, {}, QPoint(4, 4));
        f.W().FocusRow(1);
        QVERIFY(!f.W().Model()->record(0).isBad());
        QCOMPARE(f.W().Model()->question(0).RightMarks, QStringLiteral("! "));
    }

    void deleteFocusRules_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QString>("focused");
        QTest::newRow("last of three, one selected") << 3 << QList<int>{2} << QStringList{"Q1", "Q2"} << "Q2";
        QTest::newRow("first of three") << 3 << QList<int>{0} << QStringList{"Q2", "Q3"} << "Q2";
        QTest::newRow("middle of three") << 3 << QList<int>{1} << QStringList{"Q1", "Q3"} << "Q3";
        QTest::newRow("two, then the row after the last") << 4 << QList<int>{0, 1} << QStringList{"Q3", "Q4"} << "Q3";
        QTest::newRow("two at the end, the row before") << 3 << QList<int>{1, 2} << QStringList{"Q1"} << "Q1";
        QTest::newRow("gap at the end, nearest unselected") << 4 << QList<int>{0, 1, 3} << QStringList{"Q3"} << "Q3";
        QTest::newRow("first and last, the middle one") << 3 << QList<int>{0, 2} << QStringList{"Q2"} << "Q2";
        QTest::newRow("all") << 3 << QList<int>{0, 1, 2} << QStringList{} << "";
    }
    void deleteFocusRules()
    {
        QFETCH(int, count);
        QFETCH(QList<int>, selected);
        QFETCH(QStringList, left);
        QFETCH(QString, focused);
        TEditorFixture f;
        QVERIFY(StartWith(f, count));
        f.W().FocusRow(selected.constLast());
        Select(f.W(), selected);
        f.Answers = {QMessageBox::Yes};
        f.W().Action("actEditDeleteQuestions")->trigger();
        QCOMPARE(f.Questions, QStringList{AskDelete});
        QCOMPARE(Rows(f.W()), left);
        QVERIFY(f.W().Document()->isModified());
        if (focused.isEmpty()) {
            QVERIFY(!f.W().CurrentQuestion());
            QVERIFY(!f.W().Pane()->isEnabled());
            QVERIFY(f.W().Pane()->questionText()->toPlainText().isEmpty());
            QVERIFY(!f.W().Action("actEditDeleteQuestions")->isEnabled());
            return;
        }
        QVERIFY(f.W().CurrentQuestion());
        QCOMPARE(f.W().CurrentQuestion()->Question->PlainLines.Get(0), focused);
        QCOMPARE(f.W().Pane()->questionText()->toPlainText(), focused);
        QCOMPARE(f.W().Model()->focusedRow(), f.W().CurrentRow());
    }

    void deleteAnsweredNoKeepsEverything()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 2));
        f.Answers = {QMessageBox::No};
        f.W().Action("actEditDeleteQuestions")->trigger();
        QCOMPARE(Rows(f.W()), (QStringList{"Q1", "Q2"}));
        QVERIFY(!f.W().Document()->isModified());
    }

    void altUpDownMovesTheFocusedQuestion()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 3));
        QListView *tree = f.W().QTree();
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(Rows(f.W()), (QStringList{"Q1", "Q2", "Q3"}));
        QVERIFY(!f.W().Document()->isModified());
        f.W().FocusRow(1);
        QTest::keyClick(tree, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(Rows(f.W()), (QStringList{"Q1", "Q3", "Q2"}));
        QCOMPARE(f.W().CurrentRow(), 2);
        QCOMPARE(tree->currentIndex().row(), 2);
        QCOMPARE(f.W().Pane()->questionText()->toPlainText(), QStringLiteral("Q2"));
        QVERIFY(f.W().Document()->isModified());
        QTest::keyClick(tree, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(Rows(f.W()), (QStringList{"Q1", "Q3", "Q2"}));
        QTest::keyClick(tree, Qt::Key_Up, Qt::AltModifier);
        QTest::keyClick(tree, Qt::Key_Up, Qt::AltModifier);
        QCOMPARE(Rows(f.W()), (QStringList{"Q2", "Q1", "Q3"}));
        QCOMPARE(f.W().CurrentRow(), 0);
        // The moved order is what gets saved.
        QVERIFY(f.W().SaveFile());
        TTestInfo info;
        TQuestionList back;
        QVERIFY(LoadTestFromFile(f.Path(QStringLiteral("t.qe2")), info, back).Ok);
        QCOMPARE(back[0]->PlainLines.Get(0), QStringLiteral("Q2"));
        QCOMPARE(back[1]->PlainLines.Get(0), QStringLiteral("Q1"));
    }

    void altArrowMovesOnThePressEvenWhenAltGoesFirst()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 3));
        QListView *tree = f.W().QTree();
        tree->setFocus();
        // A quick press: Alt is let go before the arrow.
        QTest::keyPress(tree, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(Rows(f.W()), (QStringList{"Q2", "Q1", "Q3"}));
        QTest::keyRelease(tree, Qt::Key_Alt, Qt::AltModifier);
        QTest::keyRelease(tree, Qt::Key_Down);
        QCOMPARE(Rows(f.W()), (QStringList{"Q2", "Q1", "Q3"}));
        QCOMPARE(f.W().CurrentRow(), 1);
        // A release with Alt still down is no second move.
        QTest::keyPress(tree, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(Rows(f.W()), (QStringList{"Q2", "Q3", "Q1"}));
        QTest::keyRelease(tree, Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(Rows(f.W()), (QStringList{"Q2", "Q3", "Q1"}));
        QCOMPARE(f.W().CurrentRow(), 2);
    }

    void tabMovesBetweenThePartsCtrlTabTypesATab()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 2));
        QWidget *tree = f.W().QTree();
        TMJvRichEdit *text = f.W().Pane()->questionText();
        TMJvRichEdit *comment = f.W().Pane()->questionComment();
        QPlainTextEdit *mem = f.W().Pane()->variants();
        auto press = [](Qt::Key key, Qt::KeyboardModifiers mods = {}) {
            QTest::keyClick(QApplication::focusWidget(), key, mods);
            return QApplication::focusWidget();
        };
        tree->setFocus();
        // Without a comment the variants follow the text, round to the list.
        QCOMPARE(press(Qt::Key_Tab), text);
        QCOMPARE(press(Qt::Key_Tab), mem);
        QCOMPARE(press(Qt::Key_Tab), tree);
        QCOMPARE(press(Qt::Key_Backtab, Qt::ShiftModifier), mem);
        f.W().Action("actEditAddComment")->trigger();
        f.W().Document()->SetModified(false);
        tree->setFocus();
        const QList<QWidget *> round{text, comment, mem, tree};
        for (QWidget *next : round)
            QCOMPARE(press(Qt::Key_Tab), next);
        for (int i = round.size() - 2; i >= 0; --i)
            QCOMPARE(press(Qt::Key_Backtab, Qt::ShiftModifier), round.at(i));
        QCOMPARE(press(Qt::Key_Backtab, Qt::ShiftModifier), tree);
        // Nothing was typed on the way and the row kept its text.
        QCOMPARE(text->toPlainText(), QStringLiteral("Q1"));
        QCOMPARE(comment->toPlainText(), QStringLiteral("Новый комментарий"));
        QCOMPARE(Rows(f.W()), (QStringList{"Q1", "Q2"}));
        QVERIFY(!f.W().Document()->isModified());

        text->setFocus();
        text->moveCursor(QTextCursor::End);
        QCOMPARE(press(Qt::Key_Tab, Qt::ControlModifier), text);
        Type(text, QStringLiteral("x"));
        QCOMPARE(text->toPlainText(), QStringLiteral("Q1\tx"));
        comment->setFocus();
        comment->moveCursor(QTextCursor::Start);
        QCOMPARE(press(Qt::Key_Tab, Qt::ControlModifier), comment);
        QVERIFY(comment->toPlainText().startsWith(u'\t'));
        // Not in the variants: a tab there is no variant's text.
        mem->setFocus();
        press(Qt::Key_Tab, Qt::ControlModifier);
        QVERIFY(!mem->toPlainText().contains(u'\t'));
    }

    void undoRedoKeysAndSeparatePastes()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 1));
        QAction *undo = f.W().Action("actEditUndo");
        QAction *redo = f.W().Action("actEditRedo");
        // The menu shows what the keys are.
        QCOMPARE(undo->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
        QCOMPARE(redo->shortcut(), QKeySequence(QStringLiteral("Ctrl+Y")));
        QVERIFY(redo->shortcuts().contains(QKeySequence(QStringLiteral("Ctrl+Shift+Z"))));
        auto *menu = f.W().findChild<QMenu *>(QStringLiteral("mnuEdit"));
        QVERIFY(menu && menu->actions().contains(undo) && menu->actions().contains(redo));

        TMJvRichEdit *text = f.W().Pane()->questionText();
        text->setFocus();
        text->moveCursor(QTextCursor::End);
        QApplication::clipboard()->setText(QStringLiteral("ab"));
        QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(text->toPlainText(), QStringLiteral("Q1abab"));
        QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(text->toPlainText(), QStringLiteral("Q1ab"));
        for (const char *key : {"Ctrl+Y", "Ctrl+Shift+Z"}) {
            QTest::keySequence(text, QKeySequence(QString::fromLatin1(key)));
            QCOMPARE(text->toPlainText(), QStringLiteral("Q1abab"));
            QTest::keySequence(text, QKeySequence(QStringLiteral("Ctrl+Z")));
            QCOMPARE(text->toPlainText(), QStringLiteral("Q1ab"));
        }
        // The tool bar's Redo while the font box has the focus acts on the
        // editor last worked in, with no "unexpected" message.
        QTRY_VERIFY(redo->isEnabled());
        f.W().FormatCommands()->cbFont()->setFocus();
        QTRY_VERIFY(f.W().FormatCommands()->cbFont()->hasFocus());
        redo->trigger();
        QCOMPARE(text->toPlainText(), QStringLiteral("Q1abab"));
        QCOMPARE(f.TakeMessages(), QString());

        // The variants too: a paste is one step of its own.
        QPlainTextEdit *mem = f.W().Pane()->variants();
        mem->setFocus();
        mem->moveCursor(QTextCursor::End);
        QApplication::clipboard()->setText(QStringLiteral("cd"));
        QTest::keyClick(mem, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(mem, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(mem->toPlainText(), QStringLiteral("a\nbcdcd"));
        QTest::keyClick(mem, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(mem->toPlainText(), QStringLiteral("a\nbcd"));
    }

    void ctrlPageUpDownMovesTheFocusFromAnyControl()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 3));
        TMJvRichEdit *text = f.W().Pane()->questionText();
        text->setFocus();
        QTest::keyClick(text, Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(f.W().CurrentRow(), 1);
        QCOMPARE(text->toPlainText(), QStringLiteral("Q2"));
        QTest::keyClick(f.W().Pane()->variants(), Qt::Key_PageDown, Qt::ControlModifier);
        QTest::keyClick(f.W().Pane()->variants(), Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(f.W().CurrentRow(), 2);
        QTest::keyClick(f.W().QTree(), Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(f.W().CurrentRow(), 1);
        // Ctrl+Shift is another key.
        QTest::keyClick(text, Qt::Key_PageUp, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(f.W().CurrentRow(), 1);
        QVERIFY(!f.W().Document()->isModified());
    }

    void commentsAddAndDelete()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 2));
        f.W().Action("actEditAddComment")->trigger();
        QCOMPARE(Image(f.W(), 0), int(RowImages::Comment));
        QVERIFY(f.W().Pane()->commentPanel()->isVisibleTo(&f.W()));
        QCOMPARE(f.W().Pane()->questionComment()->toPlainText(), QStringLiteral("Новый комментарий"));
        QVERIFY(!f.W().Action("actEditAddComment")->isEnabled());
        QVERIFY(f.W().Action("actEditDeleteComment")->isEnabled());
        QVERIFY(f.W().Document()->isModified());
        // Elsewhere and back: the comment is kept and shown.
        f.W().FocusRow(1);
        QVERIFY(!f.W().Pane()->commentPanel()->isVisibleTo(&f.W()));
        QVERIFY(f.W().Action("actEditAddComment")->isEnabled());
        f.W().FocusRow(0);
        QVERIFY(f.W().Pane()->commentPanel()->isVisibleTo(&f.W()));
        // Cancel keeps it, OK takes it away.
        f.Answers = {QMessageBox::Cancel, QMessageBox::Ok};
        f.W().Action("actEditDeleteComment")->trigger();
        QVERIFY(f.W().Model()->question(0).Comment.has_value());
        f.W().Action("actEditDeleteComment")->trigger();
        QCOMPARE(f.Questions.value(1),
                 QStringLiteral("Внимание!\tУдалить комментарий вопроса?\r\rВы не сможете отменить эту операцию."));
        QVERIFY(!f.W().Model()->question(0).Comment.has_value());
        QCOMPARE(Image(f.W(), 0), int(RowImages::Question));
        QVERIFY(!f.W().Pane()->commentPanel()->isVisibleTo(&f.W()));
        QVERIFY(f.W().Action("actEditAddComment")->isEnabled());
    }

    void titleDialogChangesTheRowText()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 2));
        auto answer = [](bool useOriginal, const QString &text) {
            QTimer::singleShot(0, [=] {
                auto *dlg = qobject_cast<TfrmQTitle *>(QApplication::activeModalWidget());
                QVERIFY(dlg);
                auto *box = dlg->findChild<QCheckBox *>(QStringLiteral("cboxUseOriginalTitle"));
                auto *ed = dlg->findChild<QLineEdit *>(QStringLiteral("edText"));
                if (box->isChecked() != useOriginal)
                    box->click();
                if (!useOriginal)
                    ed->setText(text);
                dlg->accept();
            });
        };
        answer(false, QStringLiteral("Своё название"));
        f.W().Action("actEditQTitle")->trigger();
        QCOMPARE(Rows(f.W()), (QStringList{"Своё название", "Q2"}));
        QVERIFY(f.W().Document()->isModified());
        // The title wins over the text.
        f.W().Pane()->questionText()->setPlainText(QStringLiteral("Другой текст"));
        f.W().FocusRow(1);
        QCOMPARE(Rows(f.W()).value(0), QStringLiteral("Своё название"));
        f.W().FocusRow(0);
        answer(true, QString());
        f.W().Action("actEditQTitle")->trigger();
        QCOMPARE(Rows(f.W()).value(0), QStringLiteral("Другой текст"));
        QVERIFY(!f.W().Model()->question(0).HasTitle);
    }

    void editCommandsFollowTheFocus()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 3));
        QListView *tree = f.W().QTree();
        tree->setFocus();
        QVERIFY(!f.W().Action("actEditUndo")->isEnabled());
        QVERIFY(!f.W().Action("actEditDelete")->isEnabled());
        f.W().Action("actEditSelectAll")->trigger();
        QCOMPARE(tree->selectionModel()->selectedRows().size(), 3);

        QPlainTextEdit *mem = f.W().Pane()->variants();
        mem->setFocus();
        QVERIFY(!f.W().Action("actEditUndo")->isEnabled());
        QTest::keyClicks(mem, QStringLiteral("c"));
        QVERIFY(f.W().Action("actEditUndo")->isEnabled());
        QVERIFY(!f.W().Action("actEditRedo")->isEnabled());
        f.W().Action("actEditSelectAll")->trigger();
        QVERIFY(f.W().Action("actEditDelete")->isEnabled());
        QVERIFY(f.W().Action("actEditCopy")->isEnabled());
        f.W().Action("actEditDelete")->trigger();
        QVERIFY(mem->toPlainText().isEmpty());
        f.W().Action("actEditUndo")->trigger();
        QCOMPARE(mem->toPlainText(), QStringLiteral("ca\nb"));

        TMJvRichEdit *text = f.W().Pane()->questionText();
        text->setFocus();
        QTest::keyClicks(text, QStringLiteral("Z"));
        QVERIFY(f.W().Action("actEditUndo")->isEnabled());
        f.W().Action("actEditUndo")->trigger();
        QCOMPARE(text->toPlainText(), QStringLiteral("Q1"));
        QVERIFY(f.W().Action("actEditRedo")->isEnabled());
        f.W().Action("actEditRedo")->trigger();
        QCOMPARE(text->toPlainText(), QStringLiteral("ZQ1"));
        QVERIFY(f.Messages.isEmpty());
    }

    void rightClickSelectsTheRow()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 3));
        QListView *tree = f.W().QTree();
        const QRect r = tree->visualRect(f.W().Model()->index(2));
        QMetaObject::invokeMethod(tree, "customContextMenuRequested", Q_ARG(QPoint, r.center()));
        QCOMPARE(f.W().CurrentRow(), 2);
        QCOMPARE(tree->selectionModel()->selectedRows().size(), 1);
        QMenu *menu = f.W().QTreeMenu();
        QTRY_VERIFY(menu->isVisible());
        QStringList names;
        for (QAction *a : menu->actions())
            names << (a->isSeparator() ? QStringLiteral("-") : a->objectName());
        QCOMPARE(names, (QStringList{"actEditCut", "actEditCopy", "actEditPaste", "-", "actEditAddQuestion",
                                     "actEditDeleteQuestions", "-", "actEditQTitle", "actEditAddComment",
                                     "actEditDeleteComment"}));
        menu->close();
    }

    void focusScrollsOnlyARowOutOfViewToTheMiddle()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 80));
        QListView *tree = f.W().QTree();
        QScrollBar *bar = tree->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        const auto middleOff = [&](int row) {
            return qAbs(tree->visualRect(f.W().Model()->index(row)).center().y() - tree->viewport()->height() / 2);
        };
        const int rowHeight = tree->visualRect(f.W().Model()->index(0)).height();
        f.W().FocusRow(50);
        QCOMPARE(f.W().CurrentRow(), 50);
        QVERIFY2(middleOff(50) <= rowHeight, qPrintable(QString::number(middleOff(50))));
        // Rows in view stay where they are, whether focused from code or by a right click.
        const int at = bar->value();
        f.W().FocusRow(51);
        QCOMPARE(f.W().CurrentRow(), 51);
        QCOMPARE(bar->value(), at);
        const QRect r = tree->visualRect(f.W().Model()->index(49));
        QMetaObject::invokeMethod(tree, "customContextMenuRequested", Q_ARG(QPoint, r.center()));
        QCOMPARE(f.W().CurrentRow(), 49);
        QCOMPARE(bar->value(), at);
        f.W().QTreeMenu()->close();
        f.W().FocusRow(0);
        QCOMPARE(bar->value(), 0);
    }

    void rowsShowErrorsOfReadQuestions()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        const QString path = f.Path(QStringLiteral("marks.qe2"));
        auto noText = Question(QString(), {"a", "b"}, "! ");
        noText->PlainLines.Clear();
        WriteTest(path, {Question(QStringLiteral("Хорошо"), {"a", "b"}, " !"), Question(QStringLiteral("Один"), {"a"}, "!"),
                         Question(QStringLiteral("Без отметок"), {"a", "b"}, "  "), noText,
                         Question(QStringLiteral("Строка 1\nСтрока 2\nСтрока 3"))});
        f.FileNames = {path};
        QVERIFY(f.W().OpenFile());
        QCOMPARE(Rows(f.W()), (QStringList{"Хорошо", "Один", "Без отметок", "#Текст не задан#", "Строка 1..."}));
        QCOMPARE(Image(f.W(), 0), int(RowImages::Question));
        QCOMPARE(Image(f.W(), 1), int(RowImages::Bad));
        QCOMPARE(Image(f.W(), 2), int(RowImages::Bad));
        QCOMPARE(Image(f.W(), 3), int(RowImages::Bad));
        QCOMPARE(Image(f.W(), 4), int(RowImages::Info));
    }
};

QTEST_MAIN(TestMainEditing)
#include "tst_MainEditing.moc"
