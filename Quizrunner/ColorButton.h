#pragma once
// The coloured question-number button of the player's strip.
#include <QColor>
#include <QPushButton>

class TMColorButton : public QPushButton {
    Q_OBJECT
public:
    explicit TMColorButton(QWidget *parent = nullptr);
    QColor Color() const { return m_color; }
    void SetColor(const QColor &c);
    QColor FontColor() const { return m_fontColor; }
    void SetFontColor(const QColor &c);
protected:
    void paintEvent(QPaintEvent *) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
private:
    QColor m_color = Qt::lightGray;
    QColor m_fontColor = Qt::black;
};
