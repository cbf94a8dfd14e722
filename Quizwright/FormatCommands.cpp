#include "FormatCommands.h"

#include "MJvRichedit.h"
#include "MessageBoxes.h"
#include "QuizDocument.h"
#include "QuizEngineCommon.h"
#include "RichFormat.h"
#include "RichObjects.h"
#include "fFont.h"
#include "fNumbering.h"
#include "fParagraph.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QBuffer>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImageReader>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QLayout>
#include <QToolBar>
#include <QUrl>

#include <optional>
#include <stdexcept>

using namespace RichText;

namespace {

constexpr int kIndentStep = 17;       // points
constexpr int kListMinIndent = 10;    // points
constexpr int kTwipsPerPoint = 20;
const char *const kOfficeModeProperty = "qeOfficeIndent";
const char *const kWatchedProperty = "qeFormatWatched";

// Alignment codes of the commands <-> the control's values.
int AlignCode(int value)
{
    switch (value) {
    case AlignLeftValue: return 0;
    case AlignRightValue: return 1;
    case AlignCenterValue: return 2;
    default: return 3;
    }
}

int AlignValue(int code)
{
    switch (code) {
    case 0: return AlignLeftValue;
    case 1: return AlignRightValue;
    case 2: return AlignCenterValue;
    default: return AlignJustifyValue;
    }
}

// Numbering styles of the list dialog <-> the control's values.
constexpr int kStyleValues[4] = {StyleParen, StylePeriod, StyleParens, StylePlain};

int StyleIndex(int value)
{
    for (int i = 0; i < 4; ++i)
        if (kStyleValues[i] == value)
            return i;
    return 1;
}

quint8 StyleFlags(const QTextCharFormat &f)
{
    quint8 s = 0;
    if (f.fontWeight() >= QFont::Bold) s |= TMyTextAttr::StyleBold;
    if (f.fontItalic()) s |= TMyTextAttr::StyleItalic;
    if (f.fontUnderline() || f.underlineStyle() != QTextCharFormat::NoUnderline) s |= TMyTextAttr::StyleUnderline;
    if (f.fontStrikeOut()) s |= TMyTextAttr::StyleStrikeOut;
    return s;
}

void SetStyleFlags(QTextCharFormat &f, quint8 s)
{
    f.setFontWeight(s & TMyTextAttr::StyleBold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(s & TMyTextAttr::StyleItalic);
    f.setFontUnderline(s & TMyTextAttr::StyleUnderline);
    f.setFontStrikeOut(s & TMyTextAttr::StyleStrikeOut);
}

int VPosOf(const QTextCharFormat &f)
{
    switch (f.verticalAlignment()) {
    case QTextCharFormat::AlignSuperScript: return 1;
    case QTextCharFormat::AlignSubScript: return 2;
    default: return 0;
    }
}

// Edits between construction and destruction are one undo step.
struct TEditBlock {
    explicit TEditBlock(TMJvRichEdit *ed) : c(ed->document()) { c.beginEditBlock(); }
    ~TEditBlock() { c.endEditBlock(); }
    QTextCursor c;
};

// The selection, or the word at the caret as mergeCharAttributes takes it.
QTextCursor TargetCursor(const TMJvRichEdit *ed)
{
    QTextCursor c = ed->textCursor();
    if (!c.hasSelection())
        c.select(QTextCursor::WordUnderCursor);
    return c;
}

// Changes every run of the target by fn, and the format of new text at the
// caret; what a merge cannot do (clearing a colour back to automatic).
void ChangeRuns(TMJvRichEdit *ed, const std::function<void(QTextCharFormat &)> &fn)
{
    TEditBlock block(ed);
    const QTextCursor target = TargetCursor(ed);
    if (target.hasSelection()) {
        struct Run { int from, to; QTextCharFormat f; };
        QList<Run> runs;
        const int start = target.selectionStart(), end = target.selectionEnd();
        for (QTextBlock b = ed->document()->findBlock(start); b.isValid() && b.position() <= end; b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextFragment fr = it.fragment();
                const int from = std::max(start, fr.position()), to = std::min(end, fr.position() + fr.length());
                if (from < to)
                    runs.append({from, to, fr.charFormat()});
            }
        }
        for (Run &r : runs) {
            fn(r.f);
            QTextCursor c(ed->document());
            c.setPosition(r.from);
            c.setPosition(r.to, QTextCursor::KeepAnchor);
            c.setCharFormat(r.f);
        }
    }
    if (!ed->textCursor().hasSelection()) {
        QTextCharFormat f = ed->currentCharFormat();
        fn(f);
        ed->setCurrentCharFormat(f);
    }
}

// The blocks of the selection.
QList<QTextBlock> SelectedBlocks(const TMJvRichEdit *ed)
{
    const QTextCursor c = ed->textCursor();
    QList<QTextBlock> out;
    const QTextBlock last = ed->document()->findBlock(c.selectionEnd());
    for (QTextBlock b = ed->document()->findBlock(c.selectionStart()); b.isValid(); b = b.next()) {
        out.append(b);
        if (b == last)
            break;
    }
    return out;
}

TParaAttributes BlockAttributes(const QTextBlock &b)
{
    const QTextList *list = b.textList();
    const QTextListFormat lf = list ? list->format() : QTextListFormat();
    return ParaAttributesOf(b.blockFormat(), list ? &lf : nullptr);
}

// Writes one paragraph attribute to every selected paragraph, leaving the
// others as each paragraph has them.
void WritePara(TMJvRichEdit *ed, const std::function<void(TParaAttributes &)> &fn)
{
    TEditBlock block(ed);
    for (const QTextBlock &b : SelectedBlocks(ed)) {
        TParaAttributes a = BlockAttributes(b);
        fn(a);
        QTextBlockFormat bf = b.blockFormat();
        ApplyParaAttributes(bf, a);
        QTextCursor c(b);
        c.setBlockFormat(bf);
    }
}

// The indents as the control's mode reads them (twips).
int LeftIndentOf(const TMJvRichEdit *ed, const TParaAttributes &a)
{
    return TFormatCommands::IsOfficeIndentMode(ed) ? a.leftIndent : -a.firstIndent;
}

int FirstIndentOf(const TMJvRichEdit *ed, const TParaAttributes &a)
{
    return TFormatCommands::IsOfficeIndentMode(ed) ? a.firstIndent : a.leftIndent + a.firstIndent;
}

void SetLeftIndent(const TMJvRichEdit *ed, TParaAttributes &a, int twips)
{
    if (TFormatCommands::IsOfficeIndentMode(ed)) {
        a.leftIndent = twips;
    } else {
        // The offset of the following lines; the first line stays where it is.
        const int start = a.leftIndent + a.firstIndent;
        a.leftIndent = start + twips;
        a.firstIndent = -twips;
    }
}

void SetFirstIndent(const TMJvRichEdit *ed, TParaAttributes &a, int twips)
{
    if (TFormatCommands::IsOfficeIndentMode(ed)) {
        a.firstIndent = twips;
    } else {
        const int offset = -a.firstIndent;
        a.leftIndent = twips + offset;
    }
}

void SetOfficeMode(TMJvRichEdit *ed)
{
    ed->setProperty(kOfficeModeProperty, true);
}

QTextCharFormat TextAttrFormat(const TSelectionAttributes &s, bool withColors)
{
    QTextCharFormat f;
    f.setFontFamilies({s.FontName});
    f.setFontPointSize(s.Size);
    SetStyleFlags(f, s.Style);
    if (withColors) {
        if (s.Color.isValid()) f.setForeground(s.Color);
        if (s.BackColor.isValid()) f.setBackground(s.BackColor);
    }
    return f;
}

} // namespace

