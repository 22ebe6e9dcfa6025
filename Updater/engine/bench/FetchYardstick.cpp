// The yardstick of the check's cost: the same manifest fetches made through
// the platform's URL calls alone, as the check makes them (the cache entry
// removed, a blocking stream read to its end), on the program's one thread
// and with nothing else around them. The check is judged by how far it
// stays from this program's time and peak memory.
//
//   qm_fetch_yardstick.exe <address pattern with %u> <count>
// fetches the addresses for 1 to count and ends with 0 when every one gave
// an answer, 1 when one did not, 2 on a wrong command line.
#include "common/ComInit.h"
#include "common/Handles.h"

#include <windows.h>
#include <shellapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <cwchar>
#include <string>

namespace {

// The bytes of the answer at address; false when it can't be opened or read.
bool FetchOnce(const std::wstring& address, size_t& bytes) {
    ::DeleteUrlCacheEntryW(address.c_str());
    ComPtr<IStream> stream;
    if (FAILED(::URLOpenBlockingStreamW(nullptr, address.c_str(), stream.Put(), 0, nullptr)) ||
        !stream)
        return false;
    char piece[16384];
    bytes = 0;
    for (;;) {
        ULONG got = 0;
        HRESULT hr = stream->Read(piece, sizeof piece, &got);
        bytes += got;
        if (FAILED(hr))
            return false;
        if (got == 0)
            return true;
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 3 || !std::wcsstr(argv[1], L"%u"))
        return 2;
    const std::wstring pattern = argv[1];
    const unsigned count = static_cast<unsigned>(_wtoi(argv[2]));
    ScopedComInit com;
    int result = 0;
    for (unsigned i = 1; i <= count; ++i) {
        wchar_t address[INTERNET_MAX_URL_LENGTH];
        _snwprintf(address, INTERNET_MAX_URL_LENGTH - 1, pattern.c_str(), i);
        address[INTERNET_MAX_URL_LENGTH - 1] = 0;
        size_t bytes = 0;
        if (!FetchOnce(address, bytes) || bytes == 0)
            result = 1;
    }
    ::LocalFree(argv);
    return result;
}
