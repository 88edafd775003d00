#include "InstallerSignature.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <sodium.h>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

QByteArray sign(const QByteArray &message, const QByteArray &secretKey)
{
    QByteArray signature(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<uchar *>(signature.data()), nullptr,
                         reinterpret_cast<const uchar *>(message.constData()), quint64(message.size()),
                         reinterpret_cast<const uchar *>(secretKey.constData()));
    return signature;
}

// Changes the unused low bits of the last base64 digit before the padding:
// the same bytes in a spelling no encoder produces.
QByteArray offCanonical(QByteArray base64)
{
    const int last = base64.indexOf('=') - 1;
    base64[last] = char(base64[last] + 1);
    return base64;
}

} // namespace

class tst_InstallerSignature : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void verify_data();
    void verify();
    void standardVector();
    void rawSizes();
    void decoding_data();
    void decoding();

private:
    QTemporaryDir m_dir;
    QByteArray m_installer;
    QByteArray m_publicKey;
    QByteArray m_secretKey;
    QByteArray m_otherPublicKey;
    QByteArray m_otherSecretKey;
};

void tst_InstallerSignature::initTestCase()
{
    QVERIFY(sodium_init() >= 0);
    QVERIFY(m_dir.isValid());
    // Fixed keys and bytes: Ed25519 is deterministic, so every run checks the
    // same signatures.
    const auto keyPair = [](QByteArray *publicKey, QByteArray *secretKey, char seedByte) {
        const QByteArray seed(crypto_sign_SEEDBYTES, seedByte);
        publicKey->resize(crypto_sign_PUBLICKEYBYTES);
        secretKey->resize(crypto_sign_SECRETKEYBYTES);
        crypto_sign_seed_keypair(reinterpret_cast<uchar *>(publicKey->data()),
                                 reinterpret_cast<uchar *>(secretKey->data()),
                                 reinterpret_cast<const uchar *>(seed.constData()));
    };
    keyPair(&m_publicKey, &m_secretKey, 'k');
    keyPair(&m_otherPublicKey, &m_otherSecretKey, 'o');
    // A few MB, so the file is mapped in more than one page.
    m_installer.resize(3 * 1024 * 1024 + 17);
    const QByteArray contentSeed(randombytes_SEEDBYTES, 'i');
    randombytes_buf_deterministic(m_installer.data(), size_t(m_installer.size()),
                                  reinterpret_cast<const uchar *>(contentSeed.constData()));
}

void tst_InstallerSignature::verify_data()
{
    QTest::addColumn<QByteArray>("content"); // what is on disk; "<missing>" for no file, "<dir>" for a folder
    QTest::addColumn<QByteArray>("publicKey");
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<bool>("verified");

    const QByteArray key = m_publicKey.toBase64();
    const QByteArray good = sign(m_installer, m_secretKey);
    const QByteArray goodBase64 = good.toBase64();
    QByteArray flipped = good;
    flipped[10] = char(flipped[10] ^ 0x01);
    QByteArray changed = m_installer;
    changed[changed.size() / 2] = char(changed[changed.size() / 2] ^ 0x80);

    QTest::newRow("good signature") << m_installer << key << goodBase64 << true;
    QTest::newRow("signature with one bit changed") << m_installer << key << flipped.toBase64() << false;
    QTest::newRow("signature of other bytes")
            << m_installer << key << sign(m_installer + "x", m_secretKey).toBase64() << false;
    QTest::newRow("signature by another key")
            << m_installer << key << sign(m_installer, m_otherSecretKey).toBase64() << false;
    QTest::newRow("the other key's public key") << m_installer << m_otherPublicKey.toBase64() << goodBase64 << false;
    QTest::newRow("file changed by one byte") << changed << key << goodBase64 << false;
    QTest::newRow("truncated file") << m_installer.left(m_installer.size() - 1) << key << goodBase64 << false;
    QTest::newRow("truncated to a page") << m_installer.left(4096) << key << goodBase64 << false;
    QTest::newRow("byte appended") << m_installer + '\0' << key << goodBase64 << false;
    QTest::newRow("empty file") << QByteArray() << key << goodBase64 << false;
    QTest::newRow("missing file") << QByteArray("<missing>") << key << goodBase64 << false;
    QTest::newRow("folder") << QByteArray("<dir>") << key << goodBase64 << false;
#ifdef Q_OS_UNIX
    // Opening a pipe for reading would wait for a writer forever.
    QTest::newRow("named pipe") << QByteArray("<fifo>") << key << goodBase64 << false;
#endif
    QTest::newRow("empty signature") << m_installer << key << QByteArray() << false;
    QTest::newRow("empty key") << m_installer << QByteArray() << goodBase64 << false;
    const QByteArray urlSafe = good.toBase64(QByteArray::Base64UrlEncoding);
    QVERIFY(urlSafe != goodBase64);
    QTest::newRow("signature in url-safe base64") << m_installer << key << urlSafe << false;
    QTest::newRow("signature with a bad character") << m_installer << key << "*" + goodBase64.mid(1) << false;
    QTest::newRow("signature with a newline") << m_installer << key << goodBase64 + '\n' << false;
    QTest::newRow("signature without padding") << m_installer << key << goodBase64.left(86) << false;
    QTest::newRow("signature of 63 bytes") << m_installer << key << good.left(63).toBase64() << false;
    QTest::newRow("signature of 65 bytes") << m_installer << key << (good + 'x').toBase64() << false;
    QTest::newRow("signature in hex") << m_installer << key << good.toHex() << false;
    QTest::newRow("key with a bad character") << m_installer << "!" + key.mid(1) << goodBase64 << false;
    QTest::newRow("key of 31 bytes") << m_installer << m_publicKey.left(31).toBase64() << goodBase64 << false;
    QTest::newRow("key of 33 bytes") << m_installer << (m_publicKey + 'x').toBase64() << goodBase64 << false;
    QTest::newRow("key of 64 bytes (a secret key)") << m_installer << m_secretKey.toBase64() << goodBase64 << false;
}

