#include "net/EnvironmentProxy.h"

#include "net/WebRequest.h"

#include <QHostAddress>
#include <QProcessEnvironment>
#include <QUrl>

namespace {

bool isLoopbackHost(const QString &host)
{
    if (host == QLatin1String("localhost") || host.endsWith(QLatin1String(".localhost")))
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// One entry of no_proxy, the way curl and wget read it: "*" for every host, a
// domain (with or without a leading "." or "*.") for itself and its subdomains,
// an address or an address block such as 10.0.0.0/8; a trailing port is ignored.
bool matchesNoProxyEntry(const QString &host, QString entry)
{
    if (entry == QLatin1String("*"))
        return true;
    if (entry.contains(u'/')) {
        const auto subnet = QHostAddress::parseSubnet(entry);
        const QHostAddress address(host);
        return subnet.second >= 0 && !address.isNull() && address.isInSubnet(subnet);
    }
    if (entry.startsWith(u'[')) {
        const qsizetype close = entry.indexOf(u']');
        entry = entry.mid(1, close < 0 ? -1 : close - 1);
    } else if (entry.count(u':') == 1) {
        entry.truncate(entry.indexOf(u':'));
    }
    if (entry.startsWith(QLatin1String("*.")))
        entry.remove(0, 1);
    if (entry.startsWith(u'.'))
        entry.remove(0, 1);
    if (entry.isEmpty())
        return false;
    return host == entry
           || (host.endsWith(entry) && host.at(host.size() - entry.size() - 1) == u'.');
}

bool matchesNoProxy(const QString &host, const QString &noProxy)
{
    const QStringList entries = noProxy.split(u',', Qt::SkipEmptyParts);
    for (const QString &entry : entries) {
        const QString trimmed = entry.trimmed().toLower();
        if (!trimmed.isEmpty() && matchesNoProxyEntry(host, trimmed))
            return true;
    }
    return false;
}

QString firstSet(const QProcessEnvironment &env, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QString value = env.value(QString::fromLatin1(name)).trimmed();
        if (!value.isEmpty())
            return value;
    }
    return {};
}

} // namespace

std::optional<QNetworkProxy> proxyFromEnvironment(const QUrl &url, const QProcessEnvironment &env)
{
    const QString host = url.host().toLower();
    if (isLoopbackHost(host)
        || matchesNoProxy(host, firstSet(env, {"no_proxy", "NO_PROXY"})))
        return QNetworkProxy(QNetworkProxy::NoProxy);

    // Plain-http reads never take HTTP_PROXY: a CGI environment fills it from a
    // request header, so it may be set by whoever sends the request.
    const bool secure = url.scheme() == QLatin1String("https");
    QString value = secure ? firstSet(env, {"https_proxy", "HTTPS_PROXY"})
                           : firstSet(env, {"http_proxy"});
    if (value.isEmpty())
        value = firstSet(env, {"all_proxy", "ALL_PROXY"});
    if (value.isEmpty() && secure)
        value = firstSet(env, {"http_proxy"});
    if (value.isEmpty())
        return std::nullopt;

    if (!value.contains(QLatin1String("://")))
        value.prepend(QLatin1String("http://"));
    const QUrl proxyUrl(value, QUrl::TolerantMode);
    const QString scheme = proxyUrl.scheme().toLower();
    if (!proxyUrl.isValid() || proxyUrl.host().isEmpty())
        return std::nullopt;

    QNetworkProxy proxy;
    if (scheme == QLatin1String("socks5") || scheme == QLatin1String("socks5h")) {
        proxy = QNetworkProxy(QNetworkProxy::Socks5Proxy, proxyUrl.host(),
                              static_cast<quint16>(proxyUrl.port(1080)));
    } else if (WebRequest::isWebScheme(scheme)) {
        proxy = QNetworkProxy(QNetworkProxy::HttpProxy, proxyUrl.host(),
                              static_cast<quint16>(proxyUrl.port(8080)));
    } else {
        return std::nullopt;
    }
    proxy.setUser(proxyUrl.userName());
    proxy.setPassword(proxyUrl.password());
    return proxy;
}

QList<QNetworkProxy> EnvironmentProxyFactory::queryProxy(const QNetworkProxyQuery &query)
{
    const auto proxy = proxyFromEnvironment(query.url(), QProcessEnvironment::systemEnvironment());
    if (proxy)
        return {*proxy};
    return systemProxyForQuery(query);
}
