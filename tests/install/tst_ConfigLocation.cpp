// The editor's configuration file: beside the program first, then in the
// system configuration folder, and the usual error when it is in neither.
#include <QtTest>

#include "ConfigLocation.h"
#include "QuizDocument.h"
#include "fMain.h"
#include "testutil_Editor.h"

namespace {
void Touch(const QString &path, const QByteArray &bytes = "not a configuration")
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
}  // namespace

class TestConfigLocation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void programFolderComesFirst()
    {
        QTemporaryDir dir;
        const QString own = dir.filePath(QStringLiteral("bin")), sys = dir.filePath(QStringLiteral("etc"));
        QVERIFY(QDir().mkpath(own) && QDir().mkpath(sys));
        const QString ownFile = own + QStringLiteral("/KMQuizEngine2.ini");
        const QString sysFile = sys + QStringLiteral("/KMQuizEngine2.ini");

        // In neither: the program folder's name, for the error to name.
        QCOMPARE(ConfigLocation::Find(own, sys), ownFile);
        Touch(sysFile);
        QCOMPARE(ConfigLocation::Find(own, sys), sysFile);
        // A damaged file beside the program is that copy's file: reported, not passed over.
        Touch(ownFile);
        QCOMPARE(ConfigLocation::Find(own, sys), ownFile);
        // No system folder at all.
        QFile::remove(ownFile);
        QCOMPARE(ConfigLocation::Find(own, QString()), ownFile);
        // A link that leads nowhere is no file.
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("gone")), ownFile));
        QCOMPARE(ConfigLocation::Find(own, sys), sysFile);
    }

    void systemFolderFollowsTheConfiguredSysconfdir()
    {
        QCOMPARE(ConfigLocation::SystemDir(), qEnvironmentVariable("QE_SYSCONF_DIR"));
    }

    void editorRunsOnTheSystemFile()
    {
        TEditorFixture f;
        const QString own = f.Path(QStringLiteral("bin")), sys = f.Path(QStringLiteral("etc"));
        QVERIFY(QDir().mkpath(own) && QDir().mkpath(sys));
        QVERIFY(QFile::rename(f.ConfigPath, sys + QStringLiteral("/KMQuizEngine2.ini")));
        f.ConfigPath = ConfigLocation::Find(own, sys);
        QVERIFY(f.Start());
        QCOMPARE(f.TakeMessages(), QString());
        QCOMPARE(f.PasswordLabels.size(), 1);
    }

    void missingFileKeepsItsMessage()
    {
        TEditorFixture f;
        const QString own = f.Path(QStringLiteral("bin")), sys = f.Path(QStringLiteral("etc"));
        QVERIFY(QDir().mkpath(own));
        f.ConfigPath = ConfigLocation::Find(own, sys);
        QVERIFY(!f.Start());
        QCOMPARE(f.TakeMessages(), QStringLiteral("Ошибка !\tОшибка чтения конфигурации:\r\rKMQuizEngine2.ini"));
        QVERIFY(f.PasswordLabels.isEmpty());
    }
};

QTEST_MAIN(TestConfigLocation)
#include "tst_ConfigLocation.moc"
