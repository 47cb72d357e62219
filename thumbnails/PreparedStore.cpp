#include "thumbnails/PreparedStore.h"

qint64 PreparedStore::bytesOf(const thumbs::Prepared& prepared)
{
    qint64 bytes = sizeof(Entry) + 64;
    if (prepared.dib)
        bytes += sizeof(cDIBSection) + qint64(prepared.dib->BytesPerScanLine()) * prepared.dib->Height();
    bytes += prepared.picture.sizeInBytes();
    return bytes;
}

void PreparedStore::put(int index, const thumbs::Prepared& prepared, bool recent)
{
    if (prepared.preview)
        return; // the exact picture comes after it
    remove(index);
    if (prepared.kind == thumbs::Prepared::Kind::Unreadable)
        return;
    const qint64 bytes = bytesOf(prepared);
    if (bytes > m_budget || (!recent && m_bytes + bytes > m_budget))
        return;
    shrinkTo(m_budget - bytes);
    const auto at = recent ? m_entries.begin() : m_entries.end();
    m_byIndex.emplace(index, m_entries.insert(at, Entry{index, bytes, prepared}));
    m_bytes += bytes;
}

const thumbs::Prepared* PreparedStore::find(int index)
{
    const auto it = m_byIndex.find(index);
    if (it == m_byIndex.end())
        return nullptr;
    m_entries.splice(m_entries.begin(), m_entries, it->second);
    return &it->second->prepared;
}

void PreparedStore::remove(int index)
{
    const auto it = m_byIndex.find(index);
    if (it == m_byIndex.end())
        return;
    m_bytes -= it->second->bytes;
    m_entries.erase(it->second);
    m_byIndex.erase(it);
}

void PreparedStore::clear()
{
    m_entries.clear();
    m_byIndex = {};
    m_bytes = 0;
}

void PreparedStore::setBudget(qint64 bytes)
{
    m_budget = bytes;
    shrinkTo(bytes);
}

void PreparedStore::shrinkTo(qint64 bytes)
{
    while (m_bytes > bytes && !m_entries.empty()) {
        m_bytes -= m_entries.back().bytes;
        m_byIndex.erase(m_entries.back().index);
        m_entries.pop_back();
    }
}
