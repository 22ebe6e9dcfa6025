#include "engine/TransferCap.h"

CTransferCap::CTransferCap(uint64_t maxBytes)
    : m_maxBytes(maxBytes), m_arrived(0), m_ended(false), m_cut(false), m_failed(false) {}

size_t CTransferCap::Admit(size_t count) {
    const uint64_t room = m_arrived < m_maxBytes ? m_maxBytes - m_arrived : 0;
    // Past 2^64 - 1 bytes nothing is counted any more: the cap has long cut.
    m_arrived = count <= UINT64_MAX - m_arrived ? m_arrived + count : UINT64_MAX;
    if (m_arrived > m_maxBytes)
        m_cut = true;
    return count < room ? count : static_cast<size_t>(room);
}
