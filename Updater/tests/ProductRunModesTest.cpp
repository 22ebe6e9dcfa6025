// The installer-facing run modes of the real Updater.exe, with the log, the
// tasks and the updater id read back.
#include "common/ComInit.h"
#include "common/Handles.h"
#include "engine/Registry.h"
#include "system/SchedulerTasks.h"
#include "testsupport/TestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace testsupport;

namespace {

const char kFinish[] = "Updater Finished \r\n\r\n\r\n";
const wchar_t kIdKey[] = L"Software\\QuillMarrow\\Updater";
const wchar_t kForeignTask[] = L"Update-qmtest-runmodes";

// The updater id as stored; empty when absent.
std::wstring ReadUpdaterId(DWORD* type = nullptr) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kIdKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::wstring();
    wchar_t buffer[100] = {0};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    DWORD t = 0;
    LONG rc = ::RegQueryValueExW(key, L"UserID", nullptr, &t, reinterpret_cast<BYTE*>(buffer), &size);
    ::RegCloseKey(key);
    if (type)
        *type = t;
    return rc == ERROR_SUCCESS ? buffer : L"";
}

void DeleteUpdaterId() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kIdKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        ::RegDeleteValueW(key, L"UserID");
        ::RegCloseKey(key);
    }
}

class RunModes : public ::testing::Test {
protected:
    void SetUp() override {
        com.reset(new ScopedComInit());
        Clean();
    }
    void TearDown() override {
        Clean();
        com.reset();
    }
    void Clean() {
        RemoveTree(UserLogPath());
        DeleteTask(GetUserTaskName());
        DeleteTask(GetSystemTaskName());
        DeleteTask(kForeignTask);
        DeleteUpdaterId();
    }
    // Runs the Updater, which must exit with exitCode, and returns the
    // messages of its log, which must hold exactly this run.
    static std::vector<std::string> Run(const std::wstring& args, std::string* raw = nullptr,
                                        int exitCode = 0) {
        RemoveTree(UserLogPath());
        EXPECT_EQ(exitCode, RunAndWait(DistPath(L"Updater.exe"), args)) << Narrow(args);
        std::string bytes;
        EXPECT_TRUE(ReadFileBytes(UserLogPath(), bytes));
        if (raw)
            *raw = bytes;
        return LogMessages(bytes);
    }
    // The records between the run-mode record and the finish record.
    static std::vector<std::string> Own(const std::vector<std::string>& msgs) {
        if (msgs.size() < 3)
            return {"<log incomplete>"};
        EXPECT_EQ(kFinish, msgs.back());
        return std::vector<std::string>(msgs.begin() + 2, msgs.end() - 1);
    }
    static std::wstring InstalledUpdater() {
        std::wstring dist = DistPath(L"Updater.exe");
        std::wstring folder = dist.substr(0, dist.rfind(L'\\'));
        return folder.substr(0, folder.rfind(L'\\')) + L"\\Updater.exe";
    }
    std::unique_ptr<ScopedComInit> com;
};

typedef std::vector<std::string> Records;

TEST_F(RunModes, AddTaskCreatesTheUserTask) {
    EXPECT_EQ(Records{"Scheduller task added\r\n"}, Own(Run(L"-runmode=addtask")));
    TaskFacts task = ReadTask(GetUserTaskName());
    ASSERT_TRUE(task.found);
    EXPECT_EQ(Narrow(InstalledUpdater()), Narrow(task.application));
    EXPECT_EQ(0x2400u, task.flags);
    ASSERT_EQ(1u, task.minutes.size());
    EXPECT_GE(task.minutes[0], 30);

    // Again: refreshed, still one trigger.
    EXPECT_EQ(Records{"Scheduller task added\r\n"}, Own(Run(L"-runmode=addtask")));
    EXPECT_EQ(1u, ReadTask(GetUserTaskName()).minutes.size());
}

TEST_F(RunModes, DelTaskAndItsUnendedFailureRecord) {
    Run(L"-runmode=addtask");
    EXPECT_EQ(Records{"Scheduller task deleted\r\n"}, Own(Run(L"-runmode=deltask")));
    EXPECT_FALSE(ReadTask(GetUserTaskName()).found);

    std::string raw;
    Records msgs = Run(L"-runmode=deltask", &raw);
    // The failure record has no line end: the finish record follows on its line.
    EXPECT_EQ((Records{"Failed to delete scheduller task", kFinish}),
              Records(msgs.begin() + 2, msgs.end()));
    size_t at = raw.find("Failed to delete scheduller task");
    ASSERT_NE(std::string::npos, at);
    EXPECT_TRUE(isdigit(static_cast<unsigned char>(raw[at + 32]))) << raw.substr(at);
    EXPECT_NE(std::string::npos, raw.find(kFinish, at));
}

