// The paragraph dialog: its fields, the first-line limit, the line-spacing
// enabling, and the values the paragraph command reads and writes in points.
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTextBlock>
#include <QVBoxLayout>

#include "FormatCommands.h"
#include "LimitSpinEdit.h"
#include "MJvRichedit.h"
#include "RichFormat.h"
#include "fParagraph.h"

using namespace RichText;

namespace {
QComboBox *Combo(QObject &o, const char *name) { return o.findChild<QComboBox *>(QString::fromLatin1(name)); }
TLimitSpinEdit *Spin(QObject &o, const char *name) { return o.findChild<TLimitSpinEdit *>(QString::fromLatin1(name)); }
}

class TestParagraph : public QObject {
    Q_OBJECT

    // Types text into a spin edit and leaves it, as a user tabbing on.
    static void Enter(TLimitSpinEdit *spin, const QString &text)
    {
        spin->setFocus();
        QLineEdit *edit = spin->findChild<QLineEdit *>();
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(spin, Qt::Key_Tab);
    }

private Q_SLOTS:
    void fieldsAndRanges()
    {
        TfrmParagraph dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Абзац"));
        QCOMPARE(Combo(dlg, "ComboBoxAlign")->count(), 4);
        QCOMPARE(Combo(dlg, "ComboBoxAlign")->itemText(3), QStringLiteral("По ширине"));
        QCOMPARE(Combo(dlg, "ComboBoxLineSpacingRule")->itemText(5), QStringLiteral("Множитель"));
        for (TLimitSpinEdit *s : {Spin(dlg, "JvSpinEditIdentLeft"), Spin(dlg, "JvSpinEditIndentRight"),
                                  Spin(dlg, "JvSpinEditSpaceBefore"), Spin(dlg, "JvSpinEditSpaceAfter"),
                                  Spin(dlg, "JvSpinEditLineSpacing")}) {
            QCOMPARE(s->minimum(), 0);
            QCOMPARE(s->maximum(), 100);
        }
        QVERIFY(!(dlg.windowFlags() & Qt::WindowSystemMenuHint));
    }

    void firstLineCannotGoBelowMinusTheLeftIndent()
    {
        TfrmParagraph dlg;
        TParagraphValues v;
        v.LeftIndent = 10;
        dlg.SetValues(v);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(Spin(dlg, "JvSpinEditIndentFirst")->minimum(), -10);
        Enter(Spin(dlg, "JvSpinEditIndentFirst"), QStringLiteral("-15"));
        QCOMPARE(Spin(dlg, "JvSpinEditIndentFirst")->value(), -10);
        // Leaving the left field moves the limit.
        Enter(Spin(dlg, "JvSpinEditIdentLeft"), QStringLiteral("30"));
        QCOMPARE(Spin(dlg, "JvSpinEditIndentFirst")->minimum(), -30);
        Enter(Spin(dlg, "JvSpinEditIndentFirst"), QStringLiteral("-25"));
        QCOMPARE(Spin(dlg, "JvSpinEditIndentFirst")->value(), -25);
        // Values past a limit are cut back when the field is left.
        Enter(Spin(dlg, "JvSpinEditSpaceAfter"), QStringLiteral("250"));
        QCOMPARE(Spin(dlg, "JvSpinEditSpaceAfter")->value(), 100);
    }

    void lineSpacingValueOnlyForItsRules()
    {
        TfrmParagraph dlg;
        for (int rule = 0; rule < 6; ++rule) {
            Combo(dlg, "ComboBoxLineSpacingRule")->setCurrentIndex(rule);
            QCOMPARE(Spin(dlg, "JvSpinEditLineSpacing")->isEnabled(), rule >= 3);
        }
    }

    void showingFocusesTheAlignment()
    {
        TfrmParagraph dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.activateWindow();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(Combo(dlg, "ComboBoxAlign")));
    }

    void commandWritesPointsAsTwipsAndReadsThemBack()
    {
        QWidget host;
        auto *re = new TMJvRichEdit(&host);
        (new QVBoxLayout(&host))->addWidget(re);
        TFormatCommands cmds(&host);
        cmds.SetActiveEditor(re);
        re->setPlainText(QStringLiteral("первый\nвторой"));
        QTextCursor c(re->document());
        c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        re->setTextCursor(c);
        TParagraphValues shown;
        TParagraphValues typed{2, 30, 5, -12, 4, 6, 4, 15};
        cmds.DialogExec = [&](QWidget *w) {
            auto *dlg = static_cast<TfrmParagraph *>(w);
            shown = dlg->Values();
            dlg->SetValues(typed);
            return true;
        };
        cmds.Action(QStringLiteral("actFormatParagraph"))->trigger();
        QCOMPARE(shown, TParagraphValues{});
        for (QTextBlock b = re->document()->begin(); b.isValid(); b = b.next()) {
            const TParaAttributes a = ParaAttributesOf(b.blockFormat(), nullptr);
            QCOMPARE(a.alignment, int(AlignCenterValue));
            QCOMPARE(a.leftIndent, 600);
            QCOMPARE(a.rightIndent, 100);
            QCOMPARE(a.firstIndent, -240);
            QCOMPARE(a.spaceBefore, 80);
            QCOMPARE(a.spaceAfter, 120);
            QCOMPARE(a.lineRule, 4);
            QCOMPARE(a.lineValue, 300);
        }
        // Reopened, the dialog shows what was written; cancelling writes nothing.
        const QByteArray before = re->SaveRichToBytes();
        cmds.DialogExec = [&](QWidget *w) {
            shown = static_cast<TfrmParagraph *>(w)->Values();
            return false;
        };
        cmds.Action(QStringLiteral("actFormatParagraph"))->trigger();
        QCOMPARE(shown, typed);
        QCOMPARE(re->SaveRichToBytes(), before);
    }

    void oddTwipsReadAsWholePoints()
    {
        QWidget host;
        auto *re = new TMJvRichEdit(&host);
        TFormatCommands cmds(&host);
        cmds.SetActiveEditor(re);
        re->setPlainText(QStringLiteral("абзац"));
        TParaAttributes a = re->paraAttributes();
        a.leftIndent = 435;   // 21.75 pt
        a.spaceBefore = 39;
        re->setParaAttributes(a);
        TParagraphValues shown;
        cmds.DialogExec = [&](QWidget *w) {
            shown = static_cast<TfrmParagraph *>(w)->Values();
            return false;
        };
        cmds.Action(QStringLiteral("actFormatParagraph"))->trigger();
        QCOMPARE(shown.LeftIndent, 21);
        QCOMPARE(shown.SpaceBefore, 1);
    }
};

QTEST_MAIN(TestParagraph)
#include "tst_Paragraph.moc"
