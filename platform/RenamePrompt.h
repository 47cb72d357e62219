#pragma once

#include "platform/RenamePreview.h"

#include <QAbstractListModel>
#include <QDialog>

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;

namespace platform {

// The rows of a RenamePreview for a list view, each made when the view asks for it: a list of
// 10,000 renames costs no more than the rows in sight.
class RenameRowsModel final : public QAbstractListModel
{
    Q_OBJECT
public:
    enum Role {
        ProblemRole = Qt::UserRole, // QString: what stops the run at this file
        KeepsNameRole,              // bool
        KindRole,                   // int: RenameRow::Kind
        ParentRole,                 // qsizetype: a companion's picture
    };

    explicit RenameRowsModel(RenamePreview& preview, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The preview was given another prefix.
    void refresh();

private:
    const RenameRow& rowAt(int i) const;

    RenamePreview& m_preview;
    int m_rows = 0;
    // A view asks for a row's roles one after another.
    mutable int m_cachedIndex = -1;
    mutable RenameRow m_cached;
};

// Asks for the prefix of a renaming: the prompt, the field, and below it the renames the prefix
// typed would make and what would stop them, brought up to date at each key. OK is disabled while
// anything would stop the run; Abbrechen, Escape and closing the window leave everything as it is.
class RenamePrompt final : public QDialog
{
    Q_OBJECT
public:
    RenamePrompt(QWidget* parent, const QString& prompt, const QString& defaultText, RenamePreview& preview);

    QString prefix() const;
    void accept() override;

private:
    void prefixChanged(const QString& text);

    RenamePreview& m_preview;
    RenameRowsModel* m_model;
    QLineEdit* m_prefix;
    QListView* m_list;
    QLabel* m_count;
    QLabel* m_problem;
    QPushButton* m_ok;
};

} // namespace platform
