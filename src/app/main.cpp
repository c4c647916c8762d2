#include "app/TerminationSignals.h"
#include "common/Version.h"
#include "ui/AppFonts.h"
#include "ui/ProductIcon.h"
#include "ui/frmMain.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    // The window takes no options of its own but --version, answered before a
    // display is needed; Qt's own (-platform, -display, ...) go to the
    // application object.
    for (int i = 1; i < argc; ++i) {
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
