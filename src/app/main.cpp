// Program start: the application with its title, the main window, the message loop.
#include "ui/main_window.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    vantrel::setUpApplication();
    vantrel::TfMain window;
    window.show();
    return QApplication::exec();
}
