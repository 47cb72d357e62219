#include "platform/Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace platform {

namespace {

class WidgetDialogs final : public DialogProvider
{
public:
    void messageBox(QWidget* parent, const QString& text, MessageIcon icon) override
    {
        {
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

    QString browseForFolder(QWidget* parent, const QString& title) override
    {
        // Qt's own dialog rather than the desktop's: that one speaks the system's language,
        // and the program speaks German on every system.
        const QString folder = QFileDialog::getExistingDirectory(
            parent, title, QString(), QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
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
