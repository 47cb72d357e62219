#pragma once

#include "ordering/Clocks.h"

#include <QList>
#include <QWidget>

#include <functional>
#include <optional>

namespace clocks {

// One row per device, its photos as marks along the time their clocks show with the offsets, so
// that gaps and overlaps between the devices are seen before anything is applied. A click on a
// mark picks that photo (see picked).
class Timeline : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kRowHeight = 22;
    static constexpr int kLabelWidth = 160;

    explicit Timeline(const QList<ordering::DeviceGroup>& groups, QWidget* parent = nullptr);

    void setOffsets(const ordering::ClockOffsets& offsets);
    // Marks drawn as picked.
    struct Mark
    {
        int row = -1;
        qsizetype index = -1; // in the group's `timed`
        bool operator==(const Mark&) const = default;
    };
    void setPicked(const QList<Mark>& marks);
    // What the tooltip of a mark says (its file, its time).
    void setDescriber(std::function<QString(const Mark&)> describe) { m_describe = std::move(describe); }

    // Where a mark stands, for the tests and the pointer.
    QPoint markAt(const Mark& mark) const;
    // The mark nearest to a point within a few pixels, in its row.
    std::optional<Mark> markNear(QPoint point) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void picked(const clocks::Timeline::Mark& mark);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    qint64 shiftedSeconds(int row, qsizetype index) const;
    double xOf(qint64 seconds) const;
    void updateRange();

    const QList<ordering::DeviceGroup>& m_groups;
    std::vector<qint64> m_offsets; // by row
    QList<Mark> m_picked;
    std::function<QString(const Mark&)> m_describe;
    qint64 m_first = 0; // the range shown, in seconds on the reference's clock
    qint64 m_last = 1;
};

} // namespace clocks