TEST_F(RunModes, AddTaskDoesNothingAsLocalSystem) {
    TempDir dir(L"runmodes-system");
    std::wstring exeDir = dir / L"A\\B";
    ASSERT_TRUE(CreateFolders(exeDir));
    ASSERT_TRUE(CopyFileTo(TestBinPath(L"UpdaterAsSystem.exe"), exeDir + L"\\Updater.exe"));
    ASSERT_EQ(0, RunAndWait(exeDir + L"\\Updater.exe", L"-runmode=addtask"));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(dir / L"A\\updater.log", bytes));
    Records msgs = LogMessages(bytes);
    ASSERT_EQ(3u, msgs.size());
    EXPECT_EQ("Updater runmode: addtask\r\n", msgs[1]);
    EXPECT_EQ(kFinish, msgs[2]);
    EXPECT_FALSE(ReadTask(L"update-S-1-5-18").found);
    EXPECT_FALSE(ReadTask(GetUserTaskName()).found);
}

TEST_F(RunModes, AddSysTaskStoresAFreshIdEachTime) {
    Records first = Own(Run(L"-runmode=addsystask"));
    ASSERT_EQ(2u, first.size());
    EXPECT_EQ("Scheduller SYS task added\r\n", first[0]);
    DWORD type = 0;
    std::wstring id1 = ReadUpdaterId(&type);
    ASSERT_EQ(38u, id1.size());
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ("Updater id set to " + Narrow(id1) + "!\r\n", first[1]);
    TaskFacts task = ReadTask(GetSystemTaskName());
    ASSERT_TRUE(task.found);
    EXPECT_EQ(Narrow(InstalledUpdater()), Narrow(task.application));
    EXPECT_EQ(0x400u, task.flags);
    ASSERT_EQ(1u, task.minutes.size());
    EXPECT_LE(task.minutes[0], 29);

    Records second = Own(Run(L"-runmode=addsystask"));
    std::wstring id2 = ReadUpdaterId();
    EXPECT_NE(id1, id2);
    ASSERT_EQ(2u, second.size());
    EXPECT_EQ("Updater id set to " + Narrow(id2) + "!\r\n", second[1]);
    EXPECT_EQ(1u, ReadTask(GetSystemTaskName()).minutes.size());
}

TEST_F(RunModes, AddSysTaskSaysWhenTheIdWasNotStored) {
    // A volatile parent can't hold the id's lasting key, so the id can't be
    // stored (as for an account without write access to the machine's keys).
    const wchar_t parent[] = L"Software\\QuillMarrow";
    auto removeKeys = [&] {
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kIdKey);
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, parent);
    };
    removeKeys();
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, parent, 0, nullptr,
                                               REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                               nullptr));
    ::RegCloseKey(key);
    Records own = Own(Run(L"-runmode=addsystask"));
    removeKeys();
    EXPECT_EQ((Records{"Scheduller SYS task added\r\n", "Failed to set updater id\r\n"}), own);
}

TEST_F(RunModes, AddSysTaskNeedsAnAdministrator) {
    Run(L"-runmode=addsystask");
    std::wstring id = ReadUpdaterId();
    ASSERT_FALSE(id.empty());
    DeleteTask(GetSystemTaskName());

    RemoveTree(UserLogPath());
    ASSERT_EQ(0, RunAndWait(TestBinPath(L"UpdaterAsNonAdmin.exe"), L"-runmode=addsystask"));
    std::string bytes;
    ASSERT_TRUE(ReadFileBytes(UserLogPath(), bytes));
    EXPECT_EQ(Records{}, Own(LogMessages(bytes)));
    EXPECT_FALSE(ReadTask(GetSystemTaskName()).found);
    EXPECT_EQ(Narrow(id), Narrow(ReadUpdaterId()));
}

