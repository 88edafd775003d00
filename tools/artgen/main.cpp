// artgen: draws the launcher's artwork.
//
//   artgen <images-dir> <icon-dir>
//
// writes the 43 PNGs of the image collection, each also at twice its size
// (name@2x.png), into <images-dir> and the nine
// program icon images (icon-256.png ... icon-16.png) into <icon-dir>, which
// the "artwork" build target then packs into the .ico with icotool.
// Everything is drawn from code with fixed fonts, so running it again gives
// the same files.
#include <QCommandLineParser>
#include <QConicalGradient>
#include <QDir>
#include <QFont>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>
#include <cstdlib>

namespace {

const QColor kBlue(0x1f, 0x74, 0xf0);
const QColor kBlueDark(0x0c, 0x4f, 0xc8);
const QColor kBlueLight(0x52, 0xa6, 0xff);
const QColor kInk(0x3c, 0x46, 0x58);

const QString kCjkFamily = QStringLiteral("Noto Sans CJK SC");
const QString kLatinFamily = QStringLiteral("DejaVu Sans");

// A missing font would silently fall back to whatever fontconfig offers and
// the artwork would change from machine to machine; refuse instead.
QFont font(const QString &family, int pixelSize, QFont::Weight weight)
{
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setStyleStrategy(QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoFontMerging));
    const QFontInfo info(f);
    if (info.family() != family) {
        std::fprintf(stderr, "artgen: font \"%s\" is not installed (got \"%s\")\n", qPrintable(family),
                     qPrintable(info.family()));
        std::exit(2);
    }
    return f;
}

