// Whole questions on the clipboard: the bytes of the format, reading them
// whole or not at all, the data rendered only when asked, and the editor's
// cut, copy and paste with the marks that follow the clipboard.
#include <QtTest>
#include <QAction>
#include <QBuffer>
#include <QClipboard>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QMimeData>
#include <QPlainTextEdit>

#include "ClipboardCommands.h"
#include "MJvRichedit.h"
#include "QuestionClipboard.h"
#include "QuestionListModel.h"
#include "QuestionPane.h"
#include "QuizDocument.h"
#include "RowImages.h"
#include "fMain.h"
#include "testutil_Editor.h"

using namespace EditorTest;
using namespace QuestionClipboard;

namespace {
const QString ClipboardFailed = QStringLiteral("Ошибка !\tОшибка при работе с буфером обмена");
const QString AskKeep = QStringLiteral(
    "Внимание!\tБуфер обмена содержит скопированные вопросы.\r\rВы хотите, чтобы эти данные были доступны после закрытия файла?");

TNodeRecord Record(const QString &text, quint8 flags = 0, bool comment = false, bool title = false)
{
    TNodeRecord r;
    r.Question = std::make_unique<TNQuestion>(*Question(text, {"a", "b", "c"}, " ! "));
    if (comment)
        r.Question->Comment = RichRecord::FromPlainText(QStringLiteral("комментарий к ") + text);
    if (title) {
        r.Question->HasTitle = true;
        r.Question->Title = QStringLiteral("Заголовок ") + text;
    }
    r.NodeFlags = flags;
    return r;
}

QByteArray RecordBytes(const TNQuestion &q)
{
    QByteArray b;
    QBuffer buf(&b);
    buf.open(QIODevice::WriteOnly);
    WriteQuestion(q, buf);
    return b;
}

quint32 U32At(const QByteArray &b, int at)
{
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 | quint32(uchar(b[at + 2])) << 16
           | quint32(uchar(b[at + 3])) << 24;
}

QByteArray U32(quint32 v)
{
    QByteArray b(4, 0);
    for (int i = 0; i < 4; ++i)
        b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

void Select(TfrmMain &w, const QList<int> &rows)
{
    QItemSelectionModel *sel = w.QTree()->selectionModel();
    sel->clearSelection();
    for (int r : rows)
        sel->select(w.Model()->index(r), QItemSelectionModel::Select);
}

QList<int> Marked(TfrmMain &w)
{
    QList<int> rows;
    for (int i = 0; i < w.Model()->count(); ++i)
        if (w.Model()->isClipMarked(i))
            rows << i;
    return rows;
}

void PutForeignBlock(const QByteArray &block)
{
    auto *data = new QMimeData;
    data->setData(MimeType, block);
    QGuiApplication::clipboard()->setMimeData(data);
}
}  // namespace

class TestQuestionClipboard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() { QGuiApplication::clipboard()->clear(); }

    // ---- the bytes ----

    void blockIsCountThenNodeRecordsOfRecordAndFlag()
    {
        TNodeRecord a = Record("A", NodeFlagBad, true), b = Record("B", 0, false, true);
        const QByteArray block = EncodeBlock({&a, &b});
        QCOMPARE(U32At(block, 0), quint32(block.size() - 4));
        QCOMPARE(block.mid(4), EncodeNodes({&a, &b}));

        // Each node: its size, the question record exactly as a test file holds it, the flag byte.
        const QByteArray ra = RecordBytes(*a.Question), rb = RecordBytes(*b.Question);
        int at = 4;
        QCOMPARE(U32At(block, at), quint32(ra.size() + 1));
        QCOMPARE(block.mid(at + 4, ra.size()), ra);
        QCOMPARE(int(block.at(at + 4 + ra.size())), 1);
        at += 4 + ra.size() + 1;
        QCOMPARE(U32At(block, at), quint32(rb.size() + 1));
        QCOMPARE(block.mid(at + 4, rb.size()), rb);
        QCOMPARE(int(block.at(at + 4 + rb.size())), 0);
        QCOMPARE(at + 4 + rb.size() + 1, block.size());
    }

