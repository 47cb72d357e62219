#pragma once

#include <cstddef>
#include <cstdint>

namespace imaging {

// Zero-filled memory for pixel and file buffers. Large blocks come straight from the kernel and
// are offered huge pages where the system has them: a 36 MB picture then costs a few dozen
// page faults instead of some nine thousand, which on a virtual machine is the difference
// between a couple of milliseconds and a hundred.
class ZeroedBlock
{
public:
    ZeroedBlock() = default;
    // data() is null when the memory cannot be had.
    explicit ZeroedBlock(std::size_t bytes);
    ~ZeroedBlock();
    ZeroedBlock(ZeroedBlock&& other) noexcept;
    ZeroedBlock& operator=(ZeroedBlock&& other) noexcept;
    ZeroedBlock(const ZeroedBlock&) = delete;
    ZeroedBlock& operator=(const ZeroedBlock&) = delete;

    std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }
    explicit operator bool() const { return m_data != nullptr; }
    void reset();

private:
    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
    void* m_mapping = nullptr; // for blocks from mmap
    std::size_t m_mappingBytes = 0;
};

} // namespace imaging
