// The publisher's signing tool: makes the key pair whose public half a build
// carries (ORVALIN_UPDATE_PUBLIC_KEY), signs each installer, and checks a
// signature the way the program does.

#include "InstallerSignature.h"
#include "PrivateFile.h"
#include "SigningKey.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace {

const char kSecretKeyName[] = "update-signing.key";
const char kPublicKeyName[] = "update-signing.pub";

// Writes a key file that must not exist yet. The secret key is its owner's
// alone from the moment the file exists: it is created so, never opened up
// and narrowed afterwards.
bool writeNewFile(const QString &path, const SigningKey &key, bool secret, QString *error)
{
    QFile file(path);
    if (secret) {
        if (!PrivateFile::create(file, path, error))
            return false;
    } else if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, file.errorString());
        return false;
    }
    const bool written = secret ? key.writeSecret(file) : file.write(key.publicKey().toBase64() + '\n') > 0;
    if (!written || !file.flush()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        file.close();
        QFile::remove(path);
        return false;
    }
    return true;
}

int keygen(const QString &folder, QTextStream &out, QTextStream &err)
{
    const QDir dir(folder);
    const QString secretPath = dir.filePath(QLatin1String(kSecretKeyName));
    const QString publicPath = dir.filePath(QLatin1String(kPublicKeyName));
    if (!QFileInfo(folder).isDir()) {
        err << "no such folder: " << folder << '\n';
        return 1;
    }
    for (const QString &path : {secretPath, publicPath}) {
        const QFileInfo info(path);
        if (info.exists() || info.isSymLink()) {
            err << path << " exists; a key pair is never overwritten\n";
            return 1;
        }
    }
    const SigningKey key = SigningKey::generate();
    QString error;
    if (!key.isValid()) {
        err << "cannot make a key\n";
        return 1;
    }
    if (!writeNewFile(secretPath, key, true, &error)) {
        err << error << '\n';
        return 1;
    }
    if (!writeNewFile(publicPath, key, false, &error)) {
        err << error << '\n';
        QFile::remove(secretPath);
        return 1;
    }
    err << "secret key: " << secretPath << " (keep it offline)\npublic key: " << publicPath << '\n';
    out << key.publicKey().toBase64() << '\n';
    return 0;
}

int sign(const QString &secretKeyFile, const QString &file, QTextStream &out, QTextStream &err)
{
    QString error;
    QFile keyFile;
    SigningKey key;
    if (PrivateFile::openOwn(keyFile, secretKeyFile, &error))
        key = SigningKey::read(keyFile, secretKeyFile, &error);
    if (!key.isValid()) {
        err << error << '\n';
        return 1;
    }
    const QByteArray signature = key.signFile(file);
    if (signature.isEmpty()) {
        err << "cannot read " << file << '\n';
        return 1;
    }
    out << signature.toBase64() << '\n';
    return 0;
}

int verify(const QString &publicKeyArgument, const QString &file, const QString &signature, QTextStream &err)
{
    QByteArray publicKey = publicKeyArgument.toLatin1();
    if (InstallerSignature::decodePublicKey(publicKey).isEmpty()) {
        QFile keyFile(publicKeyArgument);
        if (!keyFile.open(QIODevice::ReadOnly)) {
            err << "neither a public key nor a readable file: " << publicKeyArgument << '\n';
            return 2;
        }
        publicKey = keyFile.read(256).trimmed();
        if (InstallerSignature::decodePublicKey(publicKey).isEmpty()) {
            err << publicKeyArgument << " holds no public key (base64 of 32 bytes)\n";
            return 2;
        }
    }
    if (InstallerSignature::decodeSignature(signature.toLatin1()).isEmpty()) {
        err << "not a signature (base64 of 64 bytes): " << signature << '\n';
        return 1;
    }
    if (!InstallerSignature::verifyFileBase64(file, publicKey, signature.toLatin1())) {
        err << "signature does NOT hold for " << file << '\n';
        return 1;
    }
    err << "signature holds\n";
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvalinUpdateSign"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
            "Signs installers for the update service (Ed25519, standard base64).\n\n"
            "  keygen DIR                         make a new key pair in DIR: update-signing.key (the secret\n"
            "                                     key, readable by its owner only) and update-signing.pub;\n"
            "                                     prints the public key for -DORVALIN_UPDATE_PUBLIC_KEY=...\n"
            "                                     Existing key files are never overwritten.\n"
            "  sign SECRETKEY FILE                print the signature of FILE's bytes (the value of\n"
            "                                     software_signature in the service's offer); SECRETKEY\n"
            "                                     must be your own file, closed to group and others\n"
            "  verify PUBLICKEY FILE SIGNATURE    exit 0 only when SIGNATURE holds for FILE; PUBLICKEY is\n"
            "                                     the key in base64 or a file holding it (update-signing.pub)\n\n"
            "Key files hold one line of base64: the 32-byte seed (the RFC 8032 private key) or the\n"
            "32-byte public key."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("keygen, sign or verify"));
    parser.addPositionalArgument(QStringLiteral("arguments"), QStringLiteral("the command's arguments"),
                                 QStringLiteral("[arguments...]"));
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    if (command == QLatin1String("keygen") && args.size() == 2)
        return keygen(args.at(1), out, err);
    if (command == QLatin1String("sign") && args.size() == 3)
        return sign(args.at(1), args.at(2), out, err);
    if (command == QLatin1String("verify") && args.size() == 4)
        return verify(args.at(1), args.at(2), args.at(3), err);
    err << parser.helpText();
    return 2;
}
