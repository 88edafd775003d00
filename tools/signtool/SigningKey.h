#pragma once

#include <QByteArray>
#include <QString>

// The publisher's Ed25519 key pair, as the signing tool and the stand-in
// update service use it. On disk the secret key is the standard base64 of its
// 32-byte seed (the RFC 8032 private key, which OpenSSL takes too) on one
// line; the public key the same way, the form the build option takes.
class SigningKey
{
public:
    static SigningKey generate();
    static SigningKey fromSeed(const QByteArray &seed);
    // Reads a secret key file; an invalid key (with `error` set) when it
    // cannot be read or holds anything but one key.
    static SigningKey fromFile(const QString &path, QString *error = nullptr);

    bool isValid() const { return !m_secret.isEmpty(); }
    QByteArray seed() const;
    QByteArray publicKey() const;

    // The 64-byte detached signature of the bytes, or of a file's bytes as
    // they stand on disk (empty when the file cannot be read whole).
    QByteArray sign(const uchar *data, qint64 size) const;
    QByteArray signFile(const QString &path) const;

private:
    QByteArray m_secret; // libsodium's form: the seed, then the public key
};
