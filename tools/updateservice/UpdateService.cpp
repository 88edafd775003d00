#include "UpdateService.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

UpdateService::UpdateService(UpdateServiceOptions options)
    : m_options(std::move(options))
{}

QByteArray UpdateService::checkAnswer(bool offer, const QString &downloadUrl, const QString &version,
                                      const QString &notes)
{
    QJsonObject root;
    if (offer) {
        root.insert(QStringLiteral("code"), 1);
        root.insert(QStringLiteral("responseData"),
                    QJsonObject{{QStringLiteral("software_download"), downloadUrl},
                                {QStringLiteral("software_version"), version},
                                {QStringLiteral("software_info"), notes}});
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
        const QString url
                = QStringLiteral("http://") + QString::fromLatin1(host) + QString::fromLatin1(m_options.installerPath);
        response.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
        response.body = checkAnswer(m_options.offer, url, m_options.version, m_options.notes);
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
