#include "ui/ShellOpen.h"

#include <QDesktopServices>
#include <QDir>

namespace modPublic {

QUrl shellOpenUrl(const QString &target)
{
    const QString text = target.trimmed();
    if (text.isEmpty())
        return {};

    if (text.startsWith(QStringLiteral("www."), Qt::CaseInsensitive)) {
        const QUrl web(QStringLiteral("http://") + text, QUrl::TolerantMode);
        return web.isValid() && !web.host().isEmpty() ? web : QUrl();
    }

    if (QDir::isAbsolutePath(text) && !text.contains(QLatin1String("://")))
        return QUrl::fromLocalFile(QDir::cleanPath(text));

    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid())
        return {};
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp"))
        return url.host().isEmpty() ? QUrl() : url;
    if (scheme == QLatin1String("mailto"))
        return url.path().isEmpty() ? QUrl() : url;
    if (scheme == QLatin1String("file") && QDir::isAbsolutePath(url.toLocalFile()))
        return url;
    return {};
}

void ShellOpen(const QString &target)
{
    const QUrl url = shellOpenUrl(target);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}

} // namespace modPublic
