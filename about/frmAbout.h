#pragma once

#include "platform/Programs.h"
#include "platform/Registry.h"

#include <QDialog>

class QLabel;
class QPushButton;

// The about box: the program's icon, title, version and description, and a button that starts
// the system information program named in the registry.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    // Looks the system information program up in the program's registry and starts it for real.
    explicit frmAbout(QWidget* owner);
    frmAbout(QWidget* owner, platform::Registry registry, platform::ProgramStarter startProgram);

    void StartSysInfo();

private:
    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    void placeControls();

    platform::Registry m_registry;
    platform::ProgramStarter m_startProgram;

    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDescription;
    QLabel* lblDisclaimer;
    QWidget* Line1;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;
};
