// Resampling and random fill of cDIBSection.
//
// The thumbnails must come out with exactly the bytes the program has always produced, so the
// arithmetic is pinned down: scale factors, sample positions and fractions are rounded to single
// precision when stored, sums and products are evaluated in double precision with every product
// rounded before it is added, and every conversion to an integer rounds half to even. This file is
// compiled with -ffp-contract=off so that no multiply-add is fused.

#include "imaging/cDIBSection.h"

#include <QTime>

#include <bit>
#include <cfenv>
#include <cmath>
#include <random>
#include <stdexcept>

namespace {

// lrint rounds in the current rounding mode, which RoundToNearest makes sure of.
inline long nearest(double v)
{
    return std::lrint(v);
}

class RoundToNearest
{
public:
    RoundToNearest() : m_previous(std::fegetround())
    {
        if (m_previous != FE_TONEAREST)
            std::fesetround(FE_TONEAREST);
    }
    ~RoundToNearest()
    {
        if (m_previous != FE_TONEAREST)
            std::fesetround(m_previous);
    }
    RoundToNearest(const RoundToNearest&) = delete;
    RoundToNearest& operator=(const RoundToNearest&) = delete;

private:
    int m_previous;
};

// Where target index i samples the source: the whole part and the fraction, both as stored.
struct Sample
{
    double whole;
    float fraction;
};

inline Sample sampleAt(float scale, std::int32_t i)
{
    const auto position = static_cast<float>(static_cast<double>(scale) * i);
    const double whole = std::floor(static_cast<double>(position));
    return {whole, static_cast<float>(static_cast<double>(position) - whole)};
}

inline std::uint8_t clampToByte(long v)
{
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

} // namespace

std::unique_ptr<cDIBSection> cDIBSection::Resample(std::int32_t lNewHeight, std::int32_t lNewWidth) const
{
    // An empty buffer has nothing to read; its reported size may be one that never existed.
    if (!m_bits)
        return nullptr;
    auto target = std::make_unique<cDIBSection>();
    if (!target->Create(lNewWidth, lNewHeight))
        return nullptr;
    if (lNewWidth == m_width && lNewHeight == m_height)
        target->LoadPictureBlt(hdc(), 0, 0, -1, -1, platform::RasterOp::SrcCopy);
    else
        ResampleInto(*target);
    return target;
}

// Bilinear interpolation, the vertical pass first with its results rounded to integers, then the
// horizontal pass. Rows are visited in memory order, so y = 0 is the bottom row.
//
// Every pixel reads the 2 x 2 source neighbourhood at (ix, iy) without an edge case, through a
// view that admits bytes 0 .. stride - 1 of rows 0 .. H - 1 and raises std::out_of_range for
// anything else. ix and iy never decrease as x and y grow, so the last column and the last row
// reach furthest: checking them once up front gives the same outcome as checking every access.
// That includes a source 1 pixel wide or high, and the targets wider or higher than about 2^24
// pixels where single-precision rounding lets ix reach W - 1: the neighbourhood then takes its
// second pixel from the row padding, which is allowed when the padding is 3 bytes long and an
// error otherwise, exactly as the view would have it. (The padding is weighted by a fraction of 0
// or nearly so and never changes a result.)
void cDIBSection::ResampleInto(cDIBSection& target) const
{
    const std::int32_t width = m_width;
    const std::int32_t height = m_height;
    const std::int32_t newWidth = target.m_width;
    const std::int32_t newHeight = target.m_height;
    const std::int32_t stride = BytesPerScanLine();
    const std::int32_t newStride = target.BytesPerScanLine();

    const auto sx = static_cast<float>(static_cast<double>(width - 1) / newWidth);
    const auto sy = static_cast<float>(static_cast<double>(height - 1) / newHeight);

    const double lastColumn = sampleAt(sx, newWidth - 1).whole;
    const double lastRow = sampleAt(sy, newHeight - 1).whole;
    if (3.0 * lastColumn + 5.0 > stride - 1.0 || lastRow + 1.0 > height - 1.0)
        throw std::out_of_range("cDIBSection::Resample: subscript out of range");

    const RoundToNearest rounding;
    const std::uint8_t* source = m_bits;
    std::uint8_t* out = target.m_bits;
    for (std::int32_t y = 0; y < newHeight; ++y, out += newStride) {
        const Sample v = sampleAt(sy, y);
        const double lowerWeight = 1.0 - v.fraction;
        const double upperWeight = v.fraction;
        const std::uint8_t* lower = source + static_cast<std::ptrdiff_t>(v.whole) * stride;
        const std::uint8_t* upper = lower + stride;

        std::uint8_t* pixel = out;
        for (std::int32_t x = 0; x < newWidth; ++x, pixel += 3) {
            const Sample h = sampleAt(sx, x);
            const double leftWeight = 1.0 - h.fraction;
            const double rightWeight = h.fraction;
            const std::ptrdiff_t at = 3 * static_cast<std::ptrdiff_t>(h.whole);
            const std::uint8_t* a = lower + at;
            const std::uint8_t* b = upper + at;
            for (int c = 0; c < 3; ++c) {
                const double left = static_cast<double>(nearest(lowerWeight * a[c] + upperWeight * b[c]));
                const double right =
                    static_cast<double>(nearest(lowerWeight * a[c + 3] + upperWeight * b[c + 3]));
                pixel[c] = clampToByte(nearest(leftWeight * left + rightWeight * right));
            }
        }
    }
}

void cDIBSection::RandomiseBits(bool bGray)
{
    if (!m_bits)
        return;
    const std::int32_t stride = BytesPerScanLine();
    std::int32_t xEnd = 0;
    if (__builtin_mul_overflow(m_width - 1, 3, &xEnd))
        throw std::overflow_error("cDIBSection::RandomiseBits: row length overflows");

    const auto secondsSinceMidnight = static_cast<float>(QTime::currentTime().msecsSinceStartOfDay() / 1000.0);
    std::mt19937 generator(std::bit_cast<std::uint32_t>(secondsSinceMidnight));
    // 24 random bits scaled into [0, 1), so that r * 255 never reaches 255.5.
    const auto draw = [&generator] { return static_cast<float>(generator() >> 8) * (1.0f / 16777216.0f); };
    const RoundToNearest rounding;
    const auto level = [&draw] { return static_cast<std::uint8_t>(nearest(static_cast<double>(draw()) * 255)); };

    if (!bGray) {
        for (std::int32_t x = 0; x <= xEnd; x += 3) {
            for (std::int32_t y = 0; y < m_height; ++y) {
                std::uint8_t* p = m_bits + static_cast<std::ptrdiff_t>(y) * stride + x;
                p[0] = 0;
                p[1] = level();
                p[2] = level();
            }
        }
    } else {
        for (std::int32_t y = 0; y < m_height; ++y) {
            std::uint8_t* row = m_bits + static_cast<std::ptrdiff_t>(y) * stride;
            for (std::int32_t x = 0; x <= xEnd; x += 3) {
                const std::uint8_t v = level();
                row[x] = v;
                row[x + 1] = v;
                row[x + 2] = v;
            }
        }
    }
}
