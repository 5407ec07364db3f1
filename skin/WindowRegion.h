#pragma once

class QWidget;
class QRegion;

// The rounded outline of the borderless windows: the whole rectangle with
// each corner rounded by a 20 by 20 ellipse.
QRegion windowOutline(int width, int height);
void ApplyWindowRegion(QWidget* window);
