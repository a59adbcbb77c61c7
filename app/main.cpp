#include "app/frmMain.h"
#include "app/icon.h"
#include "app/look.h"
#include "app/settingsdir.h"
#include "traffic/trafficlog.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(kAppTitle);
    QApplication::setWindowIcon(applicationIcon());
    useClassicLook();
    frmMain window(settingsDir(QCoreApplication::applicationDirPath(), QStringLiteral(KV_INSTALL_BINDIR)));
    new TrafficLog(&window);
    window.show();
    return app.exec();
}
