// Draws the node pictures, the product icon and the about-box logo as PNG files.
// The PNGs are committed beside this file; run this program again only to change
// them:  cmake --build <dir> --target trovewick_draw_images && <dir>/src/ui/trovewick_draw_images src/ui/images
//
// The 16 x 16 node pictures are drawn pixel by pixel on a grid (no smoothing) so
// they stay crisp at their one size; the icon and the logo are drawn smoothly.

#include "common/Version.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <utility>

namespace {

const QColor Outline(64, 64, 64);
const QColor Shadow(128, 128, 128);
const QColor Face(200, 200, 200);
const QColor Highlight(255, 255, 255);

QImage blank(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

void hline(QImage &image, int x1, int x2, int y, const QColor &colour)
{
    for (int x = x1; x <= x2; ++x)
        image.setPixelColor(x, y, colour);
}

void vline(QImage &image, int x, int y1, int y2, const QColor &colour)
{
    for (int y = y1; y <= y2; ++y)
        image.setPixelColor(x, y, colour);
}

void fill(QImage &image, int x1, int y1, int x2, int y2, const QColor &colour)
{
    for (int y = y1; y <= y2; ++y)
        hline(image, x1, x2, y, colour);
}

// Pixels given as rows of characters; a space leaves the pixel as it is.
void stamp(QImage &image, int left, int top, const QStringList &rows, const QHash<QChar, QColor> &palette)
{
    for (int y = 0; y < rows.size(); ++y) {
        const QString &row = rows.at(y);
        for (int x = 0; x < row.size(); ++x) {
            const auto colour = palette.constFind(row.at(x));
            if (colour != palette.constEnd())
                image.setPixelColor(left + x, top + y, *colour);
        }
    }
}

QImage computerTower()
{
    QImage image = blank(16, 16);
    // Body with a raised edge: light on the top and left, dark on the bottom and right.
    fill(image, 4, 1, 11, 14, Face);
    hline(image, 4, 11, 0, Outline);
    hline(image, 4, 11, 15, Outline);
    vline(image, 3, 1, 14, Outline);
    vline(image, 12, 1, 14, Outline);
    hline(image, 4, 10, 1, Highlight);
    vline(image, 4, 1, 13, Highlight);
    hline(image, 5, 11, 14, Shadow);
    vline(image, 11, 2, 14, Shadow);
    // Two drive bays and a power light.
    hline(image, 6, 9, 3, Outline);
    hline(image, 6, 9, 4, Highlight);
    hline(image, 6, 9, 6, Outline);
    hline(image, 6, 9, 7, Highlight);
    image.setPixelColor(9, 12, QColor(0, 176, 0));
    image.setPixelColor(6, 12, Shadow);
    image.setPixelColor(7, 12, Shadow);
    return image;
}

QImage checkBox()
{
    QImage image = blank(16, 16);
    // A sunken 13 x 13 box, white inside, as check boxes of the classic desktop look.
    fill(image, 1, 1, 13, 13, Highlight);
    hline(image, 1, 13, 1, Shadow);
    vline(image, 1, 1, 13, Shadow);
    hline(image, 2, 12, 2, Outline);
    vline(image, 2, 2, 12, Outline);
    hline(image, 1, 13, 13, Face);
    vline(image, 13, 1, 13, Face);
    return image;
}

QImage tickedBox(const QColor &tick)
{
    QImage image = checkBox();
    // The classic 7-pixel-wide tick, three pixels thick.
    const QStringList rows = {
        QStringLiteral("      #"),
        QStringLiteral("     ##"),
        QStringLiteral("#   ###"),
        QStringLiteral("## ### "),
        QStringLiteral("#####  "),
        QStringLiteral(" ###   "),
        QStringLiteral("  #    "),
    };
    stamp(image, 4, 4, rows, {{QLatin1Char('#'), tick}});
    return image;
}

QImage blackCross()
{
    QImage image = blank(16, 16);
    const QStringList rows = {
        QStringLiteral("##        ##"),
        QStringLiteral("###      ###"),
        QStringLiteral(" ###    ### "),
        QStringLiteral("  ###  ###  "),
        QStringLiteral("   ######   "),
        QStringLiteral("    ####    "),
        QStringLiteral("    ####    "),
        QStringLiteral("   ######   "),
        QStringLiteral("  ###  ###  "),
        QStringLiteral(" ###    ### "),
        QStringLiteral("###      ###"),
        QStringLiteral("##        ##"),
    };
    stamp(image, 2, 2, rows, {{QLatin1Char('#'), Qt::black}});
    return image;
}

// A small globe: blue sea, green land, dark rim; `size` pixels across at (left, top).
void globe(QImage &image, int left, int top, int size)
{
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF ball(left + 0.5, top + 0.5, size - 1, size - 1);
    QRadialGradient sea(ball.center() - QPointF(size / 5.0, size / 5.0), size * 0.75);
    sea.setColorAt(0, QColor(130, 190, 255));
    sea.setColorAt(1, QColor(20, 80, 200));
    painter.setPen(QPen(QColor(16, 48, 128), 1));
    painter.setBrush(sea);
    painter.drawEllipse(ball);

    painter.setClipRegion(QRegion(ball.toAlignedRect(), QRegion::Ellipse));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 160, 40));
    const double s = size / 12.0;
    QPainterPath land;
    land.moveTo(left + 2 * s, top + 3 * s);
    land.cubicTo(left + 4 * s, top + 1 * s, left + 6 * s, top + 3 * s, left + 5 * s, top + 5 * s);
    land.cubicTo(left + 4 * s, top + 7 * s, left + 5 * s, top + 9 * s, left + 3 * s, top + 10 * s);
    land.cubicTo(left + 1 * s, top + 8 * s, left + 1 * s, top + 5 * s, left + 2 * s, top + 3 * s);
    land.moveTo(left + 7 * s, top + 2 * s);
    land.cubicTo(left + 10 * s, top + 2 * s, left + 11 * s, top + 5 * s, left + 9 * s, top + 6 * s);
    land.cubicTo(left + 8 * s, top + 7 * s, left + 9 * s, top + 9 * s, left + 7 * s, top + 9 * s);
    land.cubicTo(left + 6 * s, top + 7 * s, left + 6 * s, top + 4 * s, left + 7 * s, top + 2 * s);
    painter.drawPath(land);
}