// ---- font list ------------------------------------------------------------------

int FamilyCharset(const QString &family)
{
    const QList<QFontDatabase::WritingSystem> ws = QFontDatabase::writingSystems(family);
    if (ws.contains(QFontDatabase::Cyrillic))
        return 204;
    static const QList<QPair<QFontDatabase::WritingSystem, int>> sets = {
        {QFontDatabase::Latin, 0},          {QFontDatabase::Symbol, 2},
        {QFontDatabase::Greek, 161},        {QFontDatabase::Hebrew, 177},
        {QFontDatabase::Arabic, 178},       {QFontDatabase::Thai, 222},
        {QFontDatabase::Vietnamese, 163},   {QFontDatabase::Japanese, 128},
        {QFontDatabase::Korean, 129},       {QFontDatabase::SimplifiedChinese, 134},
        {QFontDatabase::TraditionalChinese, 136},
    };
    for (const auto &[w, cs] : sets)
        if (ws.contains(w))
            return cs;
    return 1;
}

QList<TFontEntry> BuildFontList(QComboBox *box)
{
    QList<TFontEntry> old;
    QStringList seen;
    for (const QString &family : QFontDatabase::families()) {
        if (QFontDatabase::isPrivateFamily(family) || seen.contains(family))
            continue;
        seen.append(family);
        old.append({family, FamilyCharset(family)});
    }
    QStringList names = seen;
    names.sort(Qt::CaseInsensitive);
    box->clear();
    box->addItems(names);
    QList<TFontEntry> sorted;
    for (int i = 0; i < box->count(); ++i) {
        const QString item = box->itemText(i);
        for (qsizetype j = 0; j < old.size(); ++j)
            if (old[j].Name == item) {
                sorted.append(old.takeAt(j));
                break;
            }
    }
    if (sorted.size() != box->count())
        throw std::logic_error(FormatTexts::FontListSortFailed.toStdString());
    return sorted;
}

// ---- selection attributes ---------------------------------------------------------

TSelectionAttributes SelectionAttributes(const TMJvRichEdit &editor)
{
    TSelectionAttributes s;
    const double zoom = editor.Zoom();
    auto sizeOf = [zoom](const QTextCharFormat &f) {
        return int(std::lround(f.fontPointSize() * 200.0 / zoom) / 2);
    };
    auto take = [&s](const QTextCharFormat &f, int size) {
        s.FontName = FontNameOf(f);
        s.Charset = CharsetOf(f);
        s.Size = size;
        s.Style = StyleFlags(f);
        s.VPos = VPosOf(f);
        s.Color = f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color() : QColor();
        s.BackColor = f.hasProperty(QTextFormat::BackgroundBrush) ? f.background().color() : QColor();
    };
    const QTextCursor c = editor.textCursor();
    if (!c.hasSelection()) {
        const QTextCharFormat f = editor.charAttributes();
        take(f, int(f.fontPointSize()));
        return s;
    }
    bool first = true;
    const int start = c.selectionStart(), end = c.selectionEnd();
    for (QTextBlock b = editor.document()->findBlock(start); b.isValid() && b.position() < end; b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment fr = it.fragment();
            if (fr.position() + fr.length() <= start || fr.position() >= end)
                continue;
            const QTextCharFormat f = fr.charFormat();
            if (IsObjectFormat(f))
                continue;
            if (first) {
                take(f, sizeOf(f));
                first = false;
                continue;
            }
            const quint8 st = StyleFlags(f);
            s.NameSame = s.NameSame && FontNameOf(f).compare(s.FontName, Qt::CaseInsensitive) == 0;
            s.SizeSame = s.SizeSame && sizeOf(f) == s.Size;
            s.BoldSame = s.BoldSame && (st & TMyTextAttr::StyleBold) == (s.Style & TMyTextAttr::StyleBold);
            s.ItalicSame = s.ItalicSame && (st & TMyTextAttr::StyleItalic) == (s.Style & TMyTextAttr::StyleItalic);
            s.UnderlineSame = s.UnderlineSame &&
                              (st & TMyTextAttr::StyleUnderline) == (s.Style & TMyTextAttr::StyleUnderline);
            s.VPosSame = s.VPosSame && VPosOf(f) == s.VPos;
        }
    }
    if (first)
        take(editor.charAttributes(), int(editor.charAttributes().fontPointSize()));
    return s;
}

