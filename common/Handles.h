#pragma once

// One small owner per kind of system handle, so that no early return has to
// remember a Close call.

#include <windows.h>
#include <wincrypt.h>
#include <objbase.h>
#include <oleauto.h>

#include <utility>

// Generic owner: Traits supplies Invalid() and Close(h).
template <typename Traits>
class UniqueResource {
public:
    typedef typename Traits::Type Type;
    UniqueResource() : m_h(Traits::Invalid()) {}
    explicit UniqueResource(Type h) : m_h(h) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& o) noexcept : m_h(o.Release()) {}
    UniqueResource& operator=(UniqueResource&& o) noexcept {
        if (this != &o)
            Reset(o.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Type Get() const { return m_h; }
    bool IsValid() const { return m_h != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }
    // Address for APIs that fill in a handle; closes the current one first.
    Type* Put() {
        Reset();
        return &m_h;
    }
    Type Release() {
        Type h = m_h;
        m_h = Traits::Invalid();
        return h;
    }
    void Reset(Type h = Traits::Invalid()) {
        if (m_h != Traits::Invalid())
            Traits::Close(m_h);
        m_h = h;
    }

private:
    Type m_h;
};

struct KernelHandleTraits {  // process, thread, token, mutex, event: null when absent
    typedef HANDLE Type;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile: INVALID_HANDLE_VALUE when absent
    typedef HANDLE Type;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
    typedef HANDLE Type;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};
struct RegKeyTraits {
    typedef HKEY Type;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};
struct CryptProvTraits {
    typedef HCRYPTPROV Type;
    static Type Invalid() { return 0; }
    static void Close(Type h) { ::CryptReleaseContext(h, 0); }
};
struct CryptHashTraits {
    typedef HCRYPTHASH Type;
    static Type Invalid() { return 0; }
    static void Close(Type h) { ::CryptDestroyHash(h); }
};
struct CertContextTraits {
    typedef const CERT_CONTEXT* Type;
    static Type Invalid() { return nullptr; }
    static void Close(Type c) { ::CertFreeCertificateContext(c); }
};
struct CoTaskMemTraits {
    typedef void* Type;
    static Type Invalid() { return nullptr; }
    static void Close(Type p) { ::CoTaskMemFree(p); }
};
struct BstrTraits {
    typedef BSTR Type;
    static Type Invalid() { return nullptr; }
    static void Close(Type b) { ::SysFreeString(b); }
};
struct HeapMemTraits {  // memory of the process heap
    typedef void* Type;
    static Type Invalid() { return nullptr; }
    static void Close(Type p) { ::HeapFree(::GetProcessHeap(), 0, p); }
};
struct LocalMemTraits {  // memory the system handed out to be freed with LocalFree
    typedef HLOCAL Type;
    static Type Invalid() { return nullptr; }
    static void Close(Type p) { ::LocalFree(p); }
};

typedef UniqueResource<KernelHandleTraits> UniqueHandle;
typedef UniqueResource<FileHandleTraits> UniqueFile;
typedef UniqueResource<FindHandleTraits> UniqueFind;
typedef UniqueResource<RegKeyTraits> UniqueRegKey;
typedef UniqueResource<CryptProvTraits> UniqueCryptProv;
typedef UniqueResource<CryptHashTraits> UniqueCryptHash;
typedef UniqueResource<CertContextTraits> UniqueCertContext;
typedef UniqueResource<CoTaskMemTraits> UniqueCoTaskMem;
typedef UniqueResource<BstrTraits> UniqueBstr;
typedef UniqueResource<HeapMemTraits> UniqueHeapMem;
typedef UniqueResource<LocalMemTraits> UniqueLocalMem;

// A named mutex held for the lifetime of the object (released, not closed;
// the handle itself is a UniqueHandle).
class MutexLock {
public:
    MutexLock() : m_mutex(nullptr) {}
    // Waits up to timeoutMs; Held() tells whether the wait gave ownership.
    // acceptAbandoned: whether an abandoned mutex counts as taken.
    MutexLock(HANDLE mutex, DWORD timeoutMs, bool acceptAbandoned) : m_mutex(nullptr) {
        if (!mutex)
            return;
        DWORD r = ::WaitForSingleObject(mutex, timeoutMs);
        if (r == WAIT_OBJECT_0 || (acceptAbandoned && r == WAIT_ABANDONED))
            m_mutex = mutex;
        else if (r == WAIT_ABANDONED)
            ::ReleaseMutex(mutex);  // owned all the same; give it back
    }
    ~MutexLock() {
        if (m_mutex)
            ::ReleaseMutex(m_mutex);
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    bool Held() const { return m_mutex != nullptr; }

private:
    HANDLE m_mutex;
};

// Minimal COM smart pointer.
template <typename T>
class ComPtr {
public:
    ComPtr() : m_p(nullptr) {}
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr& o) : m_p(o.m_p) {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr& operator=(const ComPtr& o) {
        if (o.m_p)
            o.m_p->AddRef();
        Reset();
        m_p = o.m_p;
        return *this;
    }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T** Put() {
        Reset();
        return &m_p;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    void Reset() {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    // Takes over a reference the caller already owns.
    void Attach(T* p) {
        Reset();
        m_p = p;
    }
    template <typename U>
    HRESULT As(ComPtr<U>& out) const {
        if (!m_p)
            return E_POINTER;
        return m_p->QueryInterface(__uuidof(U), out.PutVoid());
    }

private:
    T* m_p;
};
