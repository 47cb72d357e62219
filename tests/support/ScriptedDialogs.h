#pragma once

#include "platform/Dialogs.h"

#include <QQueue>
#include <QStringList>

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
    QStringList messageTexts() const
    {
        QStringList texts;
        for (const Message& m : messages)
            texts.append(m.text);
        return texts;
    }

    QList<Message> messages;
    QStringList prompts, browseTitles, browseStarts, questions;
    QQueue<QString> inputAnswers, folderAnswers; // an empty text stands for cancel
    QQueue<bool> questionAnswers;                // Yes unless told otherwise
};