void TFormatComboBox::hidePopup()
{
    QComboBox::hidePopup();
    Q_EMIT closedUp();
}

void TFormatComboBox::SetContentsLengths(int horizontal, int vertical)
{
    m_horizontal = horizontal;
    m_vertical = vertical;
    fitOrientation(m_bar ? m_bar->orientation() : Qt::Horizontal);
}

bool TFormatComboBox::event(QEvent *e)
{
    if (e->type() == QEvent::ParentChange)
        followBar();
    return QComboBox::event(e);
}

void TFormatComboBox::followBar()
{
    QToolBar *bar = nullptr;
    for (QWidget *w = parentWidget(); w && !bar; w = w->parentWidget())
        bar = qobject_cast<QToolBar *>(w);
    if (bar == m_bar)
        return;
    disconnect(m_barConnection);
    m_bar = bar;
    if (bar)
        m_barConnection = connect(bar, &QToolBar::orientationChanged, this, &TFormatComboBox::fitOrientation);
    fitOrientation(bar ? bar->orientation() : Qt::Horizontal);
}

void TFormatComboBox::fitOrientation(Qt::Orientation o)
{
    // A font box of its full width would make a side bar as wide as the list.
    const int length = o == Qt::Vertical ? m_vertical : m_horizontal;
    if (length <= 0 || length == minimumContentsLength())
        return;
    setMinimumContentsLength(length);
    // The bar keeps the width it worked out before unless told again.
    if (m_bar && m_bar->layout()) {
        m_bar->layout()->invalidate();
        m_bar->updateGeometry();
    }
}

// ---- the commands -------------------------------------------------------------------

TFormatCommands::TFormatCommands(QWidget *host) : QObject(host)
{
    struct Def { const char *name, *caption, *hint, *shortcut; bool checkable; };
    static const Def defs[] = {
        {"actFormatFontBold", "Полужирный", "Использование полужирного шрифта", "Ctrl+B", true},
        {"actFormatFontItalic", "Курсив", "Использование курсива", "Ctrl+I", true},
        {"actFormatFontUnderline", "Подчеркнутый", "Непрерывное подчеркивание текста", "Ctrl+U", true},
        {"actFormatFontSuperscript", "Надстрочный", "Использование надстрочного начертания шрифта", "", true},
        {"actFormatFontSubscript", "Подстрочный", "Использование подстрочного начертания шрифта", "", true},
        {"actFormatFontSetTextColor", "Цвет шрифта", "Выбор цвета шрифта для выделенного фрагмента текста", "", false},
        {"actFormatFontSetTextBackColor", "Цвет фона", "Выбор цвета фона для выделенного фрагмента текста", "", false},
        {"actFormatFont", "Шрифт...", "Выбор шрифта для выделенного фрагмента текста", "", false},
        {"actFormatAlignLeft", "По левому краю", "Выравнивание обзаца по левому краю", "", true},
        {"actFormatAlignRight", "По правому краю", "Выравнивание обзаца по правому краю", "", true},
        {"actFormatAlignCenter", "По центру", "Выравнивание обзаца по центру", "", true},
        {"actFormatAlignJustify", "По ширине", "Выравнивание обзаца по ширине", "", true},
        {"actFormatBullet", "Маркированный список", "Установка маркированного списка для выделенных абзацев", "", true},
        {"actFormatNumbers", "Нумерованный список", "Установка нумерованного списка для выделенных абзацев", "", true},
        {"actFormatIndentIncrease", "Увеличить отступ", "Увеличить левый отступ обзаца", "", false},
        {"actFormatIndentDecrease", "Уменьшить отступ", "Уменьшить левый отступ обзаца", "", false},
        {"actFormatParagraph", "Абзац..", "Форматирование выделенных абзацев", "", false},
        {"actFormatNumbering", "Список..", "Форматирование списка выделенных абзацев", "", false},
        {"actFormatSetDefaultAttr", "Установить для новых вопросов", "Установка текущего форматирования для новых вопросов", "", false},
        {"actFormatSetAllAttr", "Установить для выбранных вопросов", "Установка текущего форматирования для выделенных вопросов", "", false},
        {"actFormatResetDefaultFormat", "Стандартное форматирование", "Установить форматирование новых вопросов по умолчанию", "", false},
        {"actInsertPicture", "Рисунок...", "Вставка нового рисунка", "", false},
        {"actInsertInsertObject", "Об&ъект...", "Вставка нового объекта", "", false},
    };
    for (const Def &d : defs)
        m_actions.append(adopt(host, d.name, QString::fromUtf8(d.caption), QString::fromUtf8(d.hint),
                               QString::fromLatin1(d.shortcut), d.checkable));

    m_alignGroup = new QActionGroup(this);
    m_alignGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    for (const char *n : {"actFormatAlignLeft", "actFormatAlignRight", "actFormatAlignCenter", "actFormatAlignJustify"})
        m_alignGroup->addAction(Action(QString::fromLatin1(n)));
    m_listGroup = new QActionGroup(this);
    m_listGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    m_listGroup->addAction(Action(QStringLiteral("actFormatBullet")));
    m_listGroup->addAction(Action(QStringLiteral("actFormatNumbers")));

    // A toggle's state tells what it does; Qt flips it before the slot runs.
    auto toggle = [this](const char *name, void (TFormatCommands::*fn)()) {
        QAction *a = Action(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, [this, a, fn](bool checked) {
            a->setChecked(!checked);
            (this->*fn)();
        });
    };
    toggle("actFormatFontBold", &TFormatCommands::Bold);
    toggle("actFormatFontItalic", &TFormatCommands::Italic);
    toggle("actFormatFontUnderline", &TFormatCommands::Underline);
    toggle("actFormatFontSuperscript", &TFormatCommands::Superscript);
    toggle("actFormatFontSubscript", &TFormatCommands::Subscript);
    auto plain = [this](const char *name, const std::function<void()> &fn) {
        connect(Action(QString::fromLatin1(name)), &QAction::triggered, this, [fn] { fn(); });
    };
    plain("actFormatFontSetTextColor", [this] { SetTextColor(); });
    plain("actFormatFontSetTextBackColor", [this] { SetBackColor(); });
    plain("actFormatFont", [this] { FormatFont(); });
    plain("actFormatAlignLeft", [this] { Align(0); });
    plain("actFormatAlignRight", [this] { Align(1); });
    plain("actFormatAlignCenter", [this] { Align(2); });
    plain("actFormatAlignJustify", [this] { Align(3); });
    plain("actFormatBullet", [this] { Bullet(); });
    plain("actFormatNumbers", [this] { Numbers(); });
    plain("actFormatIndentIncrease", [this] { IndentIncrease(); });
    plain("actFormatIndentDecrease", [this] { IndentDecrease(); });
    plain("actFormatParagraph", [this] { FormatParagraph(); });
    plain("actFormatNumbering", [this] { FormatNumbering(); });
    plain("actFormatSetDefaultAttr", [this] { SetDefaultAttr(); });
    plain("actFormatSetAllAttr", [this] { SetAllAttr(); });
    plain("actFormatResetDefaultFormat", [this] { ResetDefaultFormat(); });
    plain("actInsertPicture", [this] { InsertPicture(); });
    plain("actInsertInsertObject", [this] { InsertObject(); });

    m_cbFont = new TFormatComboBox(host);
    m_cbFont->setObjectName(QStringLiteral("cbFont"));
    m_cbFont->setEditable(true);
    m_cbFont->setInsertPolicy(QComboBox::NoInsert);
    // 32 as on Windows for a typed name, and room for a missing font's mark.
    m_cbFont->lineEdit()->setMaxLength(32 + FormatTexts::FontNotInstalled.size());
    m_cbFont->setStatusTip(FormatTexts::FontBoxHint);
    m_cbFont->SetContentsLengths(18, 7);
    m_cbFont->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(m_cbFont, &QComboBox::activated, this, &TFormatCommands::fontChosen);
    connect(m_cbFont, &TFormatComboBox::closedUp, this, [this] { giveFocusBack(true); });

    m_cbFontSize = new TFormatComboBox(host);
    m_cbFontSize->setObjectName(QStringLiteral("cbFontSize"));
    m_cbFontSize->setEditable(true);
    m_cbFontSize->setInsertPolicy(QComboBox::NoInsert);
    m_cbFontSize->setStatusTip(FormatTexts::SizeBoxHint);
    for (int s : {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72})
        m_cbFontSize->addItem(QString::number(s));
    m_cbFontSize->SetContentsLengths(3, 3);
    m_cbFontSize->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_cbFontSize->setCurrentIndex(-1);
    connect(m_cbFontSize, &QComboBox::editTextChanged, this, &TFormatCommands::sizeEdited);
    connect(m_cbFontSize, &TFormatComboBox::closedUp, this, [this] { giveFocusBack(false); });

    AssertionFailed = [](const QString &text) {
        ShowMessage(QMessageBox::Critical, QString(), text + QStringLiteral(" (fMain)"));
    };
}

