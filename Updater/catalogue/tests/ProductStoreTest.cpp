// The product store on real files under Wine.
#include "catalogue/ProductStore.h"

#include "common/Handles.h"
#include "system/RunContext.h"

#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::Hex;
using testsupport::ImportPatch;
using testsupport::Narrow;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

const char kDecl[] = "<?xml version='1.0' encoding='UTF-8'?>";

std::string Bytes(const std::wstring& path) {
    std::string bytes;
    return ReadFileBytes(path, bytes) ? bytes : std::string("<missing>");
}

std::string ProductXml(const std::string& intname, const std::string& needadmin,
                       const std::string& extra = "") {
    return "<product intname='" + intname + "' needadmin='" + needadmin + "' version='1.0'" +
           extra + "/>";
}

// A store over two files in a fresh folder.
struct StoreFixture {
    explicit StoreFixture(const wchar_t* tag)
        : dir(tag), machine(dir / L"MachineProducts.xml"), user(dir / L"UserProducts.xml"),
          store(machine, user) {}
    HRESULT Add(const std::string& xml) {
        std::wstring info = dir / L"info.xml";
        if (!WriteFileBytes(info, xml))
            return E_UNEXPECTED;
        return store.AddProductFromFile(info);
    }
    TempDir dir;
    std::wstring machine;
    std::wstring user;
    CProductStore store;
};

// Every file flush and move the program makes while it lives, in order:
// "flush <size of the flushed file>", "move <from> -> <to>[ written through]".
class FileCallWatch {
public:
    FileCallWatch()
        : m_flush("FlushFileBuffers", reinterpret_cast<void*>(&NotedFlush)),
          m_move("MoveFileExW", reinterpret_cast<void*>(&NotedMove)) {
        s_calls.clear();
        s_flush = reinterpret_cast<decltype(&::FlushFileBuffers)>(m_flush.Original());
        s_move = reinterpret_cast<decltype(&::MoveFileExW)>(m_move.Original());
    }
    bool Active() const { return s_flush && s_move; }
    static const std::vector<std::string>& Calls() { return s_calls; }

private:
    static BOOL WINAPI NotedFlush(HANDLE file) {
        LARGE_INTEGER size = {};
        ::GetFileSizeEx(file, &size);
        s_calls.push_back("flush " + std::to_string(size.QuadPart));
        return s_flush(file);
    }
    static BOOL WINAPI NotedMove(LPCWSTR from, LPCWSTR to, DWORD flags) {
        s_calls.push_back("move " + Narrow(from) + " -> " + Narrow(to) +
                          (flags & MOVEFILE_WRITE_THROUGH ? " written through" : ""));
        return s_move(from, to, flags);
    }

    ImportPatch m_flush;
    ImportPatch m_move;
    static std::vector<std::string> s_calls;
    static decltype(&::FlushFileBuffers) s_flush;
    static decltype(&::MoveFileExW) s_move;
};
std::vector<std::string> FileCallWatch::s_calls;
decltype(&::FlushFileBuffers) FileCallWatch::s_flush = nullptr;
decltype(&::MoveFileExW) FileCallWatch::s_move = nullptr;

TEST(ProductStore, DefaultPathsBesideTheLogs) {
    CProductStore store;
    EXPECT_EQ(GetExeParentFolder() + L"\\MachineProducts.xml", store.MachineProductsPath());
    EXPECT_EQ(GetLocalAppDataFolder() + L"\\UserProducts.xml", store.UserProductsPath());
}

