#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// The operating system's store of secrets, holding one remembered login per target name.
class CredentialStore
{
public:
    enum class Result { Ok, NotFound, Failed };

    virtual ~CredentialStore() = default;

    // Fills `secret` with the stored bytes; the caller wipes it after use.
    virtual Result read(const QString& target, QByteArray& secret) = 0;
    virtual Result write(const QString& target, const QString& userName, const QByteArray& secret) = 0;
    virtual Result remove(const QString& target) = 0;
    // Called from another thread: the call under way and every later one fail at once.
    virtual void cancelPending() {}

    // The store of the platform the client runs on.
    static std::unique_ptr<CredentialStore> createPlatformStore();
};

// Overwrites the bytes with zeros, so no password lingers in freed memory.
void wipeBytes(QByteArray& bytes);
