#include "ui/MainLayout.h"

#include <QWidget>

#include <cmath>

namespace MainLayout {

Result layout(int outerWidth, int outerHeight, Panes panes)
{
    Result r;
    r.outerWidth = outerWidth;
    r.outerHeight = outerHeight;
    if (r.outerWidth < MinOuterWidth) {
        r.outerWidth = MinOuterWidth;
        r.resized = true;
    }
    if (r.outerHeight < MinOuterHeight) {
        r.outerHeight = MinOuterHeight;
        r.resized = true;
    }

    // W is kept in a plain int: a window wider than 32,767 twips (about 2,200
    // pixels) is an ordinary multi-monitor size and must lay out like any other.
    const int w = r.outerWidth - FrameAllowance;
    r.usableWidth = w;
    const double half = w / 2.0;
    const double treeHeight = r.outerHeight - TreeTop - BottomAllowance;

    r.cmdLeft = {half - ArrowSize, ArrowTop, ArrowSize, ArrowSize};
    r.cmdRight = {half, ArrowTop, ArrowSize, ArrowSize};
    r.treeFiles = {0, TreeTop, double(w), treeHeight};
    r.treePages = {0, TreeTop, double(w), treeHeight};

    switch (panes) {
    case Panes::Both:
        r.treeFiles.width = half;
        r.treePages.left = half;
        r.treePages.width = half;
        break;
    case Panes::PagesOnly:
        r.treeFilesVisible = false;
        r.cmdLeftVisible = false;
        r.cmdRight.left = 0;
        break;
    case Panes::FilesOnly:
        r.treePagesVisible = false;
        r.cmdRightVisible = false;
        r.cmdLeft.left = w - ArrowSize;
        break;
    }

    r.lblAd = {0, r.treePages.top + r.treePages.height + AdGap, double(w), AdHeight};
    return r;
}

int pixelEdge(double twips)
{
    return int(std::floor(twips / TwipsPerPixel + 0.5));
}

int pixelsCovering(int twips)
{
    return (twips + TwipsPerPixel - 1) / TwipsPerPixel;
}

QRect toPixels(const Box &box)
{
    const int left = pixelEdge(box.left);
    const int top = pixelEdge(box.top);
    const int right = pixelEdge(box.left + box.width);
    const int bottom = pixelEdge(box.top + box.height);
    return QRect(left, top, right - left, bottom - top);
}

void place(QWidget *widget, const Box &box)
{
    widget->setGeometry(toPixels(box));
}

} // namespace MainLayout
