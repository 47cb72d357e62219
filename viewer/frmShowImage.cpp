#include "viewer/frmShowImage.h"

#include "imaging/LoadJPG.h"
#include "imaging/Orientation.h"
#include "imaging/PictureReader.h"
#include "platform/FileNames.h"
#include "platform/Screen.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <QtMath>

#include <algorithm>
#include <exception>
#include <vector>

namespace viewer {

namespace {

class SystemEnvironment final : public Environment
{
public:
    QPoint GetCursorPos() override { return QCursor::pos(); }
    bool GetAsyncKeyState(platform::VirtualKey key) override
    {
        return platform::asyncKeyState().GetAsyncKeyState(key);
    }
    Screen screenAt(QPoint point) override
    {
        const QScreen* screen = QGuiApplication::screenAt(point);
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        return screen ? Screen{screen->geometry(), screen->devicePixelRatio()} : Screen{};
    }
    TwipsPerPixel twipsPerPixel() override
    {
        return {platform::twipsPerPixelX(), platform::twipsPerPixelY()};
    }
    void setWheelCaptured(bool captured) override { platform::asyncKeyState().setWheelCaptured(captured); }
};

// Everything the screens show. What lies beyond them cannot be seen, so the window is only as
// large as its part on them: a window zoomed far past the screen costs no more memory than one
// screenful.
QRect desktop()
{
    QRect all;
    for (const QScreen* screen : QGuiApplication::screens())
        all |= screen->geometry();
    return all;
}

// Fills `tile` with the part at `from` (device pixels) of a window of `window` device pixels over
// which the whole picture, turned as `orientation` says, is stretched, every window pixel showing
// the picture pixel under its centre. Any part is drawn exactly as it would be within the whole,
// so parts painted at different times meet without a seam. The buffer stays as it is stored: a
// pixel seen at (x, y) lies at an offset that is the sum of one part for x and one for y, so
// turning costs nothing here.
void stretchInto(QImage& tile, QPoint from, QSize window, const cDIBSection& dib,
                 imaging::Orientation orientation)
{
    const QSize stored(dib.Width(), dib.Height());
    const QSize shown = imaging::displayedSize(stored, orientation);
    const qsizetype stride = dib.BytesPerScanLine();
    const auto offset = [&](qint64 x, qint64 y) {
        const QPoint p = imaging::storedPixel(orientation, QPoint(int(x), int(y)), stored);
        return (stored.height() - 1 - p.y()) * stride + 3 * qsizetype(p.x());
    };
    const qsizetype origin = offset(0, 0);
    std::vector<qsizetype> columns(static_cast<std::size_t>(tile.width()));
    for (int i = 0; i < tile.width(); ++i) {
        const qint64 x = from.x() + i;
        const qint64 column =
            std::clamp<qint64>((2 * x + 1) * shown.width() / (2 * window.width()), 0, shown.width() - 1);
        columns[static_cast<std::size_t>(i)] = offset(column, 0) - origin;
    }
    for (int j = 0; j < tile.height(); ++j) {
        const qint64 y = from.y() + j;
        const qint64 row =
            std::clamp<qint64>((2 * y + 1) * shown.height() / (2 * window.height()), 0, shown.height() - 1);
        const std::uint8_t* source = dib.DIBSectionBitsPtr() + offset(0, row);
        auto* out = reinterpret_cast<QRgb*>(tile.scanLine(j));
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const std::uint8_t* p = source + columns[i];
            out[i] = qRgb(p[2], p[1], p[0]);
        }
    }
}

} // namespace

Environment& systemEnvironment()
{
    static SystemEnvironment environment;
    return environment;
}

} // namespace viewer

using platform::VirtualKey;

frmShowImage::frmShowImage(viewer::Environment* environment)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                           Qt::WindowDoesNotAcceptFocus),
      m_env(environment ? environment : &viewer::systemEnvironment())
{
    setObjectName(QStringLiteral("frmShowImage"));
    // A peek, not a window of its own: the keyboard stays where it was, and the program ends
    // with its main window.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(200);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });

    m_thread.setMaxThreadCount(1);
    m_dib.KeepMemoryForReuse(true);
    connect(&m_watcher, &QFutureWatcher<Loaded>::finished, this, [this] { decoded(); });
}

frmShowImage::~frmShowImage()
{
    m_watcher.waitForFinished();
    if (m_open)
        m_env->setWheelCaptured(false);
}

void frmShowImage::ShowImage(const QString& fn)
{
    const QByteArray path = platform::encodeName(fn);
    // The press that opens the viewer is the one that counts, not one made long before.
    for (VirtualKey key : {VirtualKey::RButton, VirtualKey::Add, VirtualKey::Subtract, VirtualKey::OemPlus,
                           VirtualKey::OemMinus, VirtualKey::WheelUp, VirtualKey::WheelDown})
        m_env->GetAsyncKeyState(key);
    m_cursor = m_env->GetCursorPos();
    // A second press on the same picture while it is open (a double click) shows it afresh
    // without decoding it again.
    const bool same = m_open && path == m_path && (m_ready || m_decoding == m_request);
    m_open = true;
    m_fileName = fn;
    m_env->setWheelCaptured(true);
    if (!Timer1->isActive())
        Timer1->start();
    if (same) {
        if (m_ready)
            showPicture();
        return;
    }
    m_ready = false;
    hide();
    m_path = path;
    ++m_request;
    if (!m_watcher.isRunning())
        startDecoding();
}

