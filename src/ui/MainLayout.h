#pragma once

#include <QRect>

class QWidget;

// The main window's resize layout, worked out in twips (1/1440 inch) exactly as
// the window's design is given, and turned into pixels only at the end.
//
// Mapping to the screen: 15 twips make one pixel. The outer size is the window's
// frame geometry (border, title bar and menu bar included), so a window manager
// that draws a thicker or thinner frame changes the client area, not the
// arithmetic. Child boxes are measured from the top left of the area below the
// menu bar. A box is converted edge by edge (each edge rounded to the nearest
// pixel, halves up) so that two boxes sharing an edge in twips, such as the two
// trees meeting at W/2, share it in pixels too.
namespace MainLayout {

inline constexpr int TwipsPerPixel = 15;
inline constexpr int MinOuterWidth = 8235;
inline constexpr int MinOuterHeight = 5000;
inline constexpr int FrameAllowance = 120;   // outer width minus the usable width W
inline constexpr int BottomAllowance = 1000; // outer height minus the trees' bottom edge
inline constexpr int TreeTop = 1320;
inline constexpr int ArrowTop = 1080;
inline constexpr int ArrowSize = 255;
inline constexpr int AdGap = 30;
inline constexpr int AdHeight = 450;

// Which trees are shown; never neither.
enum class Panes { Both, PagesOnly, FilesOnly };

struct Box
{
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    bool operator==(const Box &) const = default;
};

struct Result
{
    int outerWidth = 0;   // the outer size after the minimum is applied
    int outerHeight = 0;
    bool resized = false; // the outer size was below the minimum and must be set
    int usableWidth = 0;  // W
    Box treeFiles;
    Box treePages;
    Box cmdLeft;
    Box cmdRight;
    Box lblAd;
    bool treeFilesVisible = true;
    bool treePagesVisible = true;
    bool cmdLeftVisible = true;
    bool cmdRightVisible = true;
};

// Lays the window out for an outer size in twips. A hidden tree keeps a box
// spanning W, where it appears when shown again; a hidden arrow keeps its box
// from the both-panes state.
[[nodiscard]] Result layout(int outerWidth, int outerHeight, Panes panes);

// A twips box in pixels, edge by edge.
[[nodiscard]] QRect toPixels(const Box &box);

// Sets a control's geometry to a twips box of its parent; every window and
// dialog places its controls this way.
void place(QWidget *widget, const Box &box);

// Twips to whole pixels, halves rounded up; and the fewest pixels covering a twips length.
[[nodiscard]] int pixelEdge(double twips);
[[nodiscard]] int pixelsCovering(int twips);

} // namespace MainLayout
