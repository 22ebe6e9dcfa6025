// Times ComputeOpenFileMd5, the installer verification, on one file held
// open as the check holds the staged installer.
//
//   Md5Bench.exe <file> <repeats>
// prints "md5 <bytes> <median ms> <min ms> <digest>" and ends with 0, or ends
// with 1 when the file can't be opened or the digest can't be computed.
#include "bench/BenchClock.h"
#include "common/Handles.h"
#include "log/Md5Text.h"
#include "system/FileDigest.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    std::wstring path = argv[1];
    int repeats = argc > 2 ? _wtoi(argv[2]) : 5;
    if (repeats < 1)
        return 2;

    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 1;
    unsigned long long bytes = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
                               data.nFileSizeLow;

    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        std::fprintf(stderr, "can't open the file: %lu\n", ::GetLastError());
        return 1;
    }
    std::vector<double> samples;
    uint8_t digest[16] = {};
    for (int i = 0; i < repeats; ++i) {
        BenchClock clock;
        bool ok = ComputeOpenFileMd5(file.Get(), digest);
        samples.push_back(clock.ElapsedMs());
        if (!ok) {
            std::fprintf(stderr, "ComputeOpenFileMd5 failed\n");
            return 1;
        }
    }
    double least = samples[0];
    for (double s : samples)
        least = s < least ? s : least;
    std::wstring hex = FormatMd5Hex(digest);
    std::printf("md5 %llu %.3f %.3f %s\n", bytes, Median(samples), least,
                std::string(hex.begin(), hex.end()).c_str());
    return 0;
}
