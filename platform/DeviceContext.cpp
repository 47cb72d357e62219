#include "platform/DeviceContext.h"

#include <QPainter>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

namespace platform {

namespace {

enum class Layout { Bgr24, Rgb24, Pixel32 };

// A surface resolved for one transfer: the address of its top row and the distance to the next
// row down, which is negative for bottom-up memory, so that the copy loops never care about the
// orientation.
struct Surface
{
    std::uint8_t* top = nullptr;
    qsizetype pitch = 0;
    int width = 0;
    int height = 0;
    Layout layout = Layout::Bgr24;
    const std::uint8_t* first = nullptr; // lowest address of the memory, for overlap tests
    qsizetype bytes = 0;
};

std::optional<Layout> layoutOf(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return Layout::Pixel32;
    case QImage::Format_RGB888:
        return Layout::Rgb24;
    case QImage::Format_BGR888:
        return Layout::Bgr24;
    default:
        return std::nullopt;
    }
}

std::optional<Surface> resolve(const DeviceContext* dc, bool forWriting)
{
    if (!dc)
        return std::nullopt;
    Surface s;
    switch (dc->kind()) {
    case DeviceContext::Kind::Null:
        return std::nullopt;
    case DeviceContext::Kind::BottomUpBgr:
        s.width = dc->width();
        s.height = dc->height();
        s.layout = Layout::Bgr24;
        s.first = dc->bits();
        s.bytes = qsizetype(dc->stride()) * s.height;
        s.top = dc->bits() + qsizetype(dc->stride()) * (s.height - 1);
        s.pitch = -qsizetype(dc->stride());
        return s;
    case DeviceContext::Kind::Image: {
        QImage* image = dc->image();
        const std::optional<Layout> layout = layoutOf(image->format());
        if (!layout || image->isNull())
            return std::nullopt;
        s.width = image->width();
        s.height = image->height();
        s.layout = *layout;
        // bits() detaches a shared image, which a target needs and a source must not cause.
        s.top = forWriting ? image->bits() : const_cast<std::uint8_t*>(image->constBits());
        s.first = s.top;
        s.pitch = image->bytesPerLine();
        s.bytes = image->sizeInBytes();
        return s;
    }
    }
    return std::nullopt;
}

struct Bgr
{
    std::uint8_t b, g, r;
};

template <Layout L>
struct Pixel;

template <>
struct Pixel<Layout::Bgr24>
{
    static constexpr int size = 3;
    static Bgr read(const std::uint8_t* p) { return {p[0], p[1], p[2]}; }
    static void write(std::uint8_t* p, Bgr c)
    {
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
    }
};

template <>
struct Pixel<Layout::Rgb24>
{
    static constexpr int size = 3;
    static Bgr read(const std::uint8_t* p) { return {p[2], p[1], p[0]}; }
    static void write(std::uint8_t* p, Bgr c)
    {
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    }
};

// 32-bit pixels are 0xAARRGGBB words in native byte order.
template <>
struct Pixel<Layout::Pixel32>
{
    static constexpr int size = 4;
    static Bgr read(const std::uint8_t* p)
    {
        std::uint32_t v;
        std::memcpy(&v, p, 4);
        return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16)};
    }
    static void write(std::uint8_t* p, Bgr c)
    {
        const std::uint32_t v = 0xFF000000u | std::uint32_t(c.r) << 16 | std::uint32_t(c.g) << 8 | c.b;
        std::memcpy(p, &v, 4);
    }
};

// The part of a ternary raster code that does not involve the pattern: bit (2 * S + D) of `table`
// is the result for source bit S and destination bit D.
struct Rop
{
    std::uint8_t table;

    std::uint8_t apply(std::uint8_t s, std::uint8_t d) const
    {
        std::uint8_t r = 0;
        if (table & 1)
            r |= ~s & ~d;
        if (table & 2)
            r |= ~s & d;
        if (table & 4)
            r |= s & ~d;
        if (table & 8)
            r |= s & d;
        return r;
    }
    Bgr apply(Bgr s, Bgr d) const { return {apply(s.b, d.b), apply(s.g, d.g), apply(s.r, d.r)}; }
};

std::optional<Rop> ropFor(RasterOp rop)
{
    const auto index = std::uint8_t(std::uint32_t(rop) >> 16);
    if ((index >> 4) != (index & 0x0F))
        return std::nullopt;
    return Rop{std::uint8_t(index & 0x0F)};
}

struct Rect
{
    int x, y, w, h, sx, sy;
};

template <Layout S, Layout D>
void copyRows(const Surface& src, Surface& dst, const Rect& r, RasterOp op, Rop rop)
{
    for (int row = 0; row < r.h; ++row) {
        const std::uint8_t* s = src.top + (r.sy + row) * src.pitch + qsizetype(r.sx) * Pixel<S>::size;
        std::uint8_t* d = dst.top + (r.y + row) * dst.pitch + qsizetype(r.x) * Pixel<D>::size;
        if (op == RasterOp::SrcCopy) {
            if constexpr (S == D && S != Layout::Pixel32) {
                std::memcpy(d, s, std::size_t(r.w) * Pixel<S>::size);
            } else {
                for (int i = 0; i < r.w; ++i, s += Pixel<S>::size, d += Pixel<D>::size)
                    Pixel<D>::write(d, Pixel<S>::read(s));
            }
        } else {
            for (int i = 0; i < r.w; ++i, s += Pixel<S>::size, d += Pixel<D>::size)
                Pixel<D>::write(d, rop.apply(Pixel<S>::read(s), Pixel<D>::read(d)));
        }
    }
}

