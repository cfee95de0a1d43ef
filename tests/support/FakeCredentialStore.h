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
        return call([&] {
            secret = m_secrets.value(target);
            return m_secrets.contains(target) ? Result::Ok : Result::NotFound;
        });
    }

    Result write(const QString& target, const QString&, const QByteArray& secret) override
    {
        return call([&] {
            m_secrets.insert(target, QByteArray(secret.constData(), secret.size()));
            return Result::Ok;
        });
    }

    Result remove(const QString& target) override
    {
        return call([&] { return failRemovals ? Result::Failed : m_secrets.remove(target) ? Result::Ok : Result::NotFound; });
    }

    void cancelPending() override
    {
        locked([&] {
            m_cancelled = true;
            m_released.wakeAll();
        });
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

    // One call of the store: it waits while hanging, and fails once cancelled.
    template <typename F>
    Result call(F f)
    {
        QMutexLocker lock(&m_mutex);
        while (m_hanging && !m_cancelled)
            m_released.wait(&m_mutex);
        return m_cancelled ? Result::Failed : f();
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
