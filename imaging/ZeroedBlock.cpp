#include "imaging/ZeroedBlock.h"

#include <cstdlib>
#include <utility>

#include <sys/mman.h>

namespace imaging {

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Below this, the ordinary allocator serves well.
constexpr std::size_t kMapThreshold = std::size_t(1) << 20;

} // namespace

ZeroedBlock::ZeroedBlock(std::size_t bytes)
{
    if (bytes == 0)
        return;
    if (bytes < kMapThreshold) {
        m_data = static_cast<std::uint8_t*>(std::calloc(bytes, 1));
        m_size = m_data ? bytes : 0;
        return;
    }
    if (bytes > SIZE_MAX - 2 * kHugePage)
        return;
    // One huge page extra, so that the block can start on a huge-page boundary.
    const std::size_t length = bytes + kHugePage;
    void* mapping = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        return;
    const auto address = reinterpret_cast<std::uintptr_t>(mapping);
    const std::uintptr_t aligned = (address + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
    m_data = reinterpret_cast<std::uint8_t*>(aligned);
    m_size = bytes;
    m_mapping = mapping;
    m_mappingBytes = length;
    // Only advice: where huge pages are off, the block is simply made of small ones.
    ::madvise(m_data, (bytes + kHugePage - 1) & ~(kHugePage - 1), MADV_HUGEPAGE);
}

ZeroedBlock::~ZeroedBlock()
{
    reset();
}

ZeroedBlock::ZeroedBlock(ZeroedBlock&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_mapping(std::exchange(other.m_mapping, nullptr)), m_mappingBytes(std::exchange(other.m_mappingBytes, 0))
{
}

ZeroedBlock& ZeroedBlock::operator=(ZeroedBlock&& other) noexcept
{
    if (this != &other) {
        reset();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapping = std::exchange(other.m_mapping, nullptr);
        m_mappingBytes = std::exchange(other.m_mappingBytes, 0);
    }
    return *this;
}

void ZeroedBlock::reset()
{
    if (m_mapping)
        ::munmap(m_mapping, m_mappingBytes);
    else
        std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_mapping = nullptr;
    m_mappingBytes = 0;
}

} // namespace imaging
