#include "log/Logger.h"

#include "common/Handles.h"
#include "log/Md5.h"

#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

namespace Logger {

namespace {

const DWORD kMutexWaitMs = 1000;
const LONGLONG kTrimThreshold = 0xFFFFF;  // a log of 1 MiB or more is trimmed
const DWORD kTrimKeep = 0x80000;          // to its last 512 KiB
const size_t kMessageChars = 4096;
const char kBom[] = "\xEF\xBB\xBF";

// The UTF-8 bytes of text, every "\n" written as CR LF as a text stream does.
std::string ToUtf8TextMode(const std::wstring& text) {
    std::wstring crlf;
    crlf.reserve(text.size() + 16);
    for (wchar_t c : text) {
        if (c == L'\n')
            crlf += L'\r';
        crlf += c;
    }
    if (crlf.empty())
        return std::string();
    int n = ::WideCharToMultiByte(CP_UTF8, 0, crlf.data(), static_cast<int>(crlf.size()), nullptr, 0,
                                  nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, crlf.data(), static_cast<int>(crlf.size()), &out[0], n, nullptr,
                          nullptr);
    return out;
}

bool WriteAll(HANDLE file, const void* data, size_t size) {
    DWORD written = 0;
    return ::WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
}

// "DD-MM-YYYY HH:MM:SS\t" of the local time, or "Can not get date\t".
std::wstring TimeStampField() {
    FILETIME utc, local;
    SYSTEMTIME st;
    ::GetSystemTimeAsFileTime(&utc);
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &st))
        return L"Can not get date\t";
    wchar_t field[60];
    _snwprintf(field, 59, L"%.2d-%.2d-%.2d %.2d:%.2d:%.2d\t", st.wDay, st.wMonth, st.wYear, st.wHour,
               st.wMinute, st.wSecond);
    field[59] = L'\0';
    return field;
}

// All writers of one file share this name, whatever the letter case of the
// path they were given.
std::wstring MutexNameFor(const std::wstring& path) {
    std::wstring lower(path);
    if (!lower.empty())
        ::CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
    return L"quillmarrow_" + GetBufferMd5Hex(lower.data(), lower.size() * sizeof(wchar_t));
}

}  // namespace

CLogger::CLogger() : m_file(INVALID_HANDLE_VALUE) {}

CLogger::~CLogger() {
    if (m_file != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_file);
}

void CLogger::SetLogFile(const std::wstring& path) {
    if (m_file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
    }
    m_mutexName = MutexNameFor(path);
    {
        // Trimmed while no other writer of the file appends; when the log is
        // busy past the wait, it is trimmed at a later start instead.
        UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, m_mutexName.c_str()));
        MutexLock lock(mutex.Get(), kMutexWaitMs, true);
        if (lock.Held())
            TrimLogFile(path);
    }
    // No delete sharing: a trim in another process then leaves the file alone
    // instead of deleting it under our feet.
    m_file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    m_path = path;
}

void CLogger::Write(const wchar_t* format, ...) {
    if (m_mutexName.empty())
        m_mutexName = MutexNameFor(m_path);
    UniqueHandle mutex(::CreateMutexW(nullptr, FALSE, m_mutexName.c_str()));
    MutexLock lock(mutex.Get(), kMutexWaitMs, true);
    if (!lock.Held())
        return;

    std::wstring record = TimeStampField();
    wchar_t message[kMessageChars];
    va_list args;
    va_start(args, format);
    int n = _vsnwprintf(message, kMessageChars - 1, format ? format : L"", args);
    va_end(args);
    message[kMessageChars - 1] = L'\0';
    if (n >= 0 && static_cast<size_t>(n) < kMessageChars - 1)
        message[n] = L'\0';
    record += L' ';
    record += message;

    if (m_file == INVALID_HANDLE_VALUE)
        return;
    // Each record goes to the file whole while the mutex is held, so records
    // of several processes never interleave.
    std::string bytes = ToUtf8TextMode(record);
    LARGE_INTEGER size;
    if (::GetFileSizeEx(m_file, &size) && size.QuadPart == 0)
        bytes.insert(0, kBom);
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    ::SetFilePointerEx(m_file, zero, nullptr, FILE_END);
    WriteAll(m_file, bytes.data(), bytes.size());
}

void CLogger::TrimLogFile(const std::wstring& path) {
    std::vector<char> kept;
    {
        UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size;
        if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart <= kTrimThreshold)
            return;
        LARGE_INTEGER at;
        at.QuadPart = size.QuadPart - kTrimKeep;
        if (!::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN))
            return;
        kept.resize(kTrimKeep);
        DWORD read = 0;
        if (!::ReadFile(file.Get(), kept.data(), kTrimKeep, &read, nullptr) || read == 0)
            return;
        kept.resize(read);
    }
    // The cut may fall inside a character: start at the next whole one.
    size_t skip = 0;
    while (skip < kept.size() && skip < 3 && (static_cast<unsigned char>(kept[skip]) & 0xC0) == 0x80)
        ++skip;
    if (!::DeleteFileW(path.c_str()))
        return;
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    WriteAll(file.Get(), kBom, 3);
    WriteAll(file.Get(), kept.data() + skip, kept.size() - skip);
}

}  // namespace Logger
