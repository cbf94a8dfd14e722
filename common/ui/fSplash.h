#pragma once
// The splash window of both programs: the first window of the process; it
// closes itself when it loses the activation or when the main window appears.
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace Ui { class TfrmSplash; }

class TfrmSplash : public QWidget {
    Q_OBJECT
public:
    static constexpr int PictureWidth = 577;
    static constexpr int PictureHeight = 120;

    // Frameless, always on top, centred on the primary screen, deletes itself on close.
    explicit TfrmSplash(const QString &title = QString(), QWidget *parent = nullptr);
    ~TfrmSplash() override;

    // Draws text + " (" + version + ")" at (x, y) (top-left of the line) in grey on
    // black and repaints at once; does nothing while the splash is hidden.
    void ShowInfo(const QString &text, int x, int y);
    const QPixmap &Picture() const { return m_picture; }

    // The splash that is up, if any.
    static TfrmSplash *Instance();
    static void CloseSplash();
    // The version text stored by the last ShowInfo on a visible splash ("" before).
    static QString ProgramVersionText();
    // The compiled-in version, with " отладочная версия" in debug builds.
    static QString VersionLine(const QString &text);

protected:
    bool event(QEvent *e) override;

private:
    void RenderPicture(const QString &title);

    Ui::TfrmSplash *ui;
    QPixmap m_picture;
};
