#include "ShownPicture.h"

#include <QImage>

QString pictureNotShown(const QImage &shown, const QImage &picture)
{
    if (picture.isNull())
        return QStringLiteral("no picture");
    if (shown.size() != picture.size())
        return QStringLiteral("shown %1x%2, the picture is %3x%4")
                .arg(shown.width())
                .arg(shown.height())
                .arg(picture.width())
                .arg(picture.height());
    const QImage screen = shown.convertToFormat(QImage::Format_ARGB32);
    const QImage source = picture.convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            const QRgb pixel = source.pixel(x, y);
            if (qAlpha(pixel) != 255)
                continue;
            ++opaque;
            if (screen.pixel(x, y) != pixel)
                return QStringLiteral("pixel %1,%2 differs").arg(x).arg(y);
        }
    }
    return opaque > 0 ? QString() : QStringLiteral("the picture has no opaque pixel");
}
