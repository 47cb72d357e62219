#pragma once

#include <QMainWindow>

class frmmain : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmmain(QWidget* parent = nullptr);
};