TEST(ProductStore, NeedadminChoosesTheFileAndTheFileIsNormalised) {
    StoreFixture f(L"store-choose");
    ASSERT_EQ(S_OK, f.Add("<setup><product intname='m' needadmin='yes' version='2.0'>"
                          "<unistallactions><action type='kill' file='m.exe'/></unistallactions>"
                          "</product></setup>"));
    EXPECT_EQ(std::string(kDecl) +
                  "<products><product friendlyname='' intname='m' needadmin='yes' productdir='' "
                  "uninstall='' updateurl='' version='2.0'><registryactions></registryactions>"
                  "<unistallactions><action file='m.exe' param='' type='kill'></action>"
                  "</unistallactions></product></products>",
              Bytes(f.machine));
    EXPECT_EQ("<missing>", Bytes(f.user));

    for (const char* other : {"Yes", "true", "YES", ""})
        ASSERT_EQ(S_OK, f.Add(ProductXml(std::string("u-") + other, other))) << other;
    EXPECT_EQ(1, f.store.CountMachineProducts());
    EXPECT_EQ(4, f.store.CountUserProducts());
    CProducts users;
    ASSERT_EQ(S_OK, f.store.LoadUserProducts(users));
    EXPECT_TRUE(CProductStore::ContainsProduct(users, L"u-Yes"));
    EXPECT_FALSE(CProductStore::ContainsProduct(users, L"m"));
}

TEST(ProductStore, ReplacedProductMovesToTheEndWithNothingOfTheOldEntry) {
    StoreFixture f(L"store-replace");
    ASSERT_EQ(S_OK, f.Add("<product intname='a' friendlyname='Old' version='1'>"
                          "<registryactions><key action='delete' root='HKCU' key='K'/>"
                          "</registryactions></product>"));
    ASSERT_EQ(S_OK, f.Add(ProductXml("b", "")));
    ASSERT_EQ(S_OK, f.Add("<product intname='a' version='2'/>"));
    EXPECT_EQ(std::string(kDecl) +
                  "<products><product friendlyname='' intname='b' needadmin='' productdir='' "
                  "uninstall='' updateurl='' version='1.0'><registryactions></registryactions>"
                  "<unistallactions></unistallactions></product>"
                  "<product friendlyname='' intname='a' needadmin='' productdir='' uninstall='' "
                  "updateurl='' version='2'><registryactions></registryactions>"
                  "<unistallactions></unistallactions></product></products>",
              Bytes(f.user));
}

TEST(ProductStore, RemovalFromBothFilesAndExactNames) {
    StoreFixture f(L"store-remove");
    ASSERT_EQ(S_OK, f.Add(ProductXml("twin", "yes")));
    ASSERT_EQ(S_OK, f.Add(ProductXml("other", "yes")));
    ASSERT_EQ(S_OK, f.Add(ProductXml("twin", "no")));
    EXPECT_EQ(E_FAIL, f.store.RemoveProduct(L"TWIN"));
    EXPECT_EQ(2, f.store.CountMachineProducts());
    EXPECT_EQ(S_OK, f.store.RemoveProduct(L"twin"));
    EXPECT_EQ(1, f.store.CountMachineProducts());
    EXPECT_EQ(0, f.store.CountUserProducts());
    EXPECT_EQ(std::string(kDecl) + "<products></products>", Bytes(f.user));
    EXPECT_EQ(E_FAIL, f.store.RemoveProduct(L"twin"));
}

TEST(ProductStore, CountingAndLoading) {
    StoreFixture f(L"store-count");
    EXPECT_EQ(-1, f.store.CountMachineProducts());  // missing
    CProducts products;
    EXPECT_EQ(E_FAIL, f.store.LoadMachineProducts(products));
    ASSERT_TRUE(f.store.CreateEmptyProductsFile(f.machine));
    EXPECT_EQ(std::string(kDecl) + "<products></products>", Bytes(f.machine));
    EXPECT_EQ(0, f.store.CountMachineProducts());
    ASSERT_TRUE(WriteFileBytes(f.user, "<products><product intname='x'>"));  // cut off
    EXPECT_EQ(-1, f.store.CountUserProducts());
    ASSERT_TRUE(WriteFileBytes(f.user, "\xEF\xBB\xBF<products><product intname='x'/></products>"));
    EXPECT_EQ(1, f.store.CountUserProducts());
    EXPECT_FALSE(f.store.CreateEmptyProductsFile(f.dir / L"no-folder\\x.xml"));
}

