#pragma once

#include "clocks/Timeline.h"
#include "imaging/PhotoMetadata.h"
#include "ordering/Clocks.h"

#include <QDialog>
#include <QList>

#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QLineEdit;

namespace ordering {
class PictureOrder;
}

namespace clocks {

// What the order needs of the camera a file names.
ordering::Camera cameraOf(const imaging::CameraData& camera);

// A device's name as shown: its label under the rules for text from files, shortened; pictures
// that name none are "Ohne Kameraangabe".
QString deviceName(const QString& label);
// A moment on a clock, as the dialog shows it; empty for one no calendar holds.
QString clockText(qint64 seconds);

// "Kamera&uhren abgleichen": one row per device (its name, its number of photos, its first and
// last time with its offset, the offset as sign, days, hours, minutes and seconds), and the
// devices' timelines, moved as an offset is typed. Two marks of two devices picked in a timeline
// and "Gleicher Moment" set the second's offset from them. OK hands the offsets over (accepted);
// input that is no offset is refused with a message and nothing is handed over. The dialog keeps
// what it shows of the order, so that it needs nothing of it once made.
class ClocksDialog : public QDialog
{
    Q_OBJECT
public:
    // `kept`: the offsets kept for the folder; without any, those the time zones propose.
    ClocksDialog(const ordering::PictureOrder& order, const ordering::ClockOffsets& kept, QWidget* parent = nullptr);
    ~ClocksDialog() override;

    const QList<ordering::DeviceGroup>& groups() const { return m_groups; }
    // The offsets as typed; nothing, with the reason, when one is no offset.
    std::optional<ordering::ClockOffsets> offsets(QString* why = nullptr) const;
    // The order the pictures would take with the offsets as typed.
    const ordering::DisplayOrder& preview() const { return m_preview; }
    // Sets a device's offset as if typed.
    void setOffset(int row, qint64 offset);

    void accept() override;

private:
    struct Row
    {
        QComboBox* sign = nullptr;
        QLineEdit* days = nullptr;
        QLineEdit* hours = nullptr;
        QLineEdit* minutes = nullptr;
        QLineEdit* seconds = nullptr;
        QLabel* first = nullptr;
        QLabel* last = nullptr;
    };
    void edited();
    void markPicked(const Timeline::Mark& mark);
    void alignPicked();
    // A photo of the timeline for people: its file, its device, the time its clock showed.
    QString describe(const Timeline::Mark& mark) const;

    QList<ordering::DeviceGroup> m_groups;
    ordering::TimeSorter m_sorter;
    ordering::DisplayOrder m_shown;
    ordering::DisplayOrder m_preview;
    std::vector<QByteArray> m_paths; // by id, from 1
    QList<Row> m_rows;
    QList<Timeline::Mark> m_picks;
    Timeline* m_timeline = nullptr;
    QLabel* m_message = nullptr;
    QLabel* m_moved = nullptr;
    QLabel* m_pair = nullptr;
    QPushButton* m_sameMoment = nullptr;
    bool m_setting = false;
};

} // namespace clocks