TEST_F(RunModes, DelSysTaskRemovesTaskAndId) {
    Run(L"-runmode=addsystask");
    ASSERT_FALSE(ReadUpdaterId().empty());
    EXPECT_EQ(Records{"Scheduller SYS task deleted\r\n"}, Own(Run(L"-runmode=delsystask")));
    EXPECT_FALSE(ReadTask(GetSystemTaskName()).found);
    EXPECT_EQ(L"", ReadUpdaterId());
    EXPECT_EQ(Records{"Failed to delete SYS scheduller task\r\n"},
              Own(Run(L"-runmode=delsystask")));
}

TEST_F(RunModes, UninstallRemovesOnlyOurTasks) {
    Run(L"-runmode=addtask");
    Run(L"-runmode=addsystask");
    ASSERT_EQ(S_OK, CreateTask(kForeignTask, L"C:\\x.exe", L"", L"", true, false, true));
    Records own = Own(Run(L"-runmode=uninstall"));
    ASSERT_GE(own.size(), 4u);
    EXPECT_EQ("Uninstalling...\r\n", own[0]);
    EXPECT_EQ("Removing all our tasks...\r\n", own[1]);
    EXPECT_EQ("Looking for tasks\r\n", own[2]);
    EXPECT_EQ("TaskNamePrefix is 'update-'\r\n", own[3]);
    EXPECT_EQ(2, std::count(own.begin(), own.end(), std::string("..killed\r\n")));
    EXPECT_FALSE(ReadTask(GetUserTaskName()).found);
    EXPECT_FALSE(ReadTask(GetSystemTaskName()).found);
    EXPECT_TRUE(ReadTask(kForeignTask).found);
}

// ---- addproduct and delproduct ----

std::wstring UserProductsPath() {
    std::wstring log = UserLogPath();
    return log.substr(0, log.rfind(L'\\')) + L"\\UserProducts.xml";
}

std::wstring MachineProductsPath() {
    std::wstring dist = DistPath(L"Updater.exe");
    std::wstring folder = dist.substr(0, dist.rfind(L'\\'));
    return folder.substr(0, folder.rfind(L'\\')) + L"\\MachineProducts.xml";
}

class ProductModes : public RunModes {
protected:
    void SetUp() override {
        RunModes::SetUp();
        dir.reset(new TempDir(L"runmodes-products"));
        ::DeleteFileW(UserProductsPath().c_str());
        ::DeleteFileW(MachineProductsPath().c_str());
    }
    void TearDown() override {
        ::DeleteFileW(UserProductsPath().c_str());
        ::DeleteFileW(MachineProductsPath().c_str());
        dir.reset();
        RunModes::TearDown();
    }
    // Writes a product description file and returns its path.
    std::wstring Describe(const std::string& intname, const std::string& needadmin) {
        std::wstring path = *dir / (Widen(intname) + L".xml");
        WriteFileBytes(path, "<?xml version='1.0'?><setup><product intname='" + intname +
                                 "' needadmin='" + needadmin + "' version='1.0'/></setup>");
        return path;
    }
    static std::string Products(const std::wstring& path) {
        std::string bytes;
        ReadFileBytes(path, bytes);
        return bytes;
    }
    std::unique_ptr<TempDir> dir;
};

TEST_F(ProductModes, AddProductChoosesTheFileByNeedAdmin) {
    std::wstring user = Describe("qm-user", "no");
    EXPECT_EQ((Records{"Adding product: " + Narrow(user) + "\r\n", "Product added!\r\n"}),
              Own(Run(L"-runmode=addproduct -info=\"" + user + L"\"")));
    std::wstring machine = Describe("qm-machine", "yes");
    EXPECT_EQ((Records{"Adding product: " + Narrow(machine) + "\r\n", "Product added!\r\n"}),
              Own(Run(L"-runmode=addproduct -info=\"" + machine + L"\"")));
    std::string userFile = Products(UserProductsPath());
    std::string machineFile = Products(MachineProductsPath());
    EXPECT_NE(std::string::npos, userFile.find("qm-user")) << userFile;
    EXPECT_EQ(std::string::npos, userFile.find("qm-machine")) << userFile;
    EXPECT_NE(std::string::npos, machineFile.find("qm-machine")) << machineFile;
}

TEST_F(ProductModes, AddProductFromAQuotedPathWithAnApostrophe) {
    std::wstring folder = *dir / L"Setup files\\Editor's kit";
    ASSERT_TRUE(CreateFolders(folder));
    std::wstring info = folder + L"\\p.xml";
    ASSERT_TRUE(WriteFileBytes(info, "<product intname='qm-kit' version='1.0'/>"));
    EXPECT_EQ((Records{"Adding product: " + Narrow(info) + "\r\n", "Product added!\r\n"}),
              Own(Run(L"-runmode=addproduct -info=\"" + info + L"\"")));
    std::string userFile = Products(UserProductsPath());
    EXPECT_NE(std::string::npos, userFile.find("qm-kit")) << userFile;
}

