// The image collection as the launcher's windows see it: compiled in,
// registered before main() by rcc's static initialiser (no
// Q_INIT_RESOURCE here), addressed by ":/images/" plus the file name.
#include <QDirIterator>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QResource>
#include <QSet>
#include <QtTest>

#include <cmath>

namespace {

struct Entry
{
    QString name;
    QSize size;
};

// Every picture at its own size, and at twice that under "name@2x.png" for
// scaled screens.
QVector<Entry> expectedImages()
{
    QVector<Entry> all;
    for (int n = 1; n <= 16; ++n) {
        all.append({QStringLiteral("%1.png").arg(n), QSize(200, 250)});
        all.append({QStringLiteral("overseas%1.png").arg(n), QSize(280, 250)});
    }
    all.append({QStringLiteral("pic_faxxbb_bj.png"), QSize(470, 140)});
    all.append({QStringLiteral("bgk_fxxbb.png"), QSize(479, 209)});
    for (const char *name : {"icon_vip_c.png", "icon_vip_gn_dh_02.png", "icon_vip_gn_dh_03.png"})
        all.append({QString::fromLatin1(name), QSize(29, 29)});
    for (const char *name : {"btn_ljgx_01.png", "btn_ljgx_02.png", "btn_ljgx_03.png", "btn_xczs_01.png",
                             "btn_xczs_02.png", "btn_xczs_03.png"})
        all.append({QString::fromLatin1(name), QSize(120, 36)});
    for (int i = 0, n = all.size(); i < n; ++i)
        all.append({QString(all[i].name).replace(QLatin1String(".png"), QLatin1String("@2x.png")), all[i].size * 2});
    return all;
}

QString path(const QString &name)
{
    return QStringLiteral(":/images/") + name;
}

} // namespace

class tst_Resources : public QObject
{
    Q_OBJECT

private slots:
    void everyImage_data();
    void everyImage();
    void collectionHoldsNothingElse();
    void frameTemplates_data();
    void frameTemplates();
    void framesAreTransparentAroundTheArtwork_data();
    void framesAreTransparentAroundTheArtwork();
    void animationMoves();
    void doubleSizeIsTheSamePicture();
    void everyPictureNamedResolves();
    void whiteReadsOnTheAutoUpdateBackground();
};

void tst_Resources::everyImage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    for (const Entry &e : expectedImages())
        QTest::newRow(qPrintable(e.name)) << e.name << e.size;
}

void tst_Resources::everyImage()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);

    const QResource resource(path(name));
    QVERIFY2(resource.isValid(), qPrintable(path(name)));
    // Stored as is: PNG is compressed already, and the style sheets read
    // the data straight from the executable's image.
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
    QVERIFY(resource.data() != nullptr);
    QVERIFY(QByteArray::fromRawData(reinterpret_cast<const char *>(resource.data()), 8)
                    .startsWith("\x89PNG\r\n\x1a\n"));

    QImageReader reader(path(name));
    QCOMPARE(reader.format(), QByteArray("png"));
    QCOMPARE(reader.size(), size);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(image.depth(), 32);
}

void tst_Resources::collectionHoldsNothingElse()
{
    QSet<QString> expected;
    for (const Entry &e : expectedImages())
        expected.insert(path(e.name));
    QCOMPARE(expected.size(), 86);

    QSet<QString> found;
    QDirIterator it(QStringLiteral(":/images"), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found.insert(it.next());
    QCOMPARE(found, expected);

    // One prefix, one folder: nothing of ours beside "images" at the root.
    // QtGui registers a few collections of its own there.
    QStringList roots = QDir(QStringLiteral(":/")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    for (const char *qtOwn : {"qt-project.org", "qgradient", "qpdf"})
        roots.removeAll(QString::fromLatin1(qtOwn));
    QCOMPARE(roots.join(QLatin1Char(',')), QStringLiteral("images"));
}

void tst_Resources::frameTemplates_data()
{
    QTest::addColumn<QString>("pathTemplate");
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("resolves");
    QTest::addColumn<QSize>("size");
    const QString chinese = QStringLiteral(":/images/%d.png");
    const QString overseas = QStringLiteral(":/images/overseas%d.png");
    QTest::newRow("chinese 0") << chinese << 0 << false << QSize(0, 0);
    QTest::newRow("chinese 1") << chinese << 1 << true << QSize(200, 250);
    QTest::newRow("chinese 16") << chinese << 16 << true << QSize(200, 250);
    QTest::newRow("chinese 17") << chinese << 17 << false << QSize(0, 0);
    QTest::newRow("overseas 0") << overseas << 0 << false << QSize(0, 0);
    QTest::newRow("overseas 1") << overseas << 1 << true << QSize(280, 250);
    QTest::newRow("overseas 16") << overseas << 16 << true << QSize(280, 250);
    QTest::newRow("overseas 17") << overseas << 17 << false << QSize(0, 0);
}

void tst_Resources::frameTemplates()
{
    QFETCH(QString, pathTemplate);
    QFETCH(int, frame);
    QFETCH(bool, resolves);
    QFETCH(QSize, size);

    const QString framePath = QString::asprintf(qPrintable(pathTemplate), frame);
    QCOMPARE(QFile::exists(framePath), resolves);
    const QImage image(framePath);
    QCOMPARE(image.isNull(), !resolves);
    QCOMPARE(image.size(), size);
}

void tst_Resources::framesAreTransparentAroundTheArtwork_data()
{
    QTest::addColumn<QString>("name");
    for (int n = 1; n <= 16; ++n) {
        QTest::newRow(qPrintable(QString::number(n))) << QStringLiteral("%1.png").arg(n);
        QTest::newRow(qPrintable(QStringLiteral("overseas%1").arg(n))) << QStringLiteral("overseas%1.png").arg(n);
    }
}

// The splash window has no frame and a translucent background: every pixel
// that is not disc or caption must let the desktop through.
void tst_Resources::framesAreTransparentAroundTheArtwork()
{
    QFETCH(QString, name);
    const QImage image = QImage(path(name)).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!image.isNull());
    const int w = image.width(), h = image.height();
    for (const QPoint corner : {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1)})
        QCOMPARE(qAlpha(image.pixel(corner)), 0);
    // Beside the disc, at its height.
    QCOMPARE(qAlpha(image.pixel(2, 88)), 0);
    QCOMPARE(qAlpha(image.pixel(w - 3, 88)), 0);
    // The disc's centre and the caption area are drawn.
    QCOMPARE(qAlpha(image.pixel(w / 2, 88)), 255);
    QVERIFY(qAlpha(image.pixel(w / 2, 210)) > 200);
}

