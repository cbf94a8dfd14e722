#pragma once
// Saves the preferences a while after they change (bars moved, panes
// resized, the window moved, recent files, program settings), so that a
// crash loses none of them; a burst of changes is one save.
#include <QObject>
#include <functional>

class QTimer;

class TPrefsAutosave : public QObject {
    Q_OBJECT
public:
    static constexpr int DelayMs = 1500;

    // save collects what the window shows and writes the store.
    TPrefsAutosave(QObject *parent, std::function<void()> save);

    // Moves, resizes, showing and hiding of w count as changes.
    void Watch(QObject *w);
    // Off until the editor is open for work, and again once it closes.
    void SetEnabled(bool on);
    bool isEnabled() const { return m_enabled; }
    void Changed();
    // A save now when one waits.
    void Flush();
    QTimer *timer() const { return m_timer; }

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    std::function<void()> m_save;
    QTimer *m_timer;
    bool m_enabled = false;
};