TFormatCommands::~TFormatCommands() = default;

QAction *TFormatCommands::adopt(QWidget *host, const char *name, const QString &caption, const QString &hint,
                                const QString &shortcut, bool checkable)
{
    const QString n = QString::fromLatin1(name);
    QAction *a = host->findChild<QAction *>(n);
    if (!a) {
        a = new QAction(host);
        a->setObjectName(n);
        host->addAction(a);
    }
    a->setText(caption);
    a->setStatusTip(hint);
    a->setShortcut(QKeySequence(shortcut));
    a->setCheckable(checkable);
    return a;
}

QAction *TFormatCommands::Action(const QString &name) const
{
    for (QAction *a : m_actions)
        if (a->objectName() == name)
            return a;
    return nullptr;
}

bool TFormatCommands::IsFormatBox(const QWidget *w) const
{
    for (const QWidget *box : {static_cast<const QWidget *>(m_cbFont), static_cast<const QWidget *>(m_cbFontSize)})
        if (w && (w == box || box->isAncestorOf(w)))
            return true;
    return false;
}

void TFormatCommands::GetFontNames()
{
    try {
        m_fonts = FontListBuilder ? FontListBuilder(m_cbFont) : BuildFontList(m_cbFont);
    } catch (const std::logic_error &e) {
        // An internal check: the report names its unit, as every other one does.
        throw std::logic_error(std::string(e.what()) + " (fMain)");
    }
    m_cbFont->setCurrentIndex(-1);
}

void TFormatCommands::SetActiveEditor(TMJvRichEdit *editor)
{
    m_active = editor;
    if (editor && !editor->property(kWatchedProperty).toBool()) {
        editor->setProperty(kWatchedProperty, true);
        editor->viewport()->installEventFilter(this);
    }
}

void TFormatCommands::SetMenus(QMenu *format, QMenu *insert)
{
    m_formatMenu = format;
    m_insertMenu = insert;
}

bool TFormatCommands::IsOfficeIndentMode(const TMJvRichEdit *editor)
{
    return editor && editor->property(kOfficeModeProperty).toBool();
}

bool TFormatCommands::check(const char *what) const
{
    if (m_active)
        return true;
    if (AssertionFailed)
        AssertionFailed(QStringLiteral("not Richedit in ") + QString::fromLatin1(what));
    return false;
}