// `scale` times as many pixels each way, drawn in the same coordinates: the
// painter maps them through the image's device pixel ratio.
QImage canvas(int w, int h, int scale)
{
    QImage img(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(scale);
    img.fill(Qt::transparent);
    return img;
}

void save(const QImage &img, const QString &path)
{
    // Straight 8-bit RGBA on disk, whatever format the drawing used.
    if (!img.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
        std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

QPainterPath textPath(const QFont &f, const QString &text, QPointF baseline)
{
    QPainterPath path;
    path.addText(baseline, f, text);
    return path;
}

qreal textWidth(const QFont &f, const QString &text)
{
    return textPath(f, text, {}).boundingRect().right();
}

void drawCaption(QPainter &p, const QFont &f, const QString &text, QPointF baseline, const QColor &color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(textPath(f, text, baseline));
}

// Centres `text` as if the three trailing dots were always there, so the
// words stay put while the dots come and go.
void drawDottedLine(QPainter &p, const QFont &f, const QString &text, int dots, qreal width, qreal baseline,
                    const QColor &color)
{
    const QString full = text + QStringLiteral("...");
    const qreal x = (width - textWidth(f, full)) / 2.0;
    drawCaption(p, f, text + QString(dots, QLatin1Char('.')), QPointF(x, baseline), color);
}

// The caption sits on a light rounded plate, so it stays readable on a dark
// desktop as well as on a light one. The plate is as wide as the longer
// line with all three dots, so it does not change between frames.
void drawCaptionPlate(QPainter &p, qreal width, qreal textWidth, qreal top, qreal bottom)
{
    const qreal w = qMin(width - 2.0, textWidth + 28.0);
    const QRectF plate((width - w) / 2.0, top, w, bottom - top);
    p.setPen(QPen(QColor(0x1f, 0x74, 0xf0, 40), 1.0));
    p.setBrush(QColor(255, 255, 255, 232));
    p.drawRoundedRect(plate.adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

// A sheet of paper with a folded top-right corner.
QPainterPath documentShape(const QRectF &r, qreal fold)
{
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - fold, r.top());
    path.lineTo(r.right(), r.top() + fold);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    return path;
}

QPainterPath foldShape(const QRectF &r, qreal fold)
{
    QPainterPath path;
    path.moveTo(r.right() - fold, r.top());
    path.lineTo(r.right() - fold, r.top() + fold);
    path.lineTo(r.right(), r.top() + fold);
    path.closeSubpath();
    return path;
}

// The blue letter P of the product logo, fitted into `box`.
QPainterPath letterP(const QRectF &box)
{
    QFont f = font(kLatinFamily, 100, QFont::Bold);
    QPainterPath path = textPath(f, QStringLiteral("P"), {});
    const QRectF b = path.boundingRect();
    const qreal s = qMin(box.width() / b.width(), box.height() / b.height());
    QTransform t;
    t.translate(box.center().x(), box.center().y());
    t.scale(s, s);
    t.translate(-b.center().x(), -b.center().y());
    return t.map(path);
}

// ---------------------------------------------------------------- splash --

// The logo disc: a blue sphere holding a white document with the letter P.
// A bright sweep and a ring of beads turn one step (22.5 degrees) per frame,
// so the sixteen frames make one full turn.
void drawDisc(QPainter &p, QPointF c, qreal r, int frame)
{
    const qreal step = 360.0 / 16.0;
    const qreal angle = 90.0 - (frame - 1) * step; // clockwise from twelve o'clock

    QPainterPath disc;
    disc.addEllipse(c, r, r);

    QRadialGradient body(c + QPointF(-r * 0.3, -r * 0.35), r * 1.45);
    body.setColorAt(0.0, kBlueLight);
    body.setColorAt(0.55, kBlue);
    body.setColorAt(1.0, kBlueDark);
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawPath(disc);

    p.save();
    p.setClipPath(disc);

    // The moving light: a comet-like sweep fading out behind its head.
    QConicalGradient sweep(c, angle);
    sweep.setColorAt(0.0, QColor(255, 255, 255, 150));
    sweep.setColorAt(0.22, QColor(255, 255, 255, 40));
    sweep.setColorAt(0.45, QColor(255, 255, 255, 0));
    sweep.setColorAt(0.97, QColor(255, 255, 255, 0));
    sweep.setColorAt(1.0, QColor(255, 255, 255, 150));
    p.setBrush(sweep);
    p.drawEllipse(c, r, r);

    // Darken the centre again so the document stays the calm middle.
    QRadialGradient core(c, r * 0.62);
    core.setColorAt(0.0, QColor(kBlueDark.red(), kBlueDark.green(), kBlueDark.blue(), 110));
    core.setColorAt(1.0, QColor(kBlueDark.red(), kBlueDark.green(), kBlueDark.blue(), 0));
    p.setBrush(core);
    p.drawEllipse(c, r, r);

    // Track ring and beads.
    const qreal ringR = r * 0.80;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 55), 1.5));
    p.drawEllipse(c, ringR, ringR);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        const qreal a = qDegreesToRadians(angle + i * 14.0);
        const QPointF at = c + QPointF(qCos(a) * ringR, -qSin(a) * ringR);
        const qreal br = r * (0.065 - i * 0.009);
        p.setBrush(QColor(255, 255, 255, 235 - i * 40));
        p.drawEllipse(at, br, br);
    }

    // Glass highlight on the upper half.
    QLinearGradient gloss(c.x(), c.y() - r, c.x(), c.y());
    gloss.setColorAt(0.0, QColor(255, 255, 255, 90));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawEllipse(QRectF(c.x() - r * 0.78, c.y() - r * 0.96, r * 1.56, r * 1.0));
    p.restore();

    // Rim.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 140), 2.0));
    p.drawEllipse(c, r - 1.0, r - 1.0);

    // The document with the P.
    const QRectF doc(c.x() - r * 0.34, c.y() - r * 0.44, r * 0.68, r * 0.88);
    const qreal fold = r * 0.2;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 30, 90, 60));
    p.drawPath(documentShape(doc.translated(2, 3), fold));
    p.setBrush(Qt::white);
    p.drawPath(documentShape(doc, fold));
    p.setBrush(QColor(0xc9, 0xdc, 0xf8));
    p.drawPath(foldShape(doc, fold));
    p.setBrush(kBlue);
    p.drawPath(letterP(QRectF(doc.left() + doc.width() * 0.24, doc.top() + doc.height() * 0.26, doc.width() * 0.52,
                              doc.height() * 0.52)));
}

