#pragma once
// "О программе..": the program and version lines, our own text block and the
// two links.
#include <QDialog>
#include <QString>
#include <QUrl>
#include <functional>

namespace Ui { class TfrmAbout; }

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    // The rich-text level our control implements (lists, tables of fonts and
    // colours, embedded objects).
    static constexpr int RichEditVersion = 2;
    static const QString WebAddress;
    static const QString EmailAddress;

    explicit TfrmAbout(QWidget *parent = nullptr);
    ~TfrmAbout() override;

    // "Редактор тестов <version>" and the rich-text line below it.
    static QString ProgramLine(const QString &versionText);
    // Fills the two top labels and shows the window modally.
    void Execute(const QString &versionText);
    void SetTexts(const QString &versionText);

    // Opens a link; the desktop's default handler unless replaced.
    std::function<void(const QUrl &)> OpenUrl;

    Ui::TfrmAbout *ui;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
