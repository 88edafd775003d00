#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// The publisher's Ed25519 key pair, as the signing tool and the stand-in
// update service use it. On disk the secret key is the standard base64 of its
// 32-byte seed (the RFC 8032 private key, which OpenSSL takes too) on one
// line; the public key the same way, the form the build option takes. The
// secret is wiped from memory when the last copy of a key goes.
class SigningKey
{
public:
    SigningKey() = default;
    SigningKey(const SigningKey &) = default;
    SigningKey(SigningKey &&) noexcept = default;
    SigningKey &operator=(SigningKey other) noexcept;
    ~SigningKey();

    static SigningKey generate();
    static SigningKey fromSeed(const QByteArray &seed);
    // Reads a secret key file, or the whole of an open one (`name` names it in
    // the error); an invalid key (with `error` set) when it cannot be read or
    // holds anything but exactly one key line.
    static SigningKey fromFile(const QString &path, QString *error = nullptr);
    static SigningKey read(QIODevice &file, const QString &name, QString *error = nullptr);

    bool isValid() const { return !m_secret.isEmpty(); }
    QByteArray seed() const;
    QByteArray publicKey() const;
    // Writes the secret key file's line; no copy of it is left in memory.
    bool writeSecret(QIODevice &file) const;

    // The 64-byte detached signature of the bytes, or of a file's bytes as
    // they stand on disk (empty when the file cannot be read whole).
    QByteArray sign(const uchar *data, qint64 size) const;
    QByteArray signFile(const QString &path) const;

private:
    static SigningKey fromSeedBytes(const uchar *seed);

    QByteArray m_secret; // libsodium's form: the seed, then the public key
};
