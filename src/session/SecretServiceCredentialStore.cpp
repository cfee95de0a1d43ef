#include "session/SecretServiceCredentialStore.h"

#include "app/LogCategories.h"

#include <QtDebug>

#include <condition_variable>
#include <mutex>
#include <thread>

#undef signals  // libsecret's GLib headers use the name
#include <libsecret/secret.h>

namespace {

const SecretSchema* loginSchema()
{
    static const SecretSchema schema = {
        "org.moonlodge.Desktop.Login",
        SECRET_SCHEMA_NONE,
        {
            {"target", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SecretSchemaAttributeType(0)},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &schema;
}

// Cancels a libsecret call that runs longer than the timeout. The synchronous
// calls spin a private GLib loop, so the watch runs on its own thread.
class CallDeadline
{
public:
    explicit CallDeadline(int timeoutMs)
        : m_cancellable(g_cancellable_new())
        , m_watch([this, timeoutMs] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (!m_done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_finished; }))
                g_cancellable_cancel(m_cancellable);
        })
    {
    }

    ~CallDeadline()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        m_watch.join();
        g_object_unref(m_cancellable);
    }

    GCancellable* cancellable() const { return m_cancellable; }

private:
    GCancellable* m_cancellable;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_watch;
};

CredentialStore::Result failed(const char* operation, GError* error)
{
    qCWarning(lcSession) << "Archivio credenziali non disponibile:" << operation << (error ? error->message : "");
    if (error)
        g_error_free(error);
    return CredentialStore::Result::Failed;
}

}  // namespace

SecretServiceCredentialStore::SecretServiceCredentialStore(int timeoutMs)
    : m_timeoutMs(timeoutMs)
{
}

CredentialStore::Result SecretServiceCredentialStore::read(const QString& target, QByteArray& secret)
{
    const QByteArray targetUtf8 = target.toUtf8();
    GError* error = nullptr;
    gchar* stored = nullptr;
    {
        CallDeadline deadline(m_timeoutMs);
        if (!beginCall(deadline.cancellable()))
            return Result::Failed;
        stored = secret_password_lookup_sync(loginSchema(), deadline.cancellable(), &error, "target",
                                             targetUtf8.constData(), nullptr);
        endCall();
    }
    if (error)
        return failed("lettura", error);
    if (!stored)
        return Result::NotFound;
    secret = QByteArray(stored);
    secret_password_free(stored);  // wipes the service's copy
    return Result::Ok;
}

CredentialStore::Result SecretServiceCredentialStore::write(const QString& target, const QString& userName,
                                                            const QByteArray& secret)
{
    const QByteArray targetUtf8 = target.toUtf8();
    const QByteArray label = QStringLiteral("MoonLodge login (%1)").arg(userName).toUtf8();
    QByteArray text = secret;  // libsecret wants a NUL-terminated copy
    text.detach();
    GError* error = nullptr;
    gboolean stored = FALSE;
    {
        CallDeadline deadline(m_timeoutMs);
        if (!beginCall(deadline.cancellable())) {
            wipeBytes(text);
            return Result::Failed;
        }
        stored = secret_password_store_sync(loginSchema(), SECRET_COLLECTION_DEFAULT, label.constData(),
                                            text.constData(), deadline.cancellable(), &error, "target",
                                            targetUtf8.constData(), nullptr);
        endCall();
    }
    wipeBytes(text);
    if (error || !stored)
        return failed("scrittura", error);
    return Result::Ok;
}

CredentialStore::Result SecretServiceCredentialStore::remove(const QString& target)
{
    const QByteArray targetUtf8 = target.toUtf8();
    GError* error = nullptr;
    gboolean removed = FALSE;
    {
        CallDeadline deadline(m_timeoutMs);
        if (!beginCall(deadline.cancellable()))
            return Result::Failed;
        removed = secret_password_clear_sync(loginSchema(), deadline.cancellable(), &error, "target",
                                             targetUtf8.constData(), nullptr);
        endCall();
    }
    if (error)
        return failed("rimozione", error);
    return removed ? Result::Ok : Result::NotFound;
}

void SecretServiceCredentialStore::cancelPending()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancelled = true;
    if (m_active)
        g_cancellable_cancel(m_active);
}

bool SecretServiceCredentialStore::beginCall(GCancellable* cancellable)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_cancelled)
        return false;
    m_active = cancellable;
    return true;
}

void SecretServiceCredentialStore::endCall()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_active = nullptr;
}

std::unique_ptr<CredentialStore> CredentialStore::createPlatformStore()
{
    return std::make_unique<SecretServiceCredentialStore>();
}