void TFormatCommands::SetFormatActionsState(bool enabled)
{
    m_cbFont->setEnabled(enabled);
    m_cbFontSize->setEnabled(enabled);
    for (const char *n : {"actFormatFontSetTextColor", "actFormatFontSetTextBackColor", "actFormatFontBold",
                          "actFormatFontItalic", "actFormatFontUnderline", "actFormatFontSuperscript",
                          "actFormatFontSubscript", "actFormatAlignLeft", "actFormatAlignRight",
                          "actFormatAlignCenter", "actFormatAlignJustify", "actFormatBullet", "actFormatNumbers",
                          "actFormatIndentIncrease", "actFormatIndentDecrease", "actInsertInsertObject",
                          "actInsertPicture"})
        Action(QString::fromLatin1(n))->setEnabled(enabled);
    if (m_formatMenu)
        m_formatMenu->menuAction()->setEnabled(enabled);
    if (m_insertMenu)
        m_insertMenu->menuAction()->setEnabled(enabled);
}

void TFormatCommands::MirrorSelection()
{
    SetFormatActionsState(true);
    if (!m_active)
        return;
    const TSelectionAttributes s = SelectionAttributes(*m_active);
    m_mirroring = true;
    // A box being typed into keeps what is typed.
    if (!m_cbFont->hasFocus()) {
        int item = -1;
        if (s.NameSame)
            for (int i = 0; i < m_cbFont->count(); ++i)
                if (m_cbFont->itemText(i).compare(s.FontName, Qt::CaseInsensitive) == 0) {
                    item = i;
                    break;
                }
        m_cbFont->setCurrentIndex(item);
        // A font this computer lacks (a test made on Windows) still shows its
        // name: the text keeps it and a stand-in of its metrics draws it.
        if (item < 0)
            m_cbFont->setEditText(s.NameSame && !s.FontName.isEmpty()
                                      ? FormatTexts::FontNotInstalled.arg(s.FontName) : QString());
        m_cbFont->lineEdit()->setCursorPosition(0);   // the name's start, not the mark's end
    }
    if (!m_cbFontSize->hasFocus())
        m_cbFontSize->setEditText(s.SizeSame ? QString::number(s.Size) : QString());
    m_mirroring = false;

    Action(QStringLiteral("actFormatFontBold"))->setChecked(s.BoldSame && (s.Style & TMyTextAttr::StyleBold));
    Action(QStringLiteral("actFormatFontItalic"))->setChecked(s.ItalicSame && (s.Style & TMyTextAttr::StyleItalic));
    Action(QStringLiteral("actFormatFontUnderline"))
        ->setChecked(s.UnderlineSame && (s.Style & TMyTextAttr::StyleUnderline));
    QAction *sup = Action(QStringLiteral("actFormatFontSuperscript"));
    QAction *sub = Action(QStringLiteral("actFormatFontSubscript"));
    if (s.VPosSame) {
        sup->setChecked(s.VPos == 1);
        sub->setChecked(s.VPos == 2);
    } else {
        sup->setEnabled(false);
        sub->setEnabled(false);
    }
    const TParaAttributes p = m_active->paraAttributes();
    static const char *const aligns[] = {"actFormatAlignLeft", "actFormatAlignRight", "actFormatAlignCenter",
                                         "actFormatAlignJustify"};
    Action(QString::fromLatin1(aligns[AlignCode(p.alignment)]))->setChecked(true);
    QAction *bullet = Action(QStringLiteral("actFormatBullet"));
    QAction *numbers = Action(QStringLiteral("actFormatNumbers"));
    bullet->setChecked(p.numbering == NumBullet);
    numbers->setChecked(p.numbering == NumArabic);
    if (p.numbering != NumBullet && p.numbering != NumArabic) {
        bullet->setChecked(false);
        numbers->setChecked(false);
    }
}

void TFormatCommands::FormatMenuOpening(bool richFocused, bool otherQuestionsSelected)
{
    Action(QStringLiteral("actFormatFont"))->setEnabled(richFocused);
    Action(QStringLiteral("actFormatSetDefaultAttr"))->setEnabled(richFocused);
    Action(QStringLiteral("actFormatSetAllAttr"))->setEnabled(richFocused && otherQuestionsSelected);
}

// ---- character attributes -------------------------------------------------------------

void TFormatCommands::fontChosen(int index)
{
    if (m_mirroring || index < 0)
        return;
    if (!check("FontChange") || index >= m_fonts.size())
        return;
    QTextCharFormat f;
    f.setProperty(PropCharset, m_fonts[index].Charset);
    f.setFontFamilies({m_cbFont->itemText(index)});
    TEditBlock block(m_active);
    m_active->mergeCharAttributes(f);
}

void TFormatCommands::sizeEdited(const QString &text)
{
    if (m_mirroring)
        return;
    bool ok = false;
    const int size = text.trimmed().toInt(&ok);
    if (!ok || size <= 0)
        return;
    if (!check("FontSizeChange"))
        return;
    QTextCharFormat f;
    f.setFontPointSize(size);
    TEditBlock block(m_active);
    m_active->mergeCharAttributes(f);
}

void TFormatCommands::giveFocusBack(bool locked)
{
    if (!m_active || !m_active->isEnabled() || !m_active->isVisible())
        return;
    if (locked && m_doc) {
        TUpdateLockGuard guard(*m_doc);
        m_active->setFocus();
    } else {
        m_active->setFocus();
    }
}

void TFormatCommands::toggleStyle(quint8 flag, const char *what, const char *action)
{
    if (!check(what))
        return;
    const bool on = Action(QString::fromLatin1(action))->isChecked();
    quint8 style = SelectionAttributes(*m_active).Style;
    style = on ? quint8(style & ~flag) : quint8(style | flag);
    QTextCharFormat f;
    SetStyleFlags(f, style);
    {
        TEditBlock block(m_active);
        m_active->mergeCharAttributes(f);
    }
    Q_EMIT buttonsStateWanted();
}

void TFormatCommands::setVPos(int vpos, const char *what, const char *action)
{
    if (!check(what))
        return;
    const bool on = Action(QString::fromLatin1(action))->isChecked();
    QTextCharFormat f;
    f.setVerticalAlignment(on ? QTextCharFormat::AlignNormal
                              : vpos == 1 ? QTextCharFormat::AlignSuperScript : QTextCharFormat::AlignSubScript);
    {
        TEditBlock block(m_active);
        m_active->mergeCharAttributes(f);
    }
    Q_EMIT buttonsStateWanted();
}

