#include "about/frmAbout.h"

frmAbout::frmAbout(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Info zu Tessaline"));
}
