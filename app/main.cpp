#include "app/frmMain.h"
#include "app/icon.h"
#include "app/look.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(kAppTitle);
    QApplication::setWindowIcon(applicationIcon());
    useClassicLook();
    frmMain window;
    window.show();
    return app.exec();
}