QImage globeWithLink()
{
    QImage image = blank(16, 16);
    globe(image, 0, 0, 12);
    // Two interlocked chain links across the lower right corner, with a pale
    // halo so they stand out against the globe.
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(11.5, 11.5);
    painter.rotate(-45);
    painter.setBrush(Qt::NoBrush);
    for (const auto &[colour, width] : {std::pair{QColor(255, 255, 255), 3.2}, std::pair{QColor(72, 72, 72), 1.5}}) {
        painter.setPen(QPen(colour, width));
        painter.drawRoundedRect(QRectF(-5.2, -1.8, 6.4, 3.6), 1.8, 1.8);
        painter.drawRoundedRect(QRectF(-1.2, -1.8, 6.4, 3.6), 1.8, 1.8);
    }
    return image;
}

QImage globeWithFolder()
{
    QImage image = blank(16, 16);
    globe(image, 4, 0, 12);
    // An open yellow folder in front of the globe.
    const QColor edge(128, 96, 0);
    const QColor back(230, 190, 60);
    const QColor front(255, 224, 96);
    const QStringList rows = {
        QStringLiteral("####       "),
        QStringLiteral("#bbb#####  "),
        QStringLiteral("#bbbbbbbb# "),
        QStringLiteral("#bb########"),
        QStringLiteral("#b#fffffff#"),
        QStringLiteral("#b#ffffff# "),
        QStringLiteral("##fffffff# "),
        QStringLiteral("#########  "),
    };
    stamp(image, 0, 8, rows, {{QLatin1Char('#'), edge}, {QLatin1Char('b'), back}, {QLatin1Char('f'), front}});
    return image;
}

