#include "main_window/frmmain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    frmmain w;
    w.show();
    return app.exec();
}
