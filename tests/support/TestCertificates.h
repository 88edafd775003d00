#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A throwaway certificate authority and a server certificate it signed for
// the given host names and IP addresses, made with `openssl` in a temporary
// folder that lives as long as the object. Nothing trusts the authority until
// a test says so (TrustedAuthority).
class TestCertificates
{
public:
    explicit TestCertificates(const QStringList &hosts);

    bool isValid() const { return m_valid; }
    QString errorString() const { return m_error; }

    // PEM files, for a process: the authority, the server's certificate
    // (with the authority's after it) and the server's private key.
    QString authorityFile() const;
    QString serverChainFile() const;
    QString serverKeyFile() const;

    QSslCertificate authority() const;
    QList<QSslCertificate> serverChain() const;
    QSslKey serverKey() const;

private:
    bool openssl(const QStringList &arguments);

    QTemporaryDir m_dir;
    bool m_valid = false;
    QString m_error;
};

// Adds an authority to QSslConfiguration::defaultConfiguration() of this
// process for the object's lifetime, as the owner of a dialog may do; the
// previous default comes back afterwards.
class TrustedAuthority
{
public:
    explicit TrustedAuthority(const QSslCertificate &authority);
    ~TrustedAuthority();
    TrustedAuthority(const TrustedAuthority &) = delete;
    TrustedAuthority &operator=(const TrustedAuthority &) = delete;

private:
    QSslConfiguration m_previous;
};
