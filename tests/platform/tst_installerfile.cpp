#include "InstallerFile.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/resource.h>
#endif

// AddressSanitizer reserves far more address space than a limit on it leaves.
#if defined(__SANITIZE_ADDRESS__)
#define ORVALIN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVALIN_ASAN 1
#endif
#endif

using namespace TestFiles;

namespace {} // namespace

// The installer's file: made only where nothing is, and once written, held
// as the one file that is checked and started.
class tst_InstallerFile : public QObject
{
    Q_OBJECT

private slots:
    void createdOnlyWhereNothingIs_data();
    void createdOnlyWhereNothingIs();
    void sealedFileIsTheWrittenOne();
    void fileTooLargeToHoldIsNotRead();
};

void tst_InstallerFile::createdOnlyWhereNothingIs_data()
{
    QTest::addColumn<QString>("planted"); // "file", "link", "dangling link"
    QTest::newRow("a file") << "file";
    QTest::newRow("a link to a file") << "link";
    QTest::newRow("a link to nowhere") << "dangling link";
}

void tst_InstallerFile::createdOnlyWhereNothingIs()
{
    QFETCH(QString, planted);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("pdfinstall.exe");
    const QString target = dir.filePath("target");
    QVERIFY(writeFile(planted == QLatin1String("file") ? path : target, "theirs"));
    if (planted != QLatin1String("file")) {
        if (!QFile::link(planted == QLatin1String("link") ? target : dir.filePath("nowhere"), path))
            QSKIP("no links here");
    }

    InstallerFile file;
    QVERIFY(!file.create(path));
    QVERIFY(!file.write("ours", 4));
    QCOMPARE(readFile(planted == QLatin1String("file") ? path : target), QByteArray("theirs"));
    QVERIFY(!QFile::exists(dir.filePath("nowhere")));
}

void tst_InstallerFile::sealedFileIsTheWrittenOne()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("pdfinstall.exe");
    {
        InstallerFile swapped;
        QVERIFY(swapped.create(path) && swapped.write("ours", 4));
        const bool renamed = QFile::rename(path, path + ".old");
#ifdef Q_OS_WIN
        // The writing handle denies it.
        QVERIFY(!renamed);
#else
        // Nothing stops the user's own processes; the seal notices.
        QVERIFY(renamed && writeFile(path, "theirs"));
        QVERIFY(!swapped.seal());
        QVERIFY(QFile::remove(path + ".old"));
#endif
    }
    QVERIFY(QFile::remove(path));

    InstallerFile file;
    QVERIFY(file.create(path));
    QVERIFY(file.write("our installer", 13));
    QVERIFY(file.seal());
    QCOMPARE(file.size(), qint64(13));
    QByteArray seen;
    QVERIFY(file.withBytes([&](const uchar *data, qint64 size) {
        seen = QByteArray(reinterpret_cast<const char *>(data), int(size));
    }));
    QCOMPARE(seen, QByteArray("our installer"));
#ifdef Q_OS_WIN
    // Held until the shell has started it: others may read it, but not
    // write, rename or delete it.
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE reader
            = CreateFileW(native.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    QVERIFY(reader != INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    const HANDLE writer
            = CreateFileW(native.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, 0, nullptr);
    QCOMPARE(writer, INVALID_HANDLE_VALUE);
    QVERIFY(!MoveFileW(native.c_str(), (native + L".old").c_str()));
    QVERIFY(!DeleteFileW(native.c_str()));
#endif
    QCOMPARE(readFile(path), QByteArray("our installer"));
    file.discard();
    QVERIFY(!QFile::exists(path));
}

void tst_InstallerFile::fileTooLargeToHoldIsNotRead()
{
#if defined(Q_OS_WIN) || defined(ORVALIN_ASAN)
    QSKIP("needs a limit on the address space");
#else
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("pdfinstall.exe");
    InstallerFile file;
    QVERIFY(file.create(path) && file.write("MZ", 2));
    // 1 GiB without a block on disk: neither mapped nor read whole within a
    // quarter of that above what the process uses now.
    QVERIFY(QFile::resize(path, qint64(1) << 30));
    QVERIFY(file.seal());
    QFile status("/proc/self/status");
    QVERIFY(status.open(QIODevice::ReadOnly));
    const QByteArray text = status.readAll();
    const int at = text.indexOf("VmSize:");
    QVERIFY(at >= 0);
    const rlim_t used = text.mid(at + 7, text.indexOf('\n', at) - at - 7).trimmed().split(' ').value(0).toULongLong();
    struct rlimit saved;
    QVERIFY(::getrlimit(RLIMIT_AS, &saved) == 0);
    struct rlimit tight = saved;
    tight.rlim_cur = used * 1024 + (rlim_t(256) << 20);
    QVERIFY(::setrlimit(RLIMIT_AS, &tight) == 0);
    bool handed = false;
    const bool read = file.withBytes([&](const uchar *, qint64) { handed = true; });
    ::setrlimit(RLIMIT_AS, &saved);
    QVERIFY(!read);
    QVERIFY(!handed);
#endif
}

QTEST_GUILESS_MAIN(tst_InstallerFile)
#include "tst_installerfile.moc"
