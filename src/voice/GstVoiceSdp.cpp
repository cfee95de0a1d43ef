#include <QByteArray>

// glib's headers use "signals" as a name, which Qt defines as a keyword.
#undef signals
#include "voice/GstVoiceSdp.h"

GstSDPMessage* GstVoiceSdp::parse(const QString& text)
{
    GstSDPMessage* sdp = nullptr;
    gst_sdp_message_new(&sdp);
    const QByteArray bytes = text.toUtf8();
    if (gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(bytes.constData()), guint(bytes.size()), sdp)
            != GST_SDP_OK
        || gst_sdp_message_medias_len(sdp) == 0) {
        gst_sdp_message_free(sdp);
        return nullptr;
    }
    return sdp;
}

QStringList GstVoiceSdp::mids(const GstSDPMessage* sdp)
{
    QStringList mids;
    for (guint i = 0; i < gst_sdp_message_medias_len(sdp); ++i) {
        const gchar* mid = gst_sdp_media_get_attribute_val(gst_sdp_message_get_media(sdp, i), "mid");
        mids << QString::fromUtf8(mid ? mid : "");
    }
    return mids;
}

int GstVoiceSdp::opusPayloadType(const GstSDPMessage* sdp)
{
    for (guint i = 0; i < gst_sdp_message_medias_len(sdp); ++i) {
        const GstSDPMedia* media = gst_sdp_message_get_media(sdp, i);
        if (qstrcmp(gst_sdp_media_get_media(media), "audio") != 0)
            continue;
        for (guint a = 0; a < gst_sdp_media_attributes_len(media); ++a) {
            const GstSDPAttribute* attribute = gst_sdp_media_get_attribute(media, a);
            if (qstrcmp(attribute->key, "rtpmap") != 0 || !attribute->value)
                continue;
            const QString value = QString::fromUtf8(attribute->value);
            const qsizetype space = value.indexOf(QLatin1Char(' '));
            if (space > 0 && value.mid(space + 1).startsWith(QLatin1String("opus/48000"), Qt::CaseInsensitive))
                return value.left(space).toInt();
        }
        return -1;
    }
    return -1;
}

void GstVoiceSdp::unifyBundleIceCredentials(GstSDPMessage* sdp)
{
    const guint count = gst_sdp_message_medias_len(sdp);
    const gchar* ufrag = nullptr;
    const gchar* pwd = nullptr;
    for (guint i = 0; i < count && !ufrag; ++i) {
        const GstSDPMedia* media = gst_sdp_message_get_media(sdp, i);
        ufrag = gst_sdp_media_get_attribute_val(media, "ice-ufrag");
        pwd = gst_sdp_media_get_attribute_val(media, "ice-pwd");
    }
    if (count < 2 || !ufrag || !pwd)
        return;
    const QByteArray firstUfrag(ufrag);
    const QByteArray firstPwd(pwd);
    for (guint i = 0; i < count; ++i) {
        GstSDPMedia* media = const_cast<GstSDPMedia*>(gst_sdp_message_get_media(sdp, i));
        for (guint a = 0; a < gst_sdp_media_attributes_len(media); ++a) {
            const GstSDPAttribute* attribute = gst_sdp_media_get_attribute(media, a);
            const QByteArray key(attribute->key);
            if (key != "ice-ufrag" && key != "ice-pwd")
                continue;
            GstSDPAttribute replacement;
            gst_sdp_attribute_set(&replacement, attribute->key,
                                  key == "ice-ufrag" ? firstUfrag.constData() : firstPwd.constData());
            gst_sdp_media_replace_attribute(media, a, &replacement);
        }
    }
}

QString GstVoiceSdp::normalizedCandidate(const QString& text)
{
    QString candidate = text.trimmed();
    if (candidate.startsWith(QLatin1String("a=")))
        candidate = candidate.mid(2);
    if (!candidate.startsWith(QLatin1String("candidate:")))
        candidate.prepend(QLatin1String("candidate:"));
    const QStringList parts = candidate.mid(10).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    bool component = false;
    bool port = false;
    if (parts.size() >= 8) {
        parts.at(1).toUInt(&component);
        parts.at(5).toUInt(&port);
    }
    return component && port && parts.at(6) == QLatin1String("typ") ? candidate : QString();
}
