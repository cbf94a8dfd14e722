// The editor's preferences against a scratch settings file: what a first start,
// a save and the next start see, which values carry which type, what a damaged
// store does, and the tool bars placed and read back on a real window.
#include <QApplication>
#include <QDataStream>
#include <QFile>
#include <QMainWindow>
#include <QSettings>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>
#include <memory>

#include "Preferences.h"
#include "QeErrors.h"

using namespace Prefs;

namespace {
struct TStore {
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("prefs.ini")); }
    std::unique_ptr<QSettings> open() const
    {
        return std::make_unique<QSettings>(path(), QSettings::IniFormat);
    }
    TPreferences load() const { return LoadSettings(*open()); }
    void save(TPreferences &p) const
    {
        auto s = open();
        QVERIFY(SaveSettings(*s, p));
    }
    QVariant raw(const QString &key) const { return open()->value(key); }
    void put(const QString &key, const QVariant &v) const
    {
        auto s = open();
        s->setValue(key, v);
    }
};

// What a window left at its close: placement, panes, folders, bars.
TPreferences Used()
{
    TPreferences p;
    p.PrefFlags = BoldFocused | SaveInterface | ReadInterface | RecheckClipMarked;
    p.WindowState = 0;
    p.MainLeft = 40;
    p.MainTop = 30;
    p.MainWidth = 900;
    p.MainHeight = 650;
    p.I1 = 250;
    p.I2 = 210;
    p.I3 = 90;
    p.DefOpenPath = QStringLiteral("/home/teacher/Тесты");
    p.DefSavePath = QStringLiteral("/home/teacher/out, new");
    p.BarsStored = true;
    p.Bars[BarFormat] = {DockLeft, 0, 12, true, QPoint(-20, 300)};
    p.Bars[BarStandart] = {QString(), 1, 0, false, QPoint(320, 240)};
    p.StatusVisible = false;
    p.DefaultAttributes.FontName = QStringLiteral("Times New Roman");
    p.DefaultAttributes.FontSize = 14;
    p.DefaultAttributes.FontColor = QColor(0x10, 0x20, 0x30);
    p.DefaultAttributes.BackColor = QColor(255, 255, 200);
    p.DefaultAttributes.Style = TMyTextAttr::StyleBold | TMyTextAttr::StyleUnderline;
    p.DefaultAttributes.Alignment = TMyTextAttr::AlignJustify;
    return p;
}

QString FailureOf(const TStore &store)
{
    try {
        store.load();
    } catch (const EQuizError &e) {
        return e.message();
    }
    return QString();
}

struct TWindow {
    QMainWindow w;
    QToolBar *standart = new QToolBar(QStringLiteral("Стандартная"));
    QToolBar *format = new QToolBar(QStringLiteral("Форматирование"));
    TWindow()
    {
        standart->setObjectName(QStringLiteral("TBToolBarStandart"));
        format->setObjectName(QStringLiteral("TBToolbarFormat"));
        for (int i = 0; i < 6; ++i)
            standart->addAction(QStringLiteral("S%1").arg(i));
        for (int i = 0; i < 4; ++i)
            format->addAction(QStringLiteral("F%1").arg(i));
        w.addToolBar(Qt::TopToolBarArea, standart);
        w.addToolBarBreak();
        w.addToolBar(Qt::TopToolBarArea, format);
        w.setCentralWidget(new QTextEdit);
        w.resize(800, 600);
    }
    void show()
    {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCoreApplication::processEvents();
    }
    // A docked bar keeps the floating position it is given.
    std::array<TBarPlace, BarCount> read(std::array<TBarPlace, BarCount> bars = {})
    {
        ReadBars(w, standart, format, bars);
        return bars;
    }
};
}  // namespace

