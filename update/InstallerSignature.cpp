#include "InstallerSignature.h"

#include <QFile>
#include <QFileInfo>

#include <sodium.h>

#include <new>

namespace InstallerSignature {

namespace {

bool sodiumReady()
{
    // sodium_init() is safe to call again, but once is enough; a static local
    // is initialised once even when threads race for it.
    static const bool ready = sodium_init() >= 0;
    return ready;
}

} // namespace

QByteArray decodeExactly(const QByteArray &base64, int bytes)
{
    if (base64.size() != (bytes + 2) / 3 * 4)
        return QByteArray();
    const QByteArray decoded = QByteArray::fromBase64(base64);
    // Qt's decoder skips what is not base64; encoding again must give the input
    // back, which also refuses misplaced padding and unused bits that are not
    // zero, so every value has exactly one spelling.
    if (decoded.size() != bytes || decoded.toBase64() != base64)
        return QByteArray();
    return decoded;
}

QByteArray decodePublicKey(const QByteArray &base64)
{
    return decodeExactly(base64, kPublicKeyBytes);
}

QByteArray decodeSignature(const QByteArray &base64)
{
    return decodeExactly(base64, kSignatureBytes);
}

bool withFileBytes(const QString &file, const std::function<void(const uchar *data, qint64 size)> &use)
{
    // Only a regular file: a pipe or a device would not hold still.
    if (!QFileInfo(file).isFile())
        return false;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = in.size();
    if (size == 0) {
        static const uchar nothing = 0;
        use(&nothing, 0);
        return true;
    }
    // Ed25519 (without prehashing, as standard tools sign) takes the whole
    // message in one buffer; libsodium offers no way to feed it in pieces.
    // Installers run to hundreds of MB, so the file is mapped rather than
    // read: its pages come from the page cache as the hash walks over them,
    // with no copy on the heap. They count towards the resident set until the
    // view is unmapped, but the kernel can drop them at any time. Where mapping
    // fails (a file system without it, a 32-bit address space too fragmented
    // for one view), the file is read whole instead; when even that does not
    // fit (Qt throws std::bad_alloc), the file does not count as verified.
    if (uchar *mapped = in.map(0, size)) {
        use(mapped, size);
        in.unmap(mapped);
        return true;
    }
    QByteArray bytes;
    try {
        bytes = in.readAll();
    } catch (const std::bad_alloc &) {
        return false;
    }
    if (in.error() != QFileDevice::NoError || bytes.size() != size)
        return false;
    use(reinterpret_cast<const uchar *>(bytes.constData()), bytes.size());
    return true;
}

bool verifyFile(const QString &file, const QByteArray &publicKey, const QByteArray &signature)
{
    if (publicKey.size() != kPublicKeyBytes || signature.size() != kSignatureBytes || !sodiumReady())
        return false;
    bool verified = false;
    const bool read = withFileBytes(file, [&](const uchar *data, qint64 size) {
        verified = crypto_sign_verify_detached(reinterpret_cast<const uchar *>(signature.constData()), data,
                                               quint64(size), reinterpret_cast<const uchar *>(publicKey.constData()))
                == 0;
    });
    return read && verified;
}

bool verifyFileBase64(const QString &file, const QByteArray &publicKeyBase64, const QByteArray &signatureBase64)
{
    return verifyFile(file, decodePublicKey(publicKeyBase64), decodeSignature(signatureBase64));
}

bool verifyBytesBase64(const uchar *data, qint64 size, const QByteArray &publicKeyBase64,
                       const QByteArray &signatureBase64)
{
    const QByteArray publicKey = decodePublicKey(publicKeyBase64);
    const QByteArray signature = decodeSignature(signatureBase64);
    if (publicKey.size() != kPublicKeyBytes || signature.size() != kSignatureBytes || !sodiumReady())
        return false;
    return crypto_sign_verify_detached(reinterpret_cast<const uchar *>(signature.constData()), data, quint64(size),
                                       reinterpret_cast<const uchar *>(publicKey.constData()))
            == 0;
}

} // namespace InstallerSignature
