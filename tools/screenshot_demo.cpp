// Takes the screenshots of scripts/screenshot: the main window while a crawl
// runs and after it has finished, the options dialog and the about box. It
// serves a small site from a folder on a loopback port of its own, drives the
// real window the way a user would (types the root, presses Crawl, double-clicks
// a found file) and saves PNG files; it is not part of the program.
//
//   trovewick_screenshot_demo OUTPUT_DIR SITE_DIR
//
// SITE_DIR holds the site's pages, index.htm the root and info2.0.xml the sponsor
// feed. On a desktop with a window manager the shots include the window frame,
// so the status line in the title bar shows.

#include "common/Settings.h"
#include "crawl/CrawlEngine.h"
#include "crawl/NodeTree.h"
#include "sponsor/SponsorFeed.h"
#include "support/TestHttpServer.h"
#include "ui/AppFonts.h"
#include "ui/ProductIcon.h"
#include "ui/frmAbout.h"
#include "ui/frmMain.h"
#include "ui/frmOptions.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <cstdio>

namespace {

QString outputDir;

// The window as the screen shows it, frame included where there is one.
bool shoot(QWidget *window, const QString &name)
{
    window->raise();
    window->activateWindow();
    QApplication::processEvents();
    QPixmap shot;
    QScreen *screen = window->screen();
    const QRect frame = window->frameGeometry();
    if (QGuiApplication::platformName() == QLatin1String("xcb") && screen)
        shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (shot.isNull())
        shot = window->grab();
    const QString path = QDir(outputDir).filePath(name);
    const bool saved = shot.save(path, "PNG");
    std::fprintf(stderr, "%s %s (%dx%d)\n", saved ? "saved" : "FAILED to save", qPrintable(path), shot.width(),
                 shot.height());
    return saved;
}

// Lets the window settle: layout, painting and the window manager's frame.
void settle(int ms = 300)
{
    QTest::qWait(ms);
}

// Pages other than the start page and the feed are answered after a pause, as a
// real site would answer, so the shot taken during the crawl finds pages being
// fetched.
constexpr int SlowPageDelayMs = 1500;

// Routes every file below `siteDir` to its path on `server`; false when the
// folder holds no file or a file cannot be read.
bool serveSite(TestHttpServer &server, const QString &siteDir)
{
    const QDir site(siteDir);
    int files = 0;
    QDirIterator it(siteDir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray path = '/' + site.relativeFilePath(file.fileName()).toUtf8();
        TestHttpServer::Response response = TestHttpServer::Response::html(file.readAll());
        if (path.endsWith(".xml"))
            response.headers = {{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("text/xml")}};
        if (path != "/index.htm" && path != "/info2.0.xml")
            response.delayMs = SlowPageDelayMs;
        server.route(path, response);
        ++files;
    }
    // Links to pages the site lacks fail, after the same pause.
    TestHttpServer::Response missing = TestHttpServer::Response::error(404);
    missing.delayMs = SlowPageDelayMs;
    server.setFallback(missing);
    return files > 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("trovewick"));
    QApplication::setWindowIcon(productIcon());
    AppFonts::loadBundledFonts();
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR SITE_DIR\n", argv[0]);
        return 2;
    }
    outputDir = args.at(1);
    QDir().mkpath(outputDir);

    // The site on a free loopback port; nothing leaves the machine.
    TestHttpServer server;
    if (!server.isListening() || !serveSite(server, args.at(2))) {
        std::fprintf(stderr, "cannot serve the site in %s\n", qPrintable(args.at(2)));
        return 1;
    }

    frmMain window{QUrl(QString::fromLatin1(server.url("/info2.0.xml")))};
    // Nothing leaves the machine: opening a found file only marks it opened.
    window.setShellOpen([](const QString &) {});
    window.Form_Load();
    window.move(40, 40);
    CrawlEngine &engine = window.engine();
    // A brisker tick than the product's second keeps the run short.
    engine.TimerKeepBusy().setInterval(400);

    bool ok = true;
    // The sponsor line is filled once the feed has arrived.
    QEventLoop feedLoop;
    QObject::connect(&window.sponsorFeed(), &SponsorFeed::loadFinished, &feedLoop, &QEventLoop::quit);
    QTimer::singleShot(5000, &feedLoop, &QEventLoop::quit);
    feedLoop.exec();

    auto *root = window.findChild<QLineEdit *>(QStringLiteral("txtRoot"));
    root->setFocus();
    QTest::keyClicks(root, QString::fromLatin1(server.url("/index.htm")));
    settle();

    // During the crawl: just after the second tick, with the root page done,
    // up to five pages fetching and the rest queued.
    QEventLoop duringLoop;
    int ticks = 0;
    QObject::connect(&engine, &CrawlEngine::ticked, &duringLoop, [&] {
        if (++ticks == 2)
            QTimer::singleShot(0, &duringLoop, &QEventLoop::quit);
    });
    QTimer::singleShot(20000, &duringLoop, &QEventLoop::quit);
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("cmdCrawl")), Qt::LeftButton);
    duringLoop.exec();
    // Long enough for the title bar to show the new status, short of the next tick.
    settle(250);
    ok &= shoot(&window, QStringLiteral("main-during-crawl.png"));

    // After the crawl: the title carries " [crawl finished]".
    QEventLoop afterLoop;
    QObject::connect(&engine, &CrawlEngine::titleChanged, &afterLoop, [&](const QString &title) {
        if (title.endsWith(CrawlEngine::FinishedSuffix))
            afterLoop.quit();
    });
    QTimer::singleShot(60000, &afterLoop, &QEventLoop::quit);
    if (!engine.title().endsWith(CrawlEngine::FinishedSuffix))
        afterLoop.exec();

    // Open the second found file, so both file pictures show.
    auto *files = window.findChild<QTreeView *>(QStringLiteral("treeFiles"));
    if (files->model()->rowCount() > 1) {
        const QModelIndex second = files->model()->index(1, 0);
        const QPoint at = files->visualRect(second).center();
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, at);
    }
    settle();
    ok &= shoot(&window, QStringLiteral("main-after-crawl.png"));

    {
        frmOptions options(appSettings(), &window);
        options.show();
        settle();
        ok &= shoot(&options, QStringLiteral("options.png"));
    }
    {
        frmAbout about(&window);
        about.show();
        settle();
        ok &= shoot(&about, QStringLiteral("about.png"));
    }

    // The page-tree-only pane, widened, to show the layout at another size.
    window.resize(760, 460);
    window.cmdLeft_Click();
    settle();
    ok &= shoot(&window, QStringLiteral("main-pages-only.png"));
    return ok ? 0 : 1;
}
