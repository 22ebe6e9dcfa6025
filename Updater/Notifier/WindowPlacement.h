#pragma once

// Where the notification window goes on the screen; pure arithmetic.

struct CWindowPosition {
    int x;
    int y;
};

// Top-left corner for a window of windowWidth x windowHeight pixels placed
// against the bottom-right of a work area of workWidth x workHeight. The
// work area's width and height serve as the corner's coordinates, which is
// the work area's bottom-right corner when the taskbar sits at the bottom or
// the right of the screen.
CWindowPosition BottomRightPosition(int workWidth, int workHeight, int windowWidth, int windowHeight);