template <Layout S>
void copyRowsTo(const Surface& src, Surface& dst, const Rect& r, RasterOp op, Rop rop)
{
    switch (dst.layout) {
    case Layout::Bgr24:
        copyRows<S, Layout::Bgr24>(src, dst, r, op, rop);
        break;
    case Layout::Rgb24:
        copyRows<S, Layout::Rgb24>(src, dst, r, op, rop);
        break;
    case Layout::Pixel32:
        copyRows<S, Layout::Pixel32>(src, dst, r, op, rop);
        break;
    }
}

void copy(const Surface& src, Surface& dst, const Rect& r, RasterOp op, Rop rop)
{
    switch (src.layout) {
    case Layout::Bgr24:
        copyRowsTo<Layout::Bgr24>(src, dst, r, op, rop);
        break;
    case Layout::Rgb24:
        copyRowsTo<Layout::Rgb24>(src, dst, r, op, rop);
        break;
    case Layout::Pixel32:
        copyRowsTo<Layout::Pixel32>(src, dst, r, op, rop);
        break;
    }
}

bool overlaps(const Surface& a, const Surface& b)
{
    return a.first < b.first + b.bytes && b.first < a.first + a.bytes;
}

// Clips the transfer to both surfaces; false when nothing is left.
bool clip(Rect& r, const Surface& src, const Surface& dst)
{
    qint64 x = r.x, y = r.y, w = r.w, h = r.h, sx = r.sx, sy = r.sy;
    if (x < 0) {
        sx -= x;
        w += x;
        x = 0;
    }
    if (y < 0) {
        sy -= y;
        h += y;
        y = 0;
    }
    if (sx < 0) {
        x -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        y -= sy;
        h += sy;
        sy = 0;
    }
    w = std::min({w, qint64(dst.width) - x, qint64(src.width) - sx});
    h = std::min({h, qint64(dst.height) - y, qint64(src.height) - sy});
    if (w <= 0 || h <= 0)
        return false;
    r = Rect{int(x), int(y), int(w), int(h), int(sx), int(sy)};
    return true;
}

} // namespace

DeviceContext::DeviceContext(QImage* image)
{
    if (image) {
        m_kind = Kind::Image;
        m_image = image;
    }
}

DeviceContext::DeviceContext(std::uint8_t* bits, int width, int height, int stride)
{
    if (!bits || width < 1 || height < 1 || qint64(stride) < qint64(width) * 3)
        return;
    m_kind = Kind::BottomUpBgr;
    m_bits = bits;
    m_width = width;
    m_height = height;
    m_stride = stride;
}

int DeviceContext::width() const
{
    return m_kind == Kind::Image ? m_image->width() : m_width;
}

int DeviceContext::height() const
{
    return m_kind == Kind::Image ? m_image->height() : m_height;
}

QImage DeviceContext::toImage() const
{
    switch (m_kind) {
    case Kind::Null:
        break;
    case Kind::Image:
        return *m_image;
    case Kind::BottomUpBgr: {
        QImage image(m_width, m_height, QImage::Format_BGR888);
        if (image.isNull())
            return image;
        DeviceContext target(&image);
        BitBlt(&target, 0, 0, m_width, m_height, this, 0, 0, RasterOp::SrcCopy);
        return image;
    }
    }
    return QImage();
}

bool BitBlt(DeviceContext* dst, int x, int y, int w, int h, const DeviceContext* src, int sx, int sy,
            RasterOp rop)
{
    if (w < 0 || h < 0)
        return false;
    const std::optional<Rop> ternary = ropFor(rop);
    if (!ternary)
        return false;
    std::optional<Surface> target = resolve(dst, true);
    std::optional<Surface> source = resolve(src, false);
    if (!target || !source)
        return false;

    Rect r{x, y, w, h, sx, sy};
    if (!clip(r, *source, *target))
        return true;

    if (!overlaps(*source, *target)) {
        copy(*source, *target, r, rop, *ternary);
        return true;
    }
    // Within one surface the rows may be read after they were written; take the source aside.
    const qsizetype pitch = qsizetype(r.w) * 3;
    std::vector<std::uint8_t> aside(std::size_t(pitch) * std::size_t(r.h));
    Surface copyOfSource{aside.data(), pitch, r.w, r.h, Layout::Bgr24, aside.data(), qsizetype(aside.size())};
    copy(*source, copyOfSource, Rect{0, 0, r.w, r.h, r.sx, r.sy}, RasterOp::SrcCopy, Rop{0x0C});
    copy(copyOfSource, *target, Rect{r.x, r.y, r.w, r.h, 0, 0}, rop, *ternary);
    return true;
}

bool StretchBlt(DeviceContext* dst, int x, int y, int w, int h, const DeviceContext* src, int sx, int sy,
                int sw, int sh, RasterOp rop)
{
    if (rop != RasterOp::SrcCopy || w < 1 || h < 1 || sw < 1 || sh < 1)
        return false;
    if (!dst || dst->kind() != DeviceContext::Kind::Image || !resolve(dst, false) || !resolve(src, false))
        return false;

    // An upright copy of just the part that is drawn, so that bottom-up memory needs no flipped
    // painter transform (whose sampling would not be exactly nearest-neighbour).
    QImage part(sw, sh, QImage::Format_RGB32);
    if (part.isNull())
        return false;
    part.fill(Qt::black);
    DeviceContext partDc(&part);
    BitBlt(&partDc, 0, 0, sw, sh, src, sx, sy, RasterOp::SrcCopy);

    QPainter painter(dst->image());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRect(x, y, w, h), part, part.rect());
    return true;
}

} // namespace platform
