#include "WindowPlacement.h"

CWindowPosition BottomRightPosition(int workWidth, int workHeight, int windowWidth, int windowHeight) {
    CWindowPosition position;
    position.x = workWidth - windowWidth;
    position.y = workHeight - windowHeight;
    return position;
}
