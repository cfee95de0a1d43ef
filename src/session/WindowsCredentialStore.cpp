#include "session/WindowsCredentialStore.h"

#include <windows.h>
#include <wincred.h>


namespace {

std::wstring wide(const QString& text)
{
    return text.toStdWString();
}

}  // namespace

CredentialStore::Result WindowsCredentialStore::read(const QString& target, QByteArray& secret)
{
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(wide(target).c_str(), CRED_TYPE_GENERIC, 0, &credential))
        return GetLastError() == ERROR_NOT_FOUND ? Result::NotFound : Result::Failed;

    secret = QByteArray(reinterpret_cast<const char*>(credential->CredentialBlob),
                        static_cast<qsizetype>(credential->CredentialBlobSize));
    SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
    CredFree(credential);
    return Result::Ok;
}

CredentialStore::Result WindowsCredentialStore::write(const QString& target, const QString& userName,
                                                      const QByteArray& secret)
{
    std::wstring targetName = wide(target);
    std::wstring user = wide(userName);
    QByteArray blob = secret;
    blob.detach();

    CREDENTIALW credential = {};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = targetName.data();
    credential.UserName = user.data();
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(blob.data());
    credential.CredentialBlobSize = static_cast<DWORD>(blob.size());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;

    const bool written = CredWriteW(&credential, 0);
    wipeBytes(blob);
    return written ? Result::Ok : Result::Failed;
}

CredentialStore::Result WindowsCredentialStore::remove(const QString& target)
{
    if (CredDeleteW(wide(target).c_str(), CRED_TYPE_GENERIC, 0))
        return Result::Ok;
    return GetLastError() == ERROR_NOT_FOUND ? Result::NotFound : Result::Failed;
}

std::unique_ptr<CredentialStore> CredentialStore::createPlatformStore()
{
    return std::make_unique<WindowsCredentialStore>();
}
