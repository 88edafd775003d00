#include "TestCertificates.h"

#include "TestFiles.h"
#include "TestWait.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>

using TestFiles::readFile;

TestCertificates::TestCertificates(const QStringList &hosts)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }
    QStringList names;
    for (const QString &host : hosts)
        names << (QHostAddress(host).isNull() ? QStringLiteral("DNS:") : QStringLiteral("IP:")) + host;
    // A configuration of its own, so the system's openssl.cnf adds nothing.
    const QByteArray config = "[req]\n"
                              "distinguished_name = dn\n"
                              "[dn]\n"
                              "[authority]\n"
                              "basicConstraints = critical,CA:TRUE\n"
                              "keyUsage = critical,keyCertSign,cRLSign\n"
                              "subjectKeyIdentifier = hash\n"
                              "[server]\n"
                              "basicConstraints = critical,CA:FALSE\n"
                              "keyUsage = critical,digitalSignature\n"
                              "extendedKeyUsage = serverAuth\n"
                              "subjectAltName = "
            + names.join(QLatin1Char(',')).toLatin1()
            + "\n"
              "authorityKeyIdentifier = keyid\n"
              "subjectKeyIdentifier = hash\n";
    QFile configFile(m_dir.filePath(QStringLiteral("openssl.cnf")));
    if (!configFile.open(QIODevice::WriteOnly) || configFile.write(config) != config.size()) {
        m_error = QStringLiteral("cannot write openssl.cnf");
        return;
    }
    configFile.close();

    const QStringList newKey{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                             QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    const QString cnf = configFile.fileName();
    m_valid = openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-config"), cnf,
                                  QStringLiteral("-extensions"), QStringLiteral("authority"), QStringLiteral("-subj"),
                                  QStringLiteral("/CN=Orvalin throwaway test authority"), QStringLiteral("-days"),
                                  QStringLiteral("2"), QStringLiteral("-keyout"), QStringLiteral("ca.key"),
                                  QStringLiteral("-out"), QStringLiteral("ca.pem")}
                      + newKey)
            && openssl(QStringList{QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-config"), cnf,
                                   QStringLiteral("-subj"), QStringLiteral("/CN=") + hosts.value(0),
                                   QStringLiteral("-keyout"), QStringLiteral("server.key"), QStringLiteral("-out"),
                                   QStringLiteral("server.csr")}
                       + newKey)
            && openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                        QStringLiteral("server.csr"), QStringLiteral("-CA"), QStringLiteral("ca.pem"),
                        QStringLiteral("-CAkey"), QStringLiteral("ca.key"), QStringLiteral("-set_serial"),
                        QStringLiteral("2"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"),
                        cnf, QStringLiteral("-extensions"), QStringLiteral("server"), QStringLiteral("-out"),
                        QStringLiteral("server.pem")});
    if (!m_valid)
        return;
    QFile chain(serverChainFile());
    const QByteArray chainPem = readFile(m_dir.filePath(QStringLiteral("server.pem"))) + readFile(authorityFile());
    m_valid = chain.open(QIODevice::WriteOnly) && chain.write(chainPem) == chainPem.size();
    chain.close();
    if (m_valid && (authority().isNull() || serverChain().size() != 2 || serverKey().isNull())) {
        m_error = QStringLiteral("openssl made nothing Qt reads");
        m_valid = false;
    }
}

bool TestCertificates::openssl(const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(TestWait::kWait) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        m_error = QStringLiteral("openssl %1 failed: %2")
                          .arg(arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

QString TestCertificates::authorityFile() const
{
    return m_dir.filePath(QStringLiteral("ca.pem"));
}

QString TestCertificates::serverChainFile() const
{
    return m_dir.filePath(QStringLiteral("server-chain.pem"));
}

QString TestCertificates::serverKeyFile() const
{
    return m_dir.filePath(QStringLiteral("server.key"));
}

QSslCertificate TestCertificates::authority() const
{
    return QSslCertificate::fromPath(authorityFile()).value(0);
}

QList<QSslCertificate> TestCertificates::serverChain() const
{
    return QSslCertificate::fromPath(serverChainFile());
}

QSslKey TestCertificates::serverKey() const
{
    return QSslKey(readFile(serverKeyFile()), QSsl::Ec);
}

TrustedAuthority::TrustedAuthority(const QSslCertificate &authority)
    : m_previous(QSslConfiguration::defaultConfiguration())
{
    QSslConfiguration trusting = m_previous;
    trusting.addCaCertificate(authority);
    QSslConfiguration::setDefaultConfiguration(trusting);
}

TrustedAuthority::~TrustedAuthority()
{
    QSslConfiguration::setDefaultConfiguration(m_previous);
}
