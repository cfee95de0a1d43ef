#pragma once

#include "session/CredentialStore.h"

#include <QObject>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

// Runs the credential store's calls on a thread of their own, one after the
// other, and hands each result back on the thread that asked, queued: a
// keyring that wants a prompt or does not answer never holds up the window.
// A result whose context object is gone by then is dropped.
class CredentialWorker : public QObject
{
    Q_OBJECT

public:
    using ReadDone = std::function<void(CredentialStore::Result, QByteArray secret)>;
    using Done = std::function<void(CredentialStore::Result)>;

    explicit CredentialWorker(std::shared_ptr<CredentialStore> store, QObject* parent = nullptr);
    // Cancels the call under way, drops those not started, and ends the thread.
    ~CredentialWorker() override;

    // `done` receives the stored bytes; it wipes them after use.
    void read(const QString& target, QObject* context, ReadDone done);
    // The secret is wiped once written.
    void write(const QString& target, const QString& userName, QByteArray secret, QObject* context, Done done);
    void remove(const QString& target, QObject* context, Done done);

private:
    // Runs `call` on the worker thread, then `deliver` here while `context` lives.
    void post(std::function<std::function<void()>()> call, QObject* context);

    std::shared_ptr<CredentialStore> m_store;
    QThread m_thread;
    QObject* m_runner;
    std::atomic<bool> m_stopping{false};
};