class TestPreferences : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstStart();
    void savedAndReadBack();
    void storedTypes();
    void maximisedKeepsPanesNotBounds();
    void readingOff();
    void savingOff();
    void recentFilesOrder();
    void damagedBars_data();
    void damagedBars();
    void damagedRest();
    void unwritableStore();
    void colours();
    void usableBounds();
    void barsPlacedAndRead();
    void floatingBar();
    void closeButton();
    void panes();
};

void TestPreferences::firstStart()
{
    TStore store;
    const TPreferences p = store.load();
    QCOMPARE(p.PrefFlags, quint8(0x57));
    QVERIFY(p.PrefFlags & Maximize);
    QVERIFY(!p.WindowState && !p.MainLeft && !p.MainWidth && !p.I1 && !p.I2 && !p.I3);
    QVERIFY(p.RecentFiles.isEmpty());
    QVERIFY(p.DefOpenPath.isEmpty() && p.DefSavePath.isEmpty());
    QVERIFY(!p.BarsStored);
    QVERIFY(p.StatusVisible);
    QVERIFY(p.Bars[BarStandart].Visible && p.Bars[BarFormat].Visible);
    QCOMPARE(p.DefaultAttributes.FontName, QStringLiteral("MS Sans Serif"));
    QCOMPARE(p.DefaultAttributes.FontSize, 12);
    QCOMPARE(p.DefaultAttributes.FontColor, QColor(0, 0, 0));
    QCOMPARE(p.DefaultAttributes.BackColor, QColor(255, 255, 255));
    QCOMPARE(p.DefaultAttributes.Alignment, TMyTextAttr::AlignCenter);
    QVERIFY(!QFile::exists(store.path()));
}

void TestPreferences::savedAndReadBack()
{
    TStore store;
    TPreferences saved = Used();
    saved.RecentFiles = {QStringLiteral("/t/c.qe2"), QStringLiteral("/t/b.qe2")};
    store.save(saved);
    QCOMPARE(saved.PrefFlags, quint8(0x67));  // bit 32 set by the save

    const TPreferences p = store.load();
    QCOMPARE(p.PrefFlags, quint8(0x67));
    QVERIFY(!(p.PrefFlags & Maximize));
    QCOMPARE(p.MainLeft, std::optional<qint32>(40));
    QCOMPARE(p.MainTop, std::optional<qint32>(30));
    QCOMPARE(p.MainWidth, std::optional<qint32>(900));
    QCOMPARE(p.MainHeight, std::optional<qint32>(650));
    QCOMPARE(p.I1, std::optional<qint32>(250));
    QCOMPARE(p.I2, std::optional<qint32>(210));
    QCOMPARE(p.I3, std::optional<qint32>(90));
    QCOMPARE(p.DefOpenPath, saved.DefOpenPath);
    QCOMPARE(p.DefSavePath, saved.DefSavePath);
    QCOMPARE(p.RecentFiles, saved.RecentFiles);
    QVERIFY(p.BarsStored);
    QCOMPARE(p.Bars[BarFormat], saved.Bars[BarFormat]);
    QCOMPARE(p.Bars[BarStandart], saved.Bars[BarStandart]);
    QCOMPARE(p.Bars[BarMenu], saved.Bars[BarMenu]);
    QVERIFY(!p.StatusVisible);
    QVERIFY(p.AttributesStored);
    QCOMPARE(p.DefaultAttributes, saved.DefaultAttributes);
}

