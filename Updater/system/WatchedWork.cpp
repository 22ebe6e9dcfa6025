#include "system/WatchedWork.h"

CWatchedWork::CWatchedWork()
    : m_refs(1), m_lastProgress(0), m_received(0), m_abandoned(false),
      m_abandonEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    ::InitializeCriticalSection(&m_lock);
}

CWatchedWork::~CWatchedWork() { ::DeleteCriticalSection(&m_lock); }

void CWatchedWork::AddRef() { ::InterlockedIncrement(&m_refs); }

void CWatchedWork::Release() {
    if (::InterlockedDecrement(&m_refs) == 0)
        delete this;
}

void CWatchedWork::Progress(uint64_t received) {
    ::EnterCriticalSection(&m_lock);
    m_lastProgress = ::GetTickCount();
    if (received > m_received)
        m_received = received;
    ::LeaveCriticalSection(&m_lock);
}

void CWatchedWork::Start(DWORD now) {
    ::EnterCriticalSection(&m_lock);
    m_lastProgress = now;
    m_received = 0;
    ::LeaveCriticalSection(&m_lock);
}

void CWatchedWork::ReadProgress(DWORD& lastProgress, uint64_t& received) {
    ::EnterCriticalSection(&m_lock);
    lastProgress = m_lastProgress;
    received = m_received;
    ::LeaveCriticalSection(&m_lock);
}

bool CWatchedWork::AbandonUnlessFinished(HANDLE finished) {
    ::EnterCriticalSection(&m_lock);
    // It may have ended just as the time ran out: then its results count.
    bool abandon = ::WaitForSingleObject(finished, 0) != WAIT_OBJECT_0;
    if (abandon) {
        m_abandoned = true;
        OnAbandon();
        if (m_abandonEvent)
            ::SetEvent(m_abandonEvent.Get());
    }
    ::LeaveCriticalSection(&m_lock);
    return abandon;
}
