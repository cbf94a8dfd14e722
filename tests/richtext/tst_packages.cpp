// Package objects: the native-data layout Windows' packager reads, names
// beyond Windows-1251, and storages that are not (or no longer) packages.
#include "RichObjects.h"
#include "testutil_rich.h"

#include <QImage>
#include <QPainter>
#include <QtTest>

using namespace RichText;

namespace {
QByteArray Stream(const QByteArray &storage, const QString &stream)
{
    for (const auto &[name, data] : StorageStreams(storage))
        if (name == stream)
            return data;
    return {};
}

QByteArray Native(const QByteArray &storage)
{
    return Stream(storage, QStringLiteral("\x01Ole10Native"));
}

quint16 Le16(const QByteArray &b, int at)
{
    return quint16(uchar(b[at]) | uchar(b[at + 1]) << 8);
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
                                     QStringLiteral("\x01Ole10Native"), QStringLiteral("\x02OlePres000")}));
        const QByteArray n = Native(storage);
        QCOMPARE(Le32(n, 0), quint32(n.size() - 4));
        QByteArray head("\x02\x00" "a.txt\0" "a.txt\0" "\x00\x00\x03\x00" "\x06\x00\x00\x00" "a.txt\0"
                        "\x05\x00\x00\x00" "hello", 2 + 6 + 6 + 4 + 4 + 6 + 4 + 5);
        QCOMPARE(n.mid(4, head.size()), head);
        QCOMPARE(StorageClassName(storage), QStringLiteral("OLE Package"));
        // Drawn from its presentation: the icon with the name.
        QCOMPARE(DecodeStoragePicture(storage).convertToFormat(QImage::Format_RGB32),
                 PackageIconImage(QStringLiteral("a.txt")));
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

    // What a Windows reader draws without the packager: the icon aspect's
    // cached metafile, the whole stream after its header being the metafile.
    void iconPresentationIsAMetafileOfTheIcon()
    {
        const QString name = QStringLiteral("лабораторная работа 5.docx");
        const QByteArray pres = Stream(BuildPackageStorage(name, QByteArray("x")), QStringLiteral("\x02OlePres000"));
        QVERIFY(pres.size() > 40);
        QCOMPARE(Le32(pres, 0), 0xFFFFFFFFu);      // standard clipboard format:
        QCOMPARE(Le32(pres, 4), 3u);               // a metafile picture
        QCOMPARE(Le32(pres, 8), 4u);               // no target device
        QCOMPARE(Le32(pres, 12), 4u);              // the icon aspect
        QCOMPARE(Le32(pres, 16), 0xFFFFFFFFu);
        QCOMPARE(Le32(pres, 28), quint32(PxToHmm(kPackageIconWidth)));
        QCOMPARE(Le32(pres, 32), quint32(PxToHmm(kPackageIconHeight)));
        const QByteArray wmf = pres.mid(40);
        QCOMPARE(Le32(pres, 36), quint32(wmf.size()));
        QCOMPARE(Le16(wmf, 0), quint16(1));
        QCOMPARE(Le16(wmf, 2), quint16(9));
        QCOMPARE(Le16(wmf, 4), quint16(0x0300));
        QCOMPARE(Le32(wmf, 6) * 2, quint32(wmf.size()));
        // Records: window origin, window extent (y first), the picture, the end.
        QList<quint16> funcs;
        quint32 largest = 0;
        QByteArray dib;
        for (int at = 18; at < wmf.size();) {
            const quint32 words = Le32(wmf, at);
            QVERIFY(words >= 3 && at + int(words) * 2 <= wmf.size());
            funcs.append(Le16(wmf, at + 4));
            largest = std::max(largest, words);
            if (funcs.last() == 0x020C) {
                QCOMPARE(Le16(wmf, at + 6), quint16(kPackageIconHeight));
                QCOMPARE(Le16(wmf, at + 8), quint16(kPackageIconWidth));
            }
            if (funcs.last() == 0x0F43) {
                QCOMPARE(Le32(wmf, at + 6), 0x00CC0020u);
                QCOMPARE(Le16(wmf, at + 20), quint16(kPackageIconHeight));   // destination
                QCOMPARE(Le16(wmf, at + 22), quint16(kPackageIconWidth));
                dib = wmf.mid(at + 28, int(words) * 2 - 28);
            }
            at += int(words) * 2;
        }
        QCOMPARE(funcs, (QList<quint16>{0x020B, 0x020C, 0x0F43, 0x0000}));
        QCOMPARE(Le32(wmf, 12), largest);
        QCOMPARE(Le32(dib, 0), 40u);
        QCOMPARE(Le16(dib, 14), quint16(24));
        QCOMPARE(dib.size(), 40 + ((kPackageIconWidth * 3 + 3) & ~3) * kPackageIconHeight);
        const QImage icon = PackageIconImage(name);
        QCOMPARE(ImageFromDib(dib).convertToFormat(QImage::Format_RGB32), icon);
        // The name is drawn under the sheet: dark pixels in the lower part.
        int dark = 0;
        for (int y = 40; y < icon.height(); ++y)
            for (int x = 0; x < icon.width(); ++x)
                dark += qGray(icon.pixel(x, y)) < 128;
        QVERIFY(dark > 20);
    }

    // A metafile that also writes text (an icon with a separate caption) is
    // not taken for the picture: the caller draws the object's name.
    void metafileWithTextIsNotAPicture()
    {
        QByteArray pres = Stream(BuildPackageStorage(QStringLiteral("a.txt"), QByteArray("x")),
                                 QStringLiteral("\x02OlePres000"));
        const int eof = pres.size() - 6;
        QCOMPARE(Le16(pres, eof + 4), quint16(0));
        QByteArray text("\x05\x00\x00\x00\x21\x05\x00\x00\x00\x00", 10);   // an empty text-out record
        pres.insert(eof, text);
        const quint32 wmfSize = quint32(pres.size() - 40);
        for (int i = 0; i < 4; ++i)
            pres[36 + i] = char((wmfSize >> (8 * i)) & 0xff);
        const QByteArray storage = BuildStorage(PackageClsid(), {{QByteArray("\x02OlePres000"), pres}});
        QVERIFY(DecodeStoragePicture(storage).isNull());
        // Damaged: a record running past the end.
        QByteArray cut = pres;
        cut.replace(40 + 18, 4, QByteArray("\xff\xff\xff\x7f", 4));
        QVERIFY(DecodeStoragePicture(BuildStorage(PackageClsid(), {{QByteArray("\x02OlePres000"), cut}})).isNull());
    }

    // The parts the control writes for every object, as the corpus's
    // pictures have them: the compound-file header, \x01Ole, CompObj's frame.
    void storageFramesMatchTheCorpus()
    {
        const QList<QByteArray> objs = RichTest::ObjectRecords(
            RichTest::ReadFile(RichTest::CorpusDir() + QStringLiteral("/pictures/pic1_checker24_bitmap.rec")));
        QCOMPARE(objs.size(), 1);
        const QByteArray peer = objs[0].mid(48);
        const QByteArray ours = BuildPackageStorage(QStringLiteral("a.txt"), QByteArray("hello"));
        QCOMPARE(ours.left(0x20), peer.left(0x20));   // signature, versions, byte order, sector sizes
        QCOMPARE(ours.size() % 512, 0);
        QCOMPARE(Stream(ours, QStringLiteral("\x01Ole")), Stream(peer, QStringLiteral("\x01Ole")));
        const QByteArray peerComp = Stream(peer, QStringLiteral("\x01" "CompObj"));
        const QByteArray ourComp = Stream(ours, QStringLiteral("\x01" "CompObj"));
        QCOMPARE(ourComp.left(12), peerComp.left(12));
        QCOMPARE(ourComp.right(16), peerComp.right(16));
        QCOMPARE(ourComp.mid(12, 16), PackageClsid());
    }
};

QTEST_MAIN(TestPackages)
#include "tst_packages.moc"
