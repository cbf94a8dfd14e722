#pragma once
// The formatting and insertion commands of the question text and comment
// editors: the actions with their captions, hints, shortcuts and on/off
// states, the font name and size boxes, the caret mirroring, the default
// text attributes and the picture and object insertion. It works on the
// rich-text control it is told is active; the main window tells it, shows
// its menus and tool bar, and runs ButtonsState when asked to.
#include <QComboBox>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "MyTextAttr.h"

class QAction;
class QActionGroup;
class QColorDialog;
class QMenu;
class QWidget;
class QTextCharFormat;
#include "MJvRichedit.h"
class TQuizDocument;
class TNQuestion;

namespace FormatTexts {
inline const QString ReadFileError = QStringLiteral("Ошибка чтения файла.");
inline const QString InsertingObject = QStringLiteral("Вставка объекта..");
inline const QString FontListSortFailed = QStringLiteral("Проблемы при сортировке списка шрифтов.");
inline const QString RichInsertObjectCaption = QStringLiteral("Вставить об&ъект...");
inline const QString FontBoxHint = QStringLiteral("Изменение шрифта");
// The font box for a font the text names but this computer does not have.
inline const QString FontNotInstalled = QStringLiteral("%1 (не установлен)");
inline const QString SizeBoxHint = QStringLiteral("Изменение размера шрифта");
}

// One entry of the font list: a typeface and the character set choosing it sets.
struct TFontEntry {
    QString Name;
    int Charset = 1;
};

// The fonts of the screen, one entry per family, sorted as the box sorts them.
// Throws std::logic_error(FontListSortFailed) when the box and list disagree.
QList<TFontEntry> BuildFontList(QComboBox *box);
// Cyrillic (204) where the family can write it, else the family's own set.
int FamilyCharset(const QString &family);

// Attributes of a selection and which of them are the same over all of it.
struct TSelectionAttributes {
    QString FontName;
    int Charset = 1;
    int Size = 0;          // whole points, unzoomed
    quint8 Style = 0;      // TMyTextAttr style flags
    int VPos = 0;          // 0 none, 1 superscript, 2 subscript
    QColor Color, BackColor;   // invalid when automatic
    bool NameSame = true, SizeSame = true, BoldSame = true, ItalicSame = true,
         UnderlineSame = true, VPosSame = true;
};
TSelectionAttributes SelectionAttributes(const TMJvRichEdit &editor);

class QToolBar;

// A combo box that tells when its drop-down list closes, and that narrows on
// a tool bar docked at a side.
class TFormatComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    void hidePopup() override;
    // Minimum contents length on a horizontal and on a vertical bar.
    void SetContentsLengths(int horizontal, int vertical);
    // The box keeps its first minimum otherwise, whatever the contents length.
    QSize minimumSizeHint() const override { return sizeHint(); }
Q_SIGNALS:
    void closedUp();

protected:
    bool event(QEvent *e) override;

private:
    void followBar();
    void fitOrientation(Qt::Orientation o);
    int m_horizontal = 0, m_vertical = 0;
    QPointer<QToolBar> m_bar;
    QMetaObject::Connection m_barConnection;
};

class TFormatCommands : public QObject {
    Q_OBJECT
public:
    // Adopts host's actions of the commands' names (creating those it lacks
    // as host's children) and makes the two boxes, parented to host.
    explicit TFormatCommands(QWidget *host);
    ~TFormatCommands() override;

    // Every command by its action name.
    QAction *Action(const QString &name) const;
    QList<QAction *> Actions() const { return m_actions; }
    TFormatComboBox *cbFont() const { return m_cbFont; }
    TFormatComboBox *cbFontSize() const { return m_cbFontSize; }
    const QList<TFontEntry> &FontList() const { return m_fonts; }
    // w is one of the two boxes or inside one (the focus while typing a name or size).
    bool IsFormatBox(const QWidget *w) const;
    // Rebuilds the font list and the font box (start-up); throws
    // std::logic_error naming the failed check when the list and box disagree.
    void GetFontNames();
    // What builds the list; BuildFontList unless replaced.
    std::function<QList<TFontEntry>(QComboBox *box)> FontListBuilder;

    // The rich-text control the commands act on; nullptr when none has the focus.
    void SetActiveEditor(TMJvRichEdit *editor);
    TMJvRichEdit *ActiveEditor() const { return m_active; }
    // The question-text control ("Установить для выбранных вопросов" reads it).
    void SetQuestionText(TMJvRichEdit *editor) { m_questionText = editor; }
    // Update lock and modified flag.
    void SetDocument(TQuizDocument *doc) { m_doc = doc; }
    // The menus whose enabled state SetFormatActionsState sets too.
    void SetMenus(QMenu *format, QMenu *insert);

