#include "ui/AppFonts.h"
#include "ui/ProductIcon.h"
#include "ui/frmMain.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Ties the window to its menu entry and icon on desktops that match by name.
    QGuiApplication::setDesktopFileName(QStringLiteral("trovewick"));
    QApplication::setWindowIcon(productIcon());
    AppFonts::loadBundledFonts();

    frmMain window;
    window.Form_Load();
    return app.exec();
}
