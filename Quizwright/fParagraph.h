#pragma once
// "Абзац": alignment, indents and spacing of the selected paragraphs, in
// points. The dialog only collects the values; the caller writes them.
#include <QDialog>

namespace Ui { class TfrmParagraph; }

struct TParagraphValues {
    int Alignment = 0;      // 0 left, 1 right, 2 centre, 3 justified
    int LeftIndent = 0;
    int RightIndent = 0;
    int FirstIndent = 0;    // relative to the left indent
    int SpaceBefore = 0;
    int SpaceAfter = 0;
    int LineRule = 0;       // 0 single ... 5 multiple
    int LineValue = 0;
    bool operator==(const TParagraphValues &) const = default;
};

class TfrmParagraph : public QDialog {
    Q_OBJECT
public:
    static constexpr int MaxValue = 100;

    explicit TfrmParagraph(QWidget *parent = nullptr);
    ~TfrmParagraph() override;

    void SetValues(const TParagraphValues &v);
    TParagraphValues Values() const;

    Ui::TfrmParagraph *ui;

protected:
    void showEvent(QShowEvent *e) override;

private:
    void leftLeft();
    void ruleChanged();
};
