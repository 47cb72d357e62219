#pragma once

#include "platform/Dialogs.h"
#include "platform/FileNames.h"
#include "platform/RenamePreview.h"

#include <QQueue>
#include <QStringList>

#include <optional>

// Answers the program's dialogs from a script and records what they asked, while it lives.
class ScriptedDialogs final : public platform::DialogProvider
{
public:
    struct Message
    {
        QString text;
        platform::MessageIcon icon;
    };

    ScriptedDialogs() { platform::setDialogProvider(this); }
    ~ScriptedDialogs() override { platform::setDialogProvider(nullptr); }
    Q_DISABLE_COPY_MOVE(ScriptedDialogs)

    void messageBox(QWidget*, const QString& text, platform::MessageIcon icon) override
    {
        messages.append({text, icon});
    }
    QString inputBox(QWidget*, const QString& prompt, const QString& defaultText) override
    {
        prompts.append(prompt);
        return inputAnswers.isEmpty() ? defaultText : inputAnswers.dequeue();
    }
    QString browseForFolder(QWidget*, const QString& title, const QString& startFolder) override
    {
        browseTitles.append(title);
        browseStarts.append(startFolder);
        return folderAnswers.isEmpty() ? QString() : folderAnswers.dequeue();
    }
    bool question(QWidget*, const QString& text) override
    {
        questions.append(text);
        return questionAnswers.isEmpty() || questionAnswers.dequeue();
    }
    // Answered from prefixAnswers, else from inputAnswers (where an empty text is OK on an emptied
    // field), else with the offered prefix. A scripted OK is taken even where the real prompt
    // disables it: the run must then refuse by itself, as it does when a file changes after the
    // prompt.
    std::optional<QString> renamePrompt(QWidget*, const QString& prompt, const QString& defaultText,
                                        platform::RenamePreview& preview) override
    {
        prompts.append(prompt);
        std::optional<QString> answer = defaultText;
        if (!prefixAnswers.isEmpty())
            answer = prefixAnswers.dequeue();
        else if (!inputAnswers.isEmpty())
            answer = inputAnswers.dequeue();
        // What the prompt showed for the text it was left with.
        preview.setPrefix(platform::encodeName(answer.value_or(defaultText)));
        RenamePromptShown shown{{}, preview.countText(), preview.problemText()};
        for (qsizetype i = 0; i < preview.rowCount(); ++i)
            shown.rows.append(preview.row(i));
        renamePrompts.append(shown);
        return answer;
    }

    QStringList messageTexts() const
    {
        QStringList texts;
        for (const Message& m : messages)
            texts.append(m.text);
        return texts;
    }

    struct RenamePromptShown
    {
        QList<platform::RenameRow> rows;
        QString count;
        QString problem;
    };

    QList<Message> messages;
    QList<RenamePromptShown> renamePrompts;
    QStringList prompts, browseTitles, browseStarts, questions;
    QQueue<QString> inputAnswers, folderAnswers; // an empty text stands for cancel
    QQueue<bool> questionAnswers;                // Yes unless told otherwise
    QQueue<std::optional<QString>> prefixAnswers; // std::nullopt: Abbrechen
};
