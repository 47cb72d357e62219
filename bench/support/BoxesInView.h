#pragma once

#include "main_window/ThumbCanvas.h"
#include "main_window/frmmain.h"

#include <QList>

// The thumbnail boxes the window shows at least in part, in display order.
inline QList<int> boxesInView(const frmmain& w)
{
    QList<int> inView;
    for (const int id : w.order().shown()) {
        const ImgPreview& e = w.picScroll->element(id);
        const int top = e.Top + w.picScroll->y();
        if (top < w.pctPreview->height() && top + e.Height > 0)
            inView.append(e.Index);
    }
    return inView;
}
