#pragma once
// frmInfo: the small modeless window long operations show while they run.
// It has no behaviour of its own; the caller sets its texts and shows it.
#include <QString>
#include <QWidget>

namespace Ui { class TfrmInfo; }

class TfrmInfo : public QWidget {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 249;
    static constexpr int DesignHeight = 90;

    explicit TfrmInfo(QWidget *owner = nullptr);
    ~TfrmInfo() override;

    // Caption, label text and client height, then shown centred on the owner
    // and painted at once.
    void ShowInfo(const QString &caption, const QString &text, int height = DesignHeight);
    QString Text() const;

    Ui::TfrmInfo *ui;

protected:
    void resizeEvent(QResizeEvent *e) override;
};
