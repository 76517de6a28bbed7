// Takes the README's screenshot: Form8, frame included, on a workbook held in memory.
// Run on an X server with a window manager, for example (one line):
//   tests/window/run-under-xvfb.sh build/default/tests/window/form8_screenshot
//   docs/screenshot-linux.png
#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "host/memory/MemoryHost.h"
#include "window/qt/Form8.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: form8_screenshot <output.png>\n");
        return 2;
    }
    gridmoor::MemoryHost host;
    host.addWorkbook("销售数据2024.xlsx", {"汇总", "华东区"});
    host.activateSheet("华东区");
    gridmoor::Form8 form(host);
    form.open();
    int status = 1;
    // Time for the window manager to frame and place the window.
    QTimer::singleShot(1500, [&] {
        const QRect frame = form.frameGeometry();
        const QPixmap shot =
            form.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        status = shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
        QApplication::quit();
    });
    QApplication::exec();
    return status;
}
