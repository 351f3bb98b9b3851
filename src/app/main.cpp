// Program start: the application with its title, the main window, the message loop.
#include "files/file_layer.h"
#include "ui/main_window.h"

#include <QApplication>

int main(int argc, char** argv) {
    vantrel::setUpFileLayer();
    QApplication app(argc, argv);
    vantrel::setUpApplication();
    vantrel::TfMain window;
    window.show();
    return QApplication::exec();
}
