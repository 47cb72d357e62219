#include "about/frmAbout.h"

#include "about/SysInfo.h"
#include "platform/AppIcon.h"
#include "platform/Dialogs.h"
#include "platform/FormGeometry.h"
#include "platform/Screen.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVersionNumber>

#include <algorithm>

namespace {

using platform::toPixels;
using platform::Twips;
using platform::twipsToPixelsX;
using platform::twipsToPixelsY;

constexpr int ClientWidth = 5730;
constexpr int ClientHeight = 3555;

// The etched separator: a grey line with a white one just below, from (90, 2445) and
// (105, 2460) to the right at x = 5654 twips. Drawn as one control placed over both.
class EtchedLine : public QWidget
{
public:
    EtchedLine(QWidget* parent, double scale) : QWidget(parent), m_scale(scale)
    {
        const int left = twipsToPixelsX(90, scale);
        const int top = twipsToPixelsY(2445, scale);
        setGeometry(left, top, twipsToPixelsX(5654, scale) - left + 1, twipsToPixelsY(2460, scale) - top + 2);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(0, 0, width(), 1, QColor(128, 128, 128));
        const int whiteLeft = twipsToPixelsX(105, m_scale) - twipsToPixelsX(90, m_scale);
        const int whiteTop = twipsToPixelsY(2460, m_scale) - twipsToPixelsY(2445, m_scale);
        painter.fillRect(whiteLeft, whiteTop, width() - whiteLeft, 2, Qt::white);
    }

private:
    double m_scale;
};

} // namespace

frmAbout::frmAbout(QWidget* owner) : frmAbout(owner, platform::Registry::system(), platform::startProgram) {}

frmAbout::frmAbout(QWidget* owner, platform::Registry registry, platform::ProgramStarter startProgram)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_registry(std::move(registry)), m_startProgram(std::move(startProgram)), picIcon(new QLabel(this)),
      lblTitle(new QLabel(QStringLiteral("Name der Anwendung"), this)),
      lblVersion(new QLabel(QStringLiteral("Version"), this)),
      lblDescription(
          new QLabel(QStringLiteral("Programm zur Sortierung von Bildern per Drag&Drop und Umbenennung nach "
                                    "der ausgewählten Reihenfolge"),
                     this)),
      lblDisclaimer(new QLabel(this)), Line1(nullptr), cmdOK(new QPushButton(QStringLiteral("OK"), this)),
      cmdSysInfo(new QPushButton(QStringLiteral("&Systeminfo..."), this))
{
    setWindowTitle(QStringLiteral("Info zu meiner Anwendung"));
    setFont(platform::formFont());
    picIcon->setObjectName(QStringLiteral("picIcon"));
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));

    // Plain text: the ampersand in "Drag&Drop" is a character, not an access key.
    for (QLabel* label : {lblTitle, lblVersion, lblDescription, lblDisclaimer}) {
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
    }
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    Form_Load();
    placeControls();
    cmdOK->setFocus();
}

void frmAbout::Form_Load()
{
    setWindowTitle(QStringLiteral("Info zu ") + platform::applicationTitle());
    const QVersionNumber version = QVersionNumber::fromString(QStringLiteral(TESSALINE_VERSION));
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                            .arg(version.majorVersion())
                            .arg(version.minorVersion())
                            .arg(version.microVersion()));
    lblTitle->setText(platform::applicationTitle());
}

// The form was laid out for a narrow 8-point font. Where the user's font is wider, the whole
// form grows by the factor its tightest text needs, so that nothing is cut and every control
// keeps its place relative to the others.
void frmAbout::placeControls()
{
    const QList<std::pair<QWidget*, Twips>> places = {
        {picIcon, {240, 240, 480, 480}},         {lblTitle, {1050, 240, 3885, 480}},
        {lblVersion, {1050, 780, 3885, 225}},    {lblDescription, {1050, 1125, 3885, 1170}},
        {lblDisclaimer, {255, 2625, 3870, 825}}, {cmdOK, {4245, 2625, 1260, 345}},
        {cmdSysInfo, {4260, 3075, 1245, 345}},
    };

    // The one-line texts must fit; the description wraps, and the form grows until it fits too.
    double scale = platform::captionScale({places[1], places[2], places[5], places[6]});
    const Twips description = places[3].second;
    while (lblDescription->heightForWidth(twipsToPixelsX(description.width, scale)) >
               twipsToPixelsY(description.height, scale) &&
           scale < 4.0)
        scale += 0.05;

    for (const auto& [control, twips] : places)
        control->setGeometry(toPixels(twips, scale));
    picIcon->setPixmap(platform::applicationIcon().pixmap(picIcon->size()));
    Line1 = new EtchedLine(this, scale);
    Line1->setObjectName(QStringLiteral("Line1"));

    const QRect client = toPixels({0, 0, ClientWidth, ClientHeight}, scale);
    setFixedSize(client.size());
    QRect placed(QPoint(), client.size());
    placed.moveCenter(platform::screenGeometry().center());
    move(placed.topLeft());
}

void frmAbout::cmdOK_Click()
{
    accept();
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}

void frmAbout::StartSysInfo()
{
    const std::optional<QString> program = about::sysInfoProgram(m_registry);
    if (program && m_startProgram(*program))
        return;
    platform::dialogs().messageBox(this, QStringLiteral("Systeminformationen sind momentan nicht verfügbar"),
                                   platform::MessageIcon::None);
}