void TestPreferences::storedTypes()
{
    TStore store;
    TPreferences saved = Used();
    store.save(saved);
    const QVariant options = store.raw(QStringLiteral("Quizwright/Options"));
    QCOMPARE(options.typeId(), int(QMetaType::QByteArray));
    QCOMPARE(options.toByteArray(), QByteArray(1, char(0x67)));
    const QVariant style = store.raw(QStringLiteral("Quizwright/DefaultAttributes/Style"));
    QCOMPARE(style.typeId(), int(QMetaType::QByteArray));
    QCOMPARE(style.toByteArray(), QByteArray(1, char(5)));
    // X then Y, signed 32-bit little-endian.
    QCOMPARE(store.raw(QStringLiteral("Quizwright/Toolbars/FormatFloatPos")).toByteArray(),
             QByteArray::fromHex("ecffffff2c010000"));
    QCOMPARE(store.raw(QStringLiteral("Quizwright/Toolbars/StandartVisible")).toInt(), 0);
    QCOMPARE(store.raw(QStringLiteral("Quizwright/Toolbars/FormatVisible")).toInt(), 1);
    QCOMPARE(store.raw(QStringLiteral("Quizwright/Toolbars/StandartCurrentDock")).toString(), QString());
    QCOMPARE(store.raw(QStringLiteral("Quizwright/Toolbars/FormatCurrentDock")).toString(), DockLeft);
    QCOMPARE(store.raw(QStringLiteral("Quizwright/DefaultAttributes/FontColor")).toInt(), 0x302010);
    QCOMPARE(store.raw(QStringLiteral("Quizwright/DefaultAttributes/Aligment")).toInt(), 3);

    // Values another program stored: booleans as any integer, colours as DWORDs.
    store.put(QStringLiteral("Quizwright/Toolbars/StandartVisible"), 7);
    store.put(QStringLiteral("Quizwright/DefaultAttributes/BackColor"), QStringLiteral("4294967295"));
    const TPreferences p = store.load();
    QVERIFY(p.Bars[BarStandart].Visible);
    QVERIFY(p.AttributesStored);
    QCOMPARE(p.DefaultAttributes.BackColor, QGuiApplication::palette().color(QPalette::WindowText));
}

void TestPreferences::maximisedKeepsPanesNotBounds()
{
    TStore store;
    TPreferences saved = Used();
    saved.WindowState = 2;
    store.save(saved);
    QVERIFY(!store.open()->contains(QStringLiteral("Quizwright/MainLeft")));
    QVERIFY(!store.open()->contains(QStringLiteral("Quizwright/MainWidth")));
    QCOMPARE(store.raw(QStringLiteral("Quizwright/WindowState")).toInt(), 2);

    // Bounds of an earlier normal close stay stored but are not used.
    store.put(QStringLiteral("Quizwright/MainLeft"), 5);
    const TPreferences p = store.load();
    QVERIFY(p.PrefFlags & Maximize);
    QVERIFY(!p.MainLeft && !p.MainTop && !p.MainWidth && !p.MainHeight);
    QCOMPARE(p.I1, std::optional<qint32>(250));
    QCOMPARE(p.I2, std::optional<qint32>(210));
    QCOMPARE(p.I3, std::optional<qint32>(90));
}

void TestPreferences::readingOff()
{
    TStore store;
    TPreferences saved = Used();
    saved.PrefFlags = SaveInterface;
    store.save(saved);
    QVERIFY(store.open()->contains(QStringLiteral("Quizwright/MainLeft")));
    const TPreferences p = store.load();
    QCOMPARE(p.PrefFlags, quint8(SaveInterface | Stored));
    QVERIFY(!p.WindowState && !p.MainLeft && !p.MainTop && !p.MainWidth && !p.MainHeight);
    QVERIFY(!p.I1 && !p.I2 && !p.I3);
    // The rest is read all the same.
    QCOMPARE(p.DefOpenPath, saved.DefOpenPath);
    QVERIFY(p.BarsStored);
}

void TestPreferences::savingOff()
{
    TStore store;
    // A first start, its window maximised, then saving switched off.
    TPreferences first = store.load();
    first.PrefFlags &= quint8(~(Maximize | SaveInterface));
    first.WindowState = 2;
    first.MainLeft = 1;
    first.I1 = 300;
    store.save(first);
    for (const char *key : {"WindowState", "MainLeft", "I1", "I2", "I3"})
        QVERIFY2(!store.open()->contains(QStringLiteral("Quizwright/") + QLatin1String(key)), key);
    const TPreferences p = store.load();
    QVERIFY(p.PrefFlags & ReadInterface);
    QVERIFY(!(p.PrefFlags & Maximize));
    QVERIFY(!p.WindowState && !p.MainLeft && !p.I1);
}

