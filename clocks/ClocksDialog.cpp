#include "clocks/ClocksDialog.h"

#include "ordering/PictureOrder.h"
#include "platform/Dialogs.h"
#include "platform/FileNames.h"

#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <algorithm>

namespace clocks {

namespace {

// Longer names of devices are shortened; the whole one shows as the tooltip.
constexpr qsizetype kLongestName = 48;
// Rows of devices shown before the list scrolls.
constexpr int kRowsInSight = 8;

const QString kMinus = QStringLiteral("\u2212");

// A number typed in a field of its own with its unit after it. Digits only; an emptied field is
// kept as it is (and refused), not put back behind the user's back as a spin box would.
QLineEdit* field(QGridLayout* grid, int row, int column, const QString& unit, const QString& name)
{
    auto* box = new QWidget;
    auto* line = new QHBoxLayout(box);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(3);
    auto* edit = new QLineEdit(QStringLiteral("0"), box);
    edit->setObjectName(name);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{1,9}")), edit));
    edit->setAlignment(Qt::AlignRight);
    edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(u'0') * 8 + 12);
    line->addWidget(edit);
    line->addWidget(new QLabel(unit, box));
    grid->addWidget(box, row, column);
    return edit;
}

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

ordering::Camera cameraOf(const imaging::CameraData& camera)
{
    const std::optional<imaging::Device> device = imaging::deviceOf(camera);
    return {device ? device->key : QString(), device ? device->label : QString(), camera.zoneOffset};
}

QString deviceName(const QString& label)
{
    if (label.isEmpty())
        return QStringLiteral("Ohne Kameraangabe");
    QString name = platform::displayName(label);
    if (name.size() > kLongestName) {
        qsizetype cut = kLongestName - 1;
        if (name[cut - 1].isHighSurrogate())
            --cut;
        name = name.first(cut) + u'\u2026';
    }
    return name;
}

QString clockText(qint64 seconds)
{
    const QDateTime t = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
    if (!t.isValid() || t.date().year() < 1 || t.date().year() > 9999)
        return {};
    return t.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

ClocksDialog::ClocksDialog(const ordering::PictureOrder& order, const ordering::ClockOffsets& kept, QWidget* parent)
    : QDialog(parent), m_groups(ordering::groupByDevice(order)), m_sorter(order), m_shown(order.shown())
{
    setObjectName(QStringLiteral("dlgClocks"));
    m_paths.reserve(size_t(order.count()));
    for (ordering::PictureId id = 1; id <= order.count(); ++id)
        m_paths.push_back(order.picture(id).path());
    setWindowTitle(QStringLiteral("Kamerauhren abgleichen"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        QStringLiteral("Die Bilder jedes Geräts werden um seine Abweichung verschoben, bevor sie nach Aufnahmezeit "
                       "geordnet werden. Das Gerät mit den meisten Bildern steht oben; seine Uhr gilt als Bezug. "
                       "Die Bilddateien bleiben unverändert."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* rows = new QWidget;
    auto* grid = new QGridLayout(rows);
    grid->setContentsMargins(0, 0, 0, 0);
    const QStringList headers{QStringLiteral("Gerät"), QStringLiteral("Bilder"), QStringLiteral("Erstes Bild"),
                              QStringLiteral("Letztes Bild"), QStringLiteral("Abweichung")};
    for (int c = 0; c < headers.size(); ++c)
        grid->addWidget(new QLabel(QStringLiteral("<b>%1</b>").arg(headers[c]), rows), 0, c, 1, c == 4 ? 5 : 1);
    for (int i = 0; i < m_groups.size(); ++i) {
        const ordering::DeviceGroup& g = m_groups[i];
        const int r = i + 1;
        QLabel* name = plainLabel(deviceName(g.label), rows);
        name->setObjectName(QStringLiteral("lblDevice%1").arg(i));
        name->setToolTip(platform::plainToolTip(g.label.isEmpty() ? deviceName(g.label) : platform::displayName(g.label)));
        grid->addWidget(name, r, 0);
        QLabel* count = plainLabel(QString::number(g.count()), rows);
        count->setObjectName(QStringLiteral("lblCount%1").arg(i));
        count->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(count, r, 1);
        Row row;
        row.first = plainLabel({}, rows);
        row.first->setObjectName(QStringLiteral("lblFirst%1").arg(i));
        row.last = plainLabel({}, rows);
        row.last->setObjectName(QStringLiteral("lblLast%1").arg(i));
        grid->addWidget(row.first, r, 2);
        grid->addWidget(row.last, r, 3);
        row.sign = new QComboBox(rows);
        row.sign->setObjectName(QStringLiteral("cboSign%1").arg(i));
        row.sign->addItems({QStringLiteral("+"), kMinus});
        grid->addWidget(row.sign, r, 4);
        row.days = field(grid, r, 5, QStringLiteral("T"), QStringLiteral("txtDays%1").arg(i));
        row.hours = field(grid, r, 6, QStringLiteral("Std."), QStringLiteral("txtHours%1").arg(i));
        row.minutes = field(grid, r, 7, QStringLiteral("Min."), QStringLiteral("txtMinutes%1").arg(i));
        row.seconds = field(grid, r, 8, QStringLiteral("Sek."), QStringLiteral("txtSeconds%1").arg(i));
        connect(row.sign, &QComboBox::currentIndexChanged, this, &ClocksDialog::edited);
        for (QLineEdit* edit : {row.days, row.hours, row.minutes, row.seconds})
            connect(edit, &QLineEdit::textChanged, this, &ClocksDialog::edited);
        m_rows.append(row);
    }
    if (m_groups.size() <= kRowsInSight) {
        layout->addWidget(rows);
    } else {
        // Files made to name many devices still leave the dialog on the screen.
        auto* rowsArea = new QScrollArea(this);
        rowsArea->setWidget(rows);
        rowsArea->setWidgetResizable(true);
        rowsArea->setFrameShape(QFrame::NoFrame);
        rowsArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid->activate();
        const QSize size = rows->sizeHint();
        rowsArea->setMinimumSize(size.width() + rowsArea->verticalScrollBar()->sizeHint().width(),
                                 size.height() / int(m_groups.size() + 1) * (kRowsInSight + 1));
        layout->addWidget(rowsArea);
    }

    m_timeline = new Timeline(m_groups, this);
    auto* timelineArea = new QScrollArea(this);
    timelineArea->setWidget(m_timeline);
    timelineArea->setWidgetResizable(true);
    timelineArea->setMinimumHeight(std::min(m_timeline->sizeHint().height(), Timeline::kRowHeight * kRowsInSight) + 4);
    layout->addWidget(timelineArea, 1);

    auto* pairLine = new QHBoxLayout;
    m_pair = plainLabel({}, this);
    m_pair->setObjectName(QStringLiteral("lblPair"));
    m_pair->setWordWrap(true);
    pairLine->addWidget(m_pair, 1);
    m_sameMoment = new QPushButton(QStringLiteral("&Gleicher Moment"), this);
    m_sameMoment->setObjectName(QStringLiteral("btnSameMoment"));
    m_sameMoment->setAutoDefault(false);
    pairLine->addWidget(m_sameMoment);
    layout->addLayout(pairLine);
    m_moved = plainLabel({}, this);
    m_moved->setObjectName(QStringLiteral("lblMoved"));
    layout->addWidget(m_moved);
    m_message = plainLabel({}, this);
    m_message->setObjectName(QStringLiteral("lblClocksMessage"));
    m_message->setStyleSheet(QStringLiteral("color: #b00000"));
    m_message->setWordWrap(true);
    layout->addWidget(m_message);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &ClocksDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ClocksDialog::reject);
    connect(m_timeline, &Timeline::picked, this, &ClocksDialog::markPicked);
    m_timeline->setDescriber([this](const Timeline::Mark& mark) { return describe(mark); });
    connect(m_sameMoment, &QPushButton::clicked, this, &ClocksDialog::alignPicked);

    // The offsets kept for the folder are shown again; a folder aligned for the first time starts
    // from what the time zones tell.
    const bool anyKept = std::any_of(m_groups.cbegin(), m_groups.cend(),
                                     [&kept](const ordering::DeviceGroup& g) { return kept.value(g.key) != 0; });
    const ordering::ClockOffsets start = anyKept ? kept : ordering::proposedOffsets(m_groups);
    m_setting = true;
    for (int i = 0; i < m_groups.size(); ++i)
        setOffset(i, start.value(m_groups[i].key));
    m_setting = false;
    markPicked({});
    edited();
}

ClocksDialog::~ClocksDialog()
{
    // The fields and the timeline go after the rows they speak of: nothing of theirs may reach
    // back into the dialog any more.
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
    m_timeline->setDescriber({});
}

void ClocksDialog::setOffset(int row, qint64 offset)
{
    if (row < 0 || row >= m_rows.size())
        return;
    const ordering::OffsetParts parts = ordering::splitOffset(offset);
    const Row& r = m_rows[row];
    const bool setting = std::exchange(m_setting, true);
    r.sign->setCurrentIndex(parts.negative ? 1 : 0);
    r.days->setText(QString::number(parts.days));
    r.hours->setText(QString::number(parts.hours));
    r.minutes->setText(QString::number(parts.minutes));
    r.seconds->setText(QString::number(parts.seconds));
    m_setting = setting;
    edited();
}

std::optional<ordering::ClockOffsets> ClocksDialog::offsets(QString* why) const
{
    ordering::ClockOffsets offsets;
    for (int i = 0; i < m_rows.size(); ++i) {
        const Row& r = m_rows[i];
        const QString name = deviceName(m_groups[i].label);
        for (const QLineEdit* edit : {r.days, r.hours, r.minutes, r.seconds}) {
            if (!edit->hasAcceptableInput()) {
                if (why)
                    *why = QStringLiteral("Die Abweichung von \"%1\" ist keine ganze Zahl.").arg(name);
                return std::nullopt;
            }
        }
        const qint64 offset =
            ordering::joinOffset({r.sign->currentIndex() == 1, r.days->text().toLongLong(), r.hours->text().toLongLong(),
                                  r.minutes->text().toLongLong(), r.seconds->text().toLongLong()});
        if (offset > ordering::kMaxClockOffset || offset < -ordering::kMaxClockOffset) {
            if (why)
                *why = QStringLiteral("Die Abweichung von \"%1\" ist größer als zehn Jahre.").arg(name);
            return std::nullopt;
        }
        if (offset != 0)
            offsets.insert(m_groups[i].key, offset);
    }
    return offsets;
}

void ClocksDialog::edited()
{
    if (m_setting)
        return;
    QString why;
    const std::optional<ordering::ClockOffsets> now = offsets(&why);
    m_message->setText(why);
    if (!now)
        return;
    m_timeline->setOffsets(*now);
    for (int i = 0; i < m_groups.size(); ++i) {
        const std::vector<ordering::ClockTime>& times = m_groups[i].times;
        const qint64 offset = now->value(m_groups[i].key);
        m_rows[i].first->setText(times.empty() ? QString() : clockText(times.front().seconds + offset));
        m_rows[i].last->setText(times.empty() ? QString() : clockText(times.back().seconds + offset));
    }
    m_preview = m_sorter.sorted(*now);
    const qsizetype moved = ordering::TimeSorter::moved(m_shown, m_preview);
    m_moved->setText(moved == 0   ? QStringLiteral("Die Bilder stehen schon in dieser Reihenfolge.")
                     : moved == 1 ? QStringLiteral("1 Bild käme an einen anderen Platz.")
                                  : QStringLiteral("%1 Bilder kämen an einen anderen Platz.").arg(moved));
}

void ClocksDialog::markPicked(const Timeline::Mark& mark)
{
    if (mark.row >= 0) {
        // A second photo of the first's device takes its place; a third starts a new pair.
        if (m_picks.size() == 2 || (m_picks.size() == 1 && m_picks[0].row == mark.row))
            m_picks.clear();
        m_picks.append(mark);
    }
    m_timeline->setPicked(m_picks);
    m_sameMoment->setEnabled(m_picks.size() == 2);
    QStringList said;
    for (const Timeline::Mark& m : m_picks)
        said.append(describe(m));
    m_pair->setText(m_picks.isEmpty()
                        ? QStringLiteral("Zwei Fotos desselben Moments: erst eins des Geräts, dessen Uhr stimmt, "
                                         "dann eins eines anderen in der Zeitleiste anklicken.")
                        : said.join(QStringLiteral(" und ")));
}

QString ClocksDialog::describe(const Timeline::Mark& mark) const
{
    const ordering::DeviceGroup& g = m_groups[mark.row];
    const QByteArray& path = m_paths[size_t(g.timed[mark.index] - 1)];
    return QStringLiteral("%1 (%2, %3)")
        .arg(platform::displayName(platform::decodeName(path.sliced(path.lastIndexOf('/') + 1))), deviceName(g.label),
             clockText(g.times[size_t(mark.index)].seconds));
}

void ClocksDialog::alignPicked()
{
    const std::optional<ordering::ClockOffsets> now = offsets();
    if (m_picks.size() != 2 || !now)
        return;
    const Timeline::Mark first = m_picks[0];
    const Timeline::Mark second = m_picks[1];
    const std::optional<qint64> offset =
        ordering::offsetToMatch(m_groups[first.row].times[size_t(first.index)], now->value(m_groups[first.row].key),
                                m_groups[second.row].times[size_t(second.index)]);
    if (!offset) {
        m_message->setText(QStringLiteral("Die Uhren der beiden Geräte gehen um mehr als zehn Jahre auseinander."));
        return;
    }
    setOffset(second.row, *offset);
}

void ClocksDialog::accept()
{
    QString why;
    if (!offsets(&why)) {
        m_message->setText(why);
        return;
    }
    QDialog::accept();
}

} // namespace clocks