// Installers quote the whole argument as often as only its value; either way
// a path with a space registers the product.
TEST_F(ProductModes, AddProductFromAPathWithASpaceQuotedWholeOrByValue) {
    const std::wstring folder = *dir / L"Program Files\\Acme";
    ASSERT_TRUE(CreateFolders(folder));
    const struct {
        const char* intname;
        const wchar_t* before;  // the argument up to the path
        const wchar_t* after;   // and after it
    } rows[] = {
        {"qm-whole", L"\"-info=", L"\""},
        {"qm-value", L"-info=\"", L"\""},
        {"qm-slash", L"\"/info:", L"\""},
    };
    for (const auto& row : rows) {
        const std::wstring info = folder + L"\\" + Widen(row.intname) + L" product.xml";
        ASSERT_TRUE(WriteFileBytes(info, std::string("<product intname='") + row.intname +
                                             "' version='1.0'/>"));
        EXPECT_EQ((Records{"Adding product: " + Narrow(info) + "\r\n", "Product added!\r\n"}),
                  Own(Run(std::wstring(L"-runmode=addproduct ") + row.before + info + row.after)));
        const std::string userFile = Products(UserProductsPath());
        EXPECT_NE(std::string::npos, userFile.find(row.intname)) << userFile;
    }
}

TEST_F(ProductModes, AddProductFromAMissingFileFails) {
    std::wstring missing = *dir / L"missing.xml";
    EXPECT_EQ((Records{"Adding product: " + Narrow(missing) + "\r\n",
                       "Faild to add product! 80004005\r\n"}),
              Own(Run(L"-runmode=addproduct -info=\"" + missing + L"\"", nullptr, 1)));
    EXPECT_FALSE(FileExists(UserProductsPath()));
    EXPECT_FALSE(FileExists(MachineProductsPath()));
}

// Registering and unregistering that change nothing say so to the
// installer with their exit code.
TEST_F(ProductModes, EmptyArgumentsDoNothing) {
    EXPECT_EQ(Records{}, Own(Run(L"-runmode=addproduct", nullptr, 1)));
    EXPECT_EQ(Records{}, Own(Run(L"-runmode=delproduct -name=", nullptr, 1)));
}

TEST_F(ProductModes, DeletingTheLastUserProductRemovesTheTask) {
    std::wstring a = Describe("qm-a", ""), b = Describe("qm-b", "");
    Run(L"-runmode=addproduct -info=\"" + a + L"\"");
    Run(L"-runmode=addproduct -info=\"" + b + L"\"");
    Run(L"-runmode=addtask");
    ASSERT_TRUE(ReadTask(GetUserTaskName()).found);

    EXPECT_EQ((Records{"Removing product: qm-a\r\n", "Product deleted!\r\n"}),
              Own(Run(L"-runmode=delproduct -name=qm-a")));
    EXPECT_TRUE(ReadTask(GetUserTaskName()).found);

    EXPECT_EQ((Records{"Removing product: qm-b\r\n", "Product deleted!\r\n",
                       "Last product deleted! Removing scheduller task\r\n", "Task removed!\r\n"}),
              Own(Run(L"-runmode=delproduct -name=qm-b")));
    EXPECT_FALSE(ReadTask(GetUserTaskName()).found);

    // Still no product, and now no task to remove either.
    EXPECT_EQ((Records{"Removing product: qm-b\r\n", "Failed to delete product 80004005!\r\n",
                       "Last product deleted! Removing scheduller task\r\n",
                       "Failed to remove task\r\n"}),
              Own(Run(L"-runmode=delproduct -name=qm-b", nullptr, 1)));
}

TEST_F(ProductModes, MissingUserProductsFileKeepsTheTask) {
    Run(L"-runmode=addtask");
    EXPECT_EQ((Records{"Removing product: qm-x\r\n", "Failed to delete product 80004005!\r\n"}),
              Own(Run(L"-runmode=delproduct -name=qm-x", nullptr, 1)));
    EXPECT_TRUE(ReadTask(GetUserTaskName()).found);
}

}  // namespace
