#include "main_window/frmmain.h"

frmmain::frmmain(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Tessaline"));
}
