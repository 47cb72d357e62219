#include "platform/WorkProgress.h"

#include "platform/Dialogs.h"

#include <QCoreApplication>
#include <QProgressDialog>

namespace platform {

namespace {

// Work that takes longer than this shows its progress and a Cancel button.
constexpr qint64 kProgressAfterMs = 1000;
// How often the window is painted meanwhile.
constexpr qint64 kRepaintMs = 40;

} // namespace

WorkProgress::WorkProgress(QWidget* owner, const QString& objectName, const QString& label)
    : m_owner(owner), m_objectName(objectName), m_label(label)
{
    m_started.start();
    m_pumped.start();
}

WorkProgress::~WorkProgress() = default;

bool WorkProgress::operator()(int item, int items, int step, int steps)
{
    if (m_pumped.elapsed() < kRepaintMs)
        return !(m_dialog && m_dialog->wasCanceled());
    m_pumped.restart();
    if (!m_dialog && m_started.elapsed() >= kProgressAfterMs) {
        m_dialog = std::make_unique<QProgressDialog>(m_owner);
        m_dialog->setObjectName(m_objectName);
        m_dialog->setWindowTitle(applicationTitle());
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setCancelButtonText(QStringLiteral("Abbrechen"));
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setMinimumDuration(0);
        m_dialog->setRange(0, steps);
        m_dialog->show();
    }
    if (!m_dialog) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return true;
    }
    m_dialog->setLabelText(m_label.arg(item).arg(items));
    m_dialog->setValue(step);
    QCoreApplication::processEvents();
    return !m_dialog->wasCanceled();
}

} // namespace platform
