#pragma once

#include <QFont>
#include <QList>
#include <QRect>

#include <utility>

class QWidget;

namespace platform {

// A control's place on a form, in twips, as the form was laid out.
struct Twips
{
    int left;
    int top;
    int width;
    int height;
};

// The font the dialogs were laid out for: 8 points of a face with Arial's metrics (Liberation
// Sans on Debian). With it, every caption fits the size its control was given.
QFont formFont();

int twipsToPixelsX(int twips, double scale = 1.0);
int twipsToPixelsY(int twips, double scale = 1.0);
QRect toPixels(const Twips& twips, double scale = 1.0);

// The factor by which a form has to grow so that the caption of every listed control fits
// (check boxes, buttons and labels by their text, text boxes by a line's height): 1 when the
// form's font is as narrow as the one it was laid out for. Growing the whole form keeps every
// control in its place relative to the others, where cutting or moving single ones would not.
double captionScale(const QList<std::pair<QWidget*, Twips>>& places);

} // namespace platform
