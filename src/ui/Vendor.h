#pragma once

#include "common/Version.h"

#include <QString>

// Where the vendor's web site lives: the help page, the about box's address and
// the sponsor feed all point there. The help page and the feed are named after
// the release.
namespace Vendor {
inline const QString Release = QString::fromLatin1(TrovewickShortVersion);
inline const QString WebHost = QStringLiteral("www.trovewick.example");
// Written without a scheme, as the shell opens a bare www address in the browser.
inline const QString HelpAddress = WebHost + QStringLiteral("/help/v") + Release + QStringLiteral(".htm");
inline const QString WebAddress = QStringLiteral("http://") + WebHost;
inline const QString FeedAddress =
    QStringLiteral("http://") + WebHost + QStringLiteral("/info") + Release + QStringLiteral(".xml");
inline const QString ProductName = QStringLiteral("Trovewick");
// The product and release as the window's title and the about box show them.
inline const QString ProductTitle = ProductName + QStringLiteral(" v") + Release;
} // namespace Vendor
