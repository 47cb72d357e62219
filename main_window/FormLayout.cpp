#include "main_window/FormLayout.h"

#include "platform/Numeric.h"

namespace {

bool setSize(double& field, double value)
{
    if (value < 0)
        return false;
    field = value;
    return true;
}

} // namespace

int twipsToPixels(double twips, double twipsPerPixel)
{
    return static_cast<int>(platform::roundHalfEven(twips / twipsPerPixel));
}

void SizeControls(float& x, const FormMetrics& m, FormLayout& layout)
{
    if (x < kSplitterMinimum)
        x = static_cast<float>(kSplitterMinimum);
    if (x > m.W - kSplitterMinimum)
        x = static_cast<float>(m.W - kSplitterMinimum);

    setSize(layout.DirSelect.Width, x);
    setSize(layout.DrvSelect.Width, x);
    layout.imgSplitter.Left = x;
    layout.pctPreview.Left = x + kViewportGap;
    setSize(layout.picSplitter.Height, m.SH);
    setSize(layout.pctPreview.Height, layout.picSplitter.Height);
    setSize(layout.pctPreview.Width, m.SW - layout.pctPreview.Left);
    setSize(layout.imgSplitter.Height, m.SH);
    setSize(layout.DirSelect.Height, layout.picSplitter.Height - layout.DrvSelect.Height);
    layout.DrvSelect.Top = layout.DirSelect.Top + layout.DirSelect.Height;

    const int innerWidth = twipsToPixels(layout.pctPreview.Width, m.twipsPerPixelX);
    const int innerHeight = twipsToPixels(layout.pctPreview.Height, m.twipsPerPixelY);
    layout.ScrollMe.Left = innerWidth - layout.ScrollMe.Width;
    if (innerHeight >= 0)
        layout.ScrollMe.Height = innerHeight;
}

double splitterDragPosition(double pos, double W)
{
    if (pos < kSplitterDragLimit)
        return kSplitterDragLimit;
    if (pos > W - kSplitterDragLimit)
        return W - kSplitterDragLimit;
    return pos;
}
