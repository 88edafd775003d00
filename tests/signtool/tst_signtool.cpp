#include "TestFiles.h"
#include "TestWait.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestFiles;

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(TestWait::kWait) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

Run tool(const QStringList &arguments)
{
    return run(QStringLiteral(SIGNTOOL_BINARY), arguments);
}

Run openssl(const QStringList &arguments)
{
    return run(QStringLiteral(OPENSSL_BINARY), arguments);
}

} // namespace

class tst_SignTool : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keygenWritesAPairAndKeepsIt();
    void keygenRefusesExistingFiles_data();
    void keygenRefusesExistingFiles();
    void signTakesOnlyAPrivateKeyLine_data();
    void signTakesOnlyAPrivateKeyLine();
    void verify_data();
    void verify();
    void interoperatesWithOpenSsl();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    QString m_keys;
    QByteArray m_publicKey; // base64, as keygen printed it
    QString m_installer;
    QByteArray m_signature; // base64, as sign printed it
};

void tst_SignTool::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_keys = path(QStringLiteral("keys"));
    QVERIFY(QDir().mkdir(m_keys));
    // Whatever the caller's umask, the secret key is its owner's alone.
    const mode_t oldMask = umask(0);
    const Run keygen = tool({QStringLiteral("keygen"), m_keys});
    umask(oldMask);
    QCOMPARE(keygen.exitCode, 0);
    m_publicKey = keygen.out.trimmed();
    QCOMPARE(keygen.out, m_publicKey + '\n'); // only the key, for $(...) in a shell

    m_installer = path(QStringLiteral("pdfinstall.exe"));
    QByteArray content;
    for (int i = 0; i < 300000; ++i)
        content += char(i * 7 + (i >> 8));
    QVERIFY(writeFile(m_installer, content));
    const Run sign = tool({QStringLiteral("sign"), m_keys + QStringLiteral("/update-signing.key"), m_installer});
    QCOMPARE(sign.exitCode, 0);
    m_signature = sign.out.trimmed();
    QCOMPARE(QByteArray::fromBase64(m_signature).size(), 64);
}

void tst_SignTool::keygenWritesAPairAndKeepsIt()
{
    const QString secret = m_keys + QStringLiteral("/update-signing.key");
    const QString pub = m_keys + QStringLiteral("/update-signing.pub");
    QCOMPARE(QByteArray::fromBase64(m_publicKey).size(), 32);
    QCOMPARE(readFile(pub).trimmed(), m_publicKey);
    QCOMPARE(QFileInfo(secret).permissions() & 0x7777,
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    QCOMPARE(QByteArray::fromBase64(readFile(secret).trimmed()).size(), 32);
    QVERIFY(readFile(secret).trimmed() != m_publicKey);

    // A second keygen into the same folder changes nothing.
    const QByteArray before = readFile(secret);
    const Run again = tool({QStringLiteral("keygen"), m_keys});
    QVERIFY(again.exitCode != 0);
    QVERIFY(again.out.isEmpty());
    QCOMPARE(readFile(secret), before);
    QCOMPARE(readFile(pub).trimmed(), m_publicKey);
}

void tst_SignTool::keygenRefusesExistingFiles_data()
{
    QTest::addColumn<QString>("existing");
    QTest::addColumn<bool>("symlink");
    QTest::newRow("public key only") << QStringLiteral("update-signing.pub") << false;
    QTest::newRow("secret key only") << QStringLiteral("update-signing.key") << false;
    QTest::newRow("secret key a dangling link") << QStringLiteral("update-signing.key") << true;
}

void tst_SignTool::keygenRefusesExistingFiles()
{
    QFETCH(QString, existing);
    QFETCH(bool, symlink);
    const QString folder = path(QStringLiteral("refuse-") + QString::number(QTest::currentDataTag()[0]));
    QDir(folder).removeRecursively();
    QVERIFY(QDir().mkdir(folder));
    const QString elsewhere = path(QStringLiteral("elsewhere"));
    QFile::remove(elsewhere);
    if (symlink)
        QVERIFY(QFile::link(elsewhere, folder + '/' + existing));
    else
        QVERIFY(writeFile(folder + '/' + existing, "kept\n"));

    const Run keygen = tool({QStringLiteral("keygen"), folder});
    QVERIFY(keygen.exitCode != 0);
    QVERIFY(keygen.out.isEmpty());
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::System), QStringList{existing});
    QVERIFY(!QFileInfo::exists(elsewhere));
    if (!symlink)
        QCOMPARE(readFile(folder + '/' + existing), QByteArray("kept\n"));
}