    void questionsComeBackWholeWithTheirMarks()
    {
        TNodeRecord a = Record("A\nвторая строка", NodeFlagBad, true, true), b = Record("B");
        // A body with an object record: bytes that no reader looks into.
        b.Question->Body += QByteArray("BDOC") + QByteArray(300, '\x7f');
        const TDecodeResult r = DecodeBlock(EncodeBlock({&a, &b}) + QByteArray(13, '\0'));
        QVERIFY2(r.Ok, qPrintable(r.Error));
        QCOMPARE(r.Records.size(), size_t(2));
        const TNQuestion &qa = *r.Records[0].Question, &qb = *r.Records[1].Question;
        QCOMPARE(qa.PlainLines, a.Question->PlainLines);
        QCOMPARE(qa.Body, a.Question->Body);
        QCOMPARE(qa.Comment, a.Question->Comment);
        QVERIFY(qa.HasTitle);
        QCOMPARE(qa.Title, a.Question->Title);
        QCOMPARE(qa.Variants, a.Question->Variants);
        QCOMPARE(qa.RightMarks, QStringLiteral(" ! "));
        QVERIFY(qa.ContentReady && qb.ContentReady);
        QVERIFY(r.Records[0].isBad());
        QVERIFY(!r.Records[1].isBad());
        QCOMPARE(qb.Body, b.Question->Body);
        QVERIFY(!qb.Comment && !qb.HasTitle);
    }

    void damagedOrForeignBytesGiveNothingAtAll()
    {
        TNodeRecord a = Record("A"), b = Record("B"), c = Record("C");
        const QByteArray good = EncodeBlock({&a, &b, &c});
        QVERIFY(DecodeBlock(good).Ok);
        // Cut short anywhere: never a part of the list.
        for (int len = 0; len < good.size(); len += 3) {
            const TDecodeResult r = DecodeBlock(good.left(len));
            QVERIFY2(!r.Ok, qPrintable(QString::number(len)));
            QVERIFY(r.Records.empty());
        }
        QByteArray flag2 = good;
        flag2[4 + 4 + RecordBytes(*a.Question).size()] = 2;
        QVERIFY(!DecodeBlock(flag2).Ok);
        QVERIFY(DecodeBlock(flag2).Records.empty());
        QVERIFY(!DecodeBlock(QByteArray("\x01\x00")).Ok);
        QVERIFY(!DecodeBlock(U32(100) + QByteArray(20, 'x')).Ok);
        QVERIFY(!DecodeBlock(QByteArray("{\\rtf1\\ansi some text copied elsewhere}")).Ok);
        // A node longer than its question: the extra bytes are not a flag.
        const QByteArray ra = RecordBytes(*a.Question);
        QVERIFY(!DecodeBlock(BlockOf(U32(quint32(ra.size() + 3)) + ra + QByteArray("\0\0\0", 3))).Ok);
        const TDecodeResult r = DecodeBlock(BlockOf(U32(0)));
        QVERIFY(!r.Ok);
        QVERIFY(r.Offset >= 4);
        // No nodes at all is a valid, empty block.
        QVERIFY(DecodeBlock(U32(0)).Ok);
    }

    void dataIsRenderedWhenAskedForAndThenStays()
    {
        TNodeRecord a = Record("A"), b = Record("B", NodeFlagBad);
        auto *data = new TQuestionMimeData(nullptr, {&a, &b});
        QCOMPARE(data->formats(), QStringList{MimeType});
        QVERIFY(!data->hasText() && !data->hasHtml() && !data->hasFormat("text/rtf"));
        QVERIFY(!data->isRendered());
        // Still lazy: what the rows hold when a receiver asks is what it gets.
        a.Question->PlainLines.Put(0, QStringLiteral("A changed"));
        QByteArray bytes = data->data(MimeType);
        QVERIFY(data->isRendered() && data->records().empty());
        a.Question->PlainLines.Put(0, QStringLiteral("A later"));
        QCOMPARE(data->data(MimeType), bytes);
        const TDecodeResult r = DecodeBlock(bytes);
        QVERIFY(r.Ok);
        QCOMPARE(r.Records[0].Question->PlainLines.Get(0), QStringLiteral("A changed"));
        QVERIFY(r.Records[1].isBad());
        delete data;
    }

    // ---- the editor ----

