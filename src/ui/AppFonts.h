#pragma once

#include <QFont>

// The faces the windows are designed in. Where the desktop lacks them, the free
// Tahoma, MS Sans Serif and Marlett that ship with Wine are loaded from its font
// folder (fontconfig does not scan it); failing that, the closest sans face is
// used and the arrows are drawn.
//
// Sizes are given in pixels at 96 dots per inch (8.25 pt = 11 px), the scale the
// window layout is given in, so text keeps its proportion to the control boxes
// whatever DPI the display reports.
namespace AppFonts {

// Registers the bundled faces; call once after the application object exists.
// `folder` defaults to Wine's font folder.
void loadBundledFonts(const QString &folder = {});

// The scale the program's windows are drawn at: the screens' device pixel ratio.
double screenScale();

QFont tahoma(double points = 8.25);
// MS Sans Serif where it can be drawn at `scale`, else an outline face.
QFont msSansSerif(double points = 8.25, double scale = screenScale());
QFont msSerif(double points);

// True when a face named Marlett is installed, so its "3" and "4" are triangles.
bool hasMarlett();
QFont marlett(double points);

// Points at 96 dots per inch as whole pixels.
int pixelsForPoints(double points);

} // namespace AppFonts
