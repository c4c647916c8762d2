#pragma once

#include "common/Version.h"

#include <QByteArray>
#include <QLatin1String>
#include <QString>

// What every request the program makes has in common, page reads and the
// sponsor feed alike.
namespace WebRequest {

// The User-Agent sent with every request.
inline const QByteArray UserAgent = QByteArrayLiteral("Trovewick/") + TrovewickShortVersion;

// The schemes the program reads from; anything else is never requested.
inline bool isWebScheme(const QString &scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

} // namespace WebRequest
