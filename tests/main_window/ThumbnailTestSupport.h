#pragma once

#include "imaging/JpegDecoder.h"
#include "imaging/cDIBSection.h"
#include "main_window/ThumbCanvas.h"
#include "main_window/Thumbnails.h"
#include "main_window/frmmain.h"
#include "platform/FileNames.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <QSignalSpy>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

// What the window and thumbnail tests share: a hook into the event loop, a folder opened in the
// window, pictures with detail everywhere, so that misplaced pixels show, preparing and drawing as
// the window does, and exact image comparison.

// Runs f at every turn of the event loop until it returns true (it is then dropped).
inline void whenever(QObject* context, std::function<bool()> f)
{
    auto* timer = new QTimer(context);
    QObject::connect(timer, &QTimer::timeout, context, [timer, f] {
        if (!f())
            return;
        timer->stop();
        timer->deleteLater();
    });
    timer->start(0);
}

inline bool build(frmmain& w, const QString& folder)
{
    QSignalSpy built(&w, &frmmain::viewBuilt);
    w.openFolder(folder);
    return built.wait(60000);
}

inline bool openView(frmmain& w, const QString& folder)
{
    w.show();
    return QTest::qWaitForWindowExposed(&w) && build(w, folder);
}

inline QString nameOf(const frmmain& w, int element)
{
    return thumbs::fileNameOf(w.picScroll->element(element).ToolTipText());
}

inline QStringList shownNames(const frmmain& w)
{
    QStringList names;
    for (qsizetype k = 0; k + 1 < w.order.size(); ++k)
        names.append(nameOf(w, w.order[k]));
    return names;
}

inline const QColor kGrey(0xd0, 0xd0, 0xd0);

inline QImage pattern(int w, int h, QRgb tint = qRgb(0, 0, 0))
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 7 + qRed(tint)) & 255, (y * 5 + qGreen(tint)) & 255,
                                      ((x ^ y) + qBlue(tint)) & 255));
    return image;
}

inline QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    QImageWriter writer(&buffer, format);
    writer.setOptimizedWrite(true); // JPEG: Huffman tables of its own, not the standard ones
    writer.write(image);
    return bytes;
}

inline QString save(const QTemporaryDir& dir, const QString& name, const QImage& image, const char* format)
{
    const QString path = dir.filePath(name);
    if (!image.save(path, format, 95))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

inline QImage freshBox(int w = 100, int h = 100)
{
    QImage box(w, h, QImage::Format_RGB32);
    box.fill(kGrey);
    return box;
}

inline thumbs::Prepared prepareFile(const QString& path, int TW = 100, int TH = 100)
{
    imaging::JpegDecoder decoder;
    cDIBSection work;
    return thumbs::prepare(decoder, work, platform::encodeName(path), TW, TH);
}

// A prepared picture drawn into a fresh box of its size, without caption.
inline QImage drawn(const thumbs::Prepared& prepared)
{
    QImage box = freshBox(prepared.TW, prepared.TH);
    thumbs::draw(box, prepared, QString(), {});
    return box;
}

// Empty when the images have the same pixels, else the first that differs.
inline QString imageDifference(const QImage& actual, const QImage& expected)
{
    if (actual.size() != expected.size())
        return QStringLiteral("another size");
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x)
            if (actual.pixel(x, y) != expected.pixel(x, y))
                return QStringLiteral("pixel (%1, %2) is %3, expected %4")
                    .arg(QString::number(x), QString::number(y), QColor(actual.pixel(x, y)).name(),
                         QColor(expected.pixel(x, y)).name());
    return QString();
}

#define COMPARE_IMAGES(actual, expected)                                                                     \
    do {                                                                                                     \
        const QString why = imageDifference(actual, expected);                                               \
        QVERIFY2(why.isEmpty(), qPrintable(why));                                                            \
    } while (false)
