#pragma once

#include "session/CredentialStore.h"

// The Windows Credential Manager: one generic credential per target name.
class WindowsCredentialStore : public CredentialStore
{
public:
    Result read(const QString& target, QByteArray& secret) override;
    Result write(const QString& target, const QString& userName, const QByteArray& secret) override;
    Result remove(const QString& target) override;
};
