#include "app/frmMain.h"
#include "app/widgets.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(kAppTitle);
    QApplication::setWindowIcon(applicationIcon());
    frmMain window;
    window.show();
    return app.exec();
}
