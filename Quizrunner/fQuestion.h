#pragma once
// The question window: text, variant boxes, the number strip, navigation,
// the clock and the rules for closing it.
#include <QDialog>
#include <QIcon>
#include <QImage>
#include <functional>

#include "RunState.h"

namespace Ui { class TfrmQuestion; }
class TMColorButton;

class TfrmQuestion : public QDialog {
    Q_OBJECT
public:
    static constexpr int ButtonPitch = 25;
    static constexpr int ButtonWidth = 23;

    TfrmQuestion(TRunState &state, QWidget *parent = nullptr);
    ~TfrmQuestion() override;
    Ui::TfrmQuestion *ui;

    // Hooks filled by the run.
    std::function<void(int newCur, bool scroll)> SwitchItem;  // store, change, display
    std::function<bool()> ConfirmExit;                        // true: may close
    std::function<void()> StoreOnClose;

    // Sizes the client area and lays out the bars.
    void SetClientSize(int w, int h);
    void DoLayout();
    // Places the text area and the variants of the item on show, once its text
    // is loaded. panel: the size the variant boxes need; empty for an
    // information item. While the variants leave the text its minimum height
    // they sit right under it; beyond that the text keeps the minimum and the
    // variants scroll.
    void LayoutQuestion(QSize panel);
    // The least height the text area is given: a third of the space above the
    // number strip, and never less than three lines of the loaded text.
    int MinTextHeight() const;
    // Height of a text area that shows the first `lines` lines of the loaded text.
    int TextLinesHeight(int lines) const;
    // True while the variants are in a scrolling area.
    bool VariantsScroll() const { return m_variantsScroll; }
    // Number strip: geometry, VisibleCount/FirstVisible/MaxFirstVisible, arrows.
    void LayoutStrip(int itemCount);
    TMColorButton *AddQButton(int position, bool information, bool clickable);

    void CenterText();
    void ScrollToQuestion();
    void SetScrollArrows();
    void QButtonOnClick(int position);
    void bbtnBackClick();
    void bbtnForwardClick();
    void bbtnQBListScrollLeftClick();
    void bbtnQBListScrollRightClick();
    void btnExitClick();

    bool LeftArrowMarked() const { return m_leftMarked; }
    bool RightArrowMarked() const { return m_rightMarked; }
    // The arrow pictures: the plain one and the one with its shape filled blue.
    static QImage ArrowGlyph(bool right, bool highlighted);

    // Closes with the given result, running the close query like any close.
    void done(int r) override;
    void reject() override;

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    bool eventFilter(QObject *o, QEvent *e) override;

private:
    bool FormCloseQuery();
    void SetArrowGlyph(bool right, bool highlighted);
    void Switch(int newCur, bool scroll);
    void MoveFocusFromText();
    void LayoutButtonsBar();
    void FitClock();
    void ShowVariant(QWidget *box);

    TRunState &S;
    bool m_leftMarked = false;
    bool m_rightMarked = false;
    bool m_inCloseQuery = false;
    bool m_closePending = false;
    bool m_variantsScroll = false;
    QIcon m_backGlyph, m_forwardGlyph;
};