TEST(ProductStore, PathsOutsideTheAnsiCodePageWork) {
    TempDir dir(L"store-wide");
    // Greek, CJK and a character beyond the basic plane: no ANSI code page
    // holds them all.
    std::wstring folder = dir / L"\u03a9\u4e2d\U0001F600";
    ASSERT_TRUE(testsupport::CreateFolders(folder));
    std::wstring info = folder + L"\\info.xml";
    ASSERT_TRUE(WriteFileBytes(info, ProductXml("wide", "yes")));
    CProductStore store(folder + L"\\MachineProducts.xml", folder + L"\\UserProducts.xml");
    ASSERT_EQ(S_OK, store.AddProductFromFile(info));
    ASSERT_EQ(S_OK, store.AddProductFromFile(info));
    EXPECT_EQ(1, store.CountMachineProducts());
    EXPECT_EQ(S_OK, store.RemoveProduct(L"wide"));
    EXPECT_EQ(0, store.CountMachineProducts());
}

TEST(ProductStore, BadProductFileChangesNothing) {
    StoreFixture f(L"store-badinfo");
    EXPECT_EQ(E_FAIL, f.store.AddProductFromFile(f.dir / L"missing.xml"));
    EXPECT_EQ(E_FAIL, f.Add("<products><update intname='x'/></products>"));
    EXPECT_EQ(E_FAIL, f.Add("<product intname='x'"));
    EXPECT_EQ("<missing>", Bytes(f.machine));
    EXPECT_EQ("<missing>", Bytes(f.user));
}

TEST(ProductStore, PrototypeOfAnEmptyListIsNeverTakenForAProduct) {
    StoreFixture f(L"store-prototype");
    ASSERT_TRUE(f.store.CreateEmptyProductsFile(f.user));
    CProducts products;
    ASSERT_EQ(S_OK, f.store.LoadUserProducts(products));
    ASSERT_EQ(1u, products.m_Products.size());  // the prototype, whose intname is empty
    EXPECT_FALSE(CProductStore::ContainsProduct(products, L""));
    CProductStore::RemoveProductEntry(products, L"");
    EXPECT_EQ(1u, products.m_Products.size());
    EXPECT_EQ(E_FAIL, f.store.RemoveProduct(L""));
    EXPECT_EQ(std::string(kDecl) + "<products></products>", Bytes(f.user));
    // A product registered without intname is still a product.
    ASSERT_EQ(S_OK, f.Add("<product version='3'/>"));
    EXPECT_EQ(1, f.store.CountUserProducts());
    EXPECT_EQ(S_OK, f.store.RemoveProduct(L""));
    EXPECT_EQ(0, f.store.CountUserProducts());
}

