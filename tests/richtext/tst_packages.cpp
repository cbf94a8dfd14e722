// Package objects: the native-data layout Windows' packager reads, names
// beyond Windows-1251, and storages that are not (or no longer) packages.
#include "RichObjects.h"

#include <QImage>
#include <QtTest>

using namespace RichText;

namespace {
QByteArray Native(const QByteArray &storage)
{
    for (const auto &[name, data] : StorageStreams(storage))
        if (name == QStringLiteral("\x01Ole10Native"))
            return data;
    return {};
}

quint32 Le32(const QByteArray &b, int at)
{
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 | quint32(uchar(b[at + 2])) << 16 |
           quint32(uchar(b[at + 3])) << 24;
}
}

class TestPackages : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void nativeDataLayout()
    {
        const QByteArray storage = BuildPackageStorage(QStringLiteral("a.txt"), QByteArray("hello"));
        QStringList names;
        for (const auto &s : StorageStreams(storage))
            names.append(s.first);
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("\x01" "CompObj"), QStringLiteral("\x01Ole"),
                                     QStringLiteral("\x01Ole10Native")}));
        const QByteArray n = Native(storage);
        QCOMPARE(Le32(n, 0), quint32(n.size() - 4));
        QByteArray head("\x02\x00" "a.txt\0" "a.txt\0" "\x00\x00\x03\x00" "\x06\x00\x00\x00" "a.txt\0"
                        "\x05\x00\x00\x00" "hello", 2 + 6 + 6 + 4 + 4 + 6 + 4 + 5);
        QCOMPARE(n.mid(4, head.size()), head);
        QCOMPARE(StorageClassName(storage), QStringLiteral("OLE Package"));
        QVERIFY(DecodeStoragePicture(storage).isNull());
        const TRichObject o = PackageObject(QStringLiteral("a.txt"), QByteArray("hello"));
        QCOMPARE(o.clsid, PackageClsid());
        QCOMPARE(o.storage, storage);
    }

    void namesBeyondWindows1251ComeBackWhole()
    {
        for (const QString &name : {QStringLiteral("задача.docx"), QStringLiteral("日本語.txt")}) {
            QString back;
            QByteArray data;
            QVERIFY(PackageContents(BuildPackageStorage(name, QByteArray(70000, 'z')), &back, &data));
            QCOMPARE(back, name);
            QCOMPARE(data, QByteArray(70000, 'z'));
        }
    }

    void emptyFilesAndNonPackages()
    {
        QString name;
        QByteArray data("old");
        QVERIFY(PackageContents(BuildPackageStorage(QStringLiteral("empty"), QByteArray()), &name, &data));
        QVERIFY(data.isEmpty());
        QVERIFY(BuildPackageStorage(QString(), QByteArray("x")).isEmpty());
        QImage img(4, 4, QImage::Format_RGB32);
        img.fill(Qt::red);
        QVERIFY(!PackageContents(BuildPictureStorage(img), &name, &data));
        QVERIFY(!PackageContents(QByteArray("not a storage"), &name, &data));
    }

    void truncatedNativeDataIsRefused()
    {
        const QByteArray n = Native(BuildPackageStorage(QStringLiteral("a.txt"), QByteArray(100, 'q')));
        // The stated data size runs past the stream.
        QByteArray cut = n.left(4 + 2 + 6 + 6 + 4 + 4 + 6 + 4 + 50);
        cut.replace(0, 4, QByteArray("\xff\x00\x00\x00", 4));
        const QByteArray storage = BuildStorage(PackageClsid(), {{QByteArray("\x01Ole10Native"), cut}});
        QVERIFY(!PackageContents(storage, nullptr, nullptr));
    }
};

QTEST_MAIN(TestPackages)
#include "tst_packages.moc"
