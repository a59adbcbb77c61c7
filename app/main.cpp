#include "app/frmMain.h"
#include "app/icon.h"
#include "app/look.h"
#include "app/settingsdir.h"
#include "record/valuetools.h"
#include "search/modulesearch.h"
#include "traffic/trafficlog.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(kAppTitle);
    QApplication::setWindowIcon(applicationIcon());
    useClassicLook();
    useChineseQtTexts();
    frmMain window(settingsDir(QCoreApplication::applicationDirPath(), QStringLiteral(KV_INSTALL_BINDIR)));
    // The tools beside the window attach to it from outside, one line each.
    new ValueTools(&window);
    new ModuleSearch(&window);
    new TrafficLog(&window);
    window.show();
    return app.exec();
}
