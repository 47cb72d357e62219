#pragma once

#include "settings/Settings.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class TextBox;

// The options dialog: shows the stored settings for editing and writes them on OK. Whoever
// opens it re-reads the settings afterwards, whether it was confirmed or cancelled.
class frmOptions : public QDialog
{
    Q_OBJECT
public:
    // Edits the user's settings.
    explicit frmOptions(QWidget* owner);
    // Edits the settings of the given store.
    frmOptions(QWidget* owner, settings::Store store);

private:
    void Form_Load();
    void cmdOK_Click();
    void cmdCancel_Click();
    void txtWidth_Change();
    void txtheight_Change();
    void txtWidth_GotFocus();
    void txtheight_GotFocus();

    void placeControls();
    void showRatio();

    settings::Store m_store;

    QCheckBox* chkShowFileName;
    QCheckBox* chkSelectFolder;
    QCheckBox* chkCompanions;
    QLabel* Label1;
    TextBox* txtWidth;
    QLabel* Label2;
    TextBox* txtheight;
    QLabel* Label3;
    QLabel* lblratio;
    QLabel* Label4;
    TextBox* txtErw;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
};
