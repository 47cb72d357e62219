#pragma once

#include <QDialog>

class frmOptions : public QDialog
{
    Q_OBJECT
public:
    explicit frmOptions(QWidget* owner);
};