void TestPreferences::recentFilesOrder()
{
    TStore store;
    TPreferences p;
    p.RecentFiles = {QStringLiteral("/t/new.qe2"), QStringLiteral("/t/mid.qe2"), QStringLiteral("/t/old.qe2")};
    store.put(QStringLiteral("Quizwright/MRUItem4"), QStringLiteral("/t/gone.qe2"));
    store.save(p);
    QCOMPARE(store.raw(QStringLiteral("Quizwright/MRUItem3")).toString(), QStringLiteral("/t/new.qe2"));
    QCOMPARE(store.raw(QStringLiteral("Quizwright/MRUItem1")).toString(), QStringLiteral("/t/old.qe2"));
    QVERIFY(!store.open()->contains(QStringLiteral("Quizwright/MRUItem4")));
    QCOMPARE(store.load().RecentFiles, p.RecentFiles);

    // One entry less: the values beyond it go.
    p.RecentFiles.removeLast();
    store.save(p);
    QVERIFY(!store.open()->contains(QStringLiteral("Quizwright/MRUItem3")));
    QCOMPARE(store.raw(QStringLiteral("Quizwright/MRUItem2")).toString(), QStringLiteral("/t/new.qe2"));

    // The list ends at the first gap; a repeated path is listed once, as newest.
    store.put(QStringLiteral("Quizwright/MRUItem1"), QStringLiteral("/t/a.qe2"));
    store.put(QStringLiteral("Quizwright/MRUItem2"), QStringLiteral("/t/b.qe2"));
    store.put(QStringLiteral("Quizwright/MRUItem3"), QStringLiteral("/t/a.qe2"));
    store.open()->remove(QStringLiteral("Quizwright/MRUItem4"));
    QCOMPARE(store.load().RecentFiles, QStringList({QStringLiteral("/t/a.qe2"), QStringLiteral("/t/b.qe2")}));
    store.open()->remove(QStringLiteral("Quizwright/MRUItem2"));
    QCOMPARE(store.load().RecentFiles, QStringList({QStringLiteral("/t/a.qe2")}));
}

void TestPreferences::damagedBars_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QVariant>("content");  // invalid: removed
    QTest::newRow("row missing") << QStringLiteral("FormatDockRow") << QVariant();
    QTest::newRow("row not a number") << QStringLiteral("FormatDockRow") << QVariant(QStringLiteral("zwei"));
    QTest::newRow("dock as bytes") << QStringLiteral("MenuCurrentDock") << QVariant(QByteArray("TBDockTop"));
    QTest::newRow("position too short") << QStringLiteral("StandartFloatPos") << QVariant(QByteArray(7, 0));
    QTest::newRow("position as text") << QStringLiteral("StandartFloatPos") << QVariant(QStringLiteral("10,20"));
    QTest::newRow("visible as bytes") << QStringLiteral("FormatVisible") << QVariant(QByteArray(4, 1));
    QTest::newRow("status missing") << QStringLiteral("StatusVisible") << QVariant();
}

void TestPreferences::damagedBars()
{
    QFETCH(QString, value);
    QFETCH(QVariant, content);
    TStore store;
    TPreferences saved = Used();
    store.save(saved);
    const QString key = QStringLiteral("Quizwright/Toolbars/") + value;
    if (content.isValid())
        store.put(key, content);
    else
        store.open()->remove(key);
    const QString failure = FailureOf(store);
    QVERIFY2(failure.contains(store.path()), qPrintable(failure));
    QVERIFY2(failure.contains(QStringLiteral("\\Quizwright\\Toolbars\\") + value), qPrintable(failure));
}

