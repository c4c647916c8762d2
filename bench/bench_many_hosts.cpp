// A real crawl across 10,000 hosts, all of them names under .localhost that
// curl resolves to the loopback address itself: each host's root page links to
// one file on its host and to the next few hosts, so the crawl goes breadth-first
// with five reads in flight and opens a connection to every host in turn. What
// the network layer keeps per host shows in the process's peak memory.
#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "crawl/NodeTree.h"
#include "net/HttpTransfer.h"
#include "net/WebSession.h"
#include "support/TestHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

#include <sys/resource.h>

namespace {

using Response = TestHttpServer::Response;

constexpr int Hosts = 10000;
constexpr int LinksAhead = 5;
constexpr double TargetMegabytes = 64;
// A crawl that has not ended by then has gone wrong; the figures say so.
constexpr int GiveUpMs = 15 * 60'000;

// 12 for "h12.localhost"; 0 for any other host.
int hostNumber(const QByteArray &host)
{
    const QByteArray suffix = QByteArrayLiteral(".localhost");
    if (!host.startsWith('h') || !host.endsWith(suffix))
        return 0;
    bool ok = false;
    const int number = host.mid(1, host.size() - 1 - suffix.size()).toInt(&ok);
    return ok && number >= 1 && number <= Hosts ? number : 0;
}

QByteArray hostAddress(int host, quint16 port)
{
    return "http://h" + QByteArray::number(host) + ".localhost:" + QByteArray::number(port) + '/';
}

QByteArray rootPage(int host, quint16 port)
{
    QByteArray page = "<html><body><a href=" + hostAddress(host, port) + 'f' + QByteArray::number(host)
                      + ".jpg>a picture</a>";
    for (int next = host + 1; next <= host + LinksAhead && next <= Hosts; ++next)
        page += "<a href=" + hostAddress(next, port) + ">host " + QByteArray::number(next) + "</a>";
    return page + "</body></html>";
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) * 1024.0 / 1e6; // ru_maxrss counts KiB
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    TestHttpServer server;
    if (!server.isListening()) {
        std::fprintf(stderr, "bench_many_hosts: the test server could not listen\n");
        return 1;
    }
    const quint16 port = server.port();
    server.setFallback([port](const TestHttpServer::Request &request) {
        const int host = hostNumber(request.host);
        if (host == 0 || request.path != "/")
            return Response::error(404);
        return Response::html(rootPage(host, port));
    });

    Settings settings = defaultSettings();
    settings.MaxPages = 32767;
    settings.MaxDomain = 1;
    settings.MaxFiles = 32767;

    WebSession session;
    HttpTransfer transfer(session);
    CrawlEngine engine(transfer, settings);
    // The engine handles each completion first (it connected first); the next
    // tick follows at once rather than on the engine's one-second timer.
    QObject::connect(&transfer, &TransferComponent::FileReadComplete, &engine, [&engine, &server] {
        server.clearRequests(); // the server's log is no part of the crawl's memory
        if (engine.running())
            engine.TimerKeepBusy_Timer();
    });
    QObject::connect(&engine, &CrawlEngine::runningChanged, &app, [&app](bool running) {
        if (!running)
            app.quit();
    });
    bool gaveUp = false;
    QTimer::singleShot(GiveUpMs, &app, [&app, &gaveUp] {
        gaveUp = true;
        app.quit();
    });

    engine.setRootText(QString::fromLatin1(hostAddress(1, port)));
    const double cpuStart = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    engine.cmdCrawl_Click();
    engine.TimerKeepBusy_Timer();
    app.exec();
    const double wallSeconds = double(wall.elapsed()) / 1000.0;
    const double cpu = cpuSeconds() - cpuStart;

    const int nodes = engine.treePages().Count();
    const int files = engine.treeFiles().Count();
    const int failed = engine.treePages().CountWithImage(NodeImage::Failed);
    const double peak = peakMegabytes();
    const bool complete = !gaveUp && nodes == 2 * Hosts && files == Hosts && failed == 0;
    std::printf("crawl of %d hosts: %d page nodes, %d files, %d failed reads in %.1f s (%.1f s CPU) (%s)\n",
                Hosts, nodes, files, failed, wallSeconds, cpu, complete ? "complete" : "INCOMPLETE");
    std::printf("peak resident memory: %.1f MB (target under %.0f MB: %s)\n", peak, TargetMegabytes,
                peak < TargetMegabytes ? "ok" : "ABOVE TARGET");
    return complete ? 0 : 1;
}
