#include "platform/Dialogs.h"

#include "platform/OwnFolders.h"
#include "platform/RenamePrompt.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStyle>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// A message that lists many files (a renaming that could not put everything back says where
// each one is) would grow taller than the screen in a message box, its OK button out of reach;
// from this many lines on it scrolls.
constexpr int kLinesInBox = 24;

// Qt's folder chooser remembers the folders last chosen in a settings file of Qt's own, which it
// would create readable by everyone, and which other Qt programs share: a target folder's path
// says where someone keeps what. The file is made readable by the user alone before the chooser
// writes to it; Qt keeps that mode when it writes the file again.
void keepChooserHistoryPrivate()
{
    const QByteArray path = QFile::encodeName(QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName());
    const qsizetype slash = path.lastIndexOf('/');
    if (slash > 0)
        makeMissingFolders(path.left(slash));
    const int fd = ::open(path.constData(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    struct stat st;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0)
        ::fchmod(fd, 0600);
    ::close(fd);
}

class WidgetDialogs final : public DialogProvider
{
public:
    void messageBox(QWidget* parent, const QString& text, MessageIcon icon) override
    {
        if (text.count(QLatin1Char('\n')) >= kLinesInBox) {
            scrolling(parent, text, toQt(icon), QDialogButtonBox::Ok);
        } else {
            QMessageBox box(toQt(icon), applicationTitle(), text, QMessageBox::Ok, parent);
            box.setTextFormat(Qt::PlainText);
            box.exec();
        }
        returnFocusTo(parent);
    }

    QString inputBox(QWidget* parent, const QString& prompt, const QString& defaultText) override
    {
        bool ok = false;
        QString text;
        {
            QInputDialog dialog(parent);
            dialog.setWindowTitle(applicationTitle());
            dialog.setLabelText(prompt);
            if (auto* label = dialog.findChild<QLabel*>())
                label->setTextFormat(Qt::PlainText);
            dialog.setTextValue(defaultText);
            ok = dialog.exec() == QDialog::Accepted;
            text = dialog.textValue();
        }
        returnFocusTo(parent);
        return ok ? text : QString();
    }

    QString browseForFolder(QWidget* parent, const QString& title, const QString& startFolder) override
    {
        keepChooserHistoryPrivate();
        // Qt's own dialog rather than the desktop's: that one speaks the system's language,
        // and the program speaks German on every system.
        const QString folder = QFileDialog::getExistingDirectory(
            parent, title, startFolder, QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        returnFocusTo(parent);
        return folder;
    }

    bool question(QWidget* parent, const QString& text) override
    {
        bool yes = false;
        if (text.count(QLatin1Char('\n')) >= kLinesInBox) {
            yes = scrolling(parent, text, QMessageBox::Question, QDialogButtonBox::Yes | QDialogButtonBox::No);
        } else {
            QMessageBox ask(QMessageBox::Question, applicationTitle(), text, QMessageBox::Yes | QMessageBox::No, parent);
            ask.setTextFormat(Qt::PlainText);
            ask.setDefaultButton(QMessageBox::No);
            yes = ask.exec() == QMessageBox::Yes;
        }
        returnFocusTo(parent);
        return yes;
    }

    std::optional<QString> renamePrompt(QWidget* parent, const QString& prompt, const QString& defaultText,
                                        RenamePreview& preview) override
    {
        std::optional<QString> prefix;
        {
            RenamePrompt dialog(parent, prompt, defaultText, preview);
            if (dialog.exec() == QDialog::Accepted)
                prefix = dialog.prefix();
        }
        returnFocusTo(parent);
        return prefix;
    }

private:
    // True when the dialog was answered with OK or Yes.
    static bool scrolling(QWidget* parent, const QString& text, QMessageBox::Icon icon,
                          QDialogButtonBox::StandardButtons answers)
    {
        QDialog dialog(parent);
        dialog.setWindowTitle(applicationTitle());
        auto* grid = new QGridLayout(&dialog);
        const QStyle::StandardPixmap pixmap = icon == QMessageBox::Critical   ? QStyle::SP_MessageBoxCritical
                                              : icon == QMessageBox::Warning  ? QStyle::SP_MessageBoxWarning
                                              : icon == QMessageBox::Question ? QStyle::SP_MessageBoxQuestion
                                                                              : QStyle::SP_MessageBoxInformation;
        if (icon != QMessageBox::NoIcon) {
            auto* picture = new QLabel(&dialog);
            const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dialog);
            picture->setPixmap(dialog.style()->standardIcon(pixmap, nullptr, &dialog).pixmap(size, size));
            grid->addWidget(picture, 0, 0, Qt::AlignTop);
        }
        auto* lines = new QPlainTextEdit(text, &dialog);
        lines->setReadOnly(true);
        const QFontMetrics metrics(lines->font());
        lines->setMinimumSize(metrics.averageCharWidth() * 90, metrics.lineSpacing() * kLinesInBox);
        grid->addWidget(lines, 0, 1);
        auto* buttons = new QDialogButtonBox(answers, &dialog);
        if (QPushButton* no = buttons->button(QDialogButtonBox::No))
            no->setDefault(true);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        grid->addWidget(buttons, 1, 0, 1, 2);
        return dialog.exec() == QDialog::Accepted;
    }

    static QMessageBox::Icon toQt(MessageIcon icon)
    {
        switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Critical:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::None:
            break;
        }
        return QMessageBox::NoIcon;
    }
};

WidgetDialogs g_widgetDialogs;
DialogProvider* g_provider = nullptr;

} // namespace

void returnFocusTo(QWidget* owner)
{
    if (!owner)
        return;
    QWidget* window = owner->window();
    if (window->isVisible() && !QApplication::activeModalWidget())
        window->activateWindow();
}

QString plainToolTip(const QString& text)
{
    // Escaped, and laid out as given: broken where the text breaks its lines, nowhere else, as a
    // plain tooltip is.
    return text.isEmpty() ? QString() : QStringLiteral("<p style=\"white-space:pre\">%1</p>").arg(text.toHtmlEscaped());
}

QString applicationTitle()
{
    return QStringLiteral("Tessaline");
}

DialogProvider& dialogs()
{
    return g_provider ? *g_provider : g_widgetDialogs;
}

void setDialogProvider(DialogProvider* provider)
{
    g_provider = provider;
}

} // namespace platform
