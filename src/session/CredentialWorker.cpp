#include "session/CredentialWorker.h"

CredentialWorker::CredentialWorker(std::shared_ptr<CredentialStore> store, QObject* parent)
    : QObject(parent)
    , m_store(std::move(store))
    , m_runner(new QObject)
{
    m_thread.setObjectName(QStringLiteral("credentialStore"));
    m_runner->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_runner, &QObject::deleteLater);
    m_thread.start();
}

CredentialWorker::~CredentialWorker()
{
    m_stopping = true;
    m_store->cancelPending();
    // Calls queued before this point return at once; the thread then ends.
    QMetaObject::invokeMethod(m_runner, [this] { m_thread.quit(); }, Qt::QueuedConnection);
    m_thread.wait();
}

void CredentialWorker::post(std::function<std::function<void()>()> call, QObject* context)
{
    QMetaObject::invokeMethod(
        m_runner,
        [this, call = std::move(call), context = QPointer<QObject>(context)] {
            if (m_stopping)
                return;
            std::function<void()> deliver = call();
            // Delivered through this object, which outlives the thread; the
            // context is looked at on its own thread only.
            QMetaObject::invokeMethod(
                this,
                [deliver = std::move(deliver), context] {
                    if (context)
                        deliver();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void CredentialWorker::read(const QString& target, QObject* context, ReadDone done)
{
    post(
        [this, target, done = std::move(done)]() -> std::function<void()> {
            QByteArray secret;
            const CredentialStore::Result result = m_store->read(target, secret);
            return [done, result, secret]() mutable {
                done(result, secret);
                wipeBytes(secret);
            };
        },
        context);
}

void CredentialWorker::write(const QString& target, const QString& userName, QByteArray secret, QObject* context,
                             Done done)
{
    post(
        [this, target, userName, secret, done = std::move(done)]() mutable -> std::function<void()> {
            const CredentialStore::Result result = m_store->write(target, userName, secret);
            wipeBytes(secret);
            return [done, result] { done(result); };
        },
        context);
}

void CredentialWorker::remove(const QString& target, QObject* context, Done done)
{
    post(
        [this, target, done = std::move(done)]() -> std::function<void()> {
            const CredentialStore::Result result = m_store->remove(target);
            return [done, result] { done(result); };
        },
        context);
}
