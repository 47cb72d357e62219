#include "imaging/cDIBSection.h"

#include "platform/Dialogs.h"

#include <QClipboard>
#include <QGuiApplication>

#include <stdexcept>

namespace {

bool isReadableByDeviceContext(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
        return true;
    default:
        return false;
    }
}

} // namespace

cDIBSection::~cDIBSection()
{
    ClearUp();
}

bool cDIBSection::CopyToClipboard(bool bAsDIB)
{
    // Without a GUI there is no clipboard (and no screen to make a compatible bitmap for).
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    if (bAsDIB) {
        platform::dialogs().messageBox(
            nullptr, QStringLiteral("I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!"),
            platform::MessageIcon::None);
        return false;
    }
    // An empty buffer would put an uninitialised picture there and call it a success.
    if (!m_bits)
        return false;
    QImage picture(m_width, m_height, QImage::Format_RGB32);
    if (picture.isNull())
        return false;
    platform::DeviceContext dc(&picture);
    PaintPicture(&dc, 0, 0, -1, -1, 0, 0, platform::RasterOp::SrcCopy);
    QGuiApplication::clipboard()->setImage(picture);
    return true;
}

bool cDIBSection::CreateDIB(platform::DeviceContext* /*lhDC*/, std::int32_t lWidth, std::int32_t lHeight,
                            const void*& hDib)
{
    hDib = nullptr;
    // Whatever memory the buffer had is released first, so that a direct call cannot strand it.
    ClearUp();
    m_width = lWidth;
    m_height = lHeight;
    const std::int32_t stride = BytesPerScanLine();
    std::int32_t bytes = 0;
    if (__builtin_mul_overflow(stride, lHeight, &bytes))
        throw std::overflow_error("cDIBSection: image size overflows");
    // A negative height would stand for a top-down section, which the rest of the program never
    // expects; negative or zero sizes are refused.
    if (lWidth < 1 || lHeight < 1)
        return false;
    if (!allocate(std::size_t(bytes)))
        return false;
    m_dc = platform::DeviceContext(m_bits, m_width, m_height, stride);
    hDib = m_bits;
    return true;
}

void cDIBSection::CreateFromPicture(const QImage& picThis)
{
    if (!Create(picThis.width(), picThis.height()))
        return;
    QImage source = isReadableByDeviceContext(picThis.format()) ? picThis
                                                                : picThis.convertToFormat(QImage::Format_RGB32);
    const platform::DeviceContext dc(&source);
    LoadPictureBlt(&dc, 0, 0, -1, -1, platform::RasterOp::SrcCopy);
}

bool cDIBSection::Create(std::int32_t lWidth, std::int32_t lHeight)
{
    ClearUp();
    const void* section = nullptr;
    return CreateDIB(nullptr, lWidth, lHeight, section);
}

std::int32_t cDIBSection::BytesPerScanLine() const
{
    std::int32_t bytes = 0;
    if (__builtin_mul_overflow(m_width, 3, &bytes) || __builtin_add_overflow(bytes, 3, &bytes))
        throw std::overflow_error("cDIBSection: row length overflows");
    return bytes & ~3;
}

void cDIBSection::LoadPictureBlt(const platform::DeviceContext* lhDC, std::int32_t lSrcLeft, std::int32_t lSrcTop,
                                 std::int32_t lSrcWidth, std::int32_t lSrcHeight, platform::RasterOp eRop)
{
    if (lSrcWidth < 0)
        lSrcWidth = m_width;
    if (lSrcHeight < 0)
        lSrcHeight = m_height;
    platform::BitBlt(hdc(), 0, 0, lSrcWidth, lSrcHeight, lhDC, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::PaintPicture(platform::DeviceContext* lhDC, std::int32_t lDestLeft, std::int32_t lDestTop,
                               std::int32_t lDestWidth, std::int32_t lDestHeight, std::int32_t lSrcLeft,
                               std::int32_t lSrcTop, platform::RasterOp eRop) const
{
    if (lDestWidth < 0)
        lDestWidth = m_width;
    if (lDestHeight < 0)
        lDestHeight = m_height;
    platform::BitBlt(lhDC, lDestLeft, lDestTop, lDestWidth, lDestHeight, hdc(), lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::ClearUp()
{
    m_dc = platform::DeviceContext();
    m_bits = nullptr;
    if (m_block && m_keepMemory)
        m_spare = std::move(m_block);
    m_block.reset();
}

void cDIBSection::KeepMemoryForReuse(bool keep)
{
    m_keepMemory = keep;
    if (!keep)
        m_spare.reset();
}

bool cDIBSection::allocate(std::size_t bytes)
{
    if (m_spare && m_spare.size() >= bytes) {
        m_block = std::move(m_spare);
    } else {
        m_spare.reset();
        // Fresh memory is zero, so that pixels nobody painted are black rather than leftovers.
        m_block = imaging::ZeroedBlock(bytes);
        if (!m_block)
            return false;
    }
    m_spare.reset();
    m_bits = m_block.data();
    return true;
}