void TestPreferences::damagedRest()
{
    TStore store;
    TPreferences saved = Used();
    store.save(saved);
    // Main-key values of the wrong type are passed over.
    store.put(QStringLiteral("Quizwright/Options"), QStringLiteral("71"));
    store.put(QStringLiteral("Quizwright/MainWidth"), QStringLiteral("wide"));
    store.put(QStringLiteral("Quizwright/DefOpenPath"), QByteArray("/x"));
    TPreferences p = store.load();
    QCOMPARE(p.PrefFlags, DefaultFlags);
    QVERIFY(!p.MainWidth);
    QCOMPARE(p.MainLeft, std::optional<qint32>(40));
    QVERIFY(p.DefOpenPath.isEmpty());

    // Any attribute unreadable: the built-in ones, all of them.
    store.put(QStringLiteral("Quizwright/DefaultAttributes/Style"), QStringLiteral("bold"));
    p = store.load();
    QVERIFY(!p.AttributesStored);
    QCOMPARE(p.DefaultAttributes, TMyTextAttr());
    store.put(QStringLiteral("Quizwright/DefaultAttributes/Style"), QByteArray(1, 1));
    store.open()->remove(QStringLiteral("Quizwright/DefaultAttributes/FontName"));
    QCOMPARE(store.load().DefaultAttributes, TMyTextAttr());

    // Readable but unusable: size and alignment fall back alone.
    store.put(QStringLiteral("Quizwright/DefaultAttributes/FontName"), QStringLiteral("Arial"));
    store.put(QStringLiteral("Quizwright/DefaultAttributes/FontSize"), -3);
    store.put(QStringLiteral("Quizwright/DefaultAttributes/Aligment"), 9);
    p = store.load();
    QVERIFY(p.AttributesStored);
    QCOMPARE(p.DefaultAttributes.FontName, QStringLiteral("Arial"));
    QCOMPARE(p.DefaultAttributes.FontSize, 12);
    QCOMPARE(p.DefaultAttributes.Alignment, TMyTextAttr::AlignCenter);
    QCOMPARE(p.DefaultAttributes.Style, TMyTextAttr::StyleBold);

    // A file that is not a settings file at all: nothing is read from it.
    QFile f(store.path());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QByteArray("\x00\x01\xff[[[=\n\x89PNG", 12));
    f.close();
    p = store.load();
    QCOMPARE(p.PrefFlags, DefaultFlags);
    QVERIFY(!p.BarsStored);
}

void TestPreferences::unwritableStore()
{
    TStore store;
    QVERIFY(QDir(store.dir.path()).mkdir(QStringLiteral("prefs.ini")));  // a folder in its place
    TPreferences p;
    auto s = store.open();
    QVERIFY(!SaveSettings(*s, p));
    QVERIFY(p.PrefFlags & Stored);
}

void TestPreferences::colours()
{
    QCOMPARE(ValueToColor(0x00FF8040), QColor(0x40, 0x80, 0xFF));
    QCOMPARE(ColorToValue(QColor(0x40, 0x80, 0xFF)), quint32(0x00FF8040));
    QCOMPARE(ColorToValue(QColor(Qt::white)), quint32(0x00FFFFFF));
    const QPalette pal = QGuiApplication::palette();
    QCOMPARE(ValueToColor(0xFF000008), pal.color(QPalette::Text));
    QCOMPARE(ValueToColor(0xFF000005), pal.color(QPalette::Base));
}

