#include "UpdateService.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>

UpdateService::UpdateService(UpdateServiceOptions options)
    : m_options(std::move(options))
{}

QByteArray UpdateService::checkAnswer(bool offer, const QString &downloadUrl, const QString &version,
                                      const QString &notes, const QString &signature)
{
    QJsonObject root;
    if (offer) {
        root.insert(QStringLiteral("code"), 1);
        QJsonObject data{{QStringLiteral("software_download"), downloadUrl},
                         {QStringLiteral("software_version"), version},
                         {QStringLiteral("software_info"), notes}};
        if (!signature.isEmpty())
            data.insert(QStringLiteral("software_signature"), signature);
        root.insert(QStringLiteral("responseData"), data);
    } else {
        root.insert(QStringLiteral("code"), 0);
        root.insert(QStringLiteral("msg"), QStringLiteral("no update"));
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

HttpResponse UpdateService::answer(const HttpRequest &request) const
{
    HttpResponse response;
    const QByteArray path = request.path;
    if (request.method == "POST" && path.compare("/ver1/checkUpdate", Qt::CaseInsensitive) == 0) {
        const QByteArray host = m_options.downloadHost.isEmpty() ? request.host : m_options.downloadHost;
        // Asked over TLS, the installer is offered over TLS too.
        const QString url = (request.secure ? QStringLiteral("https://") : QStringLiteral("http://"))
                + QString::fromLatin1(host) + QString::fromLatin1(m_options.installerPath);
        response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
        const QByteArray signature = m_options.offer ? installerSignature() : QByteArray();
        response.body = checkAnswer(m_options.offer, url, m_options.version, m_options.notes,
                                    QString::fromLatin1(signature.toBase64()));
        return response;
    }
    if (request.method == "GET" && path == m_options.installerPath) {
        if (!m_options.installerFile.isEmpty()) {
            QFile file(m_options.installerFile);
            if (!file.open(QIODevice::ReadOnly)) {
                response.status = 500;
                return response;
            }
            response.body = file.readAll();
        } else {
            response.generatedSize = m_options.installerSize;
        }
        return response;
    }
    response.status = 404;
    response.body = "not found";
    return response;
}

QByteArray UpdateService::installerSignature() const
{
    const SigningKey &key = m_options.signingKey;
    if (!key.isValid())
        return QByteArray();
    QByteArray signature;
    if (!m_options.installerFile.isEmpty()) {
        // Signed at every check: the file may be replaced while the service runs.
        signature = key.signFile(m_options.installerFile);
    } else {
        if (m_generatedSignature.isEmpty()) {
            QByteArray installer(int(qMin<qint64>(m_options.installerSize, std::numeric_limits<int>::max())), '\0');
            if (installer.size() == m_options.installerSize) {
                MiniHttpServer::fillPattern(installer.data(), 0, installer.size());
                m_generatedSignature
                        = key.sign(reinterpret_cast<const uchar *>(installer.constData()), installer.size());
            }
        }
        signature = m_generatedSignature;
    }
    if (m_options.badSignature && !signature.isEmpty())
        signature[7] = char(signature[7] ^ 0x10);
    return signature;
}
