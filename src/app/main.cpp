#include "app/TerminationSignals.h"
#include "ui/AppFonts.h"
#include "ui/ProductIcon.h"
#include "ui/frmMain.h"

#include <QApplication>

#include <csignal>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Ties the window to its menu entry and icon on desktops that match by name.
    QGuiApplication::setDesktopFileName(QStringLiteral("trovewick"));
    QApplication::setWindowIcon(productIcon());
    AppFonts::loadBundledFonts();

    frmMain window;
    // Asked to end from outside, the program quits as if the window were
    // closed: reads cancelled, their temporary folder removed, nothing saved.
    TerminationSignals endRequests({SIGINT, SIGTERM, SIGHUP});
    QObject::connect(&endRequests, &TerminationSignals::received, &app, &QCoreApplication::quit);
    window.Form_Load();
    return app.exec();
}
