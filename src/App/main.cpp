#include "SentrovaInterface.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    SentrovaInterface::instance();
    QMainWindow window;
    window.show();
    return app.exec();
}
