#pragma once

#include <QObject>
#include <QPointer>

namespace quillet {

/// A delegate reference that never owns its delegate. When the delegate is a QObject its
/// destruction is noticed and the reference reads empty from then on; a delegate of any
/// other kind must clear itself before it goes away.
template <typename Delegate> class WeakDelegate {
public:
    void set(Delegate* delegate)
    {
        m_delegate = delegate;
        m_guard = dynamic_cast<QObject*>(delegate);
        m_isObject = m_guard != nullptr;
    }
    Delegate* get() const
    {
        if (m_isObject && !m_guard)
            return nullptr;
        return m_delegate;
    }

private:
    Delegate* m_delegate = nullptr;
    QPointer<QObject> m_guard;
    bool m_isObject = false;
};

} // namespace quillet
