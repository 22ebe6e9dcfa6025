#include "notifier/WindowPlacement.h"

// The work area's right and bottom edges, not its width and height: with the
// taskbar at the top or the left of the screen the work area does not start
// at 0, 0, and its size alone would leave the window short of the corner.
CWindowPosition BottomRightPosition(const CWorkArea& work, int windowWidth, int windowHeight) {
    CWindowPosition position;
    position.x = work.right - windowWidth;
    position.y = work.bottom - windowHeight;
    return position;
}
