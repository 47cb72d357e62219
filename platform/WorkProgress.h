#pragma once

#include <QElapsedTimer>
#include <QString>

#include <memory>

class QProgressDialog;
class QWidget;

namespace platform {

// Keeps a window painted while its own thread does a long piece of work in steps (a renaming
// run, which must not be interleaved with anything else); after a second it shows how far the
// work is, with a Cancel button. Until then the user's input waits, so that nothing else starts in
// between.
class WorkProgress
{
public:
    // `label` takes the item under way and the number of items (as %1 and %2).
    WorkProgress(QWidget* owner, const QString& objectName, const QString& label);
    ~WorkProgress();
    WorkProgress(const WorkProgress&) = delete;
    WorkProgress& operator=(const WorkProgress&) = delete;

    // Called between steps; false once the user has cancelled.
    bool operator()(int item, int items, int step, int steps);

private:
    QWidget* m_owner;
    QString m_objectName;
    QString m_label;
    QElapsedTimer m_started;
    QElapsedTimer m_pumped;
    std::unique_ptr<QProgressDialog> m_dialog;
};

} // namespace platform
