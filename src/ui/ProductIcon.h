#pragma once

#include <QIcon>
#include <QPixmap>

// The product's pictures, shared by every window: the window icon in all its
// sizes and the logo of the about box (125 x 76 pixels).
QIcon productIcon();
QPixmap productLogo();
