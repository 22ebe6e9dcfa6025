// A windowed program linked like the deliverables, with the lean runtime.
// Its first argument says what to do; the exit code tells the test what
// happened: 0 as expected, 1 not as expected, 3 ended by the runtime.
#include <windows.h>

#include <cstddef>
#include <new>
#include <string>
#include <vector>

namespace {

char* volatile g_sink = nullptr;

// Larger than any process can get.
#ifdef _WIN64
const size_t kHuge = 0xF000000000000000u;
#else
const size_t kHuge = 0xF0000000u;
#endif

int Run(const std::wstring& mode) {
    if (mode == L"strings") {
        std::wstring w = L"C:\\Program Files\\Product";
        w += L"\\1.0";
        std::string n(300, 'x');
        n.append("tail");
        std::wstring joined = L"<" + w + L">";
        return w.find(L"1.0") == 25 && n.size() == 304 && n.substr(300) == "tail" &&
                       joined.size() == w.size() + 2 && joined.compare(1, 2, L"C:") == 0
                   ? 0
                   : 1;
    }
    if (mode == L"nothrow") {
        volatile size_t size = kHuge;
        char* p = new (std::nothrow) char[size];
        int* q = new (std::nothrow) int(7);
        int result = p == nullptr && q != nullptr && *q == 7 ? 0 : 1;
        delete q;
        delete[] p;
        return result;
    }
    if (mode == L"new") {
        volatile size_t size = kHuge;
        g_sink = new char[size];  // kept, so the allocation can't be left out
        return 1;                 // not reached: it can't succeed
    }
    if (mode == L"length") {
        std::wstring s;
        s.reserve(s.max_size() + 1);
        return 1;
    }
    if (mode == L"vector") {
        std::vector<int> v(3);
        return v.at(5);
    }
    return 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int)
{
    std::wstring mode = commandLine ? commandLine : L"";
    size_t first = mode.find_first_not_of(L" \t");
    size_t last = mode.find_last_not_of(L" \t");
    return Run(first == std::wstring::npos ? std::wstring() : mode.substr(first, last - first + 1));
}
