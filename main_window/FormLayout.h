#pragma once

// The main window's geometry in twips, and the arithmetic that lays it out. Kept apart from the
// widgets so that it can be checked without a screen.

struct TwipRect
{
    double Left = 0;
    double Top = 0;
    double Width = 0;
    double Height = 0;
};

struct PixelRect
{
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

struct FormLayout
{
    // Design values; the first layout overwrites most of them.
    TwipRect DirSelect{0, 0, 1980, 3600};
    TwipRect DrvSelect{0, 3600, 1980, 315};
    TwipRect imgSplitter{1980, 0, 150, 5805};
    TwipRect picSplitter{1980, 0, 130, 5785};
    TwipRect pctPreview{2020, 0, 6200, 5805};
    // Inside the viewport, which measures in pixels.
    PixelRect ScrollMe{0, 0, 17, 387};
};

constexpr double kSplitterStart = 1980;   // twips
constexpr double kSplitterMinimum = 1500; // twips kept free on either side by the layout
constexpr double kSplitterDragLimit = 500;
constexpr double kMinimumOuterWidth = 3000;
constexpr double kViewportGap = 40;
constexpr double kClientWidth = 8220;
constexpr double kClientHeight = 5805;
constexpr double kScrollBarWidth = 255;

// The form's measures that the layout depends on.
struct FormMetrics
{
    double W;  // outer width, twips
    double SW; // client width, twips
    double SH; // client height, twips
    double twipsPerPixelX;
    double twipsPerPixelY;
};

// Lays the controls out with the splitter at x (twips). x is clamped to keep 1500 twips on
// either side (the right-hand rule wins when both apply) and written back. A step that would
// give a control a negative size is skipped and the next one runs, as the controls refuse such
// sizes; so a window shorter than the drive list keeps the folder list's previous height.
void SizeControls(float& x, const FormMetrics& m, FormLayout& layout);

// Where the grey bar stands while the splitter is dragged to pos (twips): 500 twips from
// either outer edge at most.
double splitterDragPosition(double pos, double W);

// Twips to whole pixels, halves to the even neighbour.
int twipsToPixels(double twips, double twipsPerPixel);
