#pragma once

#include "UpdateOffer.h"

#include <QByteArray>
#include <QUrl>

#include <optional>

class QJsonDocument;
struct ProductIdentity;

// The texts of the update-check exchange with the update service.
namespace CheckExchange {

// A check answer is a small JSON document; anything larger is refused.
constexpr qint64 kMaxAnswerBytes = 1024 * 1024;

// <scheme>://<update host>/ver1/checkUpdate; scheme (http or https) and host
// are fixed when building.
QUrl checkUrl();
QString checkPath();

// The publisher's Ed25519 public key (standard base64) that an installer must
// be signed with before it is started; empty when the build names none, and
// installers are started unchecked.
QByteArray installerPublicKey();

// Whether an offer may name this installer URL: a build that asks the
// service over https fetches installers over https only; an offer of anything
// else counts as a failed check.
bool acceptsInstallerUrl(const QString &url);

// The request body: one line of JSON, UTF-8, every value a string.
// `secondsSinceEpoch` fills machine_code and guid alike.
QByteArray requestBody(const ProductIdentity &identity, quint64 secondsSinceEpoch);

// An offer when the answer is an object whose "code" is the number 1.
std::optional<UpdateOffer> interpretAnswer(const QJsonDocument &answer);

} // namespace CheckExchange