// The product icon: a globe under a magnifying glass, drawn on a 64-unit grid.
void drawProductIcon(QPainter &painter, double size)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);

    const QRectF ball(4, 4, 44, 44);
    QRadialGradient sea(QPointF(18, 16), 40);
    sea.setColorAt(0, QColor(150, 205, 255));
    sea.setColorAt(1, QColor(16, 72, 190));
    painter.setPen(QPen(QColor(10, 40, 110), 2));
    painter.setBrush(sea);
    painter.drawEllipse(ball);

    painter.save();
    QPainterPath clip;
    clip.addEllipse(ball.adjusted(1, 1, -1, -1));
    painter.setClipPath(clip);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(46, 168, 60));
    QPainterPath land;
    land.moveTo(10, 14);
    land.cubicTo(18, 6, 26, 12, 22, 20);
    land.cubicTo(18, 28, 24, 34, 16, 42);
    land.cubicTo(8, 36, 6, 22, 10, 14);
    land.moveTo(28, 8);
    land.cubicTo(40, 8, 46, 18, 38, 24);
    land.cubicTo(32, 28, 36, 36, 30, 38);
    land.cubicTo(26, 30, 24, 16, 28, 8);
    painter.drawPath(land);
    painter.restore();

    // The magnifier: a handle, a rim and a pale lens over the lower right.
    painter.setPen(QPen(QColor(70, 40, 20), 7, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(50, 50), QPointF(60, 60));
    painter.setPen(QPen(QColor(60, 60, 60), 4));
    painter.setBrush(QColor(255, 255, 255, 110));
    painter.drawEllipse(QPointF(40, 40), 13, 13);
    painter.setPen(QPen(QColor(255, 255, 255, 200), 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(QRectF(31, 31, 18, 18), 100 * 16, 70 * 16);
    painter.restore();
}

QImage productIcon(int size)
{
    QImage image = blank(size, size);
    QPainter painter(&image);
    drawProductIcon(painter, size);
    return image;
}

// The about-box logo: the icon beside the product name, 125 x 76 pixels.
QImage logo()
{
    QImage image(125, 76, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient band(0, 0, 0, 76);
    band.setColorAt(0, QColor(235, 243, 255));
    band.setColorAt(1, QColor(190, 214, 245));
    painter.fillRect(image.rect(), band);
    painter.translate(4, 14);
    drawProductIcon(painter, 48);
    painter.resetTransform();

    QFont name(QStringLiteral("DejaVu Sans"));
    name.setPixelSize(15);
    name.setBold(true);
    painter.setFont(name);
    painter.setPen(QColor(16, 56, 140));
    painter.drawText(QRectF(52, 20, 72, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Trove"));
    painter.drawText(QRectF(52, 38, 72, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("wick"));
    QFont version = name;
    version.setBold(false);
    version.setPixelSize(10);
    painter.setFont(version);
    painter.setPen(QColor(60, 60, 60));
    painter.drawText(QRectF(94, 40, 30, 18), Qt::AlignLeft | Qt::AlignVCenter, QString::fromLatin1(TrovewickShortVersion));
    return image;
}

bool save(const QImage &image, const QString &path)
{
    if (image.save(path, "PNG"))
        return true;
    QTextStream(stderr) << "cannot write " << path << '\n';
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());

    bool ok = true;
    ok &= save(computerTower(), out.filePath(QStringLiteral("node1-domain.png")));
    ok &= save(checkBox(), out.filePath(QStringLiteral("node2-queued.png")));
    ok &= save(tickedBox(QColor(128, 128, 128)), out.filePath(QStringLiteral("node3-fetching.png")));
    ok &= save(tickedBox(QColor(0, 160, 0)), out.filePath(QStringLiteral("node4-done.png")));
    ok &= save(blackCross(), out.filePath(QStringLiteral("node5-failed.png")));
    ok &= save(globeWithLink(), out.filePath(QStringLiteral("node6-found.png")));
    ok &= save(globeWithFolder(), out.filePath(QStringLiteral("node7-opened.png")));
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        ok &= save(productIcon(size), out.filePath(QStringLiteral("trovewick-%1.png").arg(size)));
    ok &= save(logo(), out.filePath(QStringLiteral("logo.png")));
    return ok ? 0 : 1;
}
