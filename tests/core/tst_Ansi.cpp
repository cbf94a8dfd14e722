// Windows-1251 at the file boundary.
#include <QtTest>

#include "Ansi.h"

class TstAnsi : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void encode_data();
    void encode();
    void decodesEveryByte();
};

void TstAnsi::encode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("ascii") << QStringLiteral("Test 1\t2") << QByteArray("Test 1\t2");
    QTest::newRow("russian") << QStringLiteral("Ёжик ёж Я") << QByteArray("\xa8\xe6\xe8\xea \xb8\xe6 \xdf");
    QTest::newRow("euro and numero") << QStringLiteral("€№") << QByteArray("\x88\xb9");
    QTest::newRow("not in the code page") << QStringLiteral("a中b") << QByteArray("a?b");
    QTest::newRow("surrogate pair is one character") << QStringLiteral("x\U0001F600y") << QByteArray("x?y");
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) + QStringLiteral("ж") << QByteArray("?\xe6");
}

void TstAnsi::encode()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(ToAnsi(text), bytes);
    if (!bytes.contains('?'))
        QCOMPARE(FromAnsi(bytes), text);
}

void TstAnsi::decodesEveryByte()
{
    QByteArray all;
    for (int i = 1; i < 256; ++i)
        all.append(char(i));
    const QString text = FromAnsi(all);
    QCOMPARE(text.size(), 255);
    QCOMPARE(text.at(0xC0 - 1), QChar(0x0410));  // А
    QCOMPARE(text.at(0xFF - 1), QChar(0x044F));  // я
    // Every byte the code page defines comes back unchanged.
    const QByteArray back = ToAnsi(text);
    for (int i = 0; i < 255; ++i)
        if (text.at(i) != QChar(0xFFFD))
            QCOMPARE(back.at(i), all.at(i));
}

QTEST_GUILESS_MAIN(TstAnsi)
#include "tst_Ansi.moc"