QImage splashFrame(int width, int frame, bool chinese, int scale)
{
    const int height = 250;
    QImage img = canvas(width, height, scale);
    QPainter p(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);

    drawDisc(p, QPointF(width / 2.0, 88.0), 74.0, frame);

    const int dots = (frame - 1) / 4;
    const QString product = chinese ? QStringLiteral("OrvalinPDF转换器") : QStringLiteral("OrvalinPDF Converter");
    const QString status = chinese ? QStringLiteral("转换器正在启动") : QStringLiteral("is launching");
    const QFont nameFont = chinese ? font(kCjkFamily, 18, QFont::Bold) : font(kLatinFamily, 17, QFont::Bold);
    const QFont statusFont = chinese ? font(kCjkFamily, 13, QFont::Normal) : font(kLatinFamily, 13, QFont::Normal);
    const qreal nameWidth = textWidth(nameFont, product);
    drawCaptionPlate(p, width, qMax(nameWidth, textWidth(statusFont, status + QStringLiteral("..."))), 176.0, 240.0);
    drawCaption(p, nameFont, product, QPointF((width - nameWidth) / 2.0, 202.0), kBlueDark);
    drawDottedLine(p, statusFont, status, dots, width, 227.0, kInk);
    return img;
}

// ---------------------------------------------------------------- dialog --

void drawHeaderDocument(QPainter &p, const QRectF &r, qreal rotation, int opacity, bool badge)
{
    p.save();
    p.translate(r.center());
    p.rotate(rotation);
    const QRectF d(-r.width() / 2, -r.height() / 2, r.width(), r.height());
    const qreal fold = r.width() * 0.28;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 25, 90, opacity / 4));
    p.drawPath(documentShape(d.translated(3, 4), fold));
    p.setBrush(QColor(255, 255, 255, opacity));
    p.drawPath(documentShape(d, fold));
    p.setBrush(QColor(0xb8, 0xd3, 0xfb, opacity));
    p.drawPath(foldShape(d, fold));
    // Text lines.
    p.setBrush(QColor(0x9c, 0xbf, 0xf5, opacity));
    const qreal lx = d.left() + d.width() * 0.16;
    for (int i = 0; i < 4; ++i) {
        const qreal lw = d.width() * (i == 3 ? 0.42 : 0.68);
        p.drawRoundedRect(QRectF(lx, d.top() + d.height() * (0.38 + i * 0.13), lw, d.height() * 0.055), 1.5, 1.5);
    }
    // Red PDF tag on the left edge.
    const QRectF tag(d.left() - d.width() * 0.12, d.top() + d.height() * 0.12, d.width() * 0.62, d.height() * 0.18);
    p.setBrush(QColor(0xf0, 0x4b, 0x3a, opacity));
    p.drawRoundedRect(tag, 2, 2);
    QFont f = font(kLatinFamily, qMax(6, int(tag.height() * 0.72)), QFont::Bold);
    QPainterPath label = textPath(f, QStringLiteral("PDF"), {});
    const QRectF lb = label.boundingRect();
    p.setBrush(QColor(255, 255, 255, opacity));
    p.drawPath(label.translated(tag.center() - lb.center()));
    if (badge) {
        // Update badge: green disc with an upward arrow.
        const QPointF bc(d.right() - d.width() * 0.05, d.bottom() - d.width() * 0.05);
        const qreal br = d.width() * 0.3;
        p.setBrush(QColor(255, 255, 255, opacity));
        p.drawEllipse(bc, br + 2.5, br + 2.5);
        p.setBrush(QColor(0x1f, 0xb9, 0x6b, opacity));
        p.drawEllipse(bc, br, br);
        QPainterPath arrow;
        arrow.moveTo(bc + QPointF(0, -br * 0.6));
        arrow.lineTo(bc + QPointF(br * 0.5, -br * 0.05));
        arrow.lineTo(bc + QPointF(br * 0.2, -br * 0.05));
        arrow.lineTo(bc + QPointF(br * 0.2, br * 0.55));
        arrow.lineTo(bc + QPointF(-br * 0.2, br * 0.55));
        arrow.lineTo(bc + QPointF(-br * 0.2, -br * 0.05));
        arrow.lineTo(bc + QPointF(-br * 0.5, -br * 0.05));
        arrow.closeSubpath();
        p.setBrush(QColor(255, 255, 255, opacity));
        p.drawPath(arrow);
    }
    p.restore();
}

