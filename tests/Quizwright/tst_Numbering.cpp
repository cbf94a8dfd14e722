// The list dialog: its types and their enabling and ranges, a start of 0,
// and the list command writing what the dialog collected.
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QTextBlock>
#include <QTextList>
#include <QVBoxLayout>

#include "FormatCommands.h"
#include "LimitSpinEdit.h"
#include "MJvRichedit.h"
#include "RichFormat.h"
#include "fNumbering.h"

using namespace RichText;

namespace {
QComboBox *Combo(QObject &o, const char *name) { return o.findChild<QComboBox *>(QString::fromLatin1(name)); }
TLimitSpinEdit *Spin(QObject &o, const char *name) { return o.findChild<TLimitSpinEdit *>(QString::fromLatin1(name)); }
}

class TestNumbering : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void typesEnableTheirFields_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("start");
        QTest::addColumn<bool>("tab");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::newRow("none") << 0 << false << false << 1 << 9999;
        QTest::newRow("bullet") << 1 << false << true << 1 << 9999;
        QTest::newRow("arabic") << 2 << true << true << 0 << 9999;
        QTest::newRow("lower letters") << 3 << true << true << 1 << 9999;
        QTest::newRow("upper letters") << 4 << true << true << 1 << 9999;
        QTest::newRow("lower roman") << 5 << true << true << 1 << 99;
        QTest::newRow("upper roman") << 6 << true << true << 1 << 99;
    }

    void typesEnableTheirFields()
    {
        QFETCH(int, code);
        QFETCH(bool, start);
        QFETCH(bool, tab);
        QFETCH(int, low);
        QFETCH(int, high);
        TfrmNumbering dlg;
        Combo(dlg, "ComboBoxType")->setCurrentIndex(code);
        QCOMPARE(Spin(dlg, "JvSpinEditStart")->isEnabled(), start);
        QCOMPARE(Combo(dlg, "ComboBoxStyle")->isEnabled(), start);
        QCOMPARE(Spin(dlg, "JvSpinEditTab")->isEnabled(), tab);
        if (start) {
            QCOMPARE(Spin(dlg, "JvSpinEditStart")->minimum(), low);
            QCOMPARE(Spin(dlg, "JvSpinEditStart")->maximum(), high);
        }
    }

    void romanNumeralsCutTheStartTo99()
    {
        TfrmNumbering dlg;
        dlg.SetValues({2, 500, 1, 0});
        QCOMPARE(Spin(dlg, "JvSpinEditStart")->value(), 500);
        Combo(dlg, "ComboBoxType")->setCurrentIndex(5);
        QCOMPARE(Spin(dlg, "JvSpinEditStart")->value(), 99);
        Combo(dlg, "ComboBoxType")->setCurrentIndex(2);
        Spin(dlg, "JvSpinEditStart")->setValue(0);
        QCOMPARE(Spin(dlg, "JvSpinEditStart")->value(), 0);
        QCOMPARE(Combo(dlg, "ComboBoxType")->itemText(6), QStringLiteral("Заглавные римские цифры"));
        QCOMPARE(Combo(dlg, "ComboBoxStyle")->itemText(2), QStringLiteral("Двойная скобка"));
        QCOMPARE(Spin(dlg, "JvSpinEditTab")->singleStep(), 20);
        QCOMPARE(Spin(dlg, "JvSpinEditTab")->maximum(), 100);
    }

    void listCommandWritesAndAStartOfZeroReopensAsOne()
    {
        QWidget host;
        auto *re = new TMJvRichEdit(&host);
        (new QVBoxLayout(&host))->addWidget(re);
        TFormatCommands cmds(&host);
        cmds.SetActiveEditor(re);
        re->setPlainText(QStringLiteral("раз\nдва\nтри"));
        QTextCursor c(re->document());
        c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        re->setTextCursor(c);
        TNumberingValues shown;
        cmds.DialogExec = [&](QWidget *w) {
            auto *dlg = static_cast<TfrmNumbering *>(w);
            shown = dlg->Values();
            Combo(*dlg, "ComboBoxType")->setCurrentIndex(2);
            Spin(*dlg, "JvSpinEditStart")->setValue(0);
            Combo(*dlg, "ComboBoxStyle")->setCurrentIndex(2);
            Spin(*dlg, "JvSpinEditTab")->setValue(40);
            return true;
        };
        cmds.Action(QStringLiteral("actFormatNumbering"))->trigger();
        QCOMPARE(shown.Code, 0);
        QCOMPARE(shown.Start, 1);
        QTextList *list = re->document()->firstBlock().textList();
        QVERIFY(list);
        QCOMPARE(list->count(), 3);
        const TParaAttributes a = re->paraAttributes();
        QCOMPARE(a.numbering, int(NumArabic));
        QCOMPARE(a.numberingStart, 0);
        QCOMPARE(a.numberingStyle, int(StyleParens));
        QCOMPARE(a.numberingTab, 800);
        // Survives a save and a read.
        TMJvRichEdit back;
        back.LoadRichFromBytes(re->SaveRichToBytes());
        QCOMPARE(back.paraAttributes().numberingStart, 0);
        QCOMPARE(back.paraAttributes().numberingStyle, int(StyleParens));

        cmds.DialogExec = [&](QWidget *w) {
            shown = static_cast<TfrmNumbering *>(w)->Values();
            return false;
        };
        cmds.Action(QStringLiteral("actFormatNumbering"))->trigger();
        QCOMPARE(shown, (TNumberingValues{2, 1, 2, 40}));
    }

    void listTypeNoneRemovesTheList()
    {
        QWidget host;
        auto *re = new TMJvRichEdit(&host);
        TFormatCommands cmds(&host);
        cmds.SetActiveEditor(re);
        re->setPlainText(QStringLiteral("пункт"));
        cmds.Action(QStringLiteral("actFormatBullet"))->trigger();
        QVERIFY(re->document()->firstBlock().textList());
        cmds.DialogExec = [&](QWidget *w) {
            Combo(*w, "ComboBoxType")->setCurrentIndex(0);
            return true;
        };
        cmds.Action(QStringLiteral("actFormatNumbering"))->trigger();
        QVERIFY(!re->document()->firstBlock().textList());
        QCOMPARE(re->paraAttributes().leftIndent, 0);
    }
};

QTEST_MAIN(TestNumbering)
#include "tst_Numbering.moc"
