#include "app/twips.h"

#include <QtMath>

int twipsToPixels(int twips, qreal logicalDpi)
{
    return qRound(twips * logicalDpi / 1440.0);
}

QRect twipsRect(int left, int top, int width, int height, qreal logicalDpi)
{
    return QRect(twipsToPixels(left, logicalDpi), twipsToPixels(top, logicalDpi),
                 twipsToPixels(width, logicalDpi), twipsToPixels(height, logicalDpi));
}
