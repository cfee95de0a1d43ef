// libFuzzer target: arbitrary text frames through the real-time channel's
// frame handler and event parser. Nothing may crash, hang or leak.
#include "realtime/RealtimeChannel.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QNetworkCookieJar>

#include <cstddef>
#include <cstdint>

namespace {

void silence(QtMsgType, const QMessageLogContext&, const QString&) {}

RealtimeChannel& channel()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static QNetworkCookieJar jar;
    static RealtimeChannel instance(&jar);
    static bool connected = [] {
        qInstallMessageHandler(silence);
        // What the window reads of an event.
        QObject::connect(&instance, &RealtimeChannel::voiceSignalReceived, [](const QString&, const QJsonValue& data) {
            volatile qsizetype size = data.toObject().size() + data.toArray().size();
            (void)size;
        });
        QObject::connect(&instance, &RealtimeChannel::chatMessageReceived, [](const QJsonValue& message) {
            volatile qsizetype size = message.toObject().value(QLatin1String("text")).toString().size();
            (void)size;
        });
        return true;
    }();
    (void)connected;
    return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const QString frame = QString::fromUtf8(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
    channel().handleRealtimeFrame(frame);
    QString name;
    QJsonValue data;
    RealtimeChannel::parseEventFrame(frame, name, data);
    return 0;
}