    void SetFormatActionsState(bool enabled);
    // Steps of ButtonsState for a focused rich-text control (enables first).
    void MirrorSelection();
    // The Format submenu's own enabling, as it opens.
    void FormatMenuOpening(bool richFocused, bool otherQuestionsSelected);

    // Default text attributes of new questions.
    TMyTextAttr *TextAttr = nullptr;
    // Rebuilds the default question content from TextAttr.
    std::function<void()> RebuildDefaultContent;
    // The selected questions but the focused one, in list order.
    std::function<QList<TNQuestion *>()> OtherSelectedQuestions;
    // What dialogs answer; the real dialogs unless replaced. Empty: cancelled.
    std::function<QString(bool picture)> FileNameInput;
    std::function<bool(QColor &color)> ColorInput;        // the shared colour dialog
    std::function<bool(QFont &font, QColor &color)> FontInput;
    std::function<bool(QWidget *dialog)> DialogExec;      // paragraph and list dialogs
    // Status-bar text and wait cursor of the main window.
    std::function<void(const QString &)> StatusInfo;
    std::function<void(bool wait)> WaitCursor;
    // Failed internal checks; the default shows the message naming unit "fMain".
    std::function<void(const QString &)> AssertionFailed;

    // The commands themselves (also reached through the actions).
    void Bold() { toggleStyle(TMyTextAttr::StyleBold, "Bold", "actFormatFontBold"); }
    void Italic() { toggleStyle(TMyTextAttr::StyleItalic, "Italic", "actFormatFontItalic"); }
    void Underline() { toggleStyle(TMyTextAttr::StyleUnderline, "Underline", "actFormatFontUnderline"); }
    void Superscript();
    void Subscript();
    void SetTextColor();
    void SetBackColor();
    void FormatFont();
    void Align(int code);
    void Bullet();
    void Numbers();
    void IndentIncrease();
    void IndentDecrease();
    void FormatParagraph();
    void FormatNumbering();
    void SetDefaultAttr();
    void ResetDefaultFormat();
    void SetAllAttr();
    void InsertPicture();
    void InsertObject();

    // Embeds the file at path as a package object at the editor's caret (one
    // undo step); false when the file cannot be read.
    static bool InsertFileObject(TMJvRichEdit *editor, const QString &path);
    // Writes the file of the package object at pos to a temporary folder and
    // opens it with the desktop's application (not when QE_NO_DESKTOP_OPEN is
    // set); its path, empty when pos holds no package.
    QString OpenPackageAt(TMJvRichEdit *editor, int pos);
    QString LastOpenedObject;

    // The colour the shared colour dialog opens with.
    QColor LastColor() const { return m_lastColor; }
    // The control's indentation mode: office once a paragraph command ran on it.
    static bool IsOfficeIndentMode(const TMJvRichEdit *editor);

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;

Q_SIGNALS:
    // A command asks for ButtonsState.
    void buttonsStateWanted();

private:
    QAction *adopt(QWidget *host, const char *name, const QString &caption, const QString &hint,
                   const QString &shortcut, bool checkable);
    bool check(const char *what) const;
    void toggleStyle(quint8 flag, const char *what, const char *action);
    void setVPos(int vpos, const char *what, const char *action);
    void setColor(bool back);
    void writeNumbering(TMJvRichEdit *ed, int code, int start, int style, int tab);
    void fontChosen(int index);
    void sizeEdited(const QString &text);
    void giveFocusBack(bool locked);
    QColor pickColor(bool *ok);

    QList<QAction *> m_actions;
    QActionGroup *m_alignGroup = nullptr;
    QActionGroup *m_listGroup = nullptr;
    TFormatComboBox *m_cbFont = nullptr;
    TFormatComboBox *m_cbFontSize = nullptr;
    QPointer<QMenu> m_formatMenu, m_insertMenu;
    QList<TFontEntry> m_fonts;
    QPointer<TMJvRichEdit> m_active;
    QPointer<TMJvRichEdit> m_questionText;
    TQuizDocument *m_doc = nullptr;
    QColorDialog *m_colorDialog = nullptr;
    QColor m_lastColor = Qt::black;
    bool m_mirroring = false;
    std::unique_ptr<QTemporaryDir> m_tempDir;
    int m_openCount = 0;
};
