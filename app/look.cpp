#include "app/look.h"

#include <QApplication>
#include <QFontDatabase>
#include <QStyle>
#include <QStyleFactory>

QFont classicFont()
{
    const QStringList installed = QFontDatabase::families();
    // A Chinese Windows may list SimSun by its Chinese name only.
    for (const QString &family : {QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Sans Mono CJK SC")}) {
        if (installed.contains(family))
            return QFont(family, 9);
    }
    return QApplication::font();
}

void useClassicLook()
{
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Windows")))
        QApplication::setStyle(style);
    QApplication::setFont(classicFont());
}