void tst_InstallerSignature::verify()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, publicKey);
    QFETCH(QByteArray, signature);
    QFETCH(bool, verified);

    const QString file = m_dir.filePath(QStringLiteral("pdfinstall.exe"));
    QFile::remove(file);
    QDir(file).removeRecursively();
    if (content == "<dir>") {
        QVERIFY(QDir().mkdir(file));
#ifdef Q_OS_UNIX
    } else if (content == "<fifo>") {
        QVERIFY(mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
#endif
    } else if (content != "<missing>") {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(content), qint64(content.size()));
    }
    QCOMPARE(InstallerSignature::verifyFileBase64(file, publicKey, signature), verified);
}

void tst_InstallerSignature::standardVector()
{
    // RFC 8032, section 7.1, test 2: made by another implementation than the
    // one checking it here.
    const QByteArray publicKey
            = QByteArray::fromHex("3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c");
    const QByteArray signature
            = QByteArray::fromHex("92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
                                  "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00");
    const QString file = m_dir.filePath(QStringLiteral("vector"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("\x72");
    out.close();
    QVERIFY(InstallerSignature::verifyFileBase64(file, publicKey.toBase64(), signature.toBase64()));
    QVERIFY(!InstallerSignature::verifyFileBase64(file, publicKey.toBase64(), offCanonical(signature.toBase64())));
}

void tst_InstallerSignature::rawSizes()
{
    // Raw values one byte too long whose first bytes are right: Ed25519 would
    // read only what it needs of them.
    const QString file = m_dir.filePath(QStringLiteral("raw"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("installer");
    out.close();
    const QByteArray good = sign("installer", m_secretKey);
    QVERIFY(InstallerSignature::verifyFile(file, m_publicKey, good));
    QVERIFY(!InstallerSignature::verifyFile(file, m_publicKey, good + 'x'));
    QVERIFY(!InstallerSignature::verifyFile(file, m_publicKey + 'x', good));
}

void tst_InstallerSignature::decoding_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("keyBytes");       // what decodePublicKey gives
    QTest::addColumn<int>("signatureBytes"); // what decodeSignature gives

    QByteArray key(32, '\0');
    QByteArray signature(64, '\0');
    for (int i = 0; i < signature.size(); ++i) {
        signature[i] = char(i * 37 + 250);
        key[i % 32] = char(i * 11 + 3);
    }
    QTest::newRow("key") << key.toBase64() << 32 << 0;
    QTest::newRow("signature") << signature.toBase64() << 0 << 64;
    QTest::newRow("key, unused bits set") << offCanonical(key.toBase64()) << 0 << 0;
    QTest::newRow("signature, unused bits set") << offCanonical(signature.toBase64()) << 0 << 0;
    QTest::newRow("key, padding inside") << "AAAA=AAA" + key.toBase64().mid(8) << 0 << 0;
    QTest::newRow("key, space before") << " " + key.toBase64().mid(1) << 0 << 0;
    // 88 characters, the length of 64 bytes, that decode to 65.
    QTest::newRow("65 bytes") << (signature + 'x').toBase64() << 0 << 0;
    QTest::newRow("empty") << QByteArray() << 0 << 0;
}

void tst_InstallerSignature::decoding()
{
    QFETCH(QByteArray, text);
    QFETCH(int, keyBytes);
    QFETCH(int, signatureBytes);
    QCOMPARE(InstallerSignature::decodePublicKey(text).size(), keyBytes);
    QCOMPARE(InstallerSignature::decodeSignature(text).size(), signatureBytes);
}

QTEST_GUILESS_MAIN(tst_InstallerSignature)
#include "tst_installersignature.moc"
