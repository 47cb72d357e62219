#pragma once

#include "imaging/JpegDecoder.h"
#include "imaging/VideoDecoder.h"
#include "imaging/cDIBSection.h"
#include "platform/AsyncKeyState.h"
#include "viewer/ViewerGeometry.h"

#include <QByteArray>
#include <QFutureWatcher>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QThreadPool>
#include <QWidget>

class QTimer;

namespace viewer {

// What the viewer asks the system at each step; tests put in their own answers.
class Environment
{
public:
    virtual ~Environment() = default;

    struct Screen
    {
        QRect geometry;
        double devicePixelRatio = 1.0;
    };

    virtual QPoint GetCursorPos() = 0;
    virtual bool GetAsyncKeyState(platform::VirtualKey key) = 0;
    // The screen under a point (the primary one when there is none).
    virtual Screen screenAt(QPoint point) = 0;
    virtual TwipsPerPixel twipsPerPixel() = 0;
    virtual void setWheelCaptured(bool captured) = 0;
};

// The cursor, screens and input of the running program.
Environment& systemEnvironment();

} // namespace viewer

// A peek window: one picture at its natural size, turned the way its file says it is seen, in a
// borderless window centred on the mouse pointer, open while the right mouse button is held. It
// pans when the pointer is pushed against a screen edge and doubles or halves with plus and minus
// (keypad or main keyboard) or the wheel. It never takes the keyboard or the mouse: keys go on reaching the
// window that had them.
//
// The picture is decoded on a thread of its own and the window appears once it is ready, where
// the pointer was when ShowImage was called; a file that cannot be read shows nothing. A clip
// shows the frame its thumbnail shows, at its full size.
class frmShowImage : public QWidget
{
    Q_OBJECT
public:
    // environment: not owned; nullptr for the system's.
    explicit frmShowImage(viewer::Environment* environment = nullptr);
    ~frmShowImage() override;

    // Opens the viewer on the picture at the full path fn; call it while the right mouse button
    // is down.
    void ShowImage(const QString& fn);
    void Timer1_Timer();

    QTimer* Timer1 = nullptr;

    // Between ShowImage and the tick that finds the right button up.
    bool isOpen() const { return m_open; }
    // The picture asked for last, as given to ShowImage.
    QString fileName() const { return m_fileName; }
    // The window's place and size in twips, as far as it goes beyond the screens too.
    const viewer::FormTwips& form() const { return m_form; }

signals:
    // A picture asked for is decoded (shown true) or could not be read (false).
    void loadFinished(bool shown);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Loaded
    {
        bool ok = false;
        imaging::Orientation orientation = imaging::Orientation::Normal;
        bool decoderStartFailed = false;
        int decoderStartCode = 0;
    };
    static Loaded load(imaging::JpegDecoder& decoder, imaging::VideoDecoder& clips, cDIBSection& dib,
                       const QByteArray& nativePath);
    void startDecoding();
    void decoded();
    void showPicture();
    void applyGeometry();
    void closeViewer();
    bool pressed(std::initializer_list<platform::VirtualKey> keys);

    viewer::Environment* m_env;
    // Pixel memory and file buffer stay from one picture to the next. While a decode runs, only
    // its thread touches them.
    cDIBSection m_dib;
    imaging::JpegDecoder m_decoder;
    imaging::VideoDecoder m_clips;
    QThreadPool m_thread;
    QFutureWatcher<Loaded> m_watcher;

    QString m_fileName;
    QByteArray m_path; // what the newest ShowImage asked for
    quint64 m_request = 0;
    quint64 m_decoding = 0; // the request the running (or last) decode serves
    QPoint m_cursor;        // where the pointer was at that ShowImage
    bool m_open = false;
    bool m_ready = false; // the buffer holds the picture of the newest request
    // How the picture in the buffer is turned to be seen; it is kept as stored.
    imaging::Orientation m_orientation = imaging::Orientation::Normal;
    viewer::FormTwips m_form;
    QRect m_window; // the whole window in pixels; the widget is its part on the screens
};
