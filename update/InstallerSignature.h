#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The check that an installer comes from the publisher: an Ed25519 signature
// (RFC 8032, as libsodium and OpenSSL make it) over the installer file's exact
// bytes, against a public key built into the program. Keys and signatures
// travel as standard base64.
namespace InstallerSignature {

constexpr int kPublicKeyBytes = 32;
constexpr int kSignatureBytes = 64;

// Decodes standard base64 strictly: exactly the one canonical spelling of
// kPublicKeyBytes (kSignatureBytes) bytes, padding included, nothing before
// or after it. Anything else gives an empty array.
QByteArray decodePublicKey(const QByteArray &base64);
QByteArray decodeSignature(const QByteArray &base64);
// The same for a value of `bytes` bytes.
QByteArray decodeExactly(const QByteArray &base64, int bytes);

// Whether the bytes of `file`, as they stand on disk now, carry `signature`
// (64 raw bytes) made with the secret key of `publicKey` (32 raw bytes). A
// missing or unreadable file, or a key or signature of the wrong size, does not.
bool verifyFile(const QString &file, const QByteArray &publicKey, const QByteArray &signature);

// The same with the key and the signature in base64, as the build option and
// the update service's offer carry them.
bool verifyFileBase64(const QString &file, const QByteArray &publicKeyBase64, const QByteArray &signatureBase64);

// Whether `size` bytes at `data` carry the signature (base64) made with the
// secret key of `publicKeyBase64`.
bool verifyBytesBase64(const uchar *data, qint64 size, const QByteArray &publicKeyBase64,
                       const QByteArray &signatureBase64);

// Hands all bytes of a regular file to `use` in one piece (Ed25519 reads the
// whole message at once). False when the file cannot be read whole.
bool withFileBytes(const QString &file, const std::function<void(const uchar *data, qint64 size)> &use);

} // namespace InstallerSignature