    void copyWithoutSelectionCopiesTheFocusedRowUntilAnotherProgramCopies()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 3));
        TfrmMain &w = f.W();
        w.FocusRow(1);
        w.QTree()->selectionModel()->clearSelection();
        w.QTree()->setFocus();
        QVERIFY(w.Action("actEditCopy")->isEnabled());
        QVERIFY(!w.Action("actEditPaste")->isEnabled());
        w.Action("actEditCopy")->trigger();
        QCOMPARE(Marked(w), QList<int>{1});
        QCOMPARE(w.Model()->data(w.Model()->index(1), TQuestionListModel::ImageIndexRole).toInt(), int(RowImages::Clip));
        QVERIFY(w.Action("actEditPaste")->isEnabled());
        QVERIFY(!w.Document()->isModified());
        const QMimeData *onClipboard = QGuiApplication::clipboard()->mimeData();
        QCOMPARE(onClipboard->formats(), QStringList{MimeType});
        const TDecodeResult r = DecodeBlock(onClipboard->data(MimeType));
        QCOMPARE(r.Records.size(), size_t(1));
        QCOMPARE(r.Records[0].Question->PlainLines.Get(0), QStringLiteral("Q2"));

        QGuiApplication::clipboard()->setText(QStringLiteral("из другой программы"));
        QVERIFY(Marked(w).isEmpty());
        QVERIFY(!w.Action("actEditPaste")->isEnabled());
        QVERIFY(f.Messages.isEmpty());
    }

    void cutOfThreeThenPasteAfterTheFocusedRowInOrderWithMarks()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 6, {3}));
        TfrmMain &w = f.W();
        w.FocusRow(1);
        Select(w, {1, 2, 4});
        w.QTree()->setFocus();
        w.Action("actEditCut")->trigger();
        QVERIFY(f.Questions.isEmpty());
        QCOMPARE(Rows(w), (QStringList{"Q1", "Q4", "Q6"}));
        QVERIFY(w.Document()->isModified());
        QVERIFY(Marked(w).isEmpty());
        QVERIFY(w.windowTitle().contains(QStringLiteral("(3)")));
        // Cut data outlives its rows.
        QVERIFY(w.Action("actEditPaste")->isEnabled());

        w.FocusRow(0);
        w.QTree()->setFocus();
        w.Action("actEditPaste")->trigger();
        QCOMPARE(Rows(w), (QStringList{"Q1", "Q2", "Q3", "Q5", "Q4", "Q6"}));
        QVERIFY(!w.Model()->record(1).isBad());
        QVERIFY(w.Model()->record(2).isBad());
        QVERIFY(!w.Model()->record(3).isBad());
        QCOMPARE(w.CurrentRow(), 0);
        // The clipboard keeps them: a second paste adds them again.
        w.Action("actEditPaste")->trigger();
        QCOMPARE(w.Model()->count(), 9);
        QVERIFY(f.Messages.isEmpty());
    }

    void pasteIntoAnEmptyListFocusesTheFirstPasted()
    {
        TEditorFixture f;
        QVERIFY(f.Start());
        TfrmMain &w = f.W();
        TNodeRecord a = Record("A", 0, true, true), b = Record("B");
        PutForeignBlock(EncodeBlock({&a, &b}));
        w.QTree()->setFocus();
        QVERIFY(w.Action("actEditPaste")->isEnabled());
        w.Action("actEditPaste")->trigger();
        QCOMPARE(Rows(w), (QStringList{QStringLiteral("Заголовок A"), "B"}));
        QCOMPARE(w.CurrentRow(), 0);
        QCOMPARE(w.Pane()->questionText()->toPlainText(), QStringLiteral("A"));
        QVERIFY(!w.Pane()->questionComment()->isHidden());
        QVERIFY(w.Document()->isModified());
    }

    void editingACopiedQuestionEmptiesTheClipboard()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 2));
        TfrmMain &w = f.W();
        w.FocusRow(0);
        w.QTree()->setFocus();
        w.Action("actEditCopy")->trigger();
        QCOMPARE(Marked(w), QList<int>{0});
        // Its comment or title may change; its text may not.
        TMJvRichEdit *text = w.Pane()->questionText();
        text->setFocus();
        QTest::keyClicks(text, QStringLiteral("x"));
        w.Pane()->TimerUpdateQuestionTimer();
        QVERIFY(Marked(w).isEmpty());
        QVERIFY(!HoldsQuestions());
        w.QTree()->setFocus();
        w.ButtonsState();
        QVERIFY(!w.Action("actEditPaste")->isEnabled());

        // The same when the edit is taken by moving on before the timer.
        w.FocusRow(1);
        w.QTree()->setFocus();
        w.Action("actEditCopy")->trigger();
        w.Pane()->variants()->setFocus();
        QTest::keyClicks(w.Pane()->variants(), QStringLiteral("z"));
        w.FocusRow(0);
        QVERIFY(!HoldsQuestions());
        QVERIFY(Marked(w).isEmpty());
    }

    void damagedDataUnderOurNameInsertsNothingAndSaysSo()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 2));
        TfrmMain &w = f.W();
        TNodeRecord a = Record("A"), b = Record("B");
        QByteArray block = EncodeBlock({&a, &b});
        block.chop(9);
        block.replace(0, 4, U32(quint32(block.size() - 4)));
        PutForeignBlock(block);
        w.QTree()->setFocus();
        w.ButtonsState();
        QVERIFY(w.Action("actEditPaste")->isEnabled());
        w.Action("actEditPaste")->trigger();
        QCOMPARE(f.TakeMessages(), ClipboardFailed);
        QCOMPARE(Rows(w), (QStringList{"Q1", "Q2"}));
        QVERIFY(!w.Document()->isModified());
        QVERIFY(!QApplication::overrideCursor());
    }

    void deletingACopiedRowKeepsWhatWasCopied()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 3));
        TfrmMain &w = f.W();
        w.FocusRow(0);
        Select(w, {0, 1});
        w.QTree()->setFocus();
        w.Action("actEditCopy")->trigger();
        Select(w, {0});
        w.DeleteSelectedQuestions();
        const TDecodeResult r = ReadClipboard();
        QVERIFY(r.Ok);
        QCOMPARE(r.Records.size(), size_t(2));
        QCOMPARE(r.Records[0].Question->PlainLines.Get(0), QStringLiteral("Q1"));
    }

    void newTestAsksWhetherCopiedQuestionsStay()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 3));
        TfrmMain &w = f.W();
        // Not asked while nothing is marked.
        w.NewTest();
        QVERIFY(f.Questions.isEmpty());

        f.FileNames = {f.Path("t.qe2")};
        QVERIFY(w.OpenFile());
        w.FocusRow(2);
        w.QTree()->setFocus();
        w.Action("actEditCopy")->trigger();
        f.Answers = {QMessageBox::Yes};
        w.NewTest();
        QCOMPARE(f.Questions, QStringList{AskKeep});
        QCOMPARE(w.Model()->count(), 0);
        w.QTree()->setFocus();
        w.Action("actEditPaste")->trigger();
        QCOMPARE(Rows(w), QStringList{"Q3"});

        // An open asks too; No empties the clipboard.
        f.Questions.clear();
        w.FocusRow(0);
        w.QTree()->setFocus();
        w.Action("actEditCopy")->trigger();
        w.Document()->SetModified(false);
        f.FileNames = {f.Path("t.qe2")};
        f.Answers = {QMessageBox::No};
        QVERIFY(w.OpenFile());
        QCOMPARE(f.Questions, QStringList{AskKeep});
        QVERIFY(!HoldsQuestions());
        QCOMPARE(Rows(w), (QStringList{"Q1", "Q2", "Q3"}));
        QVERIFY(f.Messages.isEmpty());
    }

    void closingAsksAndYesLeavesTheQuestionsOnTheClipboard()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 3));
        TfrmMain &w = f.W();
        w.FocusRow(0);
        Select(w, {0, 2});
        w.QTree()->setFocus();
        w.Action("actEditCopy")->trigger();
        f.Answers = {QMessageBox::Yes};
        QVERIFY(w.close());
        QCOMPARE(f.Questions, QStringList{AskKeep});
        QCOMPARE(w.Model()->count(), 0);
        f.Window.reset();
        // The rows are gone with the window; their copies are not.
        const TDecodeResult r = ReadClipboard();
        QVERIFY(r.Ok);
        QCOMPARE(r.Records.size(), size_t(2));
        QCOMPARE(r.Records[1].Question->PlainLines.Get(0), QStringLiteral("Q3"));
    }

    void closingWithNoEmptiesTheClipboard()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 2));
        TfrmMain &w = f.W();
        w.FocusRow(1);
        w.QTree()->setFocus();
        w.Action("actEditCopy")->trigger();
        f.Answers = {QMessageBox::No};
        QVERIFY(w.close());
        QCOMPARE(f.Questions, QStringList{AskKeep});
        QVERIFY(!HoldsQuestions());
    }

    void commandsOutsideTheListAndEditorsSayTheSituationIsUnforeseen()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 1));
        f.W().Action("actEditAddQuestion")->setEnabled(true);
        QWidget *other = f.W().findChild<QWidget *>(QStringLiteral("splMain"));
        QVERIFY(other);
        other->setFocusPolicy(Qt::StrongFocus);
        other->setFocus();
        f.W().Clipboard()->Copy();
        QCOMPARE(f.TakeMessages(), QStringLiteral("Error\tНепредусмотренная ситуация. Обратитесь к разработчику."));
    }

    void pasteSpecialInsertsTheChosenForm()
    {
        TEditorFixture f;
        QVERIFY(StartWith(f, 1));
        TfrmMain &w = f.W();
        auto *data = new QMimeData;
        data->setData("text/rtf", "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\b Bold\\b0  text\\par}");
        data->setHtml(QStringLiteral("<p><i>курсив</i></p>"));
        data->setText(QStringLiteral("просто текст"));
        QGuiApplication::clipboard()->setMimeData(data);
        TMJvRichEdit *text = w.Pane()->questionText();
        text->setFocus();
        text->selectAll();
        w.ButtonsState();
        QVERIFY(w.Action("actEditPasteSpecial")->isEnabled());
        QList<PasteSpecial::TForm> offered;
        w.Clipboard()->PasteSpecialInput = [&](const QList<PasteSpecial::TForm> &forms) {
            offered = forms;
            return std::optional<PasteSpecial::TForm>(PasteSpecial::TForm::PlainText);
        };
        w.Action("actEditPasteSpecial")->trigger();
        QCOMPARE(offered, (QList<PasteSpecial::TForm>{PasteSpecial::TForm::RichText, PasteSpecial::TForm::Html,
                                                      PasteSpecial::TForm::PlainText}));
        QCOMPARE(text->toPlainText(), QStringLiteral("просто текст"));
        QVERIFY(!text->textCursor().charFormat().font().bold());

        text->selectAll();
        w.Clipboard()->PasteSpecialInput = [](const QList<PasteSpecial::TForm> &) {
            return std::optional<PasteSpecial::TForm>(PasteSpecial::TForm::RichText);
        };
        w.Action("actEditPasteSpecial")->trigger();
        QCOMPARE(text->toPlainText(), QStringLiteral("Bold text"));
        QTextCursor c(text->document());
        c.setPosition(2);
        QVERIFY(c.charFormat().font().bold());

        text->selectAll();
        w.Clipboard()->PasteSpecialInput = [](const QList<PasteSpecial::TForm> &) {
            return std::optional<PasteSpecial::TForm>(PasteSpecial::TForm::Html);
        };
        w.Action("actEditPasteSpecial")->trigger();
        QCOMPARE(text->toPlainText().trimmed(), QStringLiteral("курсив"));
        c = QTextCursor(text->document());
        c.setPosition(2);
        QVERIFY(c.charFormat().font().italic());

        // Questions are nothing the editors can take; the list is where they go.
        TNodeRecord a = Record("A");
        PutForeignBlock(EncodeBlock({&a}));
        text->setFocus();
        w.ButtonsState();
        QVERIFY(!w.Action("actEditPasteSpecial")->isEnabled());
        QVERIFY(!w.Action("actEditPaste")->isEnabled());
        w.QTree()->setFocus();
        w.ButtonsState();
        QVERIFY(!w.Action("actEditPasteSpecial")->isEnabled());
    }

    void pasteSpecialDialogListsAndReturnsTheChoice()
    {
        TfrmPasteSpecial dlg;
        dlg.SetForms({PasteSpecial::TForm::PlainText, PasteSpecial::TForm::Picture});
        auto *list = dlg.findChild<QListWidget *>(QStringLiteral("lbFormats"));
        QVERIFY(list);
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(1)->text(), QStringLiteral("Рисунок"));
        QCOMPARE(dlg.Chosen(), std::optional(PasteSpecial::TForm::PlainText));
        list->setCurrentRow(1);
        QCOMPARE(dlg.Chosen(), std::optional(PasteSpecial::TForm::Picture));
        dlg.SetForms({});
        QVERIFY(!dlg.Chosen());
        QVERIFY(!dlg.findChild<QPushButton *>(QStringLiteral("btnOK"))->isEnabled());
    }
};

QTEST_MAIN(TestQuestionClipboard)
#include "tst_QuestionClipboard.moc"
