#pragma once

#include <new>
#include <string>

namespace Logger {

// Process-wide single instance with a reference count. GetInstance creates it
// on first use; the ReleaseInstance that brings the count to 0 destroys it.
template <class T>
class Singleton {
public:
    static T* GetInstance();
    static void ReleaseInstance(T* instance);
    virtual ~Singleton() { s_instance = nullptr; }

protected:
    Singleton() {}

private:
    static T* s_instance;
    static int s_refCount;
};

template <class T>
T* Singleton<T>::GetInstance() {
    if (!s_instance)
        s_instance = new (std::nothrow) T();
    ++s_refCount;
    return s_instance;
}

template <class T>
void Singleton<T>::ReleaseInstance(T* instance) {
    if (s_refCount > 0 && --s_refCount == 0 && instance)
        delete instance;  // ~Singleton clears the instance pointer
}

template <class T>
T* Singleton<T>::s_instance = nullptr;
template <class T>
int Singleton<T>::s_refCount = 0;

// The Updater's log: UTF-8 with a byte order mark, CR LF line ends, one
// record per Write ("DD-MM-YYYY HH:MM:SS\t", a space, the message). Writers
// of one file in any process take turns through a named mutex derived from
// the file's path; a writer that waits more than 1000 ms drops its record.
// The log never reports an error and never stops the program.
class CLogger : public Singleton<CLogger> {
public:
    CLogger();
    virtual ~CLogger();
    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;

    // Closes any open file, trims the file at path while holding its log
    // mutex (no trim when the mutex can't be had within 1000 ms), opens it
    // for appending (shared with other processes) and remembers path, also
    // when the open failed.
    void SetLogFile(const std::wstring& path);
    // Appends one record. The format follows the Microsoft convention: %s
    // takes a wide string. Messages longer than 4095 characters are cut.
    void Write(const wchar_t* format, ...);
    // When the file at path is 1 MiB or larger, keeps only its last 512 KiB
    // (from the first whole character on), under a fresh byte order mark.
    static void TrimLogFile(const std::wstring& path);

    const std::wstring& GetLogFile() const { return m_path; }

private:
    void* m_file;  // the open log file's handle, or INVALID_HANDLE_VALUE
    std::wstring m_path;
    // Name of the mutex of m_path, made once when the path is set (or by the
    // first record when none was): it takes a digest, which costs
    // milliseconds each time (the cryptographic provider is loaded anew).
    std::wstring m_mutexName;
};

// Holds a reference to the logger for the lifetime of a routine.
class LogRef {
public:
    LogRef() : m_logger(CLogger::GetInstance()) {}
    ~LogRef() { CLogger::ReleaseInstance(m_logger); }
    LogRef(const LogRef&) = delete;
    LogRef& operator=(const LogRef&) = delete;
    CLogger* operator->() const { return m_logger; }
    CLogger* Get() const { return m_logger; }

private:
    CLogger* m_logger;
};

}  // namespace Logger
