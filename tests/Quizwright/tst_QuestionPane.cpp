// The question pane: variants and their boxes, the 1251 filter, flushing the
// editors into the question, comments, the lock and the edit-command queries.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include "MJvRichedit.h"
#include "MessageBoxes.h"
#include "QuestionListModel.h"
#include "QuestionPane.h"
#include "QuizDocument.h"

namespace {
QByteArray CorpusRecord(const char *name)
{
    QFile f(QStringLiteral(QE_CORPUS_DIR "/richedit/%1.rec").arg(QLatin1String(name)));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

TNodeRecord MakeRecord(const QString &text, const QStringList &variants = {}, const QString &marks = {})
{
    TNodeRecord rec;
    rec.Question = std::make_unique<TNQuestion>();
    TNQuestion &q = *rec.Question;
    q.Body = RichRecord::FromPlainText(text);
    for (const QString &l : text.split(QLatin1Char('\n')))
        q.PlainLines.Add(l);
    q.Variants = variants;
    q.RightMarks = marks;
    q.ContentReady = true;
    return rec;
}

QStringList Lines(QPlainTextEdit *e)
{
    QStringList l;
    for (QTextBlock b = e->document()->begin(); b.isValid(); b = b.next())
        l.append(b.text());
    return l;
}

// Key presses as a keyboard makes them, any character included; '\n' is Return.
void Type(QWidget *w, const QString &s)
{
    for (const QChar ch : s) {
        if (ch == QLatin1Char('\n')) {
            QTest::keyClick(w, Qt::Key_Return);
            continue;
        }
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QApplication::sendEvent(w, &release);
    }
}

QList<bool> Ticks(const TQuestionPane &pane)
{
    QList<bool> t;
    for (QCheckBox *b : pane.checkBoxes())
        t.append(b->isChecked());
    return t;
}

QList<bool> Enabled(const TQuestionPane &pane)
{
    QList<bool> t;
    for (QCheckBox *b : pane.checkBoxes())
        t.append(b->isEnabled());
    return t;
}

// The middle of line i in the pane's variants panel, from the editor's own layout.
int LineMiddle(TQuestionPane &pane, int i)
{
    QPlainTextEdit *mem = pane.variants();
    const QRect r = mem->cursorRect(QTextCursor(mem->document()->findBlockByNumber(i)));
    return mem->viewport()->mapTo(pane.variantsPanel(), QPoint(0, r.top() + r.height() / 2)).y();
}

struct TPaneFixture {
    TQuizDocument doc;
    TQuestionPane pane;
    QStringList messages;
    TPaneFixture()
    {
        SetMessageSink([this](QMessageBox::Icon, const QString &, const QString &text) { messages.append(text); });
        pane.setDocument(&doc);
        pane.resize(520, 460);
        pane.show();
        QApplication::setActiveWindow(&pane);
        (void)QTest::qWaitForWindowActive(&pane);
    }
    ~TPaneFixture() { SetMessageSink({}); }
    QCheckBox *box(int i) { return pane.findChild<QCheckBox *>(QStringLiteral("chboxVariant%1").arg(i)); }
    QPlainTextEdit *mem() { return pane.findChild<QPlainTextEdit *>(QStringLiteral("memVariants")); }
    TMJvRichEdit *text() { return pane.findChild<TMJvRichEdit *>(QStringLiteral("reQuestionText")); }
    TMJvRichEdit *comment() { return pane.findChild<TMJvRichEdit *>(QStringLiteral("reQuestionComment")); }
    QFrame *panel(const char *name) { return pane.findChild<QFrame *>(QLatin1String(name)); }
    void typeVariants(const QString &s)
    {
        mem()->setFocus();
        mem()->moveCursor(QTextCursor::End);
        Type(mem(), s);
    }
    void pasteVariants(const QString &s)
    {
        QApplication::clipboard()->setText(s);
        mem()->setFocus();
        mem()->paste();
    }
};
} // namespace

class TestQuestionPane : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layoutAndControls();
    void tenLineLimit();
    void shrinkingKeepsTheTextsShare();
    void ticksStayOnBoxPositions();
    void badStateAfterFlush();
    void newQuestionGetsDefaultContent();
    void nonAnsiBecomesQuestionMark();
    void selectionQueries();
    void boxesFollowLines();
    void unchangedQuestionKeepsBytes();
    void editedTextIsTaken();
    void lockIsHonoured();
    void undoneEditsReachTheQuestion();
    void comments();
    void panelFrames();
    void unreadableBody();
};

