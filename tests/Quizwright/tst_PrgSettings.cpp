// The program settings dialog: its boxes follow the three interface bits, OK
// keeps only those (the cut/copy re-check and the internal bits go), cancel
// changes nothing.
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "Preferences.h"
#include "fPrgSettings.h"

namespace {
struct TDialog {
    TfrmPrgSettings dlg;
    QCheckBox *box(const char *name) { return dlg.findChild<QCheckBox *>(QLatin1String(name)); }
    QCheckBox *bold() { return box("cboxSelectCurrentQuestion"); }
    QCheckBox *save() { return box("cboxSaveInterface"); }
    QCheckBox *read() { return box("cboxReadInterface"); }
    QPushButton *ok() { return dlg.findChild<QPushButton *>(QStringLiteral("btnOK")); }
    QPushButton *cancel() { return dlg.findChild<QPushButton *>(QStringLiteral("btnCancel")); }
    QWidget *focusWhenShown = nullptr;
    // Change with `act` done on the shown dialog.
    bool change(quint8 &flags, std::function<void()> act)
    {
        QTimer::singleShot(0, &dlg, [&] {
            focusWhenShown = dlg.focusWidget();
            act();
            if (dlg.isVisible())
                dlg.reject();
        });
        return dlg.Change(flags);
    }
};
}  // namespace

class TestPrgSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void looks();
    void boxesFollowTheBits_data();
    void boxesFollowTheBits();
    void okKeepsOnlyTheTickedBits();
    void cancelChangesNothing();
};

void TestPrgSettings::looks()
{
    TDialog d;
    QCOMPARE(d.dlg.windowTitle(), QStringLiteral("Параметры"));
    QCOMPARE(d.dlg.findChild<QGroupBox *>()->title(), QStringLiteral(" Интерфейс "));
    QCOMPARE(d.bold()->text(), QStringLiteral("Выделять текущий вопрос"));
    QCOMPARE(d.save()->text(), QStringLiteral("Сохранять настройки интерфейса"));
    QCOMPARE(d.read()->text(), QStringLiteral("Считывать настройки интерфейса"));
    QCOMPARE(d.ok()->text(), QStringLiteral("Ok"));
    QCOMPARE(d.cancel()->text(), QStringLiteral("Отмена"));
    QVERIFY(d.ok()->isDefault());
    QVERIFY(!(d.dlg.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
}

void TestPrgSettings::boxesFollowTheBits_data()
{
    QTest::addColumn<int>("flags");
    QTest::newRow("first start") << int(Prefs::DefaultFlags);
    QTest::newRow("bold only") << int(Prefs::BoldFocused | Prefs::Stored);
    QTest::newRow("save only") << int(Prefs::SaveInterface | Prefs::RecheckClipMarked);
    QTest::newRow("read only") << int(Prefs::ReadInterface | Prefs::Maximize);
    QTest::newRow("none") << 0;
}

void TestPrgSettings::boxesFollowTheBits()
{
    QFETCH(int, flags);
    TDialog d;
    d.dlg.Preset(quint8(flags));
    QCOMPARE(d.bold()->isChecked(), bool(flags & Prefs::BoldFocused));
    QCOMPARE(d.save()->isChecked(), bool(flags & Prefs::SaveInterface));
    QCOMPARE(d.read()->isChecked(), bool(flags & Prefs::ReadInterface));
    QCOMPARE(int(d.dlg.Flags()), flags & 7);
}

void TestPrgSettings::okKeepsOnlyTheTickedBits()
{
    TDialog d;
    quint8 flags = 0x67;  // stored once, re-check on, all three boxes
    QVERIFY(d.change(flags, [&] { QTest::mouseClick(d.ok(), Qt::LeftButton); }));
    QCOMPARE(d.focusWhenShown, d.ok());
    QCOMPARE(flags, quint8(0x07));

    flags = Prefs::DefaultFlags;
    QVERIFY(d.change(flags, [&] {
        QTest::mouseClick(d.bold(), Qt::LeftButton);
        QTest::mouseClick(d.read(), Qt::LeftButton);
        QTest::keyClick(&d.dlg, Qt::Key_Return);   // the default button
    }));
    QCOMPARE(flags, quint8(Prefs::SaveInterface));
}

void TestPrgSettings::cancelChangesNothing()
{
    TDialog d;
    quint8 flags = 0x67;
    QVERIFY(!d.change(flags, [&] {
        QTest::mouseClick(d.save(), Qt::LeftButton);
        QTest::mouseClick(d.cancel(), Qt::LeftButton);
    }));
    QCOMPARE(flags, quint8(0x67));
    QVERIFY(!d.change(flags, [&] { QTest::keyClick(&d.dlg, Qt::Key_Escape); }));
    QCOMPARE(flags, quint8(0x67));
}

QTEST_MAIN(TestPrgSettings)
#include "tst_PrgSettings.moc"
