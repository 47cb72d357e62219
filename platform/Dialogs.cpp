#include "platform/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStyle>

namespace platform {

namespace {

// A message that lists many files (a renaming that could not put everything back says where
// each one is) would grow taller than the screen in a message box, its OK button out of reach;
// from this many lines on it scrolls.
constexpr int kLinesInBox = 24;

class WidgetDialogs final : public DialogProvider
{
public:
    void messageBox(QWidget* parent, const QString& text, MessageIcon icon) override
    {
        if (text.count(QLatin1Char('\n')) >= kLinesInBox) {
            scrollingMessage(parent, text, toQt(icon));
        } else {
            QMessageBox box(toQt(icon), applicationTitle(), text, QMessageBox::Ok, parent);
            box.exec();
        }
        returnFocusTo(parent);
    }

    QString inputBox(QWidget* parent, const QString& prompt, const QString& defaultText) override
    {
        bool ok = false;
        const QString text = QInputDialog::getText(parent, applicationTitle(), prompt, QLineEdit::Normal,
                                                   defaultText, &ok);
        returnFocusTo(parent);
        return ok ? text : QString();
    }

    QString browseForFolder(QWidget* parent, const QString& title, const QString& startFolder) override
    {
        // Qt's own dialog rather than the desktop's: that one speaks the system's language,
        // and the program speaks German on every system.
        const QString folder = QFileDialog::getExistingDirectory(
            parent, title, startFolder, QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        returnFocusTo(parent);
        return folder;
    }

    bool question(QWidget* parent, const QString& text) override
    {
        QMessageBox::StandardButton answer;
        {
            QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::Yes | QMessageBox::No, parent);
            box.setDefaultButton(QMessageBox::No);
            answer = static_cast<QMessageBox::StandardButton>(box.exec());
        }
        returnFocusTo(parent);
        return answer == QMessageBox::Yes;
    }

private:
    static void scrollingMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon)
    {
        QDialog dialog(parent);
        dialog.setWindowTitle(applicationTitle());
        auto* grid = new QGridLayout(&dialog);
        const QStyle::StandardPixmap pixmap = icon == QMessageBox::Critical  ? QStyle::SP_MessageBoxCritical
                                              : icon == QMessageBox::Warning ? QStyle::SP_MessageBoxWarning
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
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        grid->addWidget(buttons, 1, 0, 1, 2);
        dialog.exec();
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
