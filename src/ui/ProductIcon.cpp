#include "ui/ProductIcon.h"

#include <QString>

QIcon productIcon()
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/trovewick/images/trovewick-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap productLogo()
{
    return QPixmap(QStringLiteral(":/trovewick/images/logo.png"));
}