void TFormatCommands::Superscript() { setVPos(1, "Superscript", "actFormatFontSuperscript"); }
void TFormatCommands::Subscript() { setVPos(2, "Subscript", "actFormatFontSubscript"); }

QColor TFormatCommands::pickColor(bool *ok)
{
    QColor c = m_lastColor;
    if (ColorInput) {
        *ok = ColorInput(c);
    } else {
        if (!m_colorDialog)
            m_colorDialog = new QColorDialog(qobject_cast<QWidget *>(parent()));
        m_colorDialog->setCurrentColor(m_lastColor);
        *ok = m_colorDialog->exec() == QDialog::Accepted;
        c = m_colorDialog->currentColor();
    }
    if (*ok)
        m_lastColor = c;
    return c;
}

void TFormatCommands::setColor(bool back)
{
    if (!check(back ? "SetBackColor" : "SetTextColor"))
        return;
    bool ok = false;
    const QColor c = pickColor(&ok);
    if (!ok || !m_active)
        return;
    const QPalette pal = QApplication::palette();
    // The system's own colours stand for "automatic".
    const bool automatic = back ? c == pal.color(QPalette::Base) : c == pal.color(QPalette::Text);
    ChangeRuns(m_active, [&](QTextCharFormat &f) {
        const int prop = back ? QTextFormat::BackgroundBrush : QTextFormat::ForegroundBrush;
        if (automatic)
            f.clearProperty(prop);
        else
            f.setProperty(prop, QBrush(c));
    });
}

void TFormatCommands::SetTextColor() { setColor(false); }
void TFormatCommands::SetBackColor() { setColor(true); }

void TFormatCommands::FormatFont()
{
    if (!check("FormatFont"))
        return;
    const TSelectionAttributes s = SelectionAttributes(*m_active);
    QFont font(s.FontName);
    if (s.Size > 0)
        font.setPointSize(s.Size);
    font.setBold(s.Style & TMyTextAttr::StyleBold);
    font.setItalic(s.Style & TMyTextAttr::StyleItalic);
    font.setUnderline(s.Style & TMyTextAttr::StyleUnderline);
    font.setStrikeOut(s.Style & TMyTextAttr::StyleStrikeOut);
    const QColor windowText = QApplication::palette().color(QPalette::Text);
    QColor color = s.Color.isValid() ? s.Color : windowText;
    bool ok = false;
    if (FontInput) {
        ok = FontInput(font, color);
    } else {
        TfrmFont dlg(qobject_cast<QWidget *>(parent()));
        dlg.SetFont(font);
        dlg.SetColor(color);
        ok = dlg.exec() == QDialog::Accepted;
        font = dlg.Font();
        color = dlg.Color();
    }
    if (!ok || !m_active)
        return;
    QTextCharFormat f;
    const QString family = font.families().value(0, font.family());
    f.setProperty(PropCharset, FamilyCharset(family));
    f.setFontFamilies({family});
    // The window-text colour stands for automatic, as in the colour commands.
    const bool automatic = color.toRgb() == windowText.toRgb();
    if (!automatic)
        f.setForeground(color);
    f.setFontPointSize(font.pointSize() > 0 ? font.pointSize() : s.Size);
    quint8 style = 0;
    if (font.bold()) style |= TMyTextAttr::StyleBold;
    if (font.italic()) style |= TMyTextAttr::StyleItalic;
    if (font.underline()) style |= TMyTextAttr::StyleUnderline;
    if (font.strikeOut()) style |= TMyTextAttr::StyleStrikeOut;
    SetStyleFlags(f, style);
    TEditBlock block(m_active);
    m_active->mergeCharAttributes(f);
    if (automatic)
        ChangeRuns(m_active, [](QTextCharFormat &r) { r.clearProperty(QTextFormat::ForegroundBrush); });
}

// ---- paragraph attributes -------------------------------------------------------------

void TFormatCommands::Align(int code)
{
    static const char *const what[] = {"AlignLeft", "AlignRight", "AlignCenter", "AlignJustify"};
    if (!check(what[qBound(0, code, 3)]))
        return;
    WritePara(m_active, [code](TParaAttributes &a) { a.alignment = AlignValue(code); });
    Q_EMIT buttonsStateWanted();
}

void TFormatCommands::writeNumbering(TMJvRichEdit *ed, int code, int start, int style, int tab)
{
    TEditBlock block(ed);
    TParaAttributes a = ed->paraAttributes();
    const int left = LeftIndentOf(ed, a);
    if (code == NumNone)
        SetLeftIndent(ed, a, 0);
    else if (left < kListMinIndent * kTwipsPerPoint)
        SetLeftIndent(ed, a, kListMinIndent * kTwipsPerPoint);
    a.numbering = code;
    if (start >= 0) a.numberingStart = start;
    if (style >= 0) a.numberingStyle = style;
    if (tab >= 0) a.numberingTab = tab;
    // The other paragraph attributes stay each paragraph's own.
    const QList<QTextBlock> blocks = SelectedBlocks(ed);
    QList<TParaAttributes> owns;
    for (const QTextBlock &b : blocks)
        owns.append(BlockAttributes(b));
    ed->setParaAttributes(a);
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        TParaAttributes own = owns[i];
        own.leftIndent = a.leftIndent;
        own.firstIndent = a.firstIndent;
        own.numbering = a.numbering;
        own.numberingStart = a.numberingStart;
        own.numberingStyle = a.numberingStyle;
        own.numberingTab = a.numberingTab;
        QTextBlockFormat bf = blocks[i].blockFormat();
        ApplyParaAttributes(bf, own);
        QTextCursor(blocks[i]).setBlockFormat(bf);
    }
}

void TFormatCommands::Bullet()
{
    if (!check("FormatBullet"))
        return;
    const int code = m_active->paraAttributes().numbering;
    writeNumbering(m_active, code == NumBullet ? NumNone : NumBullet, -1, -1, -1);
    Q_EMIT buttonsStateWanted();
}

