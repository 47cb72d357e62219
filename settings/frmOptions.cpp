#include "settings/frmOptions.h"

#include "platform/Dialogs.h"
#include "platform/FileNames.h"
#include "platform/FormGeometry.h"
#include "platform/Screen.h"
#include "settings/TextBox.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

namespace {

using platform::Twips;

constexpr int ClientWidth = 4680;
constexpr int ClientHeight = 3060;
// The extension field reaches to the right margin, as it takes a list ("jpg;jpeg;heic") that
// the width of one extension would hide.
constexpr int ExtensionWidth = ClientWidth - 120 - 2520;
// Two captions are a little wider in Liberation Sans than the boxes drawn for them, and would
// grow the whole form: the check box reaches to the right margin, the ratio's first half up to
// its second. Neither text moves.
constexpr int SelectFolderWidth = ClientWidth - 120 - 120;
constexpr int RatioLabelWidth = 3120 - 2040;

} // namespace

frmOptions::frmOptions(QWidget* owner) : frmOptions(owner, settings::Store::user()) {}

frmOptions::frmOptions(QWidget* owner, settings::Store store)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_store(std::move(store)),
      chkShowFileName(new QCheckBox(QStringLiteral("Dateiname auf den Bildern anzeigen"), this)),
      chkSelectFolder(
          new QCheckBox(QStringLiteral("\"Ordner suchen\"-Dialog beim Umbenennen anzeigen"), this)),
      chkCompanions(new QCheckBox(QStringLiteral("Begleitdateien (RAW, XMP …) mit umbenennen"), this)),
      Label1(new QLabel(QStringLiteral("Thumbnailgröße:"), this)),
      txtWidth(new TextBox(QStringLiteral("100"), this)), Label2(new QLabel(QStringLiteral("x"), this)),
      txtheight(new TextBox(QStringLiteral("100"), this)),
      Label3(new QLabel(QStringLiteral("(Verhältnis: 1:"), this)),
      lblratio(new QLabel(QStringLiteral("1)"), this)),
      Label4(new QLabel(QStringLiteral("Erweiterung der Ausgangsbilder:"), this)),
      txtErw(new TextBox(QStringLiteral("*"), this)), cmdOK(new QPushButton(QStringLiteral("OK"), this)),
      cmdCancel(new QPushButton(QStringLiteral("Abbrechen"), this))
{
    setWindowTitle(QStringLiteral("Optionen"));
    setFont(platform::formFont());
    chkShowFileName->setObjectName(QStringLiteral("chkShowFileName"));
    chkSelectFolder->setObjectName(QStringLiteral("chkSelectFolder"));
    chkCompanions->setObjectName(QStringLiteral("chkCompanions"));
    chkCompanions->setToolTip(QStringLiteral("Dateien, die wie ein Bild heißen, nur mit anderer oder zusätzlicher "
                                             "Erweiterung (IMG_0001.CR2, IMG_0001.xmp, IMG_0001.JPG.xmp), bekommen "
                                             "beim Umbenennen seinen neuen Namen."));
    Label1->setObjectName(QStringLiteral("Label1"));
    txtWidth->setObjectName(QStringLiteral("txtWidth"));
    Label2->setObjectName(QStringLiteral("Label2"));
    txtheight->setObjectName(QStringLiteral("txtheight"));
    Label3->setObjectName(QStringLiteral("Label3"));
    lblratio->setObjectName(QStringLiteral("lblratio"));
    Label4->setObjectName(QStringLiteral("Label4"));
    txtErw->setObjectName(QStringLiteral("txtErw"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    for (QLabel* label : {Label1, Label2, Label3, lblratio, Label4}) {
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    txtErw->setToolTip(QStringLiteral("Mehrere Erweiterungen mit ; trennen, z. B. jpg;jpeg;heic\n"
                                      "* steht für beliebig viele Zeichen, ? für genau eines"));
    placeControls();

    setTabOrder(chkShowFileName, chkSelectFolder);
    setTabOrder(chkSelectFolder, chkCompanions);
    setTabOrder(chkCompanions, txtWidth);
    setTabOrder(txtWidth, txtheight);
    setTabOrder(txtheight, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, txtErw);
    cmdOK->setDefault(true);

    connect(cmdOK, &QPushButton::clicked, this, &frmOptions::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmOptions::cmdCancel_Click);
    connect(txtWidth, &QLineEdit::textChanged, this, &frmOptions::txtWidth_Change);
    connect(txtheight, &QLineEdit::textChanged, this, &frmOptions::txtheight_Change);
    connect(txtWidth, &TextBox::gotFocus, this, &frmOptions::txtWidth_GotFocus);
    connect(txtheight, &TextBox::gotFocus, this, &frmOptions::txtheight_GotFocus);

    Form_Load();
    chkShowFileName->setFocus();
}

void frmOptions::placeControls()
{
    const QList<std::pair<QWidget*, Twips>> places = {
        {chkShowFileName, {120, 120, 3975, 255}}, {chkSelectFolder, {120, 480, SelectFolderWidth, 255}},
        {chkCompanions, {120, 840, SelectFolderWidth, 255}}, {Label1, {120, 1320, 1455, 255}},
        {txtWidth, {240, 1560, 615, 285}},        {Label2, {960, 1560, 255, 255}},
        {txtheight, {1200, 1560, 615, 285}},      {Label3, {2040, 1560, RatioLabelWidth, 255}},
        {lblratio, {3120, 1560, 975, 255}},       {Label4, {120, 2040, 2415, 255}},
        {txtErw, {2520, 2040, ExtensionWidth, 285}}, {cmdOK, {2520, 2640, 975, 375}},
        {cmdCancel, {3600, 2640, 975, 375}},
    };
    const double scale = platform::captionScale(places);
    for (const auto& [control, twips] : places)
        control->setGeometry(platform::toPixels(twips, scale));
    setFixedSize(platform::toPixels({0, 0, ClientWidth, ClientHeight}, scale).size());
}

// The texts are set in this order on purpose: each one runs its change handler, so a stored
// size above the cap is already cut down and the ratio is current when the dialog appears.
void frmOptions::Form_Load()
{
    chkShowFileName->setChecked(settings::readFlag(m_store.read(settings::ShowFileName)));
    chkSelectFolder->setChecked(settings::readFlag(m_store.read(settings::SelectFolder)));
    chkCompanions->setChecked(settings::readFlag(m_store.read(settings::RenameCompanions)));
    txtWidth->setText(m_store.read(settings::ThumbnailWidth));
    txtErw->setText(m_store.read(settings::ImageErw));
    txtheight->setText(m_store.read(settings::ThumbnailHeight));
}

void frmOptions::cmdOK_Click()
{
    if (settings::isZeroThumbSize(txtWidth->text()) || settings::isZeroThumbSize(txtheight->text())) {
        platform::dialogs().messageBox(this, QStringLiteral("Bildergrößen sollten nicht 0 Pixel sein."),
                                       platform::MessageIcon::None);
        return;
    }
    const bool saved = m_store.write({
        {settings::ShowFileName, settings::flagText(chkShowFileName->isChecked())},
        {settings::SelectFolder, settings::flagText(chkSelectFolder->isChecked())},
        {settings::RenameCompanions, settings::flagText(chkCompanions->isChecked())},
        {settings::ThumbnailWidth, txtWidth->text()},
        {settings::ImageErw, txtErw->text()},
        {settings::ThumbnailHeight, txtheight->text()},
    });
    if (!saved) {
        // The dialog stays open with the user's entries, so they can retry or cancel.
        platform::dialogs().messageBox(
            this,
            QStringLiteral("Die Einstellungen konnten nicht gespeichert werden:\n") + platform::displayName(m_store.fileName()),
            platform::MessageIcon::Exclamation);
        return;
    }
    accept();
}

void frmOptions::cmdCancel_Click()
{
    reject();
}

void frmOptions::txtWidth_Change()
{
    if (settings::exceedsThumbSizeCap(txtWidth->text()))
        txtWidth->setText(QString::number(settings::MaxThumbSize));
    showRatio();
}

void frmOptions::txtheight_Change()
{
    if (settings::exceedsThumbSizeCap(txtheight->text()))
        txtheight->setText(QString::number(settings::MaxThumbSize));
    showRatio();
}

void frmOptions::txtWidth_GotFocus()
{
    txtWidth->selectAll();
}

void frmOptions::txtheight_GotFocus()
{
    txtheight->selectAll();
}

void frmOptions::showRatio()
{
    if (const std::optional<QString> text =
            settings::ratioText(txtWidth->text(), txtheight->text(), locale()))
        lblratio->setText(*text);
}
