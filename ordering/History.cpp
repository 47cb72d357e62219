#include "ordering/History.h"

namespace ordering {

qint64 History::bytesOf(const Step& step)
{
    // The order after a step is, as a rule, the same memory as the one before the next.
    return qint64(step.before.size()) * qint64(sizeof(PictureId)) + qint64(step.selection.bits().size() / 8);
}

void History::record(Step step)
{
    while (m_steps.size() > m_done) {
        m_bytes -= bytesOf(m_steps.back());
        m_steps.pop_back();
    }
    m_bytes += bytesOf(step);
    m_steps.push_back(std::move(step));
    ++m_done;
    // The newest step stays whatever its size.
    while (m_bytes > m_budget && m_steps.size() > 1) {
        m_bytes -= bytesOf(m_steps.front());
        m_steps.pop_front();
        --m_done;
    }
}

void History::clear()
{
    m_steps.clear();
    m_done = 0;
    m_bytes = 0;
}

void History::rewrite(const std::function<void(Step&)>& edit)
{
    m_bytes = 0;
    for (Step& step : m_steps) {
        edit(step);
        m_bytes += bytesOf(step);
    }
}

QString stepText(const History::Step& step)
{
    switch (step.kind) {
    case History::Step::Kind::ByName:
        return QStringLiteral("Nach Dateiname ordnen");
    case History::Step::Kind::ByTime:
        return QStringLiteral("Nach Aufnahmezeit ordnen");
    case History::Step::Kind::Arrivals:
        return step.pictures == 1 ? QStringLiteral("1 neues Bild einordnen")
                                  : QStringLiteral("%1 neue Bilder einordnen").arg(step.pictures);
    case History::Step::Kind::Move:
        break;
    }
    return step.pictures == 1 ? QStringLiteral("1 Bild verschieben")
                              : QStringLiteral("%1 Bilder verschieben").arg(step.pictures);
}

const History::Step* History::undo()
{
    if (m_done == 0)
        return nullptr;
    --m_done;
    return &m_steps[m_done];
}

const History::Step* History::redo()
{
    if (m_done >= m_steps.size())
        return nullptr;
    return &m_steps[m_done++];
}

} // namespace ordering
