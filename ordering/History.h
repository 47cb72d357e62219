#pragma once

#include "ordering/Selection.h"

#include <QList>
#include <QString>

#include <deque>
#include <functional>

namespace ordering {

// The steps taken on the display order since the folder was shown, for undo and redo. Each step
// keeps the whole order before and after it: copying ten thousand ids costs microseconds, far
// less than arranging the boxes afterwards, and the order after one step shares its memory with
// the order before the next. The oldest steps go once the orders kept exceed the budget.
class History
{
public:
    struct Step
    {
        enum class Kind
        {
            Move,   // `pictures` pictures moved
            ByName, // the starting orders
            ByTime,
            Arrivals, // `pictures` files that came in later put in by time
        };
        Kind kind = Kind::Move;
        qsizetype pictures = 0;
        QList<PictureId> before;
        QList<PictureId> after;
        Selection selection; // as it was when the step was taken
    };

    explicit History(qint64 budgetBytes) : m_budget(budgetBytes) {}

    // A new step; the steps undone before it cannot be redone any more.
    void record(Step step);
    void clear();
    // Lets `edit` change every step (the pictures of a folder listed anew have new ids), without
    // changing which are done.
    void rewrite(const std::function<void(Step&)>& edit);

    // The step that undo (redo) would take back (take again), or null.
    const Step* nextUndo() const { return m_done > 0 ? &m_steps[m_done - 1] : nullptr; }
    const Step* nextRedo() const { return m_done < m_steps.size() ? &m_steps[m_done] : nullptr; }
    // Moves back (forward) over that step and returns it, or null.
    const Step* undo();
    const Step* redo();

    qsizetype size() const { return qsizetype(m_steps.size()); }
    qint64 bytes() const { return m_bytes; }

private:
    static qint64 bytesOf(const Step& step);

    std::deque<Step> m_steps;
    size_t m_done = 0; // steps in effect: the first m_done of m_steps
    qint64 m_bytes = 0;
    qint64 m_budget;
};

// What undoing or redoing the step does, for the menu: "3 Bilder verschieben".
QString stepText(const History::Step& step);

} // namespace ordering
