// The tool is its window: create Form8 on the platform's host, open it, and run until
// it is closed. No command line, no settings.
#include <QApplication>

#include "app/PlatformHost.h"
#include "window/qt/Form8.h"
#include "window/qt/Platform.h"

int main(int argc, char* argv[]) {
    gridmoor::preferX11Platform();
    QApplication app(argc, argv);
    const auto host = gridmoor::makePlatformHost();
    gridmoor::Form8 form(*host);
    form.open();
    return QApplication::exec();
}