void TestPreferences::usableBounds()
{
    const QList<QRect> screens = {QRect(0, 0, 1280, 1024), QRect(1280, 0, 1024, 768)};
    const QSize minimum(320, 240), fallback(786, 533);
    // On a screen, even half off it: as it was.
    QCOMPARE(UsableBounds(QRect(100, 50, 786, 533), screens, minimum, fallback), QRect(100, 50, 786, 533));
    QCOMPARE(UsableBounds(QRect(-300, 100, 786, 533), screens, minimum, fallback), QRect(-300, 100, 786, 533));
    QCOMPARE(UsableBounds(QRect(2000, 300, 600, 400), screens, minimum, fallback), QRect(2000, 300, 600, 400));
    // Far off every screen: back onto the nearest edge of the first.
    QCOMPARE(UsableBounds(QRect(30000, 40000, 786, 533), screens, minimum, fallback),
             QRect(1280 - 786, 1024 - 533, 786, 533));
    QCOMPARE(UsableBounds(QRect(-5000, -20, 786, 533), screens, minimum, fallback), QRect(0, 0, 786, 533));
    // The title strip above the screen cannot be taken.
    QCOMPARE(UsableBounds(QRect(100, -520, 786, 533), screens, minimum, fallback), QRect(100, 0, 786, 533));
    // Sizes: none or negative gives the design size, too small the minimum, too big the screen.
    QCOMPARE(UsableBounds(QRect(10, 10, -50, 400), screens, minimum, fallback).size(), fallback);
    QCOMPARE(UsableBounds(QRect(10, 10, 100, 100), screens, minimum, fallback).size(), minimum);
    QCOMPARE(UsableBounds(QRect(0, 0, 9000, 9000), screens, minimum, fallback), QRect(0, 0, 1280, 1024));
}

void TestPreferences::barsPlacedAndRead()
{
    TWindow win;
    win.show();
    std::array<TBarPlace, BarCount> bars;
    bars[BarStandart] = {DockTop, 0, 0, true, QPoint(1, 2)};
    bars[BarFormat] = {DockTop, 0, 400, true, QPoint(3, 4)};
    PlaceBars(win.w, win.standart, win.format, bars, {});
    QCoreApplication::processEvents();
    QCOMPARE(win.w.toolBarArea(win.format), Qt::TopToolBarArea);
    QCOMPARE(win.format->y(), win.standart->y());   // one row
    QCOMPARE(win.format->x(), 400);
    auto read = win.read(bars);
    QCOMPARE(read[BarStandart], bars[BarStandart]);
    QCOMPARE(read[BarFormat], bars[BarFormat]);

    // Other docks, rows and a hidden bar.
    bars[BarStandart] = {DockRight, 0, 0, false, QPoint()};
    bars[BarFormat] = {DockLeft, 0, 30, true, QPoint()};
    PlaceBars(win.w, win.standart, win.format, bars, {});
    QCoreApplication::processEvents();
    QCOMPARE(win.w.toolBarArea(win.standart), Qt::RightToolBarArea);
    QCOMPARE(win.w.toolBarArea(win.format), Qt::LeftToolBarArea);
    QVERIFY(win.standart->isHidden());
    QCOMPARE(win.format->orientation(), Qt::Vertical);
    read = win.read();
    QCOMPARE(read[BarStandart].CurrentDock, DockRight);
    QVERIFY(!read[BarStandart].Visible);
    QCOMPARE(read[BarFormat].CurrentDock, DockLeft);
    // The first bar of a row starts it.
    QCOMPARE(read[BarFormat].DockPos, 0);

    // Two rows of the top dock, stored rows with gaps: kept in order.
    bars[BarStandart] = {DockTop, 5, 0, true, QPoint()};
    bars[BarFormat] = {DockTop, 2, 0, true, QPoint()};
    PlaceBars(win.w, win.standart, win.format, bars, {});
    QCoreApplication::processEvents();
    QVERIFY(win.format->y() < win.standart->y());
    read = win.read();
    QCOMPARE(read[BarFormat].DockRow, 0);
    QCOMPARE(read[BarStandart].DockRow, 1);
}