void TestQuestionPane::layoutAndControls()
{
    TPaneFixture fx;
    QCOMPARE(fx.pane.objectName(), QStringLiteral("panMain2"));
    QVERIFY(!fx.pane.isEnabled());   // no current question yet
    QCOMPARE(fx.mem()->lineWrapMode(), QPlainTextEdit::NoWrap);
    QVERIFY(fx.panel("panText")->minimumHeight() >= 60 && fx.panel("panText")->minimumWidth() >= 100);
    QVERIFY(fx.panel("panComment")->minimumHeight() >= 60 && fx.panel("panComment")->minimumWidth() >= 100);
    QVERIFY(fx.panel("panVariants")->minimumHeight() >= 100);
    QVERIFY(fx.panel("panComment")->isHidden());
    for (int i = 0; i < TQuestionPane::MaxVariants; ++i) {
        QVERIFY(fx.box(i));
        QVERIFY(!fx.box(i)->isEnabled());
        QVERIFY(!(fx.box(i)->focusPolicy() & Qt::TabFocus));
        // to the left of the editor
        QVERIFY(fx.box(i)->geometry().right() < fx.mem()->geometry().left());
    }
    QVERIFY(!fx.box(TQuestionPane::MaxVariants));
}

void TestQuestionPane::shrinkingKeepsTheTextsShare()
{
    TPaneFixture fx;
    TNodeRecord rec = MakeRecord("Q", {"a", "b"}, "! ");
    fx.pane.UpdateView(&rec);
    auto *spl = fx.pane.findChild<QSplitter *>(QStringLiteral("splQuestion"));
    // As a teacher left it: a short text above tall variants.
    spl->setSizes({100, 0, 340});
    QTRY_VERIFY(spl->sizes().value(0) < 120);
    for (int height : {360, 300, 260}) {
        fx.pane.resize(520, height);
        QTest::qWait(0);
        const QList<int> s = spl->sizes();
        const int total = s[0] + s[1] + s[2];
        // Two fifths for the text.
        QVERIFY2(s[0] * 5 >= total * 2 - 5,
                 qPrintable(QStringLiteral("%1 of %2 at %3").arg(s[0]).arg(total).arg(height)));
        QVERIFY(s[2] >= fx.panel("panVariants")->minimumHeight());
    }
    // Growing again, and moving the splitter, are the teacher's: untouched.
    fx.pane.resize(520, 600);
    spl->setSizes({80, 0, 500});
    QTest::qWait(0);
    QVERIFY(spl->sizes().value(0) < 100);
}

