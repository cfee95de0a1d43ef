#include "DevServer.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QtDebug>

#include <csignal>
#include <sys/prctl.h>

namespace {
constexpr int kStartTimeoutMs = 20000;
constexpr int kControlTimeoutMs = 10000;
}

DevServer::~DevServer() { stop(); }

bool DevServer::start(const QStringList& extraArguments)
{
    const QString script = QStringLiteral(MOONLODGE_SOURCE_DIR "/devserver/run.py");
    QStringList arguments{script, QStringLiteral("--host"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                          QStringLiteral("0"), QStringLiteral("--data"), m_dataDir.path(),
                          QStringLiteral("--test-control")};
    arguments += extraArguments;
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test that crashes must not leave its server behind.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(QStringLiteral("/usr/bin/python3"), arguments);

    const QByteArray marker("MOONLODGE_DEVSERVER_READY ");
    QByteArray output;
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        m_process.waitForReadyRead(200);
        output += m_process.readAllStandardOutput();
        const int at = output.indexOf(marker);
        const int end = output.indexOf('\n', at);
        if (at >= 0 && end > at) {
            m_url = QUrl(QString::fromLatin1(output.mid(at + marker.size(), end - at - marker.size()).trimmed()));
            qputenv("MOONLODGE_BASE_URL", m_url.toString().toLatin1());
            return true;
        }
    }
    qWarning() << "dev server did not start:" << output;
    return false;
}

void DevServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
}

bool DevServer::restart()
{
    stop();
    return start({QStringLiteral("--port"), QString::number(m_url.port())});
}

QJsonObject DevServer::control(const QByteArray& method, const QString& path, const QJsonObject& body)
{
    QNetworkAccessManager network;
    QNetworkRequest request(m_url.resolved(QUrl(path)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setTransferTimeout(kControlTimeoutMs);
    const QByteArray payload = body.isEmpty() ? QByteArray() : QJsonDocument(body).toJson(QJsonDocument::Compact);
    QNetworkReply* reply = network.sendCustomRequest(request, method, payload);

    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const QJsonObject result = QJsonDocument::fromJson(reply->readAll()).object();
    if (reply->error() != QNetworkReply::NoError)
        qWarning() << "test control" << method << path << "failed:" << reply->errorString();
    delete reply;
    return result;
}

QJsonObject DevServer::lastRequest(const QString& path)
{
    QJsonObject last;
    for (const QJsonValue& entry : requests())
        if (entry.toObject().value(QLatin1String("path")).toString() == path)
            last = entry.toObject();
    return last;
}

int DevServer::requestCount(const QString& path, const QString& method)
{
    const QString stem = path.endsWith(QLatin1Char('*')) ? path.chopped(1) : QString();
    int count = 0;
    for (const QJsonValue& value : requests()) {
        const QJsonObject request = value.toObject();
        const QString decoded = request.value(QLatin1String("path")).toString();
        const QString raw = request.value(QLatin1String("raw_path")).toString().section(QLatin1Char('?'), 0, 0);
        count += (method.isEmpty() || request.value(QLatin1String("method")).toString() == method)
                 && (stem.isEmpty() ? decoded == path || raw == path : decoded.startsWith(stem));
    }
    return count;
}

void DevServer::failNext(const QString& path, const QJsonObject& failure)
{
    QJsonObject body = failure;
    body.insert(QStringLiteral("path"), path);
    control("POST", QStringLiteral("/__test__/fail"), body);
}
