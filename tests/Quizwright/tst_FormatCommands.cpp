// The formatting commands on real rich-text controls: mirroring the caret,
// the font and size boxes, styles, colours, alignment, lists and indents,
// default attributes, rewriting selected questions, pictures and files.
#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QTimer>
#include <QToolBar>
#include <QComboBox>
#include <QVBoxLayout>

#include "FormatCommands.h"
#include "MJvRichedit.h"
#include "MessageBoxes.h"
#include "QuestionPane.h"
#include "QuizDocument.h"
#include "QuizEngineCommon.h"
#include "RichFormat.h"
#include "RichObjects.h"
#include "fFont.h"

using namespace RichText;

namespace {

// Sets a format on [from, to) of the editor's document.
void Format(TMJvRichEdit &ed, int from, int to, const std::function<void(QTextCharFormat &)> &fn)
{
    QTextCursor c(ed.document());
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    QTextCharFormat f;
    fn(f);
    c.mergeCharFormat(f);
}

void Select(TMJvRichEdit &ed, int from, int to)
{
    QTextCursor c(ed.document());
    c.setPosition(from);
    c.setPosition(to, QTextCursor::KeepAnchor);
    ed.setTextCursor(c);
}

QTextCharFormat FormatAt(TMJvRichEdit &ed, int pos)
{
    QTextCursor c(ed.document());
    c.setPosition(pos + 1);
    return c.charFormat();
}

} // namespace

class TestFormatCommands : public QObject {
    Q_OBJECT

    QWidget *host = nullptr;
    TMJvRichEdit *re = nullptr;
    TMJvRichEdit *re2 = nullptr;
    TFormatCommands *cmds = nullptr;
    QStringList messages;
    QStringList assertions;
    QTemporaryDir dir;

