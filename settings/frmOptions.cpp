#include "settings/frmOptions.h"

frmOptions::frmOptions(QWidget* owner) : QDialog(owner)
{
    setWindowTitle(QStringLiteral("Optionen"));
}