TEST(ProductStore, FailedWriteIsReportedAndKeepsTheOldFile) {
    StoreFixture f(L"store-readonly");
    ASSERT_EQ(S_OK, f.Add(ProductXml("kept", "yes")));
    const std::string before = Bytes(f.machine);
    ASSERT_TRUE(::SetFileAttributesW(f.machine.c_str(), FILE_ATTRIBUTE_READONLY));
    HRESULT added = f.Add(ProductXml("new", "yes"));
    EXPECT_EQ(E_FAIL, added) << Hex(added);
    HRESULT removed = f.store.RemoveProduct(L"kept");
    EXPECT_EQ(E_FAIL, removed) << Hex(removed);
    EXPECT_EQ(before, Bytes(f.machine));
    ::SetFileAttributesW(f.machine.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A reader elsewhere that holds the file open without allowing deletion.
    {
        UniqueFile reader(::CreateFileW(f.machine.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(reader.IsValid());
        added = f.Add(ProductXml("new", "yes"));
        EXPECT_EQ(E_FAIL, added) << Hex(added);
    }
    EXPECT_EQ(before, Bytes(f.machine));
    EXPECT_EQ(S_OK, f.Add(ProductXml("new", "yes")));
    EXPECT_EQ(2, f.store.CountMachineProducts());

    // A folder that can't take the products file at all.
    CProductStore nowhere(f.dir / L"missing\\MachineProducts.xml", f.dir / L"missing\\User.xml");
    EXPECT_EQ(E_FAIL, nowhere.AddProductFromFile(f.dir / L"info.xml"));
    // No temporary file is left behind.
    WIN32_FIND_DATAW entry;
    UniqueFind find(::FindFirstFileW((f.dir / L"*.tmp").c_str(), &entry));
    EXPECT_FALSE(find.IsValid());
}

// A power cut must leave the old products file or the new one, never an
// empty one: the new file reaches the disk before it takes the old one's
// place, and that move is itself written through.
TEST(ProductStore, ChangesReachTheDiskBeforeTheyReplaceTheFile) {
    StoreFixture f(L"store-durable");
    const std::wstring info = f.dir / L"info.xml";
    ASSERT_EQ(S_OK, f.Add(ProductXml("first", "yes")));
    ASSERT_TRUE(WriteFileBytes(info, ProductXml("second", "yes")));
    std::vector<std::string> calls;
    {
        FileCallWatch watch;
        ASSERT_TRUE(watch.Active());
        HRESULT added = f.store.AddProductFromFile(info);
        EXPECT_EQ(S_OK, added) << Hex(added);
        calls = FileCallWatch::Calls();
    }
    const std::string temporary =
        Narrow(f.machine) + "." + std::to_string(::GetCurrentProcessId()) + ".tmp";
    const std::vector<std::string> expected = {
        "flush " + std::to_string(Bytes(f.machine).size()),
        "move " + temporary + " -> " + Narrow(f.machine) + " written through"};
    EXPECT_EQ(expected, calls);
    EXPECT_EQ(2, f.store.CountMachineProducts());
}

TEST(ProductStore, TwentyWritersAtOnceLoseNothing) {
    TempDir dir(L"store-writers");
    // The writer's default store keeps machine products one folder above it.
    std::wstring bin = dir / L"app\\bin";
    ASSERT_TRUE(testsupport::CreateFolders(bin));
    std::wstring writer = bin + L"\\writer.exe";
    ASSERT_TRUE(testsupport::CopyFileTo(testsupport::TestBinPath(L"qm_store_writer.exe"), writer));
    const int kWriters = 20;
    std::vector<std::wstring> infos;
    for (int i = 0; i < kWriters; ++i) {
        wchar_t name[32];
        _snwprintf(name, 31, L"info%02d.xml", i);
        name[31] = L'\0';
        infos.push_back(dir / name);
        char product[128];
        snprintf(product, sizeof product,
                 "<product intname='p%02d' needadmin='yes' version='1.%d'/>", i, i);
        ASSERT_TRUE(WriteFileBytes(infos.back(), product));
    }
    std::vector<UniqueHandle> running;
    for (int i = 0; i < kWriters; ++i) {
        running.emplace_back(testsupport::StartProcess(writer, L"\"" + infos[i] + L"\""));
        ASSERT_TRUE(running.back().IsValid()) << i;
    }
    for (int i = 0; i < kWriters; ++i) {
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(running[i].Get(), 120000)) << i;
        DWORD code = 99;
        ASSERT_TRUE(::GetExitCodeProcess(running[i].Get(), &code));
        EXPECT_EQ(0u, code) << i;
    }
    CProductStore store(dir / L"app\\MachineProducts.xml", dir / L"unused.xml");
    EXPECT_EQ(kWriters, store.CountMachineProducts());
    CProducts products;
    ASSERT_EQ(S_OK, store.LoadMachineProducts(products));
    for (int i = 0; i < kWriters; ++i) {
        wchar_t name[8];
        _snwprintf(name, 7, L"p%02d", i);
        name[7] = L'\0';
        EXPECT_TRUE(CProductStore::ContainsProduct(products, name)) << i;
    }
    WIN32_FIND_DATAW entry;
    UniqueFind find(::FindFirstFileW((dir / L"app\\*.tmp").c_str(), &entry));
    EXPECT_FALSE(find.IsValid());
}

}  // namespace
