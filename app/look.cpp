#include "app/look.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QStyle>
#include <QStyleFactory>
#include <QTranslator>

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

bool useChineseQtTexts()
{
    auto *translator = new QTranslator(qApp);
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"));
    for (const QString &dir : {beside, QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
        if (translator->load(QStringLiteral("qtbase_zh_CN"), dir))
            return QCoreApplication::installTranslator(translator);
    }
    delete translator;
    return false;
}
