#pragma once

#include <objbase.h>

// COM for the calling thread as a single-threaded apartment, for the lifetime
// of the object.
class ScopedComInit {
public:
    ScopedComInit() : m_hr(::CoInitialize(nullptr)) {}
    ~ScopedComInit() {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }
    ScopedComInit(const ScopedComInit&) = delete;
    ScopedComInit& operator=(const ScopedComInit&) = delete;
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};
