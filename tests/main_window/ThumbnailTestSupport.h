#pragma once

#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/FileNames.h"
#include "thumbnails/Thumbnails.h"

#include "ThumbnailPictures.h"

#include <QSignalSpy>
#include <QString>
#include <QTest>
#include <QTimer>

#include <functional>

// What the window's tests of its thumbnails share: a hook into the event loop, a folder opened in
// the window, and the names its boxes show; the pictures and their comparison are the pipeline
// tests'.

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

// The name of a picture's file.
inline QString nameOf(const frmmain& w, int id)
{
    return thumbs::fileNameOf(platform::decodeName(w.order().picture(id).path()));
}

// The pictures in display order, by the ids of their boxes.
inline const QList<int>& shownIds(const frmmain& w)
{
    return w.order().shown();
}

inline QStringList shownNames(const frmmain& w)
{
    QStringList names;
    for (const int id : shownIds(w))
        names.append(nameOf(w, id));
    return names;
}
