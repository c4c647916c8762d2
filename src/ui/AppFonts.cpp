#include "ui/AppFonts.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>

#include <cmath>

namespace AppFonts {

namespace {

QFont face(const QString &family, double points, QFont::StyleHint hint)
{
    QFont font(family);
    font.setStyleHint(hint);
    font.setPixelSize(pixelsForPoints(points));
    return font;
}

} // namespace

void loadBundledFonts(const QString &folder)
{
    const QDir dir(folder.isEmpty() ? QStringLiteral("/usr/share/wine/fonts") : folder);
    const struct
    {
        const char *family;
        const char *file;
    } bundled[] = {
        {"Tahoma", "tahoma.ttf"},
        {"Tahoma", "tahomabd.ttf"},
        {"MS Sans Serif", "ms_sans_serif.ttf"},
        {"Marlett", "marlett.ttf"},
    };
    // An installed face of the same name wins; add only what the desktop lacks.
    const QStringList installed = QFontDatabase::families();
    for (const auto &entry : bundled) {
        if (installed.contains(QString::fromLatin1(entry.family)))
            continue;
        const QString path = dir.filePath(QString::fromLatin1(entry.file));
        if (QFileInfo::exists(path))
            QFontDatabase::addApplicationFont(path);
    }
}

int pixelsForPoints(double points)
{
    return int(std::lround(points * 96.0 / 72.0));
}

QFont tahoma(double points)
{
    return face(QStringLiteral("Tahoma"), points, QFont::SansSerif);
}

QFont msSansSerif(double points, double scale)
{
    // The face Wine ships under this name holds bitmap strikes only: drawn at
    // any scale but 1 its glyphs keep their 1x size while their spacing grows.
    // There an outline face of the same look stands in, at the same size.
    const QString family = QStringLiteral("MS Sans Serif");
    if (scale != 1.0 && !QFontDatabase::isSmoothlyScalable(family))
        return tahoma(points);
    return face(family, points, QFont::SansSerif);
}

double screenScale()
{
    return qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
}

QFont msSerif(double points)
{
    return face(QStringLiteral("MS Serif"), points, QFont::Serif);
}

bool hasMarlett()
{
    return QFontDatabase::families().contains(QStringLiteral("Marlett"));
}

QFont marlett(double points)
{
    return face(QStringLiteral("Marlett"), points, QFont::AnyStyle);
}

} // namespace AppFonts
