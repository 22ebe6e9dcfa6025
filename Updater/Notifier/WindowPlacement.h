#pragma once

// Where the notification window goes on the screen; pure arithmetic.

struct CWindowPosition {
    int x;
    int y;
};

// The edges of the work area: the screen without the taskbar, in screen
// coordinates.
struct CWorkArea {
    int left;
    int top;
    int right;
    int bottom;
};

// Top-left corner for a window of windowWidth x windowHeight pixels whose
// bottom-right corner meets the work area's, wherever the taskbar sits.
CWindowPosition BottomRightPosition(const CWorkArea& work, int windowWidth, int windowHeight);
