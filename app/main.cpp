#include "app/CNodeToolApp.h"

#include "resources/AppIcon.h"

#include <QApplication>
#include <QFileInfo>

static CNodeToolApp theApp;

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Message boxes are titled with the program file's base name.
    QApplication::setApplicationName(QFileInfo(QApplication::applicationFilePath()).completeBaseName());
    QApplication::setWindowIcon(AppIcon());

    theApp.InitInstance();
    return 0;
}