QImage dialogHeader(int scale)
{
    const int w = 470, h = 140;
    QImage img = canvas(w, h, scale);
    QPainter p(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRect all(0, 0, w, h);

    QLinearGradient bg(0, 0, w, h);
    bg.setColorAt(0.0, QColor(0x3b, 0x9c, 0xff));
    bg.setColorAt(0.55, QColor(0x1f, 0x7a, 0xf2));
    bg.setColorAt(1.0, QColor(0x12, 0x55, 0xd6));
    p.fillRect(all, bg);

    // Soft light and two gentle waves along the bottom.
    p.setPen(Qt::NoPen);
    QRadialGradient glow(QPointF(w * 0.5, -10), w * 0.45);
    glow.setColorAt(0.0, QColor(255, 255, 255, 70));
    glow.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.setBrush(glow);
    p.drawRect(all);
    for (int i = 0; i < 2; ++i) {
        QPainterPath wave;
        const qreal base = h - 26 + i * 10;
        wave.moveTo(0, base);
        wave.cubicTo(w * 0.3, base - 26 + i * 8, w * 0.6, base + 22, w, base - 14 - i * 4);
        wave.lineTo(w, h);
        wave.lineTo(0, h);
        wave.closeSubpath();
        p.setBrush(QColor(255, 255, 255, 22 + i * 10));
        p.drawPath(wave);
    }
    // Bokeh dots.
    const struct
    {
        qreal x, y, r;
        int a;
    } dots[] = {
            {40, 28, 10, 26}, {118, 112, 6, 30}, {300, 22, 5, 36},  {352, 104, 12, 20},  {430, 70, 7, 28},
            {160, 30, 3, 60}, {330, 60, 3, 55},  {96, 72, 2.5, 70}, {408, 118, 2.5, 70},
    };
    for (const auto &d : dots) {
        p.setBrush(QColor(255, 255, 255, d.a));
        p.drawEllipse(QPointF(d.x, d.y), d.r, d.r);
    }

    // Document symbols left and right of the centred title.
    drawHeaderDocument(p, QRectF(44, 40, 44, 56), -12, 150, false);
    drawHeaderDocument(p, QRectF(76, 32, 52, 66), 6, 245, false);
    drawHeaderDocument(p, QRectF(340, 30, 52, 66), -6, 245, true);
    drawHeaderDocument(p, QRectF(396, 52, 36, 46), 12, 140, false);
    return img;
}

// The automatic update dialog's whole background: a blue band at the top
// behind its white title and white close cross, in the header's style but
// darker, so that white reads on it; white below, where the status text, the
// blue figure and the grey progress track stand.
QImage autoUpdateBackground(int scale)
{
    const int w = 479, h = 209, band = 52;
    QImage img = canvas(w, h, scale);
    QPainter p(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    p.fillRect(QRect(0, 0, w, h), Qt::white);

    QLinearGradient bg(0, 0, w, band);
    bg.setColorAt(0.0, QColor(0x1a, 0x6c, 0xe0));
    bg.setColorAt(1.0, QColor(0x10, 0x4f, 0xc4));
    p.fillRect(QRect(0, 0, w, band), bg);
    p.setPen(Qt::NoPen);
    QPainterPath wave;
    wave.moveTo(0, band - 10);
    wave.cubicTo(w * 0.35, band - 22, w * 0.65, band + 6, w, band - 16);
    wave.lineTo(w, band);
    wave.lineTo(0, band);
    wave.closeSubpath();
    p.setBrush(QColor(255, 255, 255, 26));
    p.drawPath(wave);
    const struct
    {
        qreal x, y, r;
        int a;
    } dots[] = {{214, 14, 7, 22}, {300, 36, 4, 34}, {372, 12, 3, 44}, {250, 40, 2.5, 60}};
    for (const auto &d : dots) {
        p.setBrush(QColor(255, 255, 255, d.a));
        p.drawEllipse(QPointF(d.x, d.y), d.r, d.r);
    }
    drawHeaderDocument(p, QRectF(392, 9, 26, 34), 8, 120, true);

    // A hairline around the whole, in the update-offer dialog's outline blue.
    p.setPen(QPen(QColor(38, 143, 240), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
    return img;
}

QPainterPath crossPath(QPointF c, qreal half)
{
    QPainterPath path;
    path.moveTo(c + QPointF(-half, -half));
    path.lineTo(c + QPointF(half, half));
    path.moveTo(c + QPointF(half, -half));
    path.lineTo(c + QPointF(-half, half));
    return path;
}

QImage closeButton(const QColor &ground, int scale)
{
    QImage img = canvas(29, 29, scale);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    if (ground.isValid())
        p.fillRect(QRect(0, 0, 29, 29), ground);
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(crossPath(QPointF(14.5, 14.5), 5.0));
    return img;
}

enum class ButtonStyle { Outline, Filled };

// Rounded button with a soft (anti-aliased, slightly feathered) edge and its
// caption drawn in, since the buttons themselves carry no text.
QImage button(const QString &caption, ButtonStyle style, const QColor &fill, const QColor &textColor, int scale)
{
    const int w = 120, h = 36;
    QImage img = canvas(w, h, scale);
    QPainter p(&img);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRectF r(0.5, 0.5, w - 1.0, h - 1.0);
    const qreal radius = 6.0;

    // One-pixel feather around the shape.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(fill.red(), fill.green(), fill.blue(), style == ButtonStyle::Outline ? 40 : 70));
    p.drawRoundedRect(QRectF(0, 0, w, h), radius + 0.5, radius + 0.5);

    if (style == ButtonStyle::Outline) {
        p.setBrush(Qt::white);
        p.setPen(QPen(fill, 1.0));
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    } else {
        QLinearGradient g(0, 0, 0, h);
        g.setColorAt(0.0, fill.lighter(108));
        g.setColorAt(1.0, fill.darker(104));
        p.setBrush(g);
        p.drawRoundedRect(r, radius, radius);
    }

    const QFont f = font(kCjkFamily, 15, QFont::Normal);
    QPainterPath text = textPath(f, caption, {});
    // Centre on the glyphs' ink, not on the font's line box.
    const QRectF tb = text.boundingRect();
    p.setPen(Qt::NoPen);
    p.setBrush(textColor);
    p.drawPath(text.translated(QPointF(w / 2.0, h / 2.0) - tb.center()));
    return img;
}

// ------------------------------------------------------------------ icon --

QImage icon(int size)
{
    QImage img = canvas(size, size, 1);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // Small icons keep a one-pixel margin; large ones leave room for a shadow.
    const qreal margin = size >= 48 ? s * 0.06 : (size >= 24 ? 1.0 : 0.5);
    const QRectF tile(margin, margin, s - 2 * margin, s - 2 * margin - (size >= 48 ? s * 0.02 : 0.0));
    const qreal radius = tile.width() * 0.2;

    if (size >= 48) {
        for (int i = 3; i >= 1; --i) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0, 30, 80, 14));
            p.drawRoundedRect(tile.translated(0, s * 0.008 * i).adjusted(-i * s * 0.004, 0, i * s * 0.004, 0), radius,
                              radius);
        }
    }
    QLinearGradient g(0, tile.top(), 0, tile.bottom());
    g.setColorAt(0.0, Qt::white);
    g.setColorAt(1.0, QColor(0xee, 0xf3, 0xfb));
    p.setBrush(g);
    p.setPen(QPen(QColor(0xc4, 0xd3, 0xea), size >= 48 ? s / 128.0 : 1.0));
    p.drawRoundedRect(tile, radius, radius);

    const qreal inset = tile.width() * (size <= 24 ? 0.1 : 0.18);
    QRectF box = tile.adjusted(inset, inset, -inset, -inset);
    QLinearGradient pg(0, box.top(), 0, box.bottom());
    pg.setColorAt(0.0, kBlueLight.darker(105));
    pg.setColorAt(1.0, kBlueDark);
    p.setPen(Qt::NoPen);
    p.setBrush(size >= 32 ? QBrush(pg) : QBrush(kBlue));
    p.drawPath(letterP(box));
    return img;
}

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Draws the launcher artwork."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("images-dir"), QStringLiteral("where the collection's PNGs go"));
    parser.addPositionalArgument(QStringLiteral("icon-dir"), QStringLiteral("where the icon images go"));
    parser.process(app);
    if (parser.positionalArguments().size() != 2)
        parser.showHelp(2);

    const QString images = parser.positionalArguments().at(0);
    const QString icons = parser.positionalArguments().at(1);
    if (!QDir().mkpath(images) || !QDir().mkpath(icons)) {
        std::fprintf(stderr, "artgen: cannot create the output folders\n");
        return 1;
    }
    // Each picture twice: at its own size, and at twice that as "name@2x.png",
    // which Qt takes instead on screens scaled to 150 % and more.
    for (const int scale : {1, 2}) {
        const auto out = [&](const QString &name) {
            return images + QLatin1Char('/') + name + (scale == 2 ? QStringLiteral("@2x.png") : QStringLiteral(".png"));
        };
        for (int frame = 1; frame <= 16; ++frame) {
            save(splashFrame(200, frame, true, scale), out(QString::number(frame)));
            save(splashFrame(280, frame, false, scale), out(QStringLiteral("overseas%1").arg(frame)));
        }

        save(dialogHeader(scale), out(QStringLiteral("pic_faxxbb_bj")));
        save(autoUpdateBackground(scale), out(QStringLiteral("bgk_fxxbb")));
        save(closeButton(QColor(), scale), out(QStringLiteral("icon_vip_c")));
        save(closeButton(QColor(0xe8, 0x3f, 0x3f), scale), out(QStringLiteral("icon_vip_gn_dh_02")));
        save(closeButton(QColor(0xb8, 0x24, 0x24), scale), out(QStringLiteral("icon_vip_gn_dh_03")));

        const QString install = QStringLiteral("立即更新");
        save(button(install, ButtonStyle::Outline, kBlue, kBlue, scale), out(QStringLiteral("btn_ljgx_01")));
        save(button(install, ButtonStyle::Filled, kBlue, Qt::white, scale), out(QStringLiteral("btn_ljgx_02")));
        save(button(install, ButtonStyle::Filled, kBlueDark, Qt::white, scale), out(QStringLiteral("btn_ljgx_03")));
        const QString later = QStringLiteral("下次再说");
        save(button(later, ButtonStyle::Filled, QColor(0x3d, 0x8c, 0xf5), Qt::white, scale),
             out(QStringLiteral("btn_xczs_01")));
        save(button(later, ButtonStyle::Filled, QColor(0x5a, 0xa2, 0xff), Qt::white, scale),
             out(QStringLiteral("btn_xczs_02")));
        save(button(later, ButtonStyle::Filled, QColor(0x1c, 0x62, 0xd0), Qt::white, scale),
             out(QStringLiteral("btn_xczs_03")));
    }

    for (int size : {256, 128, 96, 72, 64, 48, 32, 24, 16})
        save(icon(size), icons + QStringLiteral("/icon-%1.png").arg(size));
    return 0;
}
