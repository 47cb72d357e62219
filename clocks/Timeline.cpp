#include "clocks/Timeline.h"

#include "clocks/ClocksDialog.h"
#include "platform/Dialogs.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace clocks {

namespace {

constexpr int kMargin = 8;
constexpr int kPickDistance = 5;

} // namespace

Timeline::Timeline(const QList<ordering::DeviceGroup>& groups, QWidget* parent)
    : QWidget(parent), m_groups(groups), m_offsets(size_t(groups.size()), 0)
{
    setObjectName(QStringLiteral("timeline"));
    setMouseTracking(false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    updateRange();
}

QSize Timeline::sizeHint() const
{
    return {kLabelWidth + 480, int(m_groups.size()) * kRowHeight + 2 * fontMetrics().height() + kMargin};
}

QSize Timeline::minimumSizeHint() const
{
    return {kLabelWidth + 200, sizeHint().height()};
}

void Timeline::setOffsets(const ordering::ClockOffsets& offsets)
{
    for (qsizetype i = 0; i < m_groups.size(); ++i)
        m_offsets[size_t(i)] = offsets.value(m_groups[i].key);
    updateRange();
    update();
}

void Timeline::setPicked(const QList<Mark>& marks)
{
    m_picked = marks;
    update();
}

qint64 Timeline::shiftedSeconds(int row, qsizetype index) const
{
    return m_groups[row].times[size_t(index)].seconds + m_offsets[size_t(row)];
}

void Timeline::updateRange()
{
    bool any = false;
    for (int row = 0; row < m_groups.size(); ++row) {
        if (m_groups[row].times.empty())
            continue;
        const qint64 first = shiftedSeconds(row, 0);
        const qint64 last = shiftedSeconds(row, qsizetype(m_groups[row].times.size()) - 1);
        m_first = any ? std::min(m_first, first) : first;
        m_last = any ? std::max(m_last, last) : last;
        any = true;
    }
    if (!any)
        m_first = 0;
    // A single moment still has a width.
    if (m_last <= m_first)
        m_last = m_first + 1;
}

double Timeline::xOf(qint64 seconds) const
{
    const double left = kLabelWidth;
    const double width = std::max(1, this->width() - kLabelWidth - kMargin);
    return left + double(seconds - m_first) / double(m_last - m_first) * width;
}

QPoint Timeline::markAt(const Mark& mark) const
{
    return {int(xOf(shiftedSeconds(mark.row, mark.index)) + 0.5), mark.row * kRowHeight + kRowHeight / 2};
}

std::optional<Timeline::Mark> Timeline::markNear(QPoint point) const
{
    const int row = point.y() / kRowHeight;
    if (point.y() < 0 || row >= m_groups.size() || m_groups[row].times.empty())
        return std::nullopt;
    const std::vector<ordering::ClockTime>& times = m_groups[row].times;
    // The time under the pointer, on the device's own clock.
    const double width = std::max(1, this->width() - kLabelWidth - kMargin);
    const qint64 at = m_first + qint64((point.x() - kLabelWidth) / width * double(m_last - m_first)) -
                      m_offsets[size_t(row)];
    const auto it = std::lower_bound(times.cbegin(), times.cend(), at,
                                     [](const ordering::ClockTime& t, qint64 s) { return t.seconds < s; });
    std::optional<Mark> best;
    int bestDistance = kPickDistance + 1;
    for (auto candidate : {it - 1, it}) {
        if (candidate < times.cbegin() || candidate >= times.cend())
            continue;
        const Mark mark{row, candidate - times.cbegin()};
        const int distance = std::abs(markAt(mark).x() - point.x());
        if (distance < bestDistance) {
            bestDistance = distance;
            best = mark;
        }
    }
    return best;
}

void Timeline::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    if (const std::optional<Mark> mark = markNear(event->position().toPoint()))
        emit picked(*mark);
}

bool Timeline::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip || !m_describe)
        return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    if (const std::optional<Mark> mark = markNear(help->pos()))
        QToolTip::showText(help->globalPos(), platform::plainToolTip(m_describe(*mark)), this);
    else
        QToolTip::hideText();
    return true;
}

void Timeline::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QPalette& pal = palette();
    p.fillRect(rect(), pal.base());
    const int right = width() - kMargin;
    const int pixels = std::max(1, right - kLabelWidth + 1);
    for (int row = 0; row < m_groups.size(); ++row) {
        const QRect band(0, row * kRowHeight, width(), kRowHeight);
        if (row % 2)
            p.fillRect(band, pal.alternateBase());
        p.setPen(pal.color(QPalette::Text));
        p.drawText(band.adjusted(4, 0, -(width() - kLabelWidth + 4), 0), Qt::AlignVCenter | Qt::AlignLeft,
                   p.fontMetrics().elidedText(deviceName(m_groups[row].label), Qt::ElideRight, kLabelWidth - 8));
        // A mark per pixel column that holds photos: thousands of photos draw as fast as a few.
        std::vector<bool> used(size_t(pixels), false);
        QList<QLine> lines;
        for (qsizetype i = 0; i < qsizetype(m_groups[row].times.size()); ++i) {
            const int x = int(xOf(shiftedSeconds(row, i)) + 0.5);
            const size_t column = size_t(std::clamp(x - kLabelWidth, 0, pixels - 1));
            if (used[column])
                continue;
            used[column] = true;
            lines.append(QLine(x, band.top() + 4, x, band.bottom() - 4));
        }
        p.setPen(pal.color(QPalette::Highlight).darker(120));
        p.drawLines(lines);
    }
    for (const Mark& mark : m_picked) {
        if (mark.row < 0 || mark.row >= m_groups.size())
            continue;
        const QPoint at = markAt(mark);
        p.setPen(QPen(QColor(200, 40, 40), 3));
        p.drawLine(at.x(), at.y() - kRowHeight / 2 + 1, at.x(), at.y() + kRowHeight / 2 - 1);
    }
    // The ends of the range, as the reference's clock shows them.
    const int axis = int(m_groups.size()) * kRowHeight;
    p.setPen(pal.color(QPalette::Mid));
    p.drawLine(kLabelWidth, axis, right, axis);
    p.setPen(pal.color(QPalette::Text));
    const QRect labels(kLabelWidth, axis + 2, right - kLabelWidth, p.fontMetrics().height() + 2);
    p.drawText(labels, Qt::AlignLeft | Qt::AlignTop, clockText(m_first));
    p.drawText(labels, Qt::AlignRight | Qt::AlignTop, clockText(m_last));
}

} // namespace clocks
