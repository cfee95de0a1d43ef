#pragma once

#include "session/CredentialStore.h"

#include <mutex>

typedef struct _GCancellable GCancellable;

// The Secret Service (GNOME Keyring, KWallet) through libsecret. Every call is
// bounded: a call the service does not answer in time is cancelled and fails.
class SecretServiceCredentialStore : public CredentialStore
{
public:
    explicit SecretServiceCredentialStore(int timeoutMs = 3000);

    Result read(const QString& target, QByteArray& secret) override;
    Result write(const QString& target, const QString& userName, const QByteArray& secret) override;
    Result remove(const QString& target) override;
    void cancelPending() override;

private:
    // Registers the cancellable of the call under way; false once cancelled for good.
    bool beginCall(GCancellable* cancellable);
    void endCall();

    int m_timeoutMs;
    std::mutex m_mutex;
    GCancellable* m_active = nullptr;
    bool m_cancelled = false;
};
