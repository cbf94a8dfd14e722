#pragma once
// The font dialog of the formatting commands: Qt's font chooser with its
// effects, and beside it the text colour, as one dialog.
#include <QColor>
#include <QDialog>
#include <QFont>

class QComboBox;
class QFontDialog;

class TfrmFont : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFont(QWidget *parent = nullptr);

    void SetFont(const QFont &font);
    QFont Font() const;
    // A colour outside the standard sixteen is offered as one more item.
    void SetColor(const QColor &color);
    QColor Color() const;

    QFontDialog *FontChooser() const { return m_chooser; }
    QComboBox *ColorBox() const { return m_color; }

    // The sixteen colours of the box, in its order.
    static QList<QPair<QColor, QString>> StandardColors();

private:
    int addColor(const QColor &color, const QString &name);

    QFontDialog *m_chooser = nullptr;
    QComboBox *m_color = nullptr;
};
