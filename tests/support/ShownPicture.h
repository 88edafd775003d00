#pragma once

#include <QString>

class QImage;

// Whether `shown` (a grab of a window or widget) shows `picture` from its
// top-left corner, unscaled: both have the same size and every opaque pixel
// of the picture is on screen as it is in the picture. Empty when so, else
// what is wrong (the first differing pixel, say), for the test's message. A
// picture without a single opaque pixel shows nothing and never passes.
QString pictureNotShown(const QImage &shown, const QImage &picture);