    QAction *act(const char *name) { return cmds->Action(QString::fromLatin1(name)); }
    int pointsLeft() { return re->paraAttributes().leftIndent / 20; }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("QE_NO_DESKTOP_OPEN", "1");
        SetMessageSink([this](QMessageBox::Icon, const QString &, const QString &text) { messages.append(text); });
    }

    void init()
    {
        host = new QWidget;
        auto *lay = new QVBoxLayout(host);
        re = new TMJvRichEdit(host);
        re->setObjectName(QStringLiteral("reQuestionText"));
        re2 = new TMJvRichEdit(host);
        re2->setObjectName(QStringLiteral("reQuestionComment"));
        cmds = new TFormatCommands(host);
        lay->addWidget(cmds->cbFont());
        lay->addWidget(cmds->cbFontSize());
        lay->addWidget(re);
        lay->addWidget(re2);
        cmds->GetFontNames();
        cmds->SetActiveEditor(re);
        cmds->SetQuestionText(re);
        cmds->AssertionFailed = [this](const QString &t) { assertions.append(t); };
        connect(cmds, &TFormatCommands::buttonsStateWanted, cmds, &TFormatCommands::MirrorSelection);
        host->resize(500, 400);
        host->show();
        messages.clear();
        assertions.clear();
        QVERIFY(QTest::qWaitForWindowExposed(host));
    }

    void cleanup()
    {
        delete host;
        host = nullptr;
    }

    // ---- actions ----

    void actionsCarryTheirTextsAndGroups()
    {
        QCOMPARE(act("actFormatFontBold")->text(), QStringLiteral("Полужирный"));
        QCOMPARE(act("actFormatFontBold")->shortcut(), QKeySequence(QStringLiteral("Ctrl+B")));
        QCOMPARE(act("actFormatFontUnderline")->shortcut(), QKeySequence(QStringLiteral("Ctrl+U")));
        QCOMPARE(act("actFormatParagraph")->statusTip(), QStringLiteral("Форматирование выделенных абзацев"));
        QCOMPARE(act("actInsertInsertObject")->text(), QStringLiteral("Об&ъект..."));
        QVERIFY(act("actFormatFontSubscript")->isCheckable());
        QVERIFY(!act("actFormatIndentIncrease")->isCheckable());
        // A host's own action of the same name is adopted, not doubled.
        QWidget other;
        auto *mine = new QAction(&other);
        mine->setObjectName(QStringLiteral("actFormatFontBold"));
        TFormatCommands adopted(&other);
        QCOMPARE(adopted.Action(QStringLiteral("actFormatFontBold")), mine);
        QCOMPARE(mine->text(), QStringLiteral("Полужирный"));
    }

    // On a bar docked at a side the font box narrows, so that the bar does
    // not take the width of the question list; back on top it widens again.
    void fontBoxNarrowsOnASideBar()
    {
        QToolBar bar;
        bar.addWidget(cmds->cbFont());
        bar.addWidget(cmds->cbFontSize());
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        const int wide = cmds->cbFont()->sizeHint().width();
        bar.setOrientation(Qt::Vertical);
        QVERIFY(cmds->cbFont()->sizeHint().width() < wide * 2 / 3);
        // The bar's own width follows, not the box's first minimum.
        QVERIFY(cmds->cbFont()->minimumSizeHint().width() < wide * 2 / 3);
        QVERIFY(bar.sizeHint().width() < wide);
        QVERIFY(cmds->cbFont()->sizeHint().width() >= cmds->cbFontSize()->sizeHint().width());
        bar.setOrientation(Qt::Horizontal);
        QCOMPARE(cmds->cbFont()->sizeHint().width(), wide);
        // Out of the bar again: a plain box.
        cmds->cbFont()->setParent(host);
        cmds->cbFontSize()->setParent(host);
        bar.setOrientation(Qt::Vertical);
        QCOMPARE(cmds->cbFont()->sizeHint().width(), wide);
    }

    void setFormatActionsStateCoversBoxesAndCommands()
    {
        cmds->SetFormatActionsState(false);
        QVERIFY(!cmds->cbFont()->isEnabled());
        QVERIFY(!cmds->cbFontSize()->isEnabled());
        QVERIFY(!act("actFormatFontBold")->isEnabled());
        QVERIFY(!act("actInsertPicture")->isEnabled());
        QVERIFY(!act("actFormatIndentDecrease")->isEnabled());
        cmds->SetFormatActionsState(true);
        QVERIFY(cmds->cbFont()->isEnabled());
        QVERIFY(cmds->IsFormatBox(cmds->cbFontSize()->lineEdit()));
        QVERIFY(cmds->IsFormatBox(cmds->cbFont()));
        QVERIFY(!cmds->IsFormatBox(re));
        QVERIFY(act("actFormatAlignJustify")->isEnabled());
    }

    void fontListOneSortedEntryPerFamily()
    {
        const QList<TFontEntry> &fonts = cmds->FontList();
        QVERIFY(!fonts.isEmpty());
        QCOMPARE(fonts.size(), cmds->cbFont()->count());
        for (int i = 0; i < fonts.size(); ++i) {
            QCOMPARE(fonts[i].Name, cmds->cbFont()->itemText(i));
            if (i > 0)
                QVERIFY(fonts[i - 1].Name.compare(fonts[i].Name, Qt::CaseInsensitive) <= 0);
            if (QFontDatabase::writingSystems(fonts[i].Name).contains(QFontDatabase::Cyrillic))
                QCOMPARE(fonts[i].Charset, 204);
        }
    }

    // ---- mirroring ----

    void mixedSelectionsShowEmptyBoxesAndOffStates()
    {
        const QString f0 = cmds->cbFont()->itemText(0);
        const QString f1 = cmds->cbFont()->itemText(cmds->cbFont()->count() - 1);
        re->setPlainText(QStringLiteral("Alpha Beta"));
        Format(*re, 0, 5, [&](QTextCharFormat &f) {
            f.setFontFamilies({f0.toUpper()});
            f.setFontPointSize(10);
            f.setFontWeight(QFont::Bold);
            f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        });
        Format(*re, 5, 10, [&](QTextCharFormat &f) {
            f.setFontFamilies({f1});
            f.setFontPointSize(14);
            f.setFontWeight(QFont::Normal);
        });
        // One run: its values, the name found without regard to case.
        Select(*re, 1, 4);
        cmds->MirrorSelection();
        QCOMPARE(cmds->cbFont()->currentIndex(), 0);
        QCOMPARE(cmds->cbFontSize()->currentText(), QStringLiteral("10"));
        QVERIFY(act("actFormatFontBold")->isChecked());
        QVERIFY(act("actFormatFontSuperscript")->isChecked());
        QVERIFY(!act("actFormatFontSubscript")->isChecked());
        QVERIFY(act("actFormatFontSubscript")->isEnabled());
        // Both runs: nothing is the same.
        Select(*re, 0, 10);
        cmds->MirrorSelection();
        QCOMPARE(cmds->cbFont()->currentIndex(), -1);
        QCOMPARE(cmds->cbFont()->currentText(), QString());
        QCOMPARE(cmds->cbFontSize()->currentText(), QString());
        QVERIFY(!act("actFormatFontBold")->isChecked());
        QVERIFY(!act("actFormatFontSuperscript")->isEnabled());
        QVERIFY(!act("actFormatFontSubscript")->isEnabled());
        // The next mirror enables them again.
        Select(*re, 6, 8);
        cmds->MirrorSelection();
        QVERIFY(act("actFormatFontSuperscript")->isEnabled());
        QCOMPARE(cmds->cbFontSize()->currentText(), QStringLiteral("14"));
    }

    void aFontNotInstalledIsKeptAndSelectsNoItem()
    {
        re->setPlainText(QStringLiteral("Текст"));
        Format(*re, 0, 5, [](QTextCharFormat &f) { f.setFontFamilies({QStringLiteral("No Such Face 1957")}); });
        Select(*re, 0, 5);
        cmds->MirrorSelection();
        QCOMPARE(cmds->cbFont()->currentIndex(), -1);
        // Saving and reading back keeps the name as written.
        TMJvRichEdit back;
        back.LoadRichFromBytes(re->SaveRichToBytes());
        QCOMPARE(FontNameOf(FormatAt(back, 1)), QStringLiteral("No Such Face 1957"));
    }

    // ---- font and size boxes ----

    void choosingTheFirstFontAppliesItWithItsCharset()
    {
        re->setPlainText(QStringLiteral("Слово"));
        Select(*re, 0, 5);
        cmds->MirrorSelection();
        TFormatComboBox *box = cmds->cbFont();
        box->showPopup();
        QAbstractItemView *view = box->view();
        view->setCurrentIndex(view->model()->index(0, 0));
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(FontNameOf(FormatAt(*re, 2)), cmds->FontList()[0].Name);
        QCOMPARE(CharsetOf(FormatAt(*re, 2)), cmds->FontList()[0].Charset);
        // Mirroring does not apply what it shows.
        Select(*re, 0, 2);
        const QByteArray before = re->SaveRichToBytes();
        cmds->MirrorSelection();
        QCOMPARE(re->SaveRichToBytes(), before);
    }

    void sizeBoxAppliesEachValidTextAtOnce()
    {
        re->setPlainText(QStringLiteral("Слово"));
        Select(*re, 0, 5);
        QLineEdit *edit = cmds->cbFontSize()->lineEdit();
        edit->clear();
        QTest::keyClick(edit, Qt::Key_1);
        QCOMPARE(int(re->charAttributes().fontPointSize()), 1);
        QTest::keyClick(edit, Qt::Key_2);
        QCOMPARE(int(re->charAttributes().fontPointSize()), 12);
        const QByteArray at12 = re->SaveRichToBytes();
        for (const QString &bad : {QStringLiteral("0"), QStringLiteral("-3"), QStringLiteral("ab")}) {
            edit->clear();
            QTest::keyClicks(edit, bad);
            QCOMPARE(re->SaveRichToBytes(), at12);
        }
    }

    // ---- styles ----

    void boldWritesAllFourFlagsAsOneUndoStep()
    {
        re->setPlainText(QStringLiteral("ab"));
        re->document()->clearUndoRedoStacks();
        Format(*re, 0, 1, [](QTextCharFormat &f) {
            f.setFontItalic(true);
            f.setFontUnderline(true);
            f.setFontStrikeOut(true);
        });
        Select(*re, 0, 2);
        cmds->MirrorSelection();
        const QByteArray before = re->SaveRichToBytes();
        act("actFormatFontBold")->trigger();
        for (int pos : {0, 1}) {
            const QTextCharFormat f = FormatAt(*re, pos);
            QCOMPARE(f.fontWeight(), int(QFont::Bold));
            QVERIFY(f.fontItalic());
            QVERIFY(f.fontUnderline());
            QVERIFY(f.fontStrikeOut());
        }
        QVERIFY(act("actFormatFontBold")->isChecked());
        re->undo();
        QCOMPARE(re->SaveRichToBytes(), before);
        // Shown on: the flag goes, the others stay.
        re->redo();
        cmds->MirrorSelection();
        act("actFormatFontBold")->trigger();
        QCOMPARE(FormatAt(*re, 1).fontWeight(), int(QFont::Normal));
        QVERIFY(FormatAt(*re, 1).fontItalic());
        QVERIFY(!act("actFormatFontBold")->isChecked());
    }

    void superAndSubscriptSwitchEachOther()
    {
        re->setPlainText(QStringLiteral("x2"));
        Select(*re, 1, 2);
        cmds->MirrorSelection();
        act("actFormatFontSuperscript")->trigger();
        QCOMPARE(FormatAt(*re, 1).verticalAlignment(), QTextCharFormat::AlignSuperScript);
        QVERIFY(act("actFormatFontSuperscript")->isChecked());
        act("actFormatFontSubscript")->trigger();
        QCOMPARE(FormatAt(*re, 1).verticalAlignment(), QTextCharFormat::AlignSubScript);
        QVERIFY(!act("actFormatFontSuperscript")->isChecked());
        act("actFormatFontSubscript")->trigger();
        QCOMPARE(FormatAt(*re, 1).verticalAlignment(), QTextCharFormat::AlignNormal);
    }

    void colourDialogOpensWithTheLastChosenColour()
    {
        re->setPlainText(QStringLiteral("цвет"));
        Select(*re, 0, 4);
        QList<QColor> opened;
        QColor answer(200, 10, 10);
        cmds->ColorInput = [&](QColor &c) {
            opened.append(c);
            c = answer;
            return true;
        };
        act("actFormatFontSetTextColor")->trigger();
        QCOMPARE(FormatAt(*re, 1).foreground().color(), answer);
        answer = QColor(10, 200, 10);
        act("actFormatFontSetTextBackColor")->trigger();
        QCOMPARE(FormatAt(*re, 1).background().color(), answer);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[1], QColor(200, 10, 10));
        // The system's colours mean automatic colour.
        answer = QApplication::palette().color(QPalette::Text);
        act("actFormatFontSetTextColor")->trigger();
        QVERIFY(!FormatAt(*re, 1).hasProperty(QTextFormat::ForegroundBrush));
        answer = QApplication::palette().color(QPalette::Base);
        act("actFormatFontSetTextBackColor")->trigger();
        QVERIFY(!FormatAt(*re, 1).hasProperty(QTextFormat::BackgroundBrush));
        // Cancelled: nothing changes.
        cmds->ColorInput = [](QColor &) { return false; };
        const QByteArray before = re->SaveRichToBytes();
        act("actFormatFontSetTextColor")->trigger();
        QCOMPARE(re->SaveRichToBytes(), before);
    }

    void fontDialogSetsNameSizeStyleAndColour()
    {
        re->setPlainText(QStringLiteral("шрифт"));
        Select(*re, 0, 5);
        const QString family = cmds->FontList().last().Name;
        cmds->FontInput = [&](QFont &font, QColor &color) {
            font = QFont(family, 20);
            font.setItalic(true);
            color = QColor(0, 0, 128);
            return true;
        };
        act("actFormatFont")->trigger();
        const QTextCharFormat f = FormatAt(*re, 2);
        QCOMPARE(FontNameOf(f), family);
        QCOMPARE(int(f.fontPointSize()), 20);
        QVERIFY(f.fontItalic());
        QCOMPARE(f.fontWeight(), int(QFont::Normal));
        QCOMPARE(f.foreground().color(), QColor(0, 0, 128));
        QCOMPARE(CharsetOf(f), FamilyCharset(family));
    }

    void fontDialogOffersTheColourAndWindowTextMeansAutomatic()
    {
        re->setPlainText(QStringLiteral("шрифт"));
        Format(*re, 0, 5, [](QTextCharFormat &f) { f.setForeground(QColor(128, 0, 0)); });
        Select(*re, 0, 5);
        const QString family = cmds->FontList().first().Name;
        QString opened;
        int openedItems = 0;
        // The real dialog: it opens with the selection's colour; the chosen one goes to the text.
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto *dlg = qobject_cast<TfrmFont *>(QApplication::activeModalWidget());
            if (!dlg)
                return;
            poll.stop();
            opened = dlg->ColorBox()->currentText();
            openedItems = dlg->ColorBox()->count();
            QFont font(family, 18);
            font.setUnderline(true);
            dlg->SetFont(font);
            dlg->ColorBox()->setCurrentIndex(dlg->ColorBox()->findText(QStringLiteral("Синий")));
            dlg->accept();
        });
        poll.start(10);
        act("actFormatFont")->trigger();
        QCOMPARE(opened, QStringLiteral("Бордовый"));
        QCOMPARE(openedItems, 16);
        QTextCharFormat f = FormatAt(*re, 2);
        QCOMPARE(f.foreground().color(), QColor(0, 0, 255));
        QCOMPARE(FontNameOf(f), family);
        QCOMPARE(int(f.fontPointSize()), 18);
        QVERIFY(f.fontUnderline());

        // The window-text colour written back is automatic colour.
        cmds->FontInput = [](QFont &, QColor &c) {
            c = QApplication::palette().color(QPalette::Text);
            return true;
        };
        act("actFormatFont")->trigger();
        QVERIFY(!FormatAt(*re, 2).hasProperty(QTextFormat::ForegroundBrush));

        // A colour of its own is one more item, replaced by the next one.
        TfrmFont dlg;
        dlg.SetColor(QColor(1, 2, 3));
        QCOMPARE(dlg.ColorBox()->count(), 17);
        QCOMPARE(dlg.Color(), QColor(1, 2, 3));
        dlg.SetColor(QColor(4, 5, 6));
        QCOMPARE(dlg.ColorBox()->count(), 17);
        QCOMPARE(dlg.Color(), QColor(4, 5, 6));
        dlg.SetColor(QColor(255, 0, 0));
        QCOMPARE(dlg.ColorBox()->count(), 16);
        QCOMPARE(dlg.ColorBox()->currentText(), QStringLiteral("Красный"));
    }

    // ---- paragraphs ----

    void alignmentGroupIsExclusive()
    {
        re->setPlainText(QStringLiteral("один\nдва"));
        Select(*re, 0, 6);
        act("actFormatAlignCenter")->trigger();
        QCOMPARE(re->paraAttributes().alignment, int(AlignCenterValue));
        QCOMPARE(re->document()->lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QVERIFY(act("actFormatAlignCenter")->isChecked());
        QVERIFY(!act("actFormatAlignLeft")->isChecked());
        act("actFormatAlignJustify")->trigger();
        QVERIFY(act("actFormatAlignJustify")->isChecked());
        QVERIFY(!act("actFormatAlignCenter")->isChecked());
    }

    void indentDecreaseStopsAtZero()
    {
        re->setPlainText(QStringLiteral("абзац"));
        act("actFormatIndentIncrease")->trigger();
        QVERIFY(TFormatCommands::IsOfficeIndentMode(re));
        QCOMPARE(pointsLeft(), 17);
        TParaAttributes a = re->paraAttributes();
        a.leftIndent = 10 * 20;
        re->setParaAttributes(a);
        act("actFormatIndentDecrease")->trigger();
        QCOMPARE(pointsLeft(), 0);
        act("actFormatIndentDecrease")->trigger();
        QCOMPARE(pointsLeft(), 0);
    }

    void indentKeepsTheFirstLineInOfficeMode()
    {
        re->setPlainText(QStringLiteral("абзац"));
        TParaAttributes a = re->paraAttributes();
        a.leftIndent = 40 * 20;
        a.firstIndent = -20 * 20;
        re->setParaAttributes(a);
        act("actFormatIndentIncrease")->trigger();
        QCOMPARE(re->paraAttributes().leftIndent, 57 * 20);
        QCOMPARE(re->paraAttributes().firstIndent, -20 * 20);
    }

    void bulletsSetAndClearTheLeftIndent()
    {
        re->setPlainText(QStringLiteral("первый\nвторой"));
        Select(*re, 0, 10);
        act("actFormatBullet")->trigger();
        QCOMPARE(re->paraAttributes().numbering, int(NumBullet));
        QVERIFY(re->document()->firstBlock().textList());
        QCOMPARE(re->document()->firstBlock().textList(), re->document()->lastBlock().textList());
        // The plain mode reads the following lines' offset as the left indent.
        QCOMPARE(-re->paraAttributes().firstIndent, 10 * 20);
        QVERIFY(act("actFormatBullet")->isChecked());
        act("actFormatNumbers")->trigger();
        QCOMPARE(re->paraAttributes().numbering, int(NumArabic));
        QCOMPARE(re->paraAttributes().numberingStart, 1);
        QVERIFY(act("actFormatNumbers")->isChecked());
        QVERIFY(!act("actFormatBullet")->isChecked());
        act("actFormatNumbers")->trigger();
        QCOMPARE(re->paraAttributes().numbering, int(NumNone));
        QVERIFY(!re->document()->firstBlock().textList());
        QCOMPARE(re->paraAttributes().leftIndent, 0);
        QCOMPARE(re->paraAttributes().firstIndent, 0);
        QVERIFY(!act("actFormatNumbers")->isChecked());
    }

    void bulletsInOfficeModeRaiseASmallLeftIndent()
    {
        re->setPlainText(QStringLiteral("пункт"));
        act("actFormatIndentIncrease")->trigger();
        act("actFormatIndentDecrease")->trigger();
        TParaAttributes a = re->paraAttributes();
        a.leftIndent = 4 * 20;
        re->setParaAttributes(a);
        act("actFormatBullet")->trigger();
        QCOMPARE(pointsLeft(), 10);
        act("actFormatBullet")->trigger();
        QCOMPARE(pointsLeft(), 0);
    }

    void numberingKeepsEachParagraphsAlignment()
    {
        re->setPlainText(QStringLiteral("a\nb"));
        Select(*re, 2, 3);
        act("actFormatAlignRight")->trigger();
        Select(*re, 0, 3);
        const QByteArray before = re->SaveRichToBytes();
        act("actFormatNumbers")->trigger();
        QCOMPARE(re->document()->firstBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        QCOMPARE(re->document()->lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
        // One undo step takes the whole command back.
        re->undo();
        QCOMPARE(re->SaveRichToBytes(), before);
    }

    // ---- the checks ----

    void commandsWithoutAnEditorReportTheirCheck()
    {
        cmds->SetActiveEditor(nullptr);
        act("actFormatFontBold")->trigger();
        act("actFormatIndentDecrease")->trigger();
        act("actInsertInsertObject")->trigger();
        cmds->cbFontSize()->lineEdit()->setText(QStringLiteral("14"));
        QCOMPARE(assertions, (QStringList{QStringLiteral("not Richedit in Bold"),
                                          QStringLiteral("not Richedit in IndentDecrease"),
                                          QStringLiteral("not Richedit in InsertObject"),
                                          QStringLiteral("not Richedit in FontSizeChange")}));
    }

    // ---- default attributes ----

    void defaultAttributesStoredFromTheCaretAndReset()
    {
        TMyTextAttr attr;
        int rebuilt = 0;
        cmds->TextAttr = &attr;
        cmds->RebuildDefaultContent = [&] { ++rebuilt; };
        const QString family = cmds->FontList()[0].Name;
        re->setPlainText(QStringLiteral("образец"));
        Format(*re, 0, 7, [&](QTextCharFormat &f) {
            f.setFontFamilies({family});
            f.setFontPointSize(18);
            f.setFontItalic(true);
            f.setForeground(QColor(1, 2, 3));
            f.setBackground(QColor(250, 240, 230));
        });
        Select(*re, 0, 7);
        act("actFormatAlignRight")->trigger();
        act("actFormatSetDefaultAttr")->trigger();
        QCOMPARE(attr.FontName, family);
        QCOMPARE(attr.FontSize, 18);
        QCOMPARE(attr.Style, TMyTextAttr::StyleItalic);
        QCOMPARE(attr.FontColor, QColor(1, 2, 3));
        QCOMPARE(attr.BackColor, QColor(250, 240, 230));
        QCOMPARE(attr.Alignment, TMyTextAttr::AlignRight);
        QCOMPARE(rebuilt, 1);
        act("actFormatResetDefaultFormat")->trigger();
        QCOMPARE(attr.FontName, QStringLiteral("MS Sans Serif"));
        QCOMPARE(attr.FontSize, 12);
        QCOMPARE(attr.Alignment, TMyTextAttr::AlignCenter);
        QCOMPARE(attr.BackColor, QColor(255, 255, 255));
        QCOMPARE(rebuilt, 2);
    }

    void newQuestionsTakeTheStoredAndTheStandardLook()
    {
        TMyTextAttr attr;
        TQuestionPane pane;
        cmds->TextAttr = &attr;
        cmds->RebuildDefaultContent = [&] { pane.CreateDefContent(attr); };
        auto look = [&] {
            TMJvRichEdit ed;
            ed.LoadRichFromBytes(pane.defContent());
            ed.selectAll();
            return std::make_pair(SelectionAttributes(ed), ed.paraAttributes().alignment);
        };
        const QString family = cmds->FontList().last().Name;
        re->setPlainText(QStringLiteral("образец"));
        Format(*re, 0, 7, [&](QTextCharFormat &f) {
            f.setFontFamilies({family});
            f.setFontPointSize(9);
            f.setFontWeight(QFont::Bold);
            f.setForeground(QColor(0, 0, 200));
        });
        Select(*re, 2, 4);
        act("actFormatAlignJustify")->trigger();
        act("actFormatSetDefaultAttr")->trigger();
        auto [stored, storedAlign] = look();
        QCOMPARE(stored.FontName, family);
        QCOMPARE(stored.Size, 9);
        QCOMPARE(stored.Style, TMyTextAttr::StyleBold);
        QCOMPARE(stored.Color, QColor(0, 0, 200));
        QCOMPARE(storedAlign, int(AlignJustifyValue));
        act("actFormatResetDefaultFormat")->trigger();
        auto [standard, standardAlign] = look();
        QCOMPARE(standard.FontName, QStringLiteral("MS Sans Serif"));
        QCOMPARE(standard.Size, 12);
        QCOMPARE(standard.Style, quint8(0));
        QCOMPARE(standard.Color, QColor(0, 0, 0));
        QCOMPARE(standard.BackColor, QColor(255, 255, 255));
        QCOMPARE(standardAlign, int(AlignCenterValue));
    }

    void formatMenuEnablingRules()
    {
        cmds->FormatMenuOpening(true, false);
        QVERIFY(act("actFormatFont")->isEnabled());
        QVERIFY(act("actFormatSetDefaultAttr")->isEnabled());
        QVERIFY(!act("actFormatSetAllAttr")->isEnabled());
        cmds->FormatMenuOpening(true, true);
        QVERIFY(act("actFormatSetAllAttr")->isEnabled());
        cmds->FormatMenuOpening(false, true);
        QVERIFY(!act("actFormatSetAllAttr")->isEnabled());
        QVERIFY(!act("actFormatFont")->isEnabled());
    }

    void applyToSelectedRewritesTheOthersOnly()
    {
        TQuizDocument doc;
        cmds->SetDocument(&doc);
        TNQuestion a, b;
        a.Body = RichRecord::FromPlainText(QStringLiteral("первый\nвопрос"));
        b.Body = RichRecord::FromPlainText(QStringLiteral("второй"));
        const QString family = cmds->FontList().last().Name;
        re->setPlainText(QStringLiteral("текущий"));
        Format(*re, 0, 7, [&](QTextCharFormat &f) {
            f.setFontFamilies({family});
            f.setFontPointSize(16);
            f.setFontWeight(QFont::Bold);
            f.setForeground(QColor(0, 100, 0));
        });
        Select(*re, 0, 7);
        act("actFormatAlignJustify")->trigger();
        Select(*re, 2, 3);
        const QByteArray current = re->SaveRichToBytes();
        cmds->OtherSelectedQuestions = [&] { return QList<TNQuestion *>{&a, &b}; };
        QVERIFY(!doc.isModified());
        act("actFormatSetAllAttr")->trigger();
        QVERIFY(doc.isModified());
        QVERIFY(!doc.isLocked());
        QCOMPARE(re->SaveRichToBytes(), current);
        for (TNQuestion *q : {&a, &b}) {
            TMJvRichEdit back;
            back.LoadRichFromBytes(q->Body);
            back.selectAll();
            const TSelectionAttributes s = SelectionAttributes(back);
            QVERIFY(s.NameSame && s.SizeSame && s.BoldSame);
            QCOMPARE(s.FontName, family);
            QCOMPARE(s.Size, 16);
            QCOMPARE(s.Style, TMyTextAttr::StyleBold);
            QCOMPARE(s.Color, QColor(0, 100, 0));
            QCOMPARE(back.document()->lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
                     Qt::AlignJustify);
        }
        QCOMPARE(RichRecord::PlainLines(a.Body), (QStringList{QStringLiteral("первый"), QStringLiteral("вопрос")}));
    }

    // ---- a formatted question round trip ----

    void formattedQuestionReadsBackWithItsAttributes()
    {
        re->setPlainText(QStringLiteral("Жирный курсив\nпункт один\nпункт два"));
        const QString family = cmds->FontList().last().Name;
        Format(*re, 0, 33, [&](QTextCharFormat &f) { f.setFontFamilies({family}); });
        Select(*re, 0, 6);
        cmds->MirrorSelection();
        act("actFormatFontBold")->trigger();
        cmds->cbFontSize()->lineEdit()->setText(QStringLiteral("20"));
        cmds->ColorInput = [](QColor &c) { c = QColor(120, 0, 60); return true; };
        act("actFormatFontSetTextColor")->trigger();
        Select(*re, 7, 13);
        cmds->MirrorSelection();
        act("actFormatFontItalic")->trigger();
        act("actFormatFontSuperscript")->trigger();
        act("actFormatAlignCenter")->trigger();
        Select(*re, 14, 33);
        act("actFormatNumbers")->trigger();
        const QByteArray saved = re->SaveRichToBytes();

        TMJvRichEdit back;
        back.LoadRichFromBytes(saved);
        auto attrsOf = [](TMJvRichEdit &ed, int from, int to) {
            Select(ed, from, to);
            return SelectionAttributes(ed);
        };
        const TSelectionAttributes w0 = attrsOf(*re, 0, 6), w1 = attrsOf(back, 0, 6);
        QCOMPARE(w1.Size, 20);
        QCOMPARE(w1.Style, TMyTextAttr::StyleBold);
        QCOMPARE(w1.Color, QColor(120, 0, 60));
        QCOMPARE(w1.FontName, family);
        QCOMPARE(w0.FontName, family);
        const TSelectionAttributes i1 = attrsOf(back, 7, 13);
        QCOMPARE(i1.Style, TMyTextAttr::StyleItalic);
        QCOMPARE(i1.VPos, 1);
        QCOMPARE(back.paraAttributes().alignment, int(AlignCenterValue));
        Select(back, 20, 20);
        QCOMPARE(back.paraAttributes().numbering, int(NumArabic));
        Select(*re, 20, 20);
        QCOMPARE(back.paraAttributes(), re->paraAttributes());
        QCOMPARE(back.SaveRichToBytes(), saved);
    }

    // ---- pictures and objects ----

    void pictureInsertedSavedAndReloadedUnchanged()
    {
        QImage img(40, 30, QImage::Format_RGB32);
        img.fill(QColor(10, 120, 200));
        const QString png = dir.filePath(QStringLiteral("p.png"));
        QVERIFY(img.save(png));
        re->setPlainText(QStringLiteral("до после"));
        Select(*re, 3, 3);
        cmds->FileNameInput = [&](bool picture) { return picture ? png : QString(); };
        act("actInsertPicture")->trigger();
        QVERIFY(messages.isEmpty());
        QCOMPARE(re->textCursor().position(), 4);
        const TRichObject obj = ObjectOf(FormatAt(*re, 3));
        QCOMPARE(obj.clsid, StaticPictureClsid());
        QCOMPARE(DecodeStoragePicture(obj.storage).size(), img.size());
        const QByteArray saved = re->SaveRichToBytes();
        TMJvRichEdit back;
        back.LoadRichFromBytes(saved);
        QCOMPARE(ObjectOf(FormatAt(back, 3)), obj);
        QCOMPARE(back.SaveRichToBytes(), saved);
    }

    void unreadablePictureOrFileInsertsNothing()
    {
        const QString junk = dir.filePath(QStringLiteral("junk.png"));
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a picture");
        f.close();
        re->setPlainText(QStringLiteral("текст"));
        const QByteArray before = re->SaveRichToBytes();
        cmds->FileNameInput = [&](bool picture) { return picture ? junk : dir.filePath(QStringLiteral("missing")); };
        act("actInsertPicture")->trigger();
        act("actInsertInsertObject")->trigger();
        QCOMPARE(messages, (QStringList{QStringLiteral("Ошибка чтения файла."), QStringLiteral("Ошибка чтения файла.")}));
        QCOMPARE(re->SaveRichToBytes(), before);
    }

    // Pictures from outside are bounded before they are decoded, by the command,
    // a paste and a drop alike, and the refusal says why.
    void oversizedPictureRefusedEverywhere()
    {
        QImage huge(5001, 5001, QImage::Format_Mono);
        huge.fill(0);
        const QString png = dir.filePath(QStringLiteral("huge.png"));
        QVERIFY(huge.save(png));
        re->setPlainText(QStringLiteral("текст"));
        const QByteArray before = re->SaveRichToBytes();
        cmds->FileNameInput = [&](bool picture) { return picture ? png : QString(); };
        act("actInsertPicture")->trigger();
        QCOMPARE(messages, QStringList{QStringLiteral("Ошибка чтения файла.\rРисунок слишком велик (5001×5001 точек).")});
        QCOMPARE(re->SaveRichToBytes(), before);

        QStringList refused;
        connect(re, &TMJvRichEdit::insertRefused, this, [&](const QString &m) { refused << m; });
        auto *pasted = new QMimeData;   // the clipboard's own
        pasted->setImageData(QImage(20001, 2, QImage::Format_Mono));
        pasted->setText(QStringLiteral("не это"));
        QApplication::clipboard()->setMimeData(pasted, QClipboard::Clipboard);
        re->paste();
        auto *dropped = new QMimeData;
        dropped->setUrls({QUrl::fromLocalFile(png)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, dropped, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(re->viewport(), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, dropped, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(re->viewport(), &drop);
        QCOMPARE(refused, (QStringList{QStringLiteral("Рисунок не вставлен: он слишком велик (20001×2 точек)."),
                                       QStringLiteral("Рисунок не вставлен: он слишком велик (5001×5001 точек).")}));
        QCOMPARE(re->SaveRichToBytes(), before);
        delete dropped;
    }

    void fileObjectCarriesTheFileAndOpensACopy()
    {
        QByteArray data;
        for (int i = 0; i < 3000; ++i)
            data.append(char(i * 7));
        const QString path = dir.filePath(QStringLiteral("задание.bin"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
        f.close();
        QStringList status;
        cmds->StatusInfo = [&](const QString &s) { status.append(s); };
        cmds->FileNameInput = [&](bool picture) { return picture ? QString() : path; };
        re->setPlainText(QStringLiteral("файл: "));
        re->moveCursor(QTextCursor::End);
        act("actInsertInsertObject")->trigger();
        QCOMPARE(status, (QStringList{QStringLiteral("Вставка объекта.."), QString()}));
        QVERIFY(messages.isEmpty());
        const TRichObject obj = ObjectOf(FormatAt(*re, 6));
        QCOMPARE(obj.clsid, PackageClsid());
        QString name;
        QByteArray carried;
        QVERIFY(PackageContents(obj.storage, &name, &carried));
        QCOMPARE(name, QStringLiteral("задание.bin"));
        QCOMPARE(carried, data);
        QCOMPARE(StorageClassName(obj.storage), QStringLiteral("OLE Package"));

        const QByteArray saved = re->SaveRichToBytes();
        TMJvRichEdit back;
        back.LoadRichFromBytes(saved);
        QCOMPARE(ObjectOf(FormatAt(back, 6)), obj);
        QCOMPARE(back.SaveRichToBytes(), saved);

        // A double click on it writes a copy and names it.
        QTextCursor at(re->document());
        at.setPosition(6);
        const QRect caret = re->cursorRect(at);
        // Beside it, on the text, nothing opens.
        QTest::mouseDClick(re->viewport(), Qt::LeftButton, {}, QPoint(caret.left() - 8, caret.bottom() - 4));
        QVERIFY(cmds->LastOpenedObject.isEmpty());
        QTest::mouseDClick(re->viewport(), Qt::LeftButton, {}, caret.center() + QPoint(20, -10));
        QVERIFY(!cmds->LastOpenedObject.isEmpty());
        QCOMPARE(QFileInfo(cmds->LastOpenedObject).fileName(), QStringLiteral("задание.bin"));
        QFile copy(cmds->LastOpenedObject);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), data);
    }

    void packageNamesCannotLeaveTheTemporaryFolder()
    {
        TRichObject obj = PackageObject(QStringLiteral("..\\..\\evil.txt"), QByteArray("x"));
        re->clear();
        QTextCursor c = re->textCursor();
        c.insertText(QString(QChar(QChar::ObjectReplacementCharacter)), ObjectFormat(obj));
        const QString path = cmds->OpenPackageAt(re, 0);
        QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("evil.txt"));
        QVERIFY(!QFileInfo(path).absolutePath().contains(QStringLiteral("..")));
        QCOMPARE(cmds->OpenPackageAt(re, 1), QString());
    }
};

QTEST_MAIN(TestFormatCommands)
#include "tst_FormatCommands.moc"
