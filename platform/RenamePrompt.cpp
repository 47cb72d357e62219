#include "platform/RenamePrompt.h"

#include "platform/Dialogs.h"
#include "platform/FileNames.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace platform {

namespace {

// How many rows the list shows without scrolling, and how many characters wide it is at first.
constexpr int kRowsInSight = 14;
constexpr int kCharactersWide = 72;

} // namespace

RenameRowsModel::RenameRowsModel(RenamePreview& preview, QObject* parent)
    : QAbstractListModel(parent), m_preview(preview), m_rows(static_cast<int>(preview.rowCount()))
{
}

int RenameRowsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

const RenameRow& RenameRowsModel::rowAt(int i) const
{
    if (i != m_cachedIndex) {
        m_cached = m_preview.row(i);
        m_cachedIndex = i;
    }
    return m_cached;
}

QVariant RenameRowsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    const RenameRow& row = rowAt(index.row());
    switch (role) {
    case Qt::DisplayRole: {
        // A view draws text as it stands; the names come as shown already.
        const QString indent = row.kind == RenameRow::Kind::Companion ? QStringLiteral("      ") : QString();
        if (row.keepsName)
            return QString(indent + row.oldName + QStringLiteral("  (behält ihren Namen)"));
        return QString(indent + row.oldName + QStringLiteral(" \u2192 ") + row.newName);
    }
    case Qt::ToolTipRole:
        return plainToolTip(row.problem);
    case Qt::DecorationRole:
        if (row.problem.isEmpty())
            return {};
        return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    case Qt::ForegroundRole:
        if (!row.problem.isEmpty())
            return QColor(Qt::darkRed);
        if (row.keepsName)
            return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        return {};
    case ProblemRole:
        return row.problem;
    case KeepsNameRole:
        return row.keepsName;
    case KindRole:
        return static_cast<int>(row.kind);
    case ParentRole:
        return row.parent;
    default:
        return {};
    }
}

void RenameRowsModel::refresh()
{
    m_cachedIndex = -1;
    const int rows = static_cast<int>(m_preview.rowCount());
    if (rows != m_rows) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
    } else if (rows > 0) {
        // Only the rows in sight are drawn again, and the list stays where it was scrolled to.
        emit dataChanged(index(0), index(rows - 1));
    }
}

RenamePrompt::RenamePrompt(QWidget* parent, const QString& prompt, const QString& defaultText, RenamePreview& preview)
    : QDialog(parent), m_preview(preview)
{
    setObjectName(QStringLiteral("renamePrompt"));
    setWindowTitle(applicationTitle());
    auto* layout = new QVBoxLayout(this);

    auto* text = new QLabel(prompt, this);
    text->setObjectName(QStringLiteral("renamePromptText"));
    text->setTextFormat(Qt::PlainText);
    layout->addWidget(text);

    m_prefix = new QLineEdit(defaultText, this);
    m_prefix->setObjectName(QStringLiteral("renamePrefix"));
    text->setBuddy(m_prefix);
    layout->addWidget(m_prefix);

    m_model = new RenameRowsModel(preview, this);
    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("renameList"));
    // Rows of one height are laid out without asking each for its size.
    m_list->setUniformItemSizes(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::NoSelection);
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->setModel(m_model);
    const QFontMetrics metrics(m_list->font());
    m_list->setMinimumSize(metrics.averageCharWidth() * kCharactersWide, metrics.lineSpacing() * kRowsInSight);
    layout->addWidget(m_list, 1);

    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("renameCount"));
    m_count->setTextFormat(Qt::PlainText);
    layout->addWidget(m_count);

    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("renameProblem"));
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setWordWrap(true);
    QPalette warning = m_problem->palette();
    warning.setColor(QPalette::WindowText, QColor(Qt::darkRed));
    m_problem->setPalette(warning);
    layout->addWidget(m_problem);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(QStringLiteral("OK"));
    m_ok->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &RenamePrompt::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &RenamePrompt::reject);
    layout->addWidget(buttons);

    connect(m_prefix, &QLineEdit::textChanged, this, &RenamePrompt::prefixChanged);
    prefixChanged(defaultText);
    // Typing replaces the offered prefix.
    m_prefix->selectAll();
    m_prefix->setFocus();
}

QString RenamePrompt::prefix() const
{
    return m_prefix->text();
}

void RenamePrompt::accept()
{
    if (m_ok->isEnabled())
        QDialog::accept();
}

void RenamePrompt::prefixChanged(const QString& text)
{
    m_preview.setPrefix(encodeName(text));
    m_model->refresh();
    m_count->setText(m_preview.countText());
    const QString problem = m_preview.problemText();
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    m_ok->setEnabled(problem.isEmpty());
}

} // namespace platform