void TFormatCommands::Numbers()
{
    if (!check("FormatNumbers"))
        return;
    const int code = m_active->paraAttributes().numbering;
    if (code == NumArabic)
        writeNumbering(m_active, NumNone, -1, -1, -1);
    else
        writeNumbering(m_active, NumArabic, 1, -1, -1);
    Q_EMIT buttonsStateWanted();
}

void TFormatCommands::IndentIncrease()
{
    if (!check("IndentIncrease"))
        return;
    SetOfficeMode(m_active);
    const int left = LeftIndentOf(m_active, m_active->paraAttributes());
    WritePara(m_active, [&](TParaAttributes &a) { SetLeftIndent(m_active, a, left + kIndentStep * kTwipsPerPoint); });
}

void TFormatCommands::IndentDecrease()
{
    if (!check("IndentDecrease"))
        return;
    SetOfficeMode(m_active);
    const int left = LeftIndentOf(m_active, m_active->paraAttributes()) - kIndentStep * kTwipsPerPoint;
    WritePara(m_active, [&](TParaAttributes &a) { SetLeftIndent(m_active, a, std::max(0, left)); });
}

void TFormatCommands::FormatParagraph()
{
    if (!check("FormatParagraph"))
        return;
    SetOfficeMode(m_active);
    const TParaAttributes p = m_active->paraAttributes();
    TParagraphValues v;
    v.Alignment = AlignCode(p.alignment);
    v.LeftIndent = LeftIndentOf(m_active, p) / kTwipsPerPoint;
    v.RightIndent = p.rightIndent / kTwipsPerPoint;
    v.FirstIndent = FirstIndentOf(m_active, p) / kTwipsPerPoint;
    v.LineValue = p.lineValue / kTwipsPerPoint;
    v.SpaceBefore = p.spaceBefore / kTwipsPerPoint;
    v.SpaceAfter = p.spaceAfter / kTwipsPerPoint;
    v.LineRule = p.lineRule;
    TfrmParagraph dlg(qobject_cast<QWidget *>(parent()));
    dlg.SetValues(v);
    const bool ok = DialogExec ? DialogExec(&dlg) : dlg.exec() == QDialog::Accepted;
    if (!ok || !m_active)
        return;
    const TParagraphValues n = dlg.Values();
    TMJvRichEdit *ed = m_active;
    WritePara(ed, [&](TParaAttributes &a) {
        a.alignment = AlignValue(n.Alignment);
        SetLeftIndent(ed, a, n.LeftIndent * kTwipsPerPoint);
        a.rightIndent = n.RightIndent * kTwipsPerPoint;
        SetFirstIndent(ed, a, n.FirstIndent * kTwipsPerPoint);
        a.spaceBefore = n.SpaceBefore * kTwipsPerPoint;
        a.spaceAfter = n.SpaceAfter * kTwipsPerPoint;
        a.lineRule = n.LineRule;
        a.lineValue = n.LineValue * kTwipsPerPoint;
    });
    Q_EMIT buttonsStateWanted();
}

void TFormatCommands::FormatNumbering()
{
    if (!check("Numbering"))
        return;
    const TParaAttributes p = m_active->paraAttributes();
    TNumberingValues v;
    v.Code = p.numbering;
    v.Start = p.numberingStart;
    v.Style = StyleIndex(p.numberingStyle);
    v.Tab = p.numberingTab / kTwipsPerPoint;
    TfrmNumbering dlg(qobject_cast<QWidget *>(parent()));
    dlg.SetValues(v);
    const bool ok = DialogExec ? DialogExec(&dlg) : dlg.exec() == QDialog::Accepted;
    if (!ok || !m_active)
        return;
    const TNumberingValues n = dlg.Values();
    writeNumbering(m_active, n.Code, n.Start, kStyleValues[qBound(0, n.Style, 3)], n.Tab * kTwipsPerPoint);
    Q_EMIT buttonsStateWanted();
}

// ---- default attributes -------------------------------------------------------------

void TFormatCommands::SetDefaultAttr()
{
    if (!check("SetDefaultAttr") || !TextAttr)
        return;
    const TSelectionAttributes s = SelectionAttributes(*m_active);
    TextAttr->FontSize = s.Size;
    TextAttr->FontName = s.FontName;
    TextAttr->Style = s.Style;
    TextAttr->FontColor = s.Color.isValid() ? s.Color : QColor(0, 0, 0);
    TextAttr->Alignment = quint8(AlignCode(m_active->paraAttributes().alignment));
    TextAttr->BackColor = s.BackColor.isValid() ? s.BackColor : QColor(255, 255, 255);
    if (RebuildDefaultContent)
        RebuildDefaultContent();
}

void TFormatCommands::ResetDefaultFormat()
{
    if (!TextAttr)
        return;
    *TextAttr = TMyTextAttr();
    if (RebuildDefaultContent)
        RebuildDefaultContent();
}

