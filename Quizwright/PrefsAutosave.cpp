#include "PrefsAutosave.h"

#include <QEvent>
#include <QTimer>

TPrefsAutosave::TPrefsAutosave(QObject *parent, std::function<void()> save)
    : QObject(parent), m_save(std::move(save)), m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("PrefsAutosave"));
    m_timer->setSingleShot(true);
    m_timer->setInterval(DelayMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        if (m_enabled && m_save)
            m_save();
    });
}

void TPrefsAutosave::Watch(QObject *w)
{
    w->installEventFilter(this);
}

void TPrefsAutosave::SetEnabled(bool on)
{
    m_enabled = on;
    if (!on)
        m_timer->stop();
}

void TPrefsAutosave::Changed()
{
    if (m_enabled)
        m_timer->start();
}

void TPrefsAutosave::Flush()
{
    if (!m_timer->isActive())
        return;
    m_timer->stop();
    if (m_enabled && m_save)
        m_save();
}

bool TPrefsAutosave::eventFilter(QObject *watched, QEvent *e)
{
    switch (e->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
        Changed();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, e);
}