void TestPreferences::floatingBar()
{
    TWindow win;
    win.show();
    const QList<QRect> screens = {QRect(0, 0, 1280, 1024)};
    std::array<TBarPlace, BarCount> bars;
    bars[BarStandart] = {DockTop, 0, 0, true, QPoint()};
    bars[BarFormat] = {QString(), 0, 0, true, QPoint(300, 200)};
    PlaceBars(win.w, win.standart, win.format, bars, screens);
    QCoreApplication::processEvents();
    QVERIFY(win.format->isFloating());
    QVERIFY(win.format->isVisible());
    QCOMPARE(win.format->geometry().topLeft(), QPoint(300, 200));
    auto read = win.read();
    QCOMPARE(read[BarFormat].CurrentDock, QString());
    QCOMPARE(read[BarFormat].FloatPos, QPoint(300, 200));
    QVERIFY(read[BarFormat].Visible);

    // Far off the screen: back on it.
    bars[BarFormat].FloatPos = QPoint(-9000, 50000);
    PlaceBars(win.w, win.standart, win.format, bars, screens);
    QCoreApplication::processEvents();
    QVERIFY(win.format->isFloating());
    QVERIFY(screens.first().contains(win.format->geometry()));

    // Docked again: the floating position is the one it had.
    bars[BarFormat] = {DockTop, 1, 0, true, QPoint(300, 200)};
    PlaceBars(win.w, win.standart, win.format, bars, screens);
    QCoreApplication::processEvents();
    QVERIFY(!win.format->isFloating());
    read[BarFormat].FloatPos = QPoint(300, 200);
    ReadBars(win.w, win.standart, win.format, read);
    QCOMPARE(read[BarFormat], bars[BarFormat]);
}

void TestPreferences::closeButton()
{
    TWindow win;
    QAction *close = AddCloseButton(win.format);
    win.show();
    auto *button = win.format->findChild<QToolButton *>(QStringLiteral("TBToolbarFormatClose"));
    QVERIFY(button);
    QVERIFY(button->isVisible());
    // The bars and their buttons are the docks' own, the text below is not.
    QVERIFY(OnDock(win.w, button->mapTo(&win.w, QPoint(2, 2))));
    QVERIFY(OnDock(win.w, win.format->geometry().center()));
    QVERIFY(!OnDock(win.w, win.w.centralWidget()->geometry().center()));
    QVERIFY(!OnDock(win.w, QPoint(-5, 10)));
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(win.format->isHidden());
    QVERIFY(win.standart->isVisible());
    win.format->show();
    close->trigger();
    QVERIFY(win.format->isHidden());
}

void TestPreferences::panes()
{
    QWidget top;
    auto *lay = new QVBoxLayout(&top);
    lay->setContentsMargins(0, 0, 0, 0);
    auto *main = new QSplitter(Qt::Horizontal);
    lay->addWidget(main);
    main->addWidget(new QWidget);
    auto *question = new QSplitter(Qt::Vertical);
    main->addWidget(question);
    for (const char *name : {"panText", "panComment", "panVariants"}) {
        auto *w = new QWidget;
        w->setObjectName(QLatin1String(name));
        w->setMinimumHeight(40);
        question->addWidget(w);
    }
    top.resize(800, 600);
    top.show();
    QVERIFY(QTest::qWaitForWindowExposed(&top));

    TPreferences p;
    p.I1 = 250;
    p.I2 = 210;
    p.I3 = 90;
    PlacePanes(main, question, p);
    QCoreApplication::processEvents();
    TPreferences read;
    ReadPanes(main, question, read);
    QCOMPARE(read.I1, p.I1);
    QCOMPARE(read.I2, p.I2);
    QCOMPARE(read.I3, p.I3);

    // A larger window gives the room to the text pane and the question pane.
    top.resize(1100, 900);
    QCoreApplication::processEvents();
    ReadPanes(main, question, read);
    QCOMPARE(read.I1, p.I1);
    QCOMPARE(read.I2, p.I2);
    QCOMPARE(read.I3, p.I3);
    QVERIFY(question->widget(0)->height() > 500);

    // A hidden comment pane keeps its last height, whatever was read before.
    question->widget(1)->hide();
    QCoreApplication::processEvents();
    read.I3 = 77;
    ReadPanes(main, question, read);
    QCOMPARE(read.I3, p.I3);
}

QTEST_MAIN(TestPreferences)
#include "tst_Preferences.moc"
