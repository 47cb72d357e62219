#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace platform {

class RenamePreview;

// The program's title: every message box, input box and folder browser shows it.
QString applicationTitle();

enum class MessageIcon { None, Information, Exclamation, Critical, Question };

// Every message box, input box and folder browser of the program goes through the current
// provider, so that tests can answer them without a person and check what was asked. Texts are
// shown as they stand, never as markup: they name files, and a file's name is the sender's.
class DialogProvider
{
public:
    virtual ~DialogProvider() = default;

    // A message with an OK button only.
    virtual void messageBox(QWidget* parent, const QString& text, MessageIcon icon) = 0;
    // The entered text; an empty text when the user cancels.
    virtual QString inputBox(QWidget* parent, const QString& prompt, const QString& defaultText) = 0;
    // The chosen folder, offered first in startFolder; an empty text when the user cancels.
    virtual QString browseForFolder(QWidget* parent, const QString& title, const QString& startFolder) = 0;
    // A question with the buttons Yes and No; true for Yes.
    virtual bool question(QWidget* parent, const QString& text) = 0;
    // The prefix of a renaming, asked with prompt and offered as defaultText. Below the field,
    // the list of renames that preview works out for the text typed, kept up to date, and what
    // would stop the run; OK only while nothing does. nullopt when the user cancels.
    virtual std::optional<QString> renamePrompt(QWidget* parent, const QString& prompt, const QString& defaultText,
                                                RenamePreview& preview) = 0;
};

// A tooltip that shows text exactly as it stands. Qt takes a tooltip for markup when it looks like
// markup, and would then show a file name such as "<img src=...>.jpg" as the picture it names.
QString plainToolTip(const QString& text);

// Gives the keyboard back to the window that opened a modal dialog. Window managers do this by
// themselves; without one (a bare X server, a kiosk session) the focus would otherwise stay
// nowhere once the dialog is gone.
void returnFocusTo(QWidget* owner);

// The provider in use; the real dialogs unless a test installed its own.
DialogProvider& dialogs();
// Installs a provider (not owned); nullptr brings back the real dialogs.
void setDialogProvider(DialogProvider* provider);

} // namespace platform
