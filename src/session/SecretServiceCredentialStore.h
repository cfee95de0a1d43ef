#pragma once

#include "session/CredentialStore.h"

// The Secret Service (GNOME Keyring, KWallet) through libsecret. Every call is
// bounded: a call the service does not answer in time is cancelled and fails.
class SecretServiceCredentialStore : public CredentialStore
{
public:
    explicit SecretServiceCredentialStore(int timeoutMs = 3000);

    Result read(const QString& target, QByteArray& secret) override;
    Result write(const QString& target, const QString& userName, const QByteArray& secret) override;
    Result remove(const QString& target) override;

private:
    int m_timeoutMs;
};
