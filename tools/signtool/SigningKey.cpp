#include "SigningKey.h"

#include "InstallerSignature.h"

#include <QFile>

#include <sodium.h>

namespace {

// The length of the secret key file's base64, without its line end.
constexpr int kSeedBase64 = (crypto_sign_SEEDBYTES + 2) / 3 * 4;

bool sodiumReady()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

} // namespace

SigningKey &SigningKey::operator=(SigningKey other) noexcept
{
    // What this key held goes with `other`, whose destructor wipes it.
    m_secret.swap(other.m_secret);
    return *this;
}

SigningKey::~SigningKey()
{
    // Copies share the bytes; the last one wipes them.
    if (!m_secret.isEmpty() && m_secret.isDetached())
        sodium_memzero(m_secret.data(), size_t(m_secret.size()));
}

SigningKey SigningKey::generate()
{
    uchar seed[crypto_sign_SEEDBYTES];
    if (!sodiumReady())
        return SigningKey();
    randombytes_buf(seed, sizeof seed);
    SigningKey key = fromSeedBytes(seed);
    sodium_memzero(seed, sizeof seed);
    return key;
}

SigningKey SigningKey::fromSeed(const QByteArray &seed)
{
    if (seed.size() != crypto_sign_SEEDBYTES)
        return SigningKey();
    return fromSeedBytes(reinterpret_cast<const uchar *>(seed.constData()));
}

SigningKey SigningKey::fromSeedBytes(const uchar *seed)
{
    SigningKey key;
    if (!sodiumReady())
        return key;
    uchar publicKey[crypto_sign_PUBLICKEYBYTES];
    key.m_secret.resize(crypto_sign_SECRETKEYBYTES);
    crypto_sign_seed_keypair(publicKey, reinterpret_cast<uchar *>(key.m_secret.data()), seed);
    return key;
}

SigningKey SigningKey::fromFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        if (error)
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return SigningKey();
    }
    return read(file, path, error);
}

SigningKey SigningKey::read(QIODevice &file, const QString &name, QString *error)
{
    // The whole file is one line: the key and its line end, nothing before or
    // after it, so that a key followed by anything else is no key file. One
    // byte more than that is enough to tell.
    char text[kSeedBase64 + 3];
    qint64 size = 0;
    bool failed = false;
    while (size < qint64(sizeof text)) {
        const qint64 got = file.read(text + size, qint64(sizeof text) - size);
        failed = got < 0;
        if (got <= 0)
            break;
        size += got;
    }
    qint64 line = size;
    if (line > 0 && text[line - 1] == '\n')
        --line;
    if (line > 0 && text[line - 1] == '\r' && line < size)
        --line;

    SigningKey key;
    uchar seed[crypto_sign_SEEDBYTES];
    size_t seedSize = 0;
    const char *end = nullptr;
    // Padding and unused bits are checked: each key has one spelling.
    // A read that failed may have hidden what follows the key.
    if (!failed && line == kSeedBase64 && sodiumReady()
        && sodium_base642bin(seed, sizeof seed, text, size_t(line), nullptr, &seedSize, &end,
                             sodium_base64_VARIANT_ORIGINAL)
                == 0
        && seedSize == sizeof seed && end == text + line)
        key = fromSeedBytes(seed);
    sodium_memzero(seed, sizeof seed);
    sodium_memzero(text, sizeof text);
    if (!key.isValid() && error)
        *error = QStringLiteral("%1 holds no secret key (one line: base64 of 32 bytes)").arg(name);
    return key;
}

bool SigningKey::writeSecret(QIODevice &file) const
{
    if (!isValid())
        return false;
    char line[kSeedBase64 + 2];
    sodium_bin2base64(line, sizeof line, reinterpret_cast<const uchar *>(m_secret.constData()), crypto_sign_SEEDBYTES,
                      sodium_base64_VARIANT_ORIGINAL);
    line[kSeedBase64] = '\n';
    const bool written = file.write(line, kSeedBase64 + 1) == kSeedBase64 + 1;
    sodium_memzero(line, sizeof line);
    return written;
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
