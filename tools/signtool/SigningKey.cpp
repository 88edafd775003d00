#include "SigningKey.h"

#include "InstallerSignature.h"

#include <QFile>

#include <sodium.h>

namespace {

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

} // namespace

SigningKey SigningKey::generate()
{
    QByteArray seed(crypto_sign_SEEDBYTES, '\0');
    if (!sodiumReady())
        return SigningKey();
    randombytes_buf(seed.data(), size_t(seed.size()));
    const SigningKey key = fromSeed(seed);
    sodium_memzero(seed.data(), size_t(seed.size()));
    return key;
}

SigningKey SigningKey::fromSeed(const QByteArray &seed)
{
    SigningKey key;
    if (seed.size() != crypto_sign_SEEDBYTES || !sodiumReady())
        return key;
    QByteArray publicKey(crypto_sign_PUBLICKEYBYTES, '\0');
    key.m_secret.resize(crypto_sign_SECRETKEYBYTES);
    crypto_sign_seed_keypair(reinterpret_cast<uchar *>(publicKey.data()),
                             reinterpret_cast<uchar *>(key.m_secret.data()),
                             reinterpret_cast<const uchar *>(seed.constData()));
    return key;
}

SigningKey SigningKey::fromFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return SigningKey();
    }
    // One line of base64; a key file is tiny, anything longer is no key file.
    QByteArray text = file.read(256).trimmed();
    const QByteArray seed = InstallerSignature::decodeExactly(text, crypto_sign_SEEDBYTES);
    sodium_memzero(text.data(), size_t(text.size()));
    SigningKey key = fromSeed(seed);
    if (!key.isValid() && error)
        *error = QStringLiteral("%1 holds no secret key (base64 of 32 bytes)").arg(path);
    return key;
}

QByteArray SigningKey::seed() const
{
    return m_secret.left(crypto_sign_SEEDBYTES);
}

QByteArray SigningKey::publicKey() const
{
    return isValid() ? m_secret.mid(crypto_sign_SEEDBYTES) : QByteArray();
}

QByteArray SigningKey::sign(const uchar *data, qint64 size) const
{
    if (!isValid() || size < 0)
        return QByteArray();
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<uchar *>(signature.data()), nullptr, data, quint64(size),
                         reinterpret_cast<const uchar *>(m_secret.constData()));
    return signature;
}

QByteArray SigningKey::signFile(const QString &path) const
{
    QByteArray signature;
    InstallerSignature::withFileBytes(path, [&](const uchar *data, qint64 size) { signature = sign(data, size); });
    return signature;
}
