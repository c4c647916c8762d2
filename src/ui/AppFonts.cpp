#include "ui/AppFonts.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>

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

QFont msSansSerif(double points)
{
    return face(QStringLiteral("MS Sans Serif"), points, QFont::SansSerif);
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
