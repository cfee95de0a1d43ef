#pragma once

#include "session/CredentialStore.h"

#include <QHash>

// An in-memory credential store whose operations can be made to fail.
class FakeCredentialStore : public CredentialStore
{
public:
    Result read(const QString& target, QByteArray& secret) override
    {
        if (failReads)
            return Result::Failed;
        if (!secrets.contains(target))
            return Result::NotFound;
        secret = secrets.value(target);
        return Result::Ok;
    }

    Result write(const QString& target, const QString& userName, const QByteArray& secret) override
    {
        if (failWrites)
            return Result::Failed;
        secrets.insert(target, QByteArray(secret.constData(), secret.size()));
        userNames.insert(target, userName);
        return Result::Ok;
    }

    Result remove(const QString& target) override
    {
        ++removeCalls;
        if (failRemovals)
            return Result::Failed;
        return secrets.remove(target) > 0 ? Result::Ok : Result::NotFound;
    }

    QHash<QString, QByteArray> secrets;
    QHash<QString, QString> userNames;
    bool failReads = false;
    bool failWrites = false;
    bool failRemovals = false;
    int removeCalls = 0;
};