void TestQuestionPane::tenLineLimit()
{
    TPaneFixture fx;
    TNodeRecord rec = MakeRecord("Q");
    fx.pane.UpdateView(&rec);

    QStringList twelve;
    for (int i = 1; i <= 12; ++i)
        twelve.append(QStringLiteral("v%1").arg(i));
    // as a Windows program puts lines on the clipboard
    fx.pasteVariants(twelve.join(QStringLiteral("\r\n")));
    QCOMPARE(Lines(fx.mem()), twelve.mid(0, 10));
    QCOMPARE(fx.pane.shownVariantCount(), 10);
    QCOMPARE(Enabled(fx.pane), QList<bool>(10, true));

    // one undo takes the whole paste back, not just the trimming
    fx.mem()->undo();
    QCOMPARE(fx.mem()->toPlainText(), QString());
    QCOMPARE(fx.pane.shownVariantCount(), 0);
    QCOMPARE(Enabled(fx.pane), QList<bool>(10, false));

    fx.mem()->redo();
    fx.pane.UpdateView(&rec);
    // A line break that would make an eleventh line is refused with a hint,
    // so typing on never reaches into the tenth.
    QSignalSpy status(&fx.pane, &TQuestionPane::statusInfo);
    fx.typeVariants("1\n2\n3\n4\n5\n6\n7\n8\n9\n65");
    QVERIFY(status.isEmpty());
    QTest::keyClick(fx.mem(), Qt::Key_End);
    QTest::keyClick(fx.mem(), Qt::Key_Return);
    QCOMPARE(Lines(fx.mem()).size(), 10);
    QCOMPARE(Lines(fx.mem()).last(), QStringLiteral("65"));
    QCOMPARE(status.size(), 1);
    QCOMPARE(status.at(0).at(0).toString(), PaneTexts::VariantsLimit);
    // Nor in the middle, which would push the tenth out; Enter over a
    // selected break only replaces it.
    fx.mem()->setTextCursor(QTextCursor(fx.mem()->document()->findBlockByNumber(4)));
    QTest::keyClick(fx.mem(), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(Lines(fx.mem()).size(), 10);
    QTextCursor c(fx.mem()->document()->findBlockByNumber(8));
    c.movePosition(QTextCursor::EndOfBlock);
    c.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    fx.mem()->setTextCursor(c);
    QTest::keyClick(fx.mem(), Qt::Key_Return);
    QCOMPARE(Lines(fx.mem()).mid(8), (QStringList{"9", "65"}));
    QCOMPARE(status.size(), 2);
    QVERIFY(fx.pane.FastUpdateData(&rec));
    QCOMPARE(rec.Question->Variants.size(), 10);
    QCOMPARE(rec.Question->Variants.last(), QStringLiteral("65"));
    QCOMPARE(rec.Question->RightMarks, QString(10, QLatin1Char(' ')));
    // A paste cut at the tenth line says so too.
    fx.mem()->moveCursor(QTextCursor::End);
    fx.pasteVariants(QStringLiteral("\nextra"));
    QCOMPARE(Lines(fx.mem()).last(), QStringLiteral("65"));
    QCOMPARE(status.size(), 3);
    QCOMPARE(status.last().at(0).toString(), PaneTexts::VariantsLimit);
}

void TestQuestionPane::ticksStayOnBoxPositions()
{
    TPaneFixture fx;
    TNodeRecord rec = MakeRecord("Q", {"a", "b", "c"}, QStringLiteral(" ! "));
    fx.pane.UpdateView(&rec);
    QCOMPARE(Ticks(fx.pane).mid(0, 4), (QList<bool>{false, true, false, false}));
    QCOMPARE(Enabled(fx.pane).mid(0, 4), (QList<bool>{true, true, true, false}));

    // a new first line: the tick stays on box 1, which is now beside "a"
    fx.mem()->setFocus();
    fx.mem()->moveCursor(QTextCursor::Start);
    Type(fx.mem(), "x\n");
    QCOMPARE(Lines(fx.mem()), (QStringList{"x", "a", "b", "c"}));
    QCOMPARE(Ticks(fx.pane).mid(0, 4), (QList<bool>{false, true, false, false}));
    QCOMPARE(Enabled(fx.pane).mid(0, 5), (QList<bool>{true, true, true, true, false}));
    QVERIFY(fx.pane.FastUpdateData(&rec));
    QCOMPARE(rec.Question->Variants, (QStringList{"x", "a", "b", "c"}));
    QCOMPARE(rec.Question->RightMarks, QStringLiteral(" !  "));

    // the last line goes: its box is disabled and unticked, the others keep theirs
    QTest::mouseClick(fx.box(3), Qt::LeftButton, {}, QPoint(4, fx.box(3)->height() / 2));
    QVERIFY(fx.box(3)->isChecked());
    fx.mem()->setFocus();
    fx.mem()->moveCursor(QTextCursor::End);
    QTest::keyClick(fx.mem(), Qt::Key_Backspace);   // "c" -> ""
    QTest::keyClick(fx.mem(), Qt::Key_Backspace);   // the line break
    QCOMPARE(fx.pane.variantLineCount(), 3);
    QVERIFY(!fx.box(3)->isEnabled());
    QVERIFY(!fx.box(3)->isChecked());
    QVERIFY(fx.box(1)->isChecked());
    // typing the line again does not bring its old tick back
    Type(fx.mem(), "\nc");
    QVERIFY(fx.box(3)->isEnabled());
    QVERIFY(!fx.box(3)->isChecked());
}

void TestQuestionPane::badStateAfterFlush()
{
    TPaneFixture fx;
    // exactly one variant is faulty, ticked or not
    for (const QString &mark : {QStringLiteral(" "), QStringLiteral("!")}) {
        TNodeRecord rec = MakeRecord("Q");
        fx.pane.UpdateView(&rec);
        fx.typeVariants("only");
        if (mark == QLatin1String("!"))
            QTest::mouseClick(fx.box(0), Qt::LeftButton, {}, QPoint(4, fx.box(0)->height() / 2));
        QVERIFY(fx.pane.UpdateData(&rec));
        QCOMPARE(rec.Question->RightMarks, mark);
        QVERIFY(rec.isBad());
    }

    // two unticked variants are faulty; ticking one clears it on the next flush
    TNodeRecord rec = MakeRecord("Q");
    fx.pane.UpdateView(&rec);
    fx.typeVariants("yes\nno");
    fx.pane.UpdateData(&rec);
    QCOMPARE(rec.Question->Variants, (QStringList{"yes", "no"}));
    QVERIFY(rec.isBad());
    QTest::mouseClick(fx.box(0), Qt::LeftButton, {}, QPoint(4, fx.box(0)->height() / 2));
    QVERIFY(rec.isBad());   // not before the flush
    QVERIFY(fx.pane.UpdateData(&rec));
    QCOMPARE(rec.Question->RightMarks, QStringLiteral("! "));
    QVERIFY(!rec.isBad());

    // text deleted entirely: faulty
    fx.text()->setFocus();
    fx.text()->selectAll();
    QTest::keyClick(fx.text(), Qt::Key_Delete);
    fx.pane.UpdateData(&rec);
    QCOMPARE(rec.Question->PlainLines.Count(), 0);
    QVERIFY(rec.isBad());
}

void TestQuestionPane::newQuestionGetsDefaultContent()
{
    TPaneFixture fx;
    TNodeRecord rec;
    rec.Question = std::make_unique<TNQuestion>();
    fx.pane.UpdateView(&rec);
    const TNQuestion &q = *rec.Question;
    QVERIFY(q.ContentReady);
    QCOMPARE(q.Body, fx.pane.defContent());
    QCOMPARE(q.PlainLines.items(), QStringList{PaneTexts::NewQuestion});
    QCOMPARE(fx.text()->toPlainText(), PaneTexts::NewQuestion);
    QCOMPARE(RichRecord::PlainLines(q.Body), QStringList{PaneTexts::NewQuestion});
    QVERIFY(fx.pane.isEnabled());
    fx.pane.UpdateData(&rec);
    QVERIFY(!rec.isBad());   // an information item
    QCOMPARE(q.Body, fx.pane.defContent());

    // shown again: the content is not added a second time
    fx.pane.UpdateView(nullptr);
    fx.pane.UpdateView(&rec);
    QCOMPARE(q.PlainLines.Count(), 1);

    // a new default format reaches questions not yet shown
    TMyTextAttr attr;
    attr.FontSize = 20;
    attr.Style = TMyTextAttr::StyleBold;
    fx.pane.CreateDefContent(attr);
    QVERIFY(fx.pane.defContent() != q.Body);
    QVERIFY(fx.pane.defContent().contains("\\fs40"));
    QVERIFY(fx.pane.defContent().contains("\\b"));
    QCOMPARE(RichRecord::PlainLines(fx.pane.defContent2()), QStringList{PaneTexts::NewComment});

    // none: editors emptied and the pane disabled
    fx.pane.UpdateView(nullptr);
    QVERIFY(!fx.pane.isEnabled());
    QCOMPARE(fx.text()->toPlainText(), QString());
    QVERIFY(!fx.text()->document()->isUndoAvailable());
}

void TestQuestionPane::nonAnsiBecomesQuestionMark()
{
    TPaneFixture fx;
    TNodeRecord rec = MakeRecord("Q");
    fx.pane.UpdateView(&rec);

    QSignalSpy status(&fx.pane, &TQuestionPane::statusInfo);
    fx.typeVariants(QStringLiteral("a\u03B1b"));   // Greek alpha is not in the code page
    QCOMPARE(fx.mem()->toPlainText(), QStringLiteral("a?b"));
    QCOMPARE(fx.mem()->textCursor().position(), 3);   // the caret stays behind what was typed
    // Said once, for the key that brought it; typing on says nothing more.
    QCOMPARE(status.size(), 1);
    QCOMPARE(status.at(0).at(0).toString(), PaneTexts::CharsReplaced.arg(QStringLiteral("\u03B1")));
    status.clear();

    // One paste, one message naming each character once.
    fx.pasteVariants(QStringLiteral("2\u03C0r \u221A2 \u03C0"));
    QCOMPARE(Lines(fx.mem()), (QStringList{QStringLiteral("a?b2?r ?2 ?")}));
    QCOMPARE(status.size(), 1);
    QCOMPARE(status.at(0).at(0).toString(),
             PaneTexts::CharsReplaced.arg(QStringLiteral("\u03C0 \u221A")));
    QVERIFY(status.at(0).at(0).toString().contains(QStringLiteral("Windows-1251")));
    fx.mem()->undo();
    status.clear();

    fx.mem()->selectAll();
    // Cyrillic, the euro sign and the no-break space are in it; CJK and a pair are not
    fx.pasteVariants(QStringLiteral("Ёж €\u00A0x\n\u4E2D\U0001F600z"));
    QCOMPARE(Lines(fx.mem()), (QStringList{QStringLiteral("Ёж €\u00A0x"), QStringLiteral("??z")}));
    fx.pane.FastUpdateData(&rec);
    QCOMPARE(rec.Question->Variants, (QStringList{QStringLiteral("Ёж €\u00A0x"), QStringLiteral("??z")}));

    // undo takes the paste back as a whole: the replaced characters do not return
    fx.mem()->undo();
    QCOMPARE(fx.mem()->toPlainText(), QStringLiteral("a?b"));
}

void TestQuestionPane::selectionQueries()
{
    TPaneFixture fx;
    TNodeRecord rec = MakeRecord(QString(300, QLatin1Char('t')));
    fx.pane.UpdateView(&rec);
    using E = TQuestionPane::TEditor;

    fx.text()->setFocus();
    QCOMPARE(fx.pane.focusedEditor(), E::Text);
    QVERIFY(!fx.pane.hasSelection(E::Text));
    QVERIFY(!fx.pane.canUndo(E::Text));   // loading leaves nothing to undo
    QTextCursor c = fx.text()->textCursor();
    c.setPosition(10);
    c.setPosition(10 + 256, QTextCursor::KeepAnchor);
    fx.text()->setTextCursor(c);
    QVERIFY(fx.pane.hasSelection(E::Text));
    QVERIFY(fx.pane.DeleteSelection());
    QCOMPARE(fx.text()->toPlainText().size(), 300 - 256);
    QVERIFY(fx.pane.canUndo(E::Text));
    QVERIFY(!fx.pane.canRedo(E::Text));
    QVERIFY(fx.pane.Undo());
    QCOMPARE(fx.text()->toPlainText().size(), 300);
    QVERIFY(fx.pane.canRedo(E::Text));

    fx.typeVariants(QString(300, QLatin1Char('v')));
    QCOMPARE(fx.pane.focusedEditor(), E::Variants);
    c = fx.mem()->textCursor();
    c.setPosition(0);
    c.setPosition(256, QTextCursor::KeepAnchor);
    fx.mem()->setTextCursor(c);
    QVERIFY(fx.pane.hasSelection(E::Variants));
    QVERIFY(fx.pane.canUndo(E::Variants));
    QVERIFY(fx.pane.DeleteSelection());
    QCOMPARE(fx.mem()->toPlainText().size(), 300 - 256);
    QVERIFY(!fx.pane.canRedo(E::Variants));   // the variants have no redo
    QVERIFY(!fx.pane.Redo());
    QVERIFY(fx.pane.SelectAll());
    QCOMPARE(fx.mem()->textCursor().selectedText().size(), 300 - 256);

    QApplication::clipboard()->setText(QStringLiteral("x"));
    QVERIFY(fx.pane.canPaste(E::Variants));
    QApplication::clipboard()->clear();
    QVERIFY(!fx.pane.canPaste(E::Variants));
    QVERIFY(!fx.pane.hasSelection(E::None));
}

void TestQuestionPane::boxesFollowLines()
{
    TPaneFixture fx;
    QStringList ten;
    for (int i = 0; i < 10; ++i)
        ten.append(QStringLiteral("variant %1").arg(i));
    TNodeRecord rec = MakeRecord("Q", ten, QString(10, QLatin1Char(' ')));

    auto check = [&](const char *what) {
        int shown = 0;
        for (int i = 0; i < 10; ++i) {
            const int middle = LineMiddle(fx.pane, i);
            QCheckBox *b = fx.box(i);
            const bool lineVisible = middle >= fx.mem()->viewport()->mapTo(fx.pane.variantsPanel(), QPoint()).y()
                && middle < fx.mem()->viewport()->mapTo(fx.pane.variantsPanel(), QPoint(0, fx.mem()->viewport()->height())).y();
            QVERIFY2(b->isVisibleTo(&fx.pane) == lineVisible, qPrintable(QStringLiteral("%1: box %2").arg(what).arg(i)));
            if (lineVisible) {
                ++shown;
                QVERIFY2(qAbs(b->geometry().center().y() - middle) <= 2,
                         qPrintable(QStringLiteral("%1: box %2 at %3, line at %4").arg(what).arg(i)
                                        .arg(b->geometry().center().y()).arg(middle)));
            }
        }
        QVERIFY2(shown > 0, what);
    };

    fx.pane.UpdateView(&rec);
    fx.mem()->setFocus();
    QApplication::processEvents();
    (void)fx.pane.grab();   // laid out and painted once, as on screen
    check("start");

    // a bigger font: ten lines no longer fit, the lines spread further apart
    QFont f = fx.mem()->font();
    f.setPixelSize(28);
    fx.mem()->setFont(f);
    QApplication::processEvents();
    check("bigger font");
    QVERIFY(LineMiddle(fx.pane, 1) - LineMiddle(fx.pane, 0) >= 28);
    QVERIFY(fx.mem()->verticalScrollBar()->maximum() > 0);

    // scrolled down: the boxes of the lines above are gone, the others move up
    fx.mem()->verticalScrollBar()->setValue(fx.mem()->verticalScrollBar()->maximum());
    QApplication::processEvents();
    check("scrolled");
    QVERIFY(!fx.box(0)->isVisibleTo(&fx.pane));
    QVERIFY(fx.box(9)->isVisibleTo(&fx.pane));

    // the pane made smaller and the font small again
    fx.pane.resize(400, 300);
    f.setPixelSize(9);
    fx.mem()->setFont(f);
    QApplication::processEvents();
    check("small font");
}

void TestQuestionPane::unchangedQuestionKeepsBytes()
{
    TPaneFixture fx;
    const QByteArray body = CorpusRecord("02_russian_cp1251");
    const QByteArray comment = CorpusRecord("01_plain_ascii");
    QVERIFY(!body.isEmpty() && !comment.isEmpty());
    TNodeRecord rec = MakeRecord("ignored", {"a", "b"}, QStringLiteral("! "));
    rec.Question->Body = body;
    rec.Question->Comment = comment;
    const TWideStrings plain = rec.Question->PlainLines;

    fx.pane.UpdateView(&rec);
    QVERIFY(fx.panel("panComment")->isVisible());
    // looking around without typing
    fx.text()->setFocus();
    fx.text()->moveCursor(QTextCursor::End);
    fx.text()->selectAll();
    fx.comment()->setFocus();
    fx.comment()->moveCursor(QTextCursor::Down);
    QApplication::processEvents();
    QVERIFY(!fx.pane.FastUpdateData(&rec));
    QVERIFY(!fx.pane.UpdateData(&rec));
    QCOMPARE(rec.Question->Body, body);
    QCOMPARE(*rec.Question->Comment, comment);
    QVERIFY(rec.Question->PlainLines == plain);
    QVERIFY(!fx.doc.isModified());

    // the variants edited: still the same bytes for the rich texts
    fx.typeVariants("\nc");
    QVERIFY(fx.pane.UpdateData(&rec));
    QCOMPARE(rec.Question->Variants, (QStringList{"a", "b", "c"}));
    QCOMPARE(rec.Question->RightMarks, QStringLiteral("!  "));
    QCOMPARE(rec.Question->Body, body);
    QCOMPARE(*rec.Question->Comment, comment);
    QVERIFY(fx.doc.isModified());
}

void TestQuestionPane::editedTextIsTaken()
{
    TPaneFixture fx;
    TNodeRecord rec = MakeRecord("first\nsecond");
    const QByteArray body = rec.Question->Body;
    QSignalSpy status(&fx.pane, &TQuestionPane::statusInfo);
    fx.pane.UpdateView(&rec);
    fx.text()->setFocus();
    fx.text()->moveCursor(QTextCursor::End);
    Type(fx.text(), " line");
    fx.text()->InsertPicture(QImage(8, 8, QImage::Format_RGB32));

    // the fast flush takes the lines only, objects as "[объект]"
    QVERIFY(fx.pane.FastUpdateData(&rec));
    QCOMPARE(rec.Question->PlainLines.items(),
             (QStringList{"first", QStringLiteral("second line") + ObjectMarkText}));
    QCOMPARE(rec.Question->Body, body);
    QVERIFY(fx.doc.isModified());
    QVERIFY(status.isEmpty());

    fx.pane.UpdateData(&rec);
    QVERIFY(rec.Question->Body != body);
    QCOMPARE(RichRecord::PlainLines(rec.Question->Body),
             (QStringList{"first", QStringLiteral("second line\uFFFC")}));
    QVERIFY(!fx.pane.isTextModified());
    QCOMPARE(status.size(), 2);
    QCOMPARE(status.at(0).at(0).toString(), PaneTexts::SavingQuestion);
    QCOMPARE(status.at(1).at(0).toString(), QString());
    QVERIFY(!rec.Question->Comment);   // an untouched empty comment editor adds none
}

void TestQuestionPane::lockIsHonoured()
{
    TPaneFixture fx;
    TNodeRecord rec = MakeRecord("Q", {"a", "b"}, QStringLiteral("  "));
    QSignalSpy edited(&fx.pane, &TQuestionPane::questionEdited);
    fx.pane.UpdateView(&rec);
    QVERIFY(!fx.pane.updateTimer()->isActive());
    QVERIFY(!fx.doc.isModified());
    QCOMPARE(fx.doc.lockCount(), 0);

    // under the lock nothing restarts the timer
    fx.doc.lock();
    fx.text()->setFocus();
    Type(fx.text(), "x");
    fx.typeVariants("c");
    QVERIFY(!fx.pane.updateTimer()->isActive());
    QTest::mouseClick(fx.box(0), Qt::LeftButton, {}, QPoint(4, fx.box(0)->height() / 2));
    QVERIFY(!fx.pane.updateTimer()->isActive());
    fx.pane.TimerUpdateQuestionTimer();
    QCOMPARE(edited.size(), 0);
    // a flush under the lock takes the edits but cannot mark the test modified
    QVERIFY(fx.pane.FastUpdateData(&rec));
    QVERIFY(!fx.doc.isModified());
    fx.doc.unlock();

    fx.pane.UpdateView(&rec);
    QVERIFY(!fx.pane.isTextModified() && !fx.pane.isVariantsModified());
    QTest::mouseClick(fx.box(1), Qt::LeftButton, {}, QPoint(4, fx.box(1)->height() / 2));
    QVERIFY(fx.pane.updateTimer()->isActive());
    QCOMPARE(fx.pane.updateTimer()->interval(), 500);
    QVERIFY(fx.pane.updateTimer()->isSingleShot());
    QVERIFY(fx.pane.isVariantsModified());
    fx.pane.TimerUpdateQuestionTimer();
    QVERIFY(!fx.pane.updateTimer()->isActive());
    QCOMPARE(edited.size(), 1);
    QVERIFY(fx.pane.FastUpdateData(&rec));
    QCOMPARE(rec.Question->RightMarks.at(1), QLatin1Char('!'));
    QVERIFY(fx.doc.isModified());
    QCOMPARE(fx.doc.lockCount(), 0);

    // no current question: the fast flush refuses with the internal error
    QVERIFY(!fx.pane.FastUpdateData(nullptr));
    QCOMPARE(fx.messages, QStringList{PaneTexts::Unexpected});
}

void TestQuestionPane::undoneEditsReachTheQuestion()
{
    // Undoing back to the loaded text is an edit too: the question must follow it.
    TPaneFixture fx;
    TNodeRecord rec = MakeRecord("text", {"a", "b"}, QStringLiteral("! "));
    const QByteArray body = rec.Question->Body;
    fx.pane.UpdateView(&rec);
    fx.typeVariants("\nc");
    fx.text()->setFocus();
    fx.text()->moveCursor(QTextCursor::End);
    Type(fx.text(), "X");
    QVERIFY(fx.pane.updateTimer()->isActive());
    QVERIFY(fx.pane.FastUpdateData(&rec));
    QCOMPARE(rec.Question->Variants, (QStringList{"a", "b", "c"}));
    QCOMPARE(rec.Question->PlainLines.items(), QStringList{"textX"});

    fx.text()->undo();
    while (fx.mem()->document()->isUndoAvailable())
        fx.mem()->undo();
    QCOMPARE(fx.mem()->toPlainText(), QStringLiteral("a\nb"));
    QVERIFY(fx.pane.UpdateData(&rec));
    QCOMPARE(rec.Question->Variants, (QStringList{"a", "b"}));
    QCOMPARE(rec.Question->RightMarks, QStringLiteral("! "));
    QCOMPARE(rec.Question->PlainLines.items(), QStringList{"text"});
    QCOMPARE(RichRecord::PlainLines(rec.Question->Body), QStringList{"text"});
}

void TestQuestionPane::comments()
{
    TPaneFixture fx;
    TNodeRecord rec = MakeRecord("Q");
    QSignalSpy repaint(&fx.pane, &TQuestionPane::rowNeedsRepaint);
    fx.pane.UpdateView(&rec);
    QVERIFY(fx.panel("panComment")->isHidden());

    fx.pane.AddComment(rec);
    QVERIFY(rec.Question->Comment);
    QCOMPARE(*rec.Question->Comment, fx.pane.defContent2());
    QVERIFY(fx.panel("panComment")->isVisible());
    QCOMPARE(fx.comment()->toPlainText(), PaneTexts::NewComment);
    QVERIFY(!fx.pane.isCommentModified());
    QVERIFY(fx.doc.isModified());
    QCOMPARE(repaint.size(), 1);
    // text above the comment above the variants
    QVERIFY(fx.panel("panText")->y() < fx.panel("panComment")->y());
    QVERIFY(fx.panel("panComment")->y() < fx.panel("panVariants")->y());

    fx.comment()->setFocus();
    fx.comment()->moveCursor(QTextCursor::End);
    Type(fx.comment(), "!");
    fx.pane.UpdateData(&rec);
    QCOMPARE(RichRecord::PlainLines(*rec.Question->Comment), QStringList{PaneTexts::NewComment + "!"});

    QSignalSpy focused(&fx.pane, &TQuestionPane::editorFocused);
    fx.pane.DeleteComment(rec);
    QVERIFY(!rec.Question->Comment);
    QVERIFY(fx.panel("panComment")->isHidden());
    QCOMPARE(fx.comment()->toPlainText(), QString());
    QVERIFY(!fx.comment()->document()->isUndoAvailable());
    QVERIFY(!fx.pane.isCommentModified());
    QCOMPARE(repaint.size(), 2);
    QCOMPARE(QApplication::focusWidget(), fx.text());
    QVERIFY(!focused.isEmpty());
    QCOMPARE(focused.last().at(0).value<TQuestionPane::TEditor>(), TQuestionPane::TEditor::Text);
    fx.pane.UpdateData(&rec);
    QVERIFY(!rec.Question->Comment);   // the emptied editor does not bring it back

    // focus in the variants stays there
    fx.pane.AddComment(rec);
    fx.mem()->setFocus();
    fx.pane.DeleteComment(rec);
    QCOMPARE(QApplication::focusWidget(), fx.mem());
}

void TestQuestionPane::panelFrames()
{
    TPaneFixture fx;
    TNodeRecord rec = MakeRecord("Q", {"a", "b"}, QStringLiteral("! "));
    fx.pane.UpdateView(&rec);
    QSignalSpy focused(&fx.pane, &TQuestionPane::editorFocused);
    auto lowered = [&](const char *name) {
        QFrame *p = fx.panel(name);
        return p->frameShape() != QFrame::NoFrame && p->frameShadow() == QFrame::Sunken;
    };
    const QPoint memAt = fx.mem()->mapTo(&fx.pane, QPoint());

    fx.mem()->setFocus();
    QApplication::processEvents();
    QVERIFY(lowered("panVariants"));
    QVERIFY(!lowered("panText"));
    QCOMPARE(focused.last().at(0).value<TQuestionPane::TEditor>(), TQuestionPane::TEditor::Variants);
    QCOMPARE(fx.mem()->mapTo(&fx.pane, QPoint()), memAt);   // the frame does not shift the editor

    fx.text()->setFocus();
    QVERIFY(lowered("panText"));
    QVERIFY(!lowered("panVariants"));
    QCOMPARE(focused.last().at(0).value<TQuestionPane::TEditor>(), TQuestionPane::TEditor::Text);

    // a click on a box enters the variants panel
    QTest::mouseClick(fx.box(1), Qt::LeftButton, {}, QPoint(4, fx.box(1)->height() / 2));
    QVERIFY(lowered("panVariants"));
    QCOMPARE(focused.last().at(0).value<TQuestionPane::TEditor>(), TQuestionPane::TEditor::None);
    QCOMPARE(fx.pane.focusedEditor(), TQuestionPane::TEditor::None);
    QVERIFY(!fx.pane.Undo());
}

void TestQuestionPane::unreadableBody()
{
    TPaneFixture fx;
    TNodeRecord rec = MakeRecord("Q", {"a", "b"}, QStringLiteral(" !"));
    rec.Question->Body = RichRecord::FromPlainText("kept") + QByteArray("XXXXjunkjunkjunk");
    rec.Question->Comment = QByteArray("\x05\x00\x00\x00", 4);
    fx.pane.UpdateView(&rec);
    QCOMPARE(fx.messages, (QStringList{PaneTexts::TextReadFailed, PaneTexts::CommentReadFailed}));
    // the rest of the question is shown
    QCOMPARE(fx.text()->toPlainText(), QStringLiteral("kept"));
    QCOMPARE(Lines(fx.mem()), (QStringList{"a", "b"}));
    QVERIFY(fx.box(1)->isChecked());
    QVERIFY(fx.panel("panComment")->isVisible());
}

QTEST_MAIN(TestQuestionPane)
#include "tst_QuestionPane.moc"
