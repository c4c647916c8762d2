#include "app/TerminationSignals.h"
#include "common/Version.h"
#include "ui/AppFonts.h"
#include "ui/ProductIcon.h"
#include "ui/frmMain.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

const char HelpText[] =
    "Usage: trovewick [OPTION] [QT OPTION]...\n"
    "Search web sites for files, in a window: type a root address and press Crawl.\n"
    "\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Among the options every Qt program takes:\n"
    "  -platform NAME    the Qt platform plugin to show the window with, such as\n"
    "                    xcb, wayland or offscreen (as QT_QPA_PLATFORM)\n"
    "  -display DISPLAY  the X server to show the window on (as DISPLAY)\n"
    "  -style STYLE      the widget style, such as Fusion\n"
    "\n"
    "The crawl limits and lists are set under Tools > Options and shared with\n"
    "trovewick-cli, the crawler for the command line. SIGINT, SIGTERM and SIGHUP\n"
    "end the program as closing the window does, with exit code 0.\n";

} // namespace

int main(int argc, char *argv[])
{
    // The window's own options are answered before a display is needed: the
    // application object ends the program without one. Qt's own (-platform,
    // -display, ...) go to the application object.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(HelpText, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("trovewick %s\n", TrovewickVersion);
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QString::fromLatin1(TrovewickVersion));
    // Ties the window to its menu entry and icon on desktops that match by name.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.trovewick.Trovewick"));
    QApplication::setWindowIcon(productIcon());
    AppFonts::loadBundledFonts();

    // Asked to end from outside, the program quits as if the window were
    // closed: reads cancelled, their temporary folder removed, nothing saved.
    // Made before the window, so that it is still there while the window is
    // torn down.
    TerminationSignals endRequests({SIGINT, SIGTERM, SIGHUP});
    QObject::connect(&endRequests, &TerminationSignals::received, &app, &QCoreApplication::quit);
    frmMain window;
    window.Form_Load();
    return app.exec();
}
