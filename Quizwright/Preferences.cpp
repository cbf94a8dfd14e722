#include "Preferences.h"

#include <QDataStream>
#include <QGuiApplication>
#include <QIODevice>
#include <QMainWindow>
#include <QMenuBar>
#include <QPalette>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QToolBar>
#include <algorithm>
#include <limits>

#include "QeErrors.h"

namespace Prefs {
namespace {
// Integers as the registry keeps them (32-bit, DWORDs above 2^31 wrap); the
// INI store gives them back as text.
std::optional<qint32> AsInt(const QVariant &v)
{
    bool ok = false;
    qlonglong n = 0;
    switch (v.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong:
    case QMetaType::ULongLong: case QMetaType::Short: case QMetaType::UShort:
        n = v.toLongLong(&ok);
        break;
    case QMetaType::Bool:
        return v.toBool() ? 1 : 0;
    case QMetaType::QString:
        n = v.toString().trimmed().toLongLong(&ok);
        break;
    default:
        return std::nullopt;
    }
    if (!ok || n < std::numeric_limits<qint32>::min() || n > qlonglong(std::numeric_limits<quint32>::max()))
        return std::nullopt;
    return qint32(quint32(quint64(n)));
}

std::optional<QString> AsString(const QVariant &v)
{
    if (v.typeId() != QMetaType::QString)
        return std::nullopt;
    return v.toString();
}

std::optional<QByteArray> AsBytes(const QVariant &v, int size)
{
    if (v.typeId() != QMetaType::QByteArray || v.toByteArray().size() != size)
        return std::nullopt;
    return v.toByteArray();
}

// A group "exists" when it holds anything, as an opened registry key would.
bool HasGroup(QSettings &store, const QString &group)
{
    store.beginGroup(group);
    const bool has = !store.childKeys().isEmpty() || !store.childGroups().isEmpty();
    store.endGroup();
    return has;
}

std::optional<qint32> OptionalInt(const QSettings &store, const QString &name)
{
    if (!store.contains(name))
        return std::nullopt;
    return AsInt(store.value(name));
}

QString PathValue(const QSettings &store, const QString &name)
{
    return AsString(store.value(name)).value_or(QString());
}

// A bar value that must be there and of its type.
[[noreturn]] void BarFailure(const QSettings &store, const QString &name, bool missing)
{
    const QString value = QStringLiteral("\\Software\\Kestrelmoor\\QuizEngine2\\Quizwright\\Toolbars\\") + name;
    throw EQuizError(QStringLiteral("Файл настроек ") + store.fileName(),
                     missing ? QStringLiteral("нет значения ") + value
                             : QStringLiteral("значение ") + value + QStringLiteral(" неверного типа"));
}

QVariant BarValue(const QSettings &store, const QString &name)
{
    if (!store.contains(name))
        BarFailure(store, name, true);
    return store.value(name);
}

TBarPlace ReadBar(const QSettings &store, const QString &bar)
{
    TBarPlace p;
    const QString dockName = bar + QStringLiteral("CurrentDock");
    const auto dock = AsString(BarValue(store, dockName));
    if (!dock)
        BarFailure(store, dockName, false);
    p.CurrentDock = *dock;
    const auto readInt = [&](const QString &name) {
        const auto v = AsInt(BarValue(store, bar + name));
        if (!v)
            BarFailure(store, bar + name, false);
        return *v;
    };
    p.DockRow = readInt(QStringLiteral("DockRow"));
    p.DockPos = readInt(QStringLiteral("DockPos"));
    p.Visible = readInt(QStringLiteral("Visible")) != 0;
    const QString floatName = bar + QStringLiteral("FloatPos");
    const auto bytes = AsBytes(BarValue(store, floatName), 8);
    if (!bytes)
        BarFailure(store, floatName, false);
    QDataStream st(*bytes);
    st.setByteOrder(QDataStream::LittleEndian);
    qint32 x = 0, y = 0;
    st >> x >> y;
    p.FloatPos = QPoint(x, y);
    return p;
}

std::optional<TMyTextAttr> ReadAttributes(const QSettings &store)
{
    TMyTextAttr a;
    const auto name = AsString(store.value(QStringLiteral("FontName")));
    const auto size = OptionalInt(store, QStringLiteral("FontSize"));
    const auto color = OptionalInt(store, QStringLiteral("FontColor"));
    const auto back = OptionalInt(store, QStringLiteral("BackColor"));
    const auto style = AsBytes(store.value(QStringLiteral("Style")), 1);
    const auto align = OptionalInt(store, QStringLiteral("Aligment"));
    if (!name || !size || !color || !back || !style || !align)
        return std::nullopt;
    a.FontName = *name;
    // Values no font or paragraph can take fall back to the built-in ones.
    if (*size >= 1 && *size <= 1638)
        a.FontSize = *size;
    a.FontColor = ValueToColor(quint32(*color));
    a.BackColor = ValueToColor(quint32(*back));
    a.Style = quint8(style->at(0)) & 0x0F;
    if (*align >= 0 && *align <= 3)
        a.Alignment = quint8(*align);
    return a;
}

// ---- the tool-bar part of QMainWindow's state ----------------------------
// Its layout: a marker byte, the number of lines, then per line the area
// (0 left, 1 right, 2 top, 3 bottom) and the bars, each with its object name,
// shown/vertical bits, position, preferred size and its floating geometry
// packed into two words. It ends the state.
constexpr quint8 BarSectionMarker = 0xfc;
constexpr qint32 StateMarker = 0xff;
enum TArea { AreaLeft = 0, AreaRight = 1, AreaTop = 2, AreaBottom = 3 };

struct TStateBar {
    QString Name;
    int Area = AreaTop, Line = 0;
    qint32 Pos = 0;
};

struct TBarSection {
    int Offset = -1;
    QList<TStateBar> Bars;
};

TBarSection FindBarSection(const QByteArray &state)
{
    for (int off = 8; off < state.size(); ++off) {
        if (quint8(state.at(off)) != BarSectionMarker)
            continue;
        QDataStream st(state.mid(off + 1));
        qint32 lines = -1;
        st >> lines;
        if (st.status() != QDataStream::Ok || lines < 0 || lines > 256)
            continue;
        TBarSection section;
        section.Offset = off;
        int linesOfArea[4] = {0, 0, 0, 0};
        bool ok = true;
        for (int j = 0; ok && j < lines; ++j) {
            qint32 area = -1, count = -1;
            st >> area >> count;
            if (st.status() != QDataStream::Ok || area < 0 || area > 3 || count < 0 || count > 256) {
                ok = false;
                break;
            }
            for (int k = 0; k < count; ++k) {
                TStateBar b;
                quint8 shown = 0;
                qint32 size = 0;
                quint32 g0 = 0, g1 = 0;
                st >> b.Name >> shown >> b.Pos >> size >> g0 >> g1;
                b.Area = area;
                b.Line = linesOfArea[area];
                section.Bars.append(b);
            }
            // Qt may keep an empty last line; rows count only lines with bars.
            if (count > 0)
                ++linesOfArea[area];
            ok = st.status() == QDataStream::Ok;
        }
        if (ok && st.atEnd())
            return section;
    }
    return {};
}

int AreaOfDock(const QString &dock)
{
    if (dock == DockLeft)
        return AreaLeft;
    if (dock == DockRight)
        return AreaRight;
    return AreaTop;
}

QString DockOfArea(Qt::ToolBarArea area)
{
    switch (area) {
    case Qt::LeftToolBarArea: return DockLeft;
    case Qt::RightToolBarArea: return DockRight;
    default: return DockTop;
    }
}

void PackFloating(const QRect &r, quint32 &g0, quint32 &g1)
{
    g0 = (quint32(std::max(0, r.width())) & 0xffff) << 16;
    g1 = (quint32(std::max(0, r.height())) & 0xffff) << 16;
    g0 |= quint32(std::max(0, r.x() + 0x7fff)) & 0xffff;
    g1 |= quint32(std::max(0, r.y() + 0x7fff)) & 0xffff;
    g0 = (g0 << 1) | 1;
}
}  // namespace

quint32 ColorToValue(const QColor &c)
{
    const QColor rgb = c.toRgb();
    return quint32(rgb.red()) | quint32(rgb.green()) << 8 | quint32(rgb.blue()) << 16;
}

QColor ValueToColor(quint32 value)
{
    if (value >> 24 == 0xFF) {
        const QPalette pal = QGuiApplication::palette();
        switch (value & 0xFF) {
        case 5: return pal.color(QPalette::Base);
        case 8: return pal.color(QPalette::Text);
        case 13: return pal.color(QPalette::Highlight);
        case 14: return pal.color(QPalette::HighlightedText);
        case 15: return pal.color(QPalette::Button);
        case 17: return pal.color(QPalette::Disabled, QPalette::Text);
        case 18: return pal.color(QPalette::ButtonText);
        case 23: return pal.color(QPalette::ToolTipText);
        case 24: return pal.color(QPalette::ToolTipBase);
        case 4: case 1: return pal.color(QPalette::Window);
        default: return pal.color(QPalette::WindowText);
        }
    }
    return QColor(int(value & 0xFF), int(value >> 8 & 0xFF), int(value >> 16 & 0xFF));
}

TPreferences LoadSettings(QSettings &store)
{
    TPreferences p;
    if (HasGroup(store, MainGroup)) {
        store.beginGroup(MainGroup);
        if (const auto flags = AsBytes(store.value(QStringLiteral("Options")), 1))
            p.PrefFlags = quint8(flags->at(0));
        if (p.PrefFlags & ReadInterface) {
            p.WindowState = OptionalInt(store, QStringLiteral("WindowState"));
            if (p.WindowState == 2) {
                p.PrefFlags |= Maximize;
            } else {
                p.MainLeft = OptionalInt(store, QStringLiteral("MainLeft"));
                p.MainTop = OptionalInt(store, QStringLiteral("MainTop"));
                p.MainHeight = OptionalInt(store, QStringLiteral("MainHeight"));
                p.MainWidth = OptionalInt(store, QStringLiteral("MainWidth"));
            }
            p.I1 = OptionalInt(store, QStringLiteral("I1"));
            p.I2 = OptionalInt(store, QStringLiteral("I2"));
            p.I3 = OptionalInt(store, QStringLiteral("I3"));
        }
        if (const auto minutes = OptionalInt(store, QStringLiteral("RecoveryMinutes")))
            p.RecoveryMinutes = std::clamp(*minutes, 0, MaxRecoveryMinutes);
        p.DefOpenPath = PathValue(store, QStringLiteral("DefOpenPath"));
        p.DefSavePath = PathValue(store, QStringLiteral("DefSavePath"));
        for (int k = 1; k <= MaxRecentFiles; ++k) {
            const QString name = QStringLiteral("MRUItem") + QString::number(k);
            if (!store.contains(name))
                break;
            const QString path = PathValue(store, name);
            if (path.isEmpty())
                continue;
            // Each entry read becomes the newest.
            p.RecentFiles.removeAll(path);
            p.RecentFiles.prepend(path);
        }
        store.endGroup();
    }

    if (HasGroup(store, ToolbarsGroup)) {
        store.beginGroup(ToolbarsGroup);
        p.BarsStored = true;
        for (int b = 0; b < BarCount; ++b)
            p.Bars[b] = ReadBar(store, BarNames[b]);
        const auto status = AsInt(BarValue(store, QStringLiteral("StatusVisible")));
        if (!status)
            BarFailure(store, QStringLiteral("StatusVisible"), false);
        p.StatusVisible = *status != 0;
        store.endGroup();
    }

    if (HasGroup(store, AttributesGroup)) {
        store.beginGroup(AttributesGroup);
        if (const auto attr = ReadAttributes(store)) {
            p.DefaultAttributes = *attr;
            p.AttributesStored = true;
        }
        store.endGroup();
    }
    return p;
}

bool SaveSettings(QSettings &store, TPreferences &p)
{
    p.PrefFlags |= Stored;
    if (!store.isWritable())
        return false;
    store.beginGroup(MainGroup);
    store.setValue(QStringLiteral("Options"), QByteArray(1, char(p.PrefFlags)));
    if (p.PrefFlags & SaveInterface) {
        const qint32 state = p.WindowState.value_or(0);
        store.setValue(QStringLiteral("WindowState"), state);
        if (state != 2) {
            const auto put = [&](const char *name, const std::optional<qint32> &v) {
                if (v)
                    store.setValue(QLatin1String(name), *v);
            };
            put("MainLeft", p.MainLeft);
            put("MainTop", p.MainTop);
            put("MainHeight", p.MainHeight);
            put("MainWidth", p.MainWidth);
        }
        store.setValue(QStringLiteral("I1"), p.I1.value_or(0));
        store.setValue(QStringLiteral("I2"), p.I2.value_or(0));
        store.setValue(QStringLiteral("I3"), p.I3.value_or(0));
    }
    store.setValue(QStringLiteral("RecoveryMinutes"), qint32(p.RecoveryMinutes));
    store.setValue(QStringLiteral("DefOpenPath"), p.DefOpenPath);
    store.setValue(QStringLiteral("DefSavePath"), p.DefSavePath);
    const int n = int(std::min<qsizetype>(p.RecentFiles.size(), MaxRecentFiles));
    for (int i = 1; i <= n; ++i)
        store.setValue(QStringLiteral("MRUItem") + QString::number(n - i + 1), p.RecentFiles.at(i - 1));
    for (int k = n + 1; k <= MaxRecentFiles; ++k)
        store.remove(QStringLiteral("MRUItem") + QString::number(k));
    store.endGroup();

    store.beginGroup(ToolbarsGroup);
    for (int b = 0; b < BarCount; ++b) {
        const TBarPlace &bar = p.Bars[b];
        const QString &n = BarNames[b];
        store.setValue(n + QStringLiteral("CurrentDock"), bar.CurrentDock);
        store.setValue(n + QStringLiteral("DockRow"), bar.DockRow);
        store.setValue(n + QStringLiteral("DockPos"), bar.DockPos);
        store.setValue(n + QStringLiteral("Visible"), qint32(bar.Visible ? 1 : 0));
        QByteArray pos;
        QDataStream st(&pos, QIODevice::WriteOnly);
        st.setByteOrder(QDataStream::LittleEndian);
        st << qint32(bar.FloatPos.x()) << qint32(bar.FloatPos.y());
        store.setValue(n + QStringLiteral("FloatPos"), pos);
    }
    store.setValue(QStringLiteral("StatusVisible"), qint32(p.StatusVisible ? 1 : 0));
    store.endGroup();

    store.beginGroup(AttributesGroup);
    const TMyTextAttr &a = p.DefaultAttributes;
    store.setValue(QStringLiteral("FontName"), a.FontName);
    store.setValue(QStringLiteral("FontSize"), a.FontSize);
    store.setValue(QStringLiteral("FontColor"), qint32(ColorToValue(a.FontColor)));
    store.setValue(QStringLiteral("BackColor"), qint32(ColorToValue(a.BackColor)));
    store.setValue(QStringLiteral("Style"), QByteArray(1, char(a.Style)));
    store.setValue(QStringLiteral("Aligment"), qint32(a.Alignment));
    store.endGroup();

    store.sync();
    return store.status() == QSettings::NoError;
}

QRect UsableBounds(const QRect &bounds, const QList<QRect> &screens, const QSize &minimum,
                   const QSize &fallback)
{
    QRect b = bounds;
    if (b.width() <= 0 || b.height() <= 0)
        b.setSize(fallback);
    b.setWidth(std::max(b.width(), minimum.width()));
    b.setHeight(std::max(b.height(), minimum.height()));
    if (screens.isEmpty())
        return b;
    QRect screen = screens.constFirst();
    qint64 best = -1;
    for (const QRect &s : screens) {
        const QRect in = s & b;
        const qint64 area = in.isEmpty() ? 0 : qint64(in.width()) * in.height();
        if (area > best) {
            best = area;
            screen = s;
        }
    }
    b.setWidth(std::min(b.width(), screen.width()));
    b.setHeight(std::min(b.height(), screen.height()));
    // The strip along the top edge must be on some screen, or the window cannot
    // be taken and moved.
    const QRect grip(b.left(), b.top(), b.width(), 24);
    const bool reachable = std::any_of(screens.begin(), screens.end(), [&](const QRect &s) {
        const QRect in = s & grip;
        return in.width() >= std::min(64, b.width()) && in.height() >= 8;
    });
    if (!reachable) {
        b.moveLeft(std::clamp(b.left(), screen.left(), screen.right() - b.width() + 1));
        b.moveTop(std::clamp(b.top(), screen.top(), screen.bottom() - b.height() + 1));
    }
    return b;
}

void PlaceBars(QMainWindow &window, QToolBar *standart, QToolBar *format,
               const std::array<TBarPlace, BarCount> &bars, const QList<QRect> &screens)
{
    struct TItem {
        QToolBar *Bar;
        const TBarPlace *Place;
        int Order;
        bool Floating() const { return Place->CurrentDock.isEmpty(); }
        bool Skip() const { return Floating() || !Place->Visible; }
    };
    QList<TItem> items;
    if (standart)
        items.append({standart, &bars[BarStandart], 0});
    if (format)
        items.append({format, &bars[BarFormat], 1});
    // Floating bars keep their row in the top area for docking again.
    std::stable_sort(items.begin(), items.end(), [](const TItem &a, const TItem &b) {
        const int aa = a.Floating() ? AreaTop : AreaOfDock(a.Place->CurrentDock);
        const int ba = b.Floating() ? AreaTop : AreaOfDock(b.Place->CurrentDock);
        if (aa != ba)
            return aa < ba;
        if (a.Place->DockRow != b.Place->DockRow)
            return a.Place->DockRow < b.Place->DockRow;
        if (a.Place->DockPos != b.Place->DockPos)
            return a.Place->DockPos < b.Place->DockPos;
        return a.Order < b.Order;
    });

    QByteArray section;
    QDataStream st(&section, QIODevice::WriteOnly);
    st << BarSectionMarker;
    // Lines: runs of equal area and row.
    QList<QList<TItem>> lines;
    QList<int> lineArea;
    for (int i = 0; i < items.size(); ++i) {
        const int area = items[i].Floating() ? AreaTop : AreaOfDock(items[i].Place->CurrentDock);
        if (i == 0 || area != lineArea.constLast() || items[i].Place->DockRow != items[i - 1].Place->DockRow) {
            lines.append(QList<TItem>());
            lineArea.append(area);
        }
        lines.last().append(items[i]);
    }
    st << qint32(lines.size());
    for (int j = 0; j < lines.size(); ++j) {
        const QList<TItem> &line = lines[j];
        st << qint32(lineArea[j]) << qint32(line.size());
        for (int k = 0; k < line.size(); ++k) {
            const TItem &it = line[k];
            const qint32 pos = std::max<qint32>(0, it.Place->DockPos);
            // A bar's offset is the preferred size of the shown bar before it.
            qint32 size = -1;
            if (!it.Skip())
                for (int m = k + 1; m < line.size(); ++m)
                    if (!line[m].Skip()) {
                        const qint32 next = std::max<qint32>(0, line[m].Place->DockPos);
                        if (next > pos)
                            size = next - pos;
                        break;
                    }
            quint32 g0 = 0, g1 = 0;
            if (it.Floating()) {
                const QSize hint = it.Bar->sizeHint();
                const QRect r = UsableBounds(QRect(it.Place->FloatPos, hint), screens, hint, hint);
                PackFloating(r, g0, g1);
            }
            st << it.Bar->objectName() << quint8(it.Place->Visible ? 1 : 0) << pos << size << g0 << g1;
        }
    }

    // Keep whatever precedes the bars' part (the dock widgets' state).
    QByteArray state = window.saveState();
    const TBarSection old = FindBarSection(state);
    if (old.Offset >= 0) {
        state.truncate(old.Offset);
    } else {
        state.clear();
        QDataStream head(&state, QIODevice::WriteOnly);
        head << StateMarker << qint32(0);
    }
    window.restoreState(state + section);
}

void ReadBars(const QMainWindow &window, QToolBar *standart, QToolBar *format,
              std::array<TBarPlace, BarCount> &bars)
{
    const TBarSection section = FindBarSection(window.saveState());
    const auto read = [&](QToolBar *bar, TBarPlace &p) {
        if (!bar)
            return;
        p.Visible = !bar->isHidden();
        p.DockRow = 0;
        p.DockPos = 0;
        for (const TStateBar &b : section.Bars)
            if (b.Name == bar->objectName()) {
                p.DockRow = b.Line;
                p.DockPos = b.Pos;
            }
        if (bar->isFloating()) {
            p.CurrentDock.clear();
            p.FloatPos = bar->geometry().topLeft();
        } else {
            p.CurrentDock = DockOfArea(window.toolBarArea(bar));
        }
    };
    read(standart, bars[BarStandart]);
    read(format, bars[BarFormat]);
}

QAction *AddCloseButton(QToolBar *bar)
{
    auto *close = new QAction(bar->style()->standardIcon(QStyle::SP_TitleBarCloseButton),
                              QStringLiteral("Закрыть"), bar);
    close->setObjectName(bar->objectName() + QStringLiteral("Close"));
    QObject::connect(close, &QAction::triggered, bar, &QWidget::hide);
    bar->addSeparator();
    bar->addAction(close);
    if (auto *button = qobject_cast<QToolButton *>(bar->widgetForAction(close)))
        button->setObjectName(close->objectName());
    return close;
}

bool OnDock(const QMainWindow &window, const QPoint &pos)
{
    if (!window.rect().contains(pos))
        return false;
    QWidget *child = window.childAt(pos);
    if (!child)
        return true;
    for (QWidget *w = child; w && w != &window; w = w->parentWidget())
        if (qobject_cast<QToolBar *>(w) || qobject_cast<QMenuBar *>(w))
            return true;
    return false;
}

namespace {
// The size the splitter keeps for pane i, hidden or not; 0 when unknown.
int RememberedSize(const QSplitter *splitter, int i)
{
    QByteArray state = splitter->saveState();
    QDataStream in(&state, QIODevice::ReadOnly);
    in.setVersion(QDataStream::Qt_5_0);
    qint32 marker = 0, version = 0;
    QList<int> sizes;
    in >> marker >> version >> sizes;
    if (in.status() != QDataStream::Ok || marker != 0xff || i < 0 || i >= sizes.size())
        return 0;
    return sizes.at(i);
}

int PaneIndex(const QSplitter *question, const char *name)
{
    for (int i = 0; i < question->count(); ++i)
        if (question->widget(i)->objectName() == QLatin1String(name))
            return i;
    return -1;
}
}  // namespace

void PlacePanes(QSplitter *main, QSplitter *question, const TPreferences &p)
{
    if (main && main->count() == 2) {
        main->setStretchFactor(0, 0);
        main->setStretchFactor(1, 1);
    }
    if (main && main->count() == 2 && p.I1 && *p.I1 > 0) {
        const int total = std::max(main->width(), *p.I1 + 100);
        main->setSizes({*p.I1, total - *p.I1});
    }
    if (!question)
        return;
    const int comment = PaneIndex(question, "panComment");
    const int variants = PaneIndex(question, "panVariants");
    for (int i = 0; i < question->count(); ++i)
        question->setStretchFactor(i, i == comment || i == variants ? 0 : 1);
    QList<int> sizes = question->sizes();
    if (sizes.size() != question->count())
        return;
    const int total = std::max(question->height(), 1);
    int rest = total;
    if (comment >= 0 && p.I3 && *p.I3 > 0) {
        sizes[comment] = *p.I3;
        rest -= *p.I3;
    }
    if (variants >= 0 && p.I2 && *p.I2 > 0) {
        sizes[variants] = *p.I2;
        rest -= *p.I2;
    }
    for (int i = 0; i < sizes.size(); ++i)
        if (i != comment && i != variants)
            sizes[i] = std::max(rest, 1);
    question->setSizes(sizes);
}

void ReadPanes(const QSplitter *main, const QSplitter *question, TPreferences &p)
{
    if (main && main->count() > 0)
        p.I1 = main->widget(0)->width();
    if (!question)
        return;
    const int comment = PaneIndex(question, "panComment");
    const int variants = PaneIndex(question, "panVariants");
    // A hidden comment pane keeps the height it had: the splitter remembers
    // it for the next show, and its state is the one place that tells it.
    if (comment >= 0 && !question->widget(comment)->isHidden()) {
        p.I3 = question->widget(comment)->height();
    } else if (comment >= 0) {
        const int remembered = RememberedSize(question, comment);
        if (remembered > 0)
            p.I3 = remembered;
    }
    if (variants >= 0)
        p.I2 = question->widget(variants)->height();
}
}  // namespace Prefs