void TFormatCommands::SetAllAttr()
{
    if (!m_questionText || !OtherSelectedQuestions)
        return;
    const QList<TNQuestion *> questions = OtherSelectedQuestions();
    if (m_doc)
        m_doc->SetModified(true);
    std::optional<TUpdateLockGuard> guard;
    if (m_doc)
        guard.emplace(*m_doc);
    if (WaitCursor) WaitCursor(true);
    const TSelectionAttributes s = SelectionAttributes(*m_questionText);
    const int align = m_questionText->paraAttributes().alignment;
    try {
        TMJvRichEdit scratch;
        scratch.setLineWrapMode(QTextEdit::NoWrap);
        for (TNQuestion *q : questions) {
            QBuffer in(&q->Body);
            in.open(QIODevice::ReadOnly);
            scratch.LoadRichFromStream(in);
            in.close();
            scratch.selectAll();
            QTextCharFormat f = TextAttrFormat(s, false);
            scratch.mergeCharAttributes(f);
            ChangeRuns(&scratch, [&s](QTextCharFormat &r) {
                if (s.Color.isValid()) r.setForeground(s.Color); else r.clearProperty(QTextFormat::ForegroundBrush);
                if (s.BackColor.isValid()) r.setBackground(s.BackColor); else r.clearProperty(QTextFormat::BackgroundBrush);
            });
            // New text typed into the question takes the same look.
            QTextCursor all(scratch.document());
            all.select(QTextCursor::Document);
            QTextCharFormat mark = all.blockCharFormat();
            mark.merge(f);
            all.mergeBlockCharFormat(mark);
            WritePara(&scratch, [align](TParaAttributes &a) { a.alignment = align; });
            QByteArray body;
            QBuffer out(&body);
            out.open(QIODevice::WriteOnly);
            scratch.SaveRichToStream(out);
            q->Body = body;
            scratch.clear();
            scratch.document()->clearUndoRedoStacks();
        }
    } catch (const std::exception &e) {
        if (WaitCursor) WaitCursor(false);
        ShowError(QString::fromUtf8(e.what()));
        return;
    }
    if (WaitCursor) WaitCursor(false);
}

// ---- pictures and objects -------------------------------------------------------------

void TFormatCommands::InsertPicture()
{
    if (!check("InsertObject"))
        return;
    QString path;
    if (FileNameInput) {
        path = FileNameInput(true);
    } else {
        QStringList patterns;
        for (const QByteArray &fmt : QImageReader::supportedImageFormats())
            patterns.append(QStringLiteral("*.") + QString::fromLatin1(fmt));
        path = QFileDialog::getOpenFileName(qobject_cast<QWidget *>(parent()), QString(), QString(),
                                            QStringLiteral("(%1)").arg(patterns.join(u' ')));
    }
    if (path.isEmpty() || !m_active)
        return;
    bool ok = false;
    QString tooLarge;
    try {
        TEditBlock block(m_active);
        ok = QFileInfo(path).isFile() && m_active->InsertPictureFromFile(path, &tooLarge);
    } catch (const std::bad_alloc &) {
        ShowError(OutOfMemoryText);
        return;
    }
    if (!ok)
        ShowError(FormatTexts::ReadFileError + (tooLarge.isEmpty() ? QString() : QStringLiteral("\rРисунок %1.").arg(tooLarge)));
}

bool TFormatCommands::InsertFileObject(TMJvRichEdit *editor, const QString &path)
{
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray data = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return false;
    const TRichObject obj = PackageObject(QFileInfo(path).fileName(), data);
    if (obj.storage.isEmpty())
        return false;
    TEditBlock block(editor);
    QTextCursor c = editor->textCursor();
    QTextCharFormat base = c.charFormat();
    base.clearProperty(QTextFormat::ObjectType);
    c.insertText(QString(QChar(QChar::ObjectReplacementCharacter)), ObjectFormat(obj, base));
    editor->setTextCursor(c);
    return true;
}

void TFormatCommands::InsertObject()
{
    if (!check("InsertObject"))
        return;
    if (StatusInfo) StatusInfo(FormatTexts::InsertingObject);
    if (WaitCursor) WaitCursor(true);
    const QString path = FileNameInput ? FileNameInput(false)
                                       : QFileDialog::getOpenFileName(qobject_cast<QWidget *>(parent()));
    bool failed = false;
    if (!path.isEmpty() && m_active)
        failed = !InsertFileObject(m_active, path);
    if (WaitCursor) WaitCursor(false);
    if (StatusInfo) StatusInfo(QString());
    if (failed)
        ShowError(FormatTexts::ReadFileError);
}

QString TFormatCommands::OpenPackageAt(TMJvRichEdit *editor, int pos)
{
    QTextDocument *doc = editor->document();
    if (pos < 0 || pos >= doc->characterCount() - 1 || doc->characterAt(pos) != QChar::ObjectReplacementCharacter)
        return {};
    QTextCursor c(doc);
    c.setPosition(pos + 1);
    const QTextCharFormat f = c.charFormat();
    if (!IsObjectFormat(f))
        return {};
    QString name;
    QByteArray data;
    if (!PackageContents(ObjectOf(f).storage, &name, &data))
        return {};
    if (!m_tempDir)
        m_tempDir = std::make_unique<QTemporaryDir>();
    // Only the name's last part: a package from elsewhere must not write outside.
    name = QFileInfo(QString(name).replace(u'\\', u'/')).fileName();
    if (name.isEmpty() || name == QLatin1String("..") || name == QLatin1String("."))
        name = QStringLiteral("object");
    QDir dir(m_tempDir->path());
    const QString sub = QString::number(++m_openCount);
    dir.mkdir(sub);
    const QString path = dir.filePath(sub + u'/' + name);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size()) {
        ShowError(FormatTexts::ReadFileError);
        return {};
    }
    out.close();
    LastOpenedObject = path;
    if (!qEnvironmentVariableIsSet("QE_NO_DESKTOP_OPEN"))
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    return path;
}

bool TFormatCommands::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::MouseButtonDblClick) {
        auto *ed = qobject_cast<TMJvRichEdit *>(watched->parent());
        auto *me = static_cast<QMouseEvent *>(e);
        if (ed && me->button() == Qt::LeftButton) {
            const QPoint at = me->position().toPoint();
            const int pos = ed->cursorForPosition(at).position();
            for (int cand : {pos, pos - 1}) {
                if (cand < 0)
                    continue;
                // Only a click on the object itself, not on the text beside it.
                QTextCursor from(ed->document()), to(ed->document());
                from.setPosition(cand);
                to.setPosition(std::min(cand + 1, ed->document()->characterCount() - 1));
                const int x0 = ed->cursorRect(from).left(), x1 = ed->cursorRect(to).left();
                if (at.x() < std::min(x0, x1) || at.x() > std::max(x0, x1))
                    continue;
                if (!OpenPackageAt(ed, cand).isEmpty())
                    return true;
            }
        }
    }
    return QObject::eventFilter(watched, e);
}