frmShowImage::Loaded frmShowImage::load(imaging::JpegDecoder& decoder, imaging::VideoDecoder& clips,
                                        cDIBSection& dib, const QByteArray& nativePath)
{
    Loaded loaded;
    try {
        // Told by its first bytes, before the photo decoder reads the whole file.
        imaging::ClipMetadata clip;
        const imaging::VideoDecoder::Result frame = clips.decode(dib, nativePath, &clip);
        if (frame.status != imaging::VideoDecoder::Status::NotVideo) {
            loaded.ok = frame.decoded();
            loaded.orientation = clip.orientation;
            return loaded;
        }
        imaging::PhotoMetadata metadata;
        const imaging::JpegDecoder::Result result = decoder.decodePhoto(dib, nativePath, &metadata);
        if (result.decoded()) {
            loaded.ok = true;
            loaded.orientation = metadata.shownAs();
            return loaded;
        }
        if (result.status == imaging::JpegDecoder::Status::StartFailed) {
            loaded.decoderStartFailed = true;
            loaded.decoderStartCode = result.startErrorCode;
        }
        // What the JPEG decoder refuses is shown as its thumbnail would be, with the same
        // reader and limits.
        const QImage picture = imaging::readPicture(nativePath, &metadata);
        if (!picture.isNull()) {
            dib.CreateFromPicture(picture);
            loaded.ok = dib.hdc() && dib.Width() == picture.width() && dib.Height() == picture.height();
            loaded.orientation = metadata.shownAs();
        }
    } catch (const std::exception&) {
        // No memory for the picture: nothing to show, as for a damaged file.
        loaded.ok = false;
    }
    return loaded;
}

void frmShowImage::startDecoding()
{
    m_decoding = m_request;
    m_watcher.setFuture(QtConcurrent::run(
        &m_thread, [this, path = m_path] { return load(m_decoder, m_clips, m_dib, path); }));
}

void frmShowImage::decoded()
{
    const Loaded loaded = m_watcher.result();
    if (loaded.decoderStartFailed)
        imaging::reportDecoderStartFailure(nullptr, loaded.decoderStartCode);
    if (m_decoding != m_request) {
        // Another picture was asked for meanwhile; this one is not wanted any more.
        if (m_open)
            startDecoding();
        return;
    }
    if (m_open && loaded.ok) {
        m_ready = true;
        m_orientation = loaded.orientation;
        showPicture();
    }
    emit loadFinished(m_ready);
}

void frmShowImage::showPicture()
{
    const double ratio = m_env->screenAt(m_cursor).devicePixelRatio;
    // On a screen with a pixel ratio above 1, a picture pixel at 1:1 is one device pixel.
    const QSize shown = imaging::displayedSize(QSize(m_dib.Width(), m_dib.Height()), m_orientation);
    const QSizeF size(shown.width() / ratio, shown.height() / ratio);
    m_form = viewer::placeImage(m_cursor, size, m_env->twipsPerPixel());
    m_window = QRect();
    applyGeometry();
}

void frmShowImage::applyGeometry()
{
    const QRect window = viewer::toPixels(m_form, m_env->twipsPerPixel());
    if (window == m_window && isVisible())
        return;
    m_window = window;
    const QRect visible = window & viewer::desktop();
    if (visible.isEmpty()) {
        hide();
        return;
    }
    setGeometry(visible);
    update();
    show();
}

void frmShowImage::closeViewer()
{
    m_open = false;
    m_ready = false;
    Timer1->stop();
    hide();
    m_env->setWheelCaptured(false);
}

bool frmShowImage::pressed(std::initializer_list<VirtualKey> keys)
{
    // Every key is asked, so that none keeps a press for a later tick.
    bool any = false;
    for (VirtualKey key : keys)
        any = m_env->GetAsyncKeyState(key) || any;
    return any;
}

void frmShowImage::Timer1_Timer()
{
    const QPoint cursor = m_env->GetCursorPos();
    if (!m_env->GetAsyncKeyState(VirtualKey::RButton)) {
        closeViewer();
        return;
    }
    // Until the picture is shown, presses of the zoom keys wait for the first tick after it.
    if (!m_ready)
        return;
    const viewer::Environment::Screen screen = m_env->screenAt(cursor);
    viewer::panAtEdges(m_form, cursor, screen.geometry);
    const viewer::TwipsPerPixel tpp = m_env->twipsPerPixel();
    if (pressed({VirtualKey::Add, VirtualKey::OemPlus, VirtualKey::WheelUp}))
        viewer::zoomIn(m_form, viewer::zoomLimit(screen.geometry.size()), tpp);
    if (pressed({VirtualKey::Subtract, VirtualKey::OemMinus, VirtualKey::WheelDown}))
        viewer::zoomOut(m_form, tpp);
    applyGeometry();
}

void frmShowImage::paintEvent(QPaintEvent* event)
{
    if (!m_ready || m_window.isEmpty())
        return;
    const double ratio = devicePixelRatioF();
    const QRect exposed = event->rect();
    const QPoint offset = geometry().topLeft() - m_window.topLeft() + exposed.topLeft();
    QImage tile(qCeil(exposed.width() * ratio), qCeil(exposed.height() * ratio), QImage::Format_RGB32);
    if (tile.isNull())
        return;
    tile.setDevicePixelRatio(ratio);
    const QPoint from(qRound(offset.x() * ratio), qRound(offset.y() * ratio));
    const QSize window(qMax(1, qRound(m_window.width() * ratio)), qMax(1, qRound(m_window.height() * ratio)));
    viewer::stretchInto(tile, from, window, m_dib, m_orientation);
    QPainter(this).drawImage(exposed.topLeft(), tile);
}