void tst_SignTool::signTakesOnlyAPrivateKeyLine_data()
{
    QTest::addColumn<QByteArray>("content"); // "KEY" stands for the secret key's base64
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("foreign"); // owned by another user
    QTest::addColumn<bool>("taken");
    QTest::newRow("CRLF line end") << QByteArray("KEY\r\n") << 0600 << false << true;
    QTest::newRow("no line end") << QByteArray("KEY") << 0400 << false << true;
    QTest::newRow("group may read") << QByteArray("KEY\n") << 0640 << false << false;
    QTest::newRow("others may read") << QByteArray("KEY\n") << 0604 << false << false;
    QTest::newRow("another user's") << QByteArray("KEY\n") << 0600 << true << false;
    QTest::newRow("a second line") << QByteArray("KEY\nKEY\n") << 0600 << false << false;
    QTest::newRow("junk after byte 256") << "KEY" + QByteArray(256, '\n') + "junk" << 0600 << false << false;
}

void tst_SignTool::signTakesOnlyAPrivateKeyLine()
{
    QFETCH(QByteArray, content);
    QFETCH(int, mode);
    QFETCH(bool, foreign);
    QFETCH(bool, taken);
    if (foreign && geteuid() != 0)
        QSKIP("giving a file to another user needs root");
    const QString key = path(QStringLiteral("variant.key"));
    QFile::remove(key);
    QVERIFY(writeFile(key, content.replace("KEY", readFile(m_keys + QStringLiteral("/update-signing.key")).trimmed())));
    QCOMPARE(chmod(QFile::encodeName(key).constData(), mode_t(mode)), 0);
    if (foreign)
        QCOMPARE(chown(QFile::encodeName(key).constData(), 65534, 65534), 0);

    const Run sign = tool({QStringLiteral("sign"), key, m_installer});
    if (taken) {
        QCOMPARE(sign.exitCode, 0);
        QCOMPARE(sign.out, m_signature + '\n');
    } else {
        QCOMPARE(sign.exitCode, 1);
        QVERIFY(sign.out.isEmpty());
        QVERIFY2(sign.err.contains(QFile::encodeName(key)), sign.err.constData());
    }
}

void tst_SignTool::verify_data()
{
    QTest::addColumn<QString>("publicKey");
    QTest::addColumn<QByteArray>("content"); // the file verified; empty: the signed installer as it is
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<bool>("holds");

    const QString key = QString::fromLatin1(m_publicKey);
    const QString keyFile = m_keys + QStringLiteral("/update-signing.pub");
    QByteArray flipped = QByteArray::fromBase64(m_signature);
    flipped[0] = char(flipped[0] ^ 0x40);
    QByteArray changed = readFile(m_installer);
    changed[1000] = char(changed[1000] + 1);

    QTest::newRow("good, key as text") << key << QByteArray() << m_signature << true;
    QTest::newRow("good, key as file") << keyFile << QByteArray() << m_signature << true;
    QTest::newRow("file changed by one byte") << key << changed << m_signature << false;
    QTest::newRow("truncated file") << key << readFile(m_installer).chopped(1) << m_signature << false;
    QTest::newRow("signature changed") << key << QByteArray() << flipped.toBase64() << false;
    QTest::newRow("signature malformed") << key << QByteArray() << "%" + m_signature.mid(1) << false;
    QTest::newRow("signature empty") << key << QByteArray() << QByteArray() << false;
    QTest::newRow("key of another pair") << QString::fromLatin1(QByteArray(32, 'k').toBase64()) << QByteArray()
                                         << m_signature << false;
    QTest::newRow("key file missing") << path(QStringLiteral("nothing.pub")) << QByteArray() << m_signature << false;
    QTest::newRow("secret key file as key")
            << m_keys + QStringLiteral("/update-signing.key") << QByteArray() << m_signature << false;
}