// Each frame differs from the one before it in the loop (the light moves),
// including the step from 16 back to 1.
void tst_Resources::animationMoves()
{
    for (const QString &prefix : {QString(), QStringLiteral("overseas")}) {
        QImage previous(path(prefix + QStringLiteral("16.png")));
        for (int n = 1; n <= 16; ++n) {
            const QImage current(path(prefix + QStringLiteral("%1.png").arg(n)));
            QVERIFY2(current != previous, qPrintable(prefix + QString::number(n)));
            previous = current;
        }
    }
}

// Qt takes "name@2x.png" in place of "name.png" on a screen scaled to 150 %
// or more: shrunk to half, it must show what the picture itself shows.
void tst_Resources::doubleSizeIsTheSamePicture()
{
    for (const Entry &e : expectedImages()) {
        if (!e.name.endsWith(QLatin1String("@2x.png")))
            continue;
        const QString single = QString(e.name).replace(QLatin1String("@2x"), QString());
        const QImage picture = QImage(path(single)).convertToFormat(QImage::Format_ARGB32);
        const QImage shrunk = QImage(path(e.name))
                                      .scaled(picture.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                      .convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(shrunk.size(), picture.size());
        qint64 difference = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QRgb a = picture.pixel(x, y), b = shrunk.pixel(x, y);
                difference += qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b))
                        + qAbs(qAlpha(a) - qAlpha(b));
            }
        }
        // Below a half when drawn alike; two neighbouring frames differ by 2 and more.
        const double perChannel = double(difference) / (4.0 * picture.width() * picture.height());
        QVERIFY2(perChannel < 1.0, qPrintable(QStringLiteral("%1: %2 per channel").arg(e.name).arg(perChannel)));
    }
}

// A style sheet that names a missing picture draws nothing in its place, and
// nobody is told: every url(:/...) of a form or of the windows' code must
// name an image of the collection. "%d" stands for the frames 1 to 16.
void tst_Resources::everyPictureNamedResolves()
{
    const QDir source(QStringLiteral(ORVALIN_SOURCE_DIR));
    const QRegularExpression url(QStringLiteral("url\\((:/[^)\"]+)\\)"));
    QStringList named;
    for (const char *folder : {"launcher", "dialogs"}) {
        QDirIterator it(source.filePath(QString::fromLatin1(folder)), {"*.ui", "*.cpp", "*.h"}, QDir::Files);
        while (it.hasNext()) {
            QFile file(it.next());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            for (auto match = url.globalMatch(text); match.hasNext();)
                named.append(match.next().captured(1));
        }
    }
    // The splash frames, three close-button states in each dialog, the
    // header, both buttons' three states and the automatic dialog's ground.
    QVERIFY2(named.size() >= 17, qPrintable(named.join(' ')));
    for (const QString &name : qAsConst(named)) {
        for (const QString &frame : {QStringLiteral("1"), QStringLiteral("16")}) {
            const QString image = QString(name).replace(QLatin1String("%d"), frame);
            QVERIFY2(!QImage(image).isNull(), qPrintable(image));
        }
    }
}

// The automatic update dialog draws its title and its close cross in white
// on this picture: behind both, every pixel must give white a contrast of at
// least 4.5 : 1, as readable text needs.
void tst_Resources::whiteReadsOnTheAutoUpdateBackground()
{
    const QImage image = QImage(path(QStringLiteral("bgk_fxxbb.png"))).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!image.isNull());
    const auto luminance = [](QRgb rgb) {
        const auto channel = [](int c) {
            const double v = c / 255.0;
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
    };
    // The title label and the close button, as the form places them.
    for (const QRect area : {QRect(16, 13, 141, 20), QRect(440, 10, 29, 29)}) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                QCOMPARE(qAlpha(pixel), 255);
                const double contrast = 1.05 / (luminance(pixel) + 0.05);
                QVERIFY2(contrast >= 4.5, qPrintable(QStringLiteral("%1,%2: %3").arg(x).arg(y).arg(contrast)));
            }
        }
    }
}

QTEST_MAIN(tst_Resources)
#include "tst_resources.moc"
