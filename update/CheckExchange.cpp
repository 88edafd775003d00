#include "CheckExchange.h"

#include "ProductIdentity.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#if !defined(ORVALIN_UPDATE_HOST) || !defined(ORVALIN_UPDATE_SCHEME) || !defined(ORVALIN_UPDATE_PUBLIC_KEY)
#error "ORVALIN_UPDATE_HOST, ORVALIN_UPDATE_SCHEME and ORVALIN_UPDATE_PUBLIC_KEY come from the build"
#endif

namespace CheckExchange {

namespace {

// Escapes a value for a JSON string: the quote, the backslash and the
// control characters; everything else goes out as UTF-8.
QByteArray jsonString(const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 8);
    for (const char c : utf8) {
        const uchar u = uchar(c);
        switch (u) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (u < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[u >> 4];
                out += hex[u & 0xf];
            } else {
                out += c;
            }
        }
    }
    return out;
}

} // namespace

QString checkPath()
{
    return QStringLiteral("/ver1/checkUpdate");
}

QByteArray installerPublicKey()
{
    return QByteArrayLiteral(ORVALIN_UPDATE_PUBLIC_KEY);
}

QUrl checkUrl()
{
    return QUrl(QStringLiteral(ORVALIN_UPDATE_SCHEME "://" ORVALIN_UPDATE_HOST "/ver1/checkUpdate"),
                QUrl::TolerantMode);
}

bool acceptsInstallerUrl(const QString &url)
{
    if (checkUrl().scheme() != QLatin1String("https"))
        return true;
    const QUrl parsed(url, QUrl::TolerantMode);
    return parsed.isValid() && parsed.scheme() == QLatin1String("https") && !parsed.host().isEmpty();
}

QByteArray requestBody(const ProductIdentity &identity, quint64 secondsSinceEpoch)
{
    const QByteArray clock = QByteArray::number(secondsSinceEpoch);
    QByteArray body;
    body += "{\"software_name\":\"";
    body += jsonString(identity.urlName);
    body += "\",\"software_version\":\"";
    body += jsonString(identity.version);
    body += "\",\"software_package\":\"";
    body += jsonString(identity.setupName);
    body += "\",\"machine_code\":\"";
    body += clock;
    body += "\",\"guid\":\"";
    body += clock;
    body += "\",\"time\":\"\",\"token\":\"\"}";
    return body;
}

std::optional<UpdateOffer> interpretAnswer(const QJsonDocument &answer)
{
    if (!answer.isObject())
        return std::nullopt;
    const QJsonObject root = answer.object();
    if (root.value(QStringLiteral("code")).toInt(0) != 1)
        return std::nullopt;
    const QJsonObject data = root.value(QStringLiteral("responseData")).toObject();
    UpdateOffer offer;
    offer.downloadUrl = data.value(QStringLiteral("software_download")).toString();
    offer.version = data.value(QStringLiteral("software_version")).toString();
    offer.notes = data.value(QStringLiteral("software_info")).toString();
    offer.signature = data.value(QStringLiteral("software_signature")).toString();
    return offer;
}

} // namespace CheckExchange
