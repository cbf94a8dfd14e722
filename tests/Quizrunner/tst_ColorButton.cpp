// The coloured number button and the check box whose toggling can be locked.
#include <QSignalSpy>
#include <QMouseEvent>
#include <QTest>

#include "ColorButton.h"
#include "MCheckBox.h"

class TestColorButton : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void faceColourIsPainted();
    void doubleClickCountsTwice();
    void lockedCheckBox();
};

void TestColorButton::faceColourIsPainted()
{
    TMColorButton b;
    b.resize(23, 20);
    b.SetFontColor(Qt::white);
    b.setText("7");
    b.SetColor(QColor(255, 0, 0));
    QImage img = b.grab().toImage();
    QCOMPARE(img.pixelColor(4, 4), QColor(255, 0, 0));
    b.SetColor(QColor(0, 128, 0));
    img = b.grab().toImage();
    QCOMPARE(img.pixelColor(4, 4), QColor(0, 128, 0));
    // The caption is drawn in the font colour somewhere in the middle.
    bool white = false;
    for (int y = 4; y < 16 && !white; ++y)
        for (int x = 6; x < 17 && !white; ++x)
            white = img.pixelColor(x, y) == QColor(Qt::white);
    QVERIFY(white);
    // Disabled: embossed caption, no white left.
    b.setEnabled(false);
    img = b.grab().toImage();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            QVERIFY(img.pixelColor(x, y) != QColor(Qt::white) || x == 0 || y == 0);
}

void TestColorButton::doubleClickCountsTwice()
{
    TMColorButton b;
    b.resize(23, 20);
    b.show();
    QSignalSpy spy(&b, &QAbstractButton::clicked);
    const QPointF at(10, 10);
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                           QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        QMouseEvent e(t, at, b.mapToGlobal(at), Qt::LeftButton,
                      t == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, {});
        QCoreApplication::sendEvent(&b, &e);
    }
    QCOMPARE(spy.count(), 2);
}

void TestColorButton::lockedCheckBox()
{
    TMCheckBox cb;
    cb.SetCaption("вариант");
    cb.resize(120, 20);
    cb.show();
    QSignalSpy clicks(&cb, &QAbstractButton::clicked);
    QTest::mouseClick(&cb, Qt::LeftButton, {}, QPoint(6, 10));
    QVERIFY(cb.isChecked());
    cb.SetUserToggle(false);
    QTest::mouseClick(&cb, Qt::LeftButton, {}, QPoint(6, 10));
    QTest::keyClick(&cb, Qt::Key_Space);
    QVERIFY(cb.isChecked());
    QCOMPARE(clicks.count(), 3);   // the handler still hears every click
    cb.setChecked(false);          // code may still change it
    QVERIFY(!cb.isChecked());

    cb.SetWordWrap(true);
    QCOMPARE(cb.Caption(), QStringLiteral("вариант"));
    QVERIFY(cb.text().isEmpty());
    cb.SetCaptionColor(QColor(0, 128, 0));
    QCOMPARE(cb.findChild<QWidget *>("labCaption")->palette().color(QPalette::WindowText), QColor(0, 128, 0));
}

QTEST_MAIN(TestColorButton)
#include "tst_ColorButton.moc"
