#pragma once

#include "session/CredentialStore.h"

#include <QHash>
#include <QMutex>
#include <QWaitCondition>

#include <memory>

// An in-memory credential store whose operations can be made to fail, or to
// hang like a keyring waiting for a prompt. It is called from the credential
// worker's thread, so everything goes through the lock.
class FakeCredentialStore : public CredentialStore
{
public:
    Result read(const QString& target, QByteArray& secret) override
    {
        QMutexLocker lock(&m_mutex);
        if (!waitWhileHanging(lock))
            return Result::Failed;
        if (!m_secrets.contains(target))
            return Result::NotFound;
        secret = m_secrets.value(target);
        return Result::Ok;
    }

    Result write(const QString& target, const QString&, const QByteArray& secret) override
    {
        QMutexLocker lock(&m_mutex);
        if (!waitWhileHanging(lock))
            return Result::Failed;
        m_secrets.insert(target, QByteArray(secret.constData(), secret.size()));
        return Result::Ok;
    }

    Result remove(const QString& target) override
    {
        QMutexLocker lock(&m_mutex);
        if (!waitWhileHanging(lock) || failRemovals)
            return Result::Failed;
        return m_secrets.remove(target) > 0 ? Result::Ok : Result::NotFound;
    }

    void cancelPending() override
    {
        QMutexLocker lock(&m_mutex);
        m_cancelled = true;
        m_released.wakeAll();
    }

    // Calls block until release() or cancelPending().
    void hang() { locked([&] { m_hanging = true; }); }
    void release()
    {
        locked([&] {
            m_hanging = false;
            m_released.wakeAll();
        });
    }

    void insert(const QString& target, const QByteArray& secret) { locked([&] { m_secrets.insert(target, secret); }); }
    QByteArray secret(const QString& target) const { return locked([&] { return m_secrets.value(target); }); }
    bool isEmpty() const { return locked([&] { return m_secrets.isEmpty(); }); }

    bool failRemovals = false;  // set before the removals it affects

private:
    template <typename F>
    auto locked(F f) const -> decltype(f())
    {
        QMutexLocker lock(&m_mutex);
        return f();
    }

    bool waitWhileHanging(QMutexLocker<QMutex>& lock)
    {
        while (m_hanging && !m_cancelled)
            m_released.wait(lock.mutex());
        return !m_cancelled;
    }

    mutable QMutex m_mutex;
    QWaitCondition m_released;
    QHash<QString, QByteArray> m_secrets;
    bool m_hanging = false;
    bool m_cancelled = false;
};

// A shared handle on a store the test owns.
inline std::shared_ptr<CredentialStore> borrowed(CredentialStore& store)
{
    return std::shared_ptr<CredentialStore>(&store, [](CredentialStore*) {});
}
