#pragma once
// A check box whose toggling by the user can be switched off, and whose
// caption can wrap onto several lines.
#include <QCheckBox>

class QLabel;

class TMCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit TMCheckBox(QWidget *parent = nullptr);
    // While false, clicks and Space leave the check mark alone; setChecked still works.
    bool UserToggle() const { return m_userToggle; }
    void SetUserToggle(bool on) { m_userToggle = on; }
    QString Caption() const { return m_caption; }
    void SetCaption(const QString &s);
    void SetWordWrap(bool on);
    bool WordWrap() const { return m_wrapLabel != nullptr; }
    // Height the caption needs at the box's present width.
    int CaptionHeight() const;
    QColor CaptionColor() const;
    void SetCaptionColor(const QColor &c);
protected:
    void nextCheckState() override;
    bool hitButton(const QPoint &pos) const override;
    void resizeEvent(QResizeEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
private:
    void placeLabel();
    bool m_userToggle = true;
    QString m_caption;
    QLabel *m_wrapLabel = nullptr;
};
