#pragma once

#include <QString>

// Where the vendor's web site lives: the help page, the about box's address and
// the sponsor feed all point there.
namespace Vendor {
inline const QString WebHost = QStringLiteral("www.trovewick.example");
// Written without a scheme, as the shell opens a bare www address in the browser.
inline const QString HelpAddress = WebHost + QStringLiteral("/help/v2.0.htm");
inline const QString WebAddress = QStringLiteral("http://") + WebHost;
inline const QString FeedAddress = QStringLiteral("http://") + WebHost + QStringLiteral("/info2.0.xml");
inline const QString ProductName = QStringLiteral("Trovewick");
} // namespace Vendor
