#pragma once
#include <QRect>

// Layout is given in twips (1/1440 inch): 15 twips per pixel at 96 dpi.
int twipsToPixels(int twips, qreal logicalDpi);
QRect twipsRect(int left, int top, int width, int height, qreal logicalDpi);
