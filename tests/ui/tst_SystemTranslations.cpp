// Qt's own texts in both programs are Russian, as every other text is.
#include <QtTest>
#include <QDialogButtonBox>
#include <QPushButton>

#include "SystemTranslations.h"

class TestSystemTranslations : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void standardButtonsSpeakRussian()
    {
        QDialogButtonBox before(QDialogButtonBox::Cancel);
        QCOMPARE(before.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
        QVERIFY2(InstallSystemTranslations(), "qtbase_ru.qm is missing: scripts/setup.sh installs it");
        QDialogButtonBox after(QDialogButtonBox::Cancel | QDialogButtonBox::Open);
        QCOMPARE(after.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
        QCOMPARE(after.button(QDialogButtonBox::Open)->text(), QStringLiteral("Открыть"));
    }
};

QTEST_MAIN(TestSystemTranslations)
#include "tst_SystemTranslations.moc"
