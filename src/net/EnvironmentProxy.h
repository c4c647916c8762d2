#pragma once

#include <QNetworkProxy>
#include <QNetworkProxyFactory>

#include <optional>

class QProcessEnvironment;
class QUrl;

// The proxy the environment (http_proxy, https_proxy, all_proxy, no_proxy) names
// for `url`: a NoProxy proxy for loopback hosts and hosts listed in no_proxy,
// std::nullopt when the environment names no proxy, so the desktop's own proxy
// settings apply.
std::optional<QNetworkProxy> proxyFromEnvironment(const QUrl &url, const QProcessEnvironment &env);

// Qt on this platform leaves the environment to libproxy, which ignores the usual
// no_proxy forms (a bare domain for its subdomains, "*"), so the environment is
// read here and the desktop's settings are asked only when it names no proxy.
class EnvironmentProxyFactory final : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override;
};
