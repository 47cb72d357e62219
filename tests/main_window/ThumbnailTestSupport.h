#pragma once

#include "thumbnails/Arrangement.h"
#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"
#include "platform/FileNames.h"
#include "thumbnails/Thumbnails.h"

#include "TestFiles.h"
#include "ThumbnailPictures.h"

#include <QAction>
#include <QDir>
#include <QScrollBar>
#include <QSignalSpy>
#include <QString>
#include <QTest>
#include <QTimer>

#include <functional>

// What the window's tests share: a hook into the event loop, a folder opened in the window, what
// the window shows of its order (the boxes in display order, the names picked and focused) and
// where the user points at them; the pictures and their comparison are the pipeline tests'. Only
// the helpers of the second part know how the window keeps its order: the tests go through them.

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

// Shown in an active window, for the keys.
inline bool openActive(frmmain& w, const QString& folder)
{
    if (!openView(w, folder))
        return false;
    w.activateWindow();
    return QTest::qWaitForWindowActive(&w);
}

// A folder of empty files with the given names.
inline QString makeFolder(const QString& path, const QList<QByteArray>& files)
{
    QDir().mkpath(path);
    for (const QByteArray& f : files)
        touch(platform::encodeName(path) + '/' + f);
    return path;
}

// p0001.jpg, p0002.jpg, ...: file k is listed k-th.
inline QList<QByteArray> numbered(int n, const char* prefix = "p")
{
    QList<QByteArray> names;
    for (int k = 1; k <= n; ++k)
        names.append(prefix + QByteArray::number(k).rightJustified(4, '0') + ".jpg");
    return names;
}

// The numbers of such files (p0001.jpg is 1).
inline QList<int> numbersOf(const QStringList& names)
{
    QList<int> numbers;
    for (const QString& name : names)
        numbers.append(name.mid(1, 4).toInt());
    return numbers;
}

inline QAction* menuItem(const frmmain& w, const char* name)
{
    return w.findChild<QAction*>(QLatin1String(name));
}

// ---- What the window shows of its order. ----

inline QString nameOf(const frmmain& w, int box)
{
    return thumbs::fileNameOf(platform::decodeName(w.order().picture(box).path()));
}

// The boxes of the files shown, in display order (a box is keyed by its picture's id); while a
// folder is listed, the file listed last too, whose place is not settled yet.
inline QList<int> shownBoxes(const frmmain& w)
{
    return w.order().shown();
}

// The box at a display position (from 0); one past the last file is the empty slot after it,
// where the window lays out a place of the boxes' size that is never visible or loaded.
inline ImgPreview boxAt(const frmmain& w, qsizetype position)
{
    const QList<int>& shown = w.order().shown();
    if (position < shown.size())
        return w.picScroll->element(shown.at(position));
    const Arrangement a =
        arrangeSlots(position + 1, w.thumbwidth, w.thumbheight, w.pctPreview->width() - w.ScrollMe->width());
    ImgPreview slot;
    slot.Left = a.positions.last().x();
    slot.Top = a.positions.last().y();
    slot.Width = w.thumbwidth;
    slot.Height = w.thumbheight;
    return slot;
}

// The display position of a box, -1 for none.
inline qsizetype positionOf(const frmmain& w, int box)
{
    return w.order().positionOf(box);
}

inline QStringList namesOf(const frmmain& w, const QList<int>& boxes)
{
    QStringList names;
    for (const int e : boxes)
        names.append(nameOf(w, e));
    return names;
}

// The file names in display order.
inline QStringList shownNames(const frmmain& w)
{
    return namesOf(w, shownBoxes(w));
}

// The names picked, in display order.
inline QStringList pickedNames(const frmmain& w)
{
    return namesOf(w, w.order().selection().inOrder(w.order().shown()));
}

// The name the keyboard acts on; empty for none.
inline QString focusedName(const frmmain& w)
{
    const int focus = w.order().selection().focus;
    return w.order().contains(focus) ? nameOf(w, focus) : QString();
}

// ---- Where the user points. ----

// A point of the canvas in the box at display position `position` (from 1).
inline QPoint at(const frmmain& w, qsizetype position, int dx = 50, int dy = 50)
{
    const ImgPreview& box = boxAt(w, position - 1);
    return QPoint(box.Left + dx, box.Top + dy);
}

// A point of the viewport, in the canvas's coordinates (where the test's mouse events go).
inline QPoint inViewport(const frmmain& w, int x, int y)
{
    return w.picScroll->mapFrom(w.pctPreview, QPoint(x, y));
}

// A drag from the box at display position `from` onto the one at `to`.
inline void drag(const frmmain& w, qsizetype from, qsizetype to)
{
    QTest::mousePress(w.picScroll, Qt::LeftButton, {}, at(w, from));
    QTest::mouseMove(w.picScroll, at(w, to, 40));
    QTest::mouseRelease(w.picScroll, Qt::LeftButton, {}, at(w, to, 40));
}