void tst_SignTool::verify()
{
    QFETCH(QString, publicKey);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, signature);
    QFETCH(bool, holds);

    QString file = m_installer;
    if (!content.isEmpty()) {
        file = path(QStringLiteral("other.exe"));
        QVERIFY(writeFile(file, content));
    }
    const Run verify = tool({QStringLiteral("verify"), publicKey, file, QString::fromLatin1(signature)});
    QVERIFY(verify.exitCode >= 0);
    QCOMPARE(verify.exitCode == 0, holds);
}

void tst_SignTool::interoperatesWithOpenSsl()
{
    // OpenSSL takes the raw keys wrapped in DER: PKCS#8 around the 32-byte
    // seed, SubjectPublicKeyInfo around the public key (RFC 8410).
    const QByteArray seed = QByteArray::fromBase64(readFile(m_keys + QStringLiteral("/update-signing.key")).trimmed());
    const QString privateDer = path(QStringLiteral("private.der"));
    const QString publicDer = path(QStringLiteral("public.der"));
    QVERIFY(writeFile(privateDer, QByteArray::fromHex("302e020100300506032b657004220420") + seed));
    QVERIFY(writeFile(publicDer,
                      QByteArray::fromHex("302a300506032b6570032100") + QByteArray::fromBase64(m_publicKey)));

    // OpenSSL derives the same public key from the seed.
    const Run derived
            = openssl({QStringLiteral("pkey"), QStringLiteral("-inform"), QStringLiteral("DER"), QStringLiteral("-in"),
                       privateDer, QStringLiteral("-pubout"), QStringLiteral("-outform"), QStringLiteral("DER")});
    QCOMPARE(derived.exitCode, 0);
    QCOMPARE(derived.out.right(32).toBase64(), m_publicKey);

    // Signed by OpenSSL, checked by the tool.
    const QString opensslSignature = path(QStringLiteral("openssl.sig"));
    const Run sign = openssl({QStringLiteral("pkeyutl"), QStringLiteral("-sign"), QStringLiteral("-rawin"),
                              QStringLiteral("-keyform"), QStringLiteral("DER"), QStringLiteral("-inkey"), privateDer,
                              QStringLiteral("-in"), m_installer, QStringLiteral("-out"), opensslSignature});
    QCOMPARE(sign.exitCode, 0);
    const QByteArray fromOpenSsl = readFile(opensslSignature).toBase64();
    QCOMPARE(tool({QStringLiteral("verify"), QString::fromLatin1(m_publicKey), m_installer,
                   QString::fromLatin1(fromOpenSsl)})
                     .exitCode,
             0);
    // Ed25519 is deterministic: both made the same signature.
    QCOMPARE(fromOpenSsl, m_signature);

    // Signed by the tool, checked by OpenSSL; and OpenSSL's check does refuse.
    const QString toolSignature = path(QStringLiteral("tool.sig"));
    QVERIFY(writeFile(toolSignature, QByteArray::fromBase64(m_signature)));
    const auto opensslVerify = [&](const QString &file) {
        return openssl({QStringLiteral("pkeyutl"), QStringLiteral("-verify"), QStringLiteral("-rawin"),
                        QStringLiteral("-pubin"), QStringLiteral("-keyform"), QStringLiteral("DER"),
                        QStringLiteral("-inkey"), publicDer, QStringLiteral("-in"), file, QStringLiteral("-sigfile"),
                        toolSignature})
                .exitCode;
    };
    QCOMPARE(opensslVerify(m_installer), 0);
    const QString changed = path(QStringLiteral("changed.exe"));
    QVERIFY(writeFile(changed, readFile(m_installer) + 'x'));
    QCOMPARE(opensslVerify(changed), 1);
}

QTEST_GUILESS_MAIN(tst_SignTool)
#include "tst_signtool.moc"
