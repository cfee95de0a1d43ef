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
        QObject::connect(&instance, &RealtimeChannel::eventReceived, [](const QString& name, const QJsonValue& data) {
            // What the window's dispatcher reads of an event.
            volatile bool voice = name.startsWith(QLatin1String("voice_"));
            volatile qsizetype size = data.toObject().size() + data.toArray().size();
            (void)voice;
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
