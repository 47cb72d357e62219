#include "main_window/Reorder.h"

float rightPartThreshold(double twipsPerPixelX)
{
    return 50.0f * static_cast<float>(twipsPerPixelX);
}

std::optional<ordering::Place> markerTarget(const ordering::PictureOrder& order, int Index, bool rightPart)
{
    if (!rightPart || (!order.listed() && Index == order.count()))
        return ordering::Place{Index};
    return order.dropPlace(Index, true);
}
