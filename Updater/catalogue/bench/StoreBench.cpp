// Times the registration of one product (what the addproduct run mode does)
// into a user products file that already holds a given number of products.
//
//   StoreBench.exe <products> <repeats>
// prints "addproduct <products> <median ms> <min ms>" and ends with 0, or
// ends with 1 when the store did not end up with the expected products.
#include "bench/BenchClock.h"
#include "catalogue/ProductStore.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A product as installers describe them: clean-up and registry actions.
std::string ProductXml(int n) {
    std::string id = std::to_string(n);
    return "<product intname='product" + id + "' friendlyname='Product " + id +
           "' updateurl='http://127.0.0.1:8080/product" + id +
           "/update.xml?id=%s' version='1.2.3." + id + "' productdir='C:\\Program Files\\Product" +
           id + "' needadmin='no' uninstall='C:\\Program Files\\Product" + id +
           "\\uninstall.exe'>"
           "<unistallactions><action type='kill' file='product" + id + ".exe'/>"
           "<action type='regsvr' file='product" + id + ".dll'/></unistallactions>"
           "<registryactions><key root='HKCU' name='Software\\Product" + id +
           "' action='delete'/>"
           "<value root='HKCU' key='Software\\Product" + id +
           "' name='Settings' action='preserve'/></registryactions>"
           "</product>";
}

bool WriteText(const std::wstring& path, const std::string& text) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == text.size();
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int count = argc > 1 ? _wtoi(argv[1]) : 100;
    int repeats = argc > 2 ? _wtoi(argv[2]) : 7;
    if (count < 0 || repeats < 1)
        return 2;

    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"qm-bench-store-" + std::to_wstring(count);
    ::CreateDirectoryW(dir.c_str(), nullptr);
    std::wstring user = dir + L"\\UserProducts.xml";
    std::wstring machine = dir + L"\\MachineProducts.xml";
    std::wstring info = dir + L"\\info.xml";

    std::string products = "<?xml version='1.0' encoding='UTF-8'?>\r\n<products>";
    for (int i = 0; i < count; ++i)
        products += ProductXml(i);
    products += "</products>\r\n";
    if (!WriteText(user, products) || !WriteText(info, ProductXml(count))) {
        std::fprintf(stderr, "can't write the products files\n");
        return 1;
    }

    CProductStore store(machine, user);
    if (store.CountUserProducts() != count) {
        std::fprintf(stderr, "the store reads %d products, not %d\n", store.CountUserProducts(), count);
        return 1;
    }
    // The first run adds the product, every later one replaces it: the file
    // holds count + 1 products from then on.
    std::vector<double> samples;
    for (int i = 0; i < repeats; ++i) {
        BenchClock clock;
        HRESULT hr = store.AddProductFromFile(info);
        samples.push_back(clock.ElapsedMs());
        if (FAILED(hr)) {
            std::fprintf(stderr, "AddProductFromFile failed: 0x%08lx\n", static_cast<unsigned long>(hr));
            return 1;
        }
    }
    int after = store.CountUserProducts();
    ::DeleteFileW(user.c_str());
    ::DeleteFileW(info.c_str());
    ::RemoveDirectoryW(dir.c_str());
    if (after != count + 1) {
        std::fprintf(stderr, "the store holds %d products after adding, not %d\n", after, count + 1);
        return 1;
    }
    double least = samples[0];
    for (double s : samples)
        least = s < least ? s : least;
    std::printf("addproduct %d %.3f %.3f\n", count, Median(samples), least);
    return 0;
}
