#pragma once
// The editor's per-user preferences: what LoadSettings reads and SaveSettings
// writes, over a QSettings the caller opens (the per-user store in the program,
// a scratch file in tests), and how the tool bars, the window and the panes
// take them. Value names and types are those the Windows programs keep in the
// registry: integers 32-bit, booleans integers 0/1, raw bytes QByteArray.
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

#include "MyTextAttr.h"

class QAction;
class QMainWindow;
class QSettings;
class QSplitter;
class QToolBar;

namespace Prefs {
inline const QString Organization = QStringLiteral("Kestrelmoor");
inline const QString Application = QStringLiteral("QuizEngine2");
inline const QString MainGroup = QStringLiteral("Quizwright");
inline const QString ToolbarsGroup = QStringLiteral("Quizwright/Toolbars");
inline const QString AttributesGroup = QStringLiteral("Quizwright/DefaultAttributes");
inline const QString SaveFailed =
    QStringLiteral("Ошибка при сохранении настроек: \\Software\\Kestrelmoor\\QuizEngine2\\Quizwright");

// Bits of PrefFlags.
inline constexpr quint8 BoldFocused = 1, SaveInterface = 2, ReadInterface = 4, Maximize = 16,
                        Stored = 32, RecheckClipMarked = 64;
// Nothing stored yet: 0x47 plus the maximise request of a first start.
inline constexpr quint8 DefaultFlags = 0x57;
inline constexpr int MaxRecentFiles = 4;
inline constexpr int DefaultRecoveryMinutes = 1, MaxRecoveryMinutes = 30;

// The three docks of the main window, by the names the store uses.
inline const QString DockTop = QStringLiteral("TBDockTop");
inline const QString DockLeft = QStringLiteral("TBDockLeft");
inline const QString DockRight = QStringLiteral("TBDockRight");

// The bars in store order.
enum TBar { BarMenu, BarStandart, BarFormat, BarCount };
inline const std::array<QString, BarCount> BarNames = {
    QStringLiteral("Menu"), QStringLiteral("Standart"), QStringLiteral("Format")};

struct TBarPlace {
    QString CurrentDock = DockTop;  // empty: floating
    qint32 DockRow = 0;
    qint32 DockPos = 0;             // pixels from the start of the row
    bool Visible = true;
    QPoint FloatPos;                // screen pixels
    bool operator==(const TBarPlace &) const = default;
};

struct TPreferences {
    quint8 PrefFlags = DefaultFlags;
    // Window and panes: each only when stored (and read only with ReadInterface).
    std::optional<qint32> WindowState;  // 0 normal, 1 minimised, 2 maximised
    std::optional<qint32> MainLeft, MainTop, MainHeight, MainWidth;
    std::optional<qint32> I1, I2, I3;   // list width, variants height, comment height
    // Minutes between recovery copies at most, 0 for none.
    qint32 RecoveryMinutes = DefaultRecoveryMinutes;
    QString DefOpenPath, DefSavePath;
    QStringList RecentFiles;            // newest first
    // The Toolbars key: present or not; the bars in TBar order.
    bool BarsStored = false;
    std::array<TBarPlace, BarCount> Bars;
    bool StatusVisible = true;
    TMyTextAttr DefaultAttributes;
    // Whether the DefaultAttributes key was there and read whole.
    bool AttributesStored = false;
};

// Reads every key. A missing key or main-key value leaves its default; a bar
// value missing or of the wrong type while the Toolbars key exists throws
// EQuizError naming the settings file and the value; anything wrong in the
// DefaultAttributes key gives the built-in attributes.
TPreferences LoadSettings(QSettings &store);
// Sets Stored in prefs.PrefFlags, then writes. The placement values only with
// SaveInterface, the bounds only when not maximised; recent-file values beyond
// the list's length are removed. False when the store could not be written.
bool SaveSettings(QSettings &store, TPreferences &prefs);

// Store colours: RGB in the low three bytes (red lowest); top byte 0xFF names
// a system colour by its low byte.
quint32 ColorToValue(const QColor &c);
QColor ValueToColor(quint32 value);

// The window's bounds brought back to something usable on one of the screens
// (available areas): no size below minimum or above the screen, at least a
// grip of the title bar on a screen. screens empty: only the sizes are fixed.
QRect UsableBounds(const QRect &bounds, const QList<QRect> &screens, const QSize &minimum,
                   const QSize &fallback);

// Tool bars. The docks map onto the top, left and right tool-bar areas; the
// row onto the area's line (0 at the window's edge); the position onto the
// offset within the line, which Qt keeps as the size of the bar before it, so
// the first bar of a row always starts at 0. A floating bar keeps its line in
// the top area for when it is docked again.
// Places standart and format (the menu bar is fixed in Qt) as stored;
// floating positions off every screen come back onto the first one.
void PlaceBars(QMainWindow &window, QToolBar *standart, QToolBar *format,
               const std::array<TBarPlace, BarCount> &bars, const QList<QRect> &screens);
// Where the two bars are now; a docked bar keeps the floating position given
// in bars. The menu bar's entry stays as given.
void ReadBars(const QMainWindow &window, QToolBar *standart, QToolBar *format,
              std::array<TBarPlace, BarCount> &bars);

// A close button at the end of a bar: it hides the bar (and so turns its
// View command off).
QAction *AddCloseButton(QToolBar *bar);
// Whether a right click at pos (window coordinates) is on a dock: a bar, the
// menu bar or the free area around them, not a pane or the status bar.
bool OnDock(const QMainWindow &window, const QPoint &pos);

// Panes. main: the list then the question pane; question: the text, the
// comment (panComment) and the variants (panVariants). The stored widths and
// heights go onto the splitters, the text pane above takes what is left and
// every later change of the window's size.
void PlacePanes(QSplitter *main, QSplitter *question, const TPreferences &p);
void ReadPanes(const QSplitter *main, const QSplitter *question, TPreferences &p);
}  // namespace Prefs
