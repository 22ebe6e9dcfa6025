// Faults and contention end to end under Wine: a misbehaving update server,
// damaged or locked products files, many Updater processes at once on one
// products file and one log, and Updaters killed in the middle of a change.
#include "testsupport/TestSupport.h"
#include "updateserver/UpdateServer.h"

#include "catalogue/ProductStore.h"
#include "common/Handles.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <map>

using namespace testsupport;

namespace {

const char kFinish[] = "Updater Finished \r\n\r\n\r\n";
const char kDecl[] = "<?xml version='1.0' encoding='UTF-8'?>";

std::wstring UserProductsPath() {
    return ShellFolder(CSIDL_LOCAL_APPDATA) + L"\\UserProducts.xml";
}

std::string Bytes(const std::wstring& path) {
    std::string bytes;
    if (!ReadFileBytes(path, bytes))
        return "<missing>";
    return bytes;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line;
    return text;
}

std::vector<std::string> Lines(std::initializer_list<std::string> lines) {
    std::vector<std::string> out;
    for (const std::string& l : lines)
        out.push_back(l + "\r\n");
    return out;
}

// An Updater of its own in <dir>\app\bin, so that its machine products file
// (<dir>\app\MachineProducts.xml) belongs to the test alone. It logs into the
// user's log, which the test owns while it runs.
class OwnUpdater : public ::testing::Test {
protected:
    OwnUpdater() : m_dir(L"faults") {}

    void SetUp() override {
        m_bin = m_dir / L"app\\bin";
        m_exe = m_bin + L"\\Updater.exe";
        m_machine = m_dir / L"app\\MachineProducts.xml";
        ASSERT_TRUE(CreateFolders(m_bin));
        ASSERT_TRUE(CreateFolders(m_dir / L"cwd"));
        ASSERT_TRUE(CopyFileTo(DistPath(L"Updater.exe"), m_exe));
        CleanUserState();
    }
    void TearDown() override { CleanUserState(); }

    static void CleanUserState() {
        ::DeleteFileW(UserProductsPath().c_str());
        ::DeleteFileW(UserLogPath().c_str());
    }

    // A product description for addproduct; needadmin yes puts the product
    // into the test's own machine products file.
    std::wstring Describe(const std::string& intname) {
        std::wstring path = m_dir / (L"info-" + Widen(intname) + L".xml");
        EXPECT_TRUE(WriteFileBytes(path, "<?xml version='1.0'?><setup><product intname='" +
                                             intname + "' needadmin='yes' version='1.0' "
                                             "friendlyname='Product " + intname + "'/></setup>"));
        return path;
    }

    HANDLE Start(const std::wstring& args) { return StartProcess(m_exe, args, m_dir / L"cwd"); }

    // Runs the Updater to its end and returns its own log messages, between
    // the run-mode record and the finish record.
    std::vector<std::string> Run(const std::wstring& args, int exitCode = 0) {
        ::DeleteFileW(UserLogPath().c_str());
        EXPECT_EQ(exitCode, RunAndWait(m_exe, args, 120000, m_dir / L"cwd"));
        std::vector<std::string> msgs = LogMessages(Bytes(UserLogPath()));
        if (msgs.size() < 3 || msgs.back() != kFinish)
            return {"<log incomplete>"};
        return std::vector<std::string>(msgs.begin() + 2, msgs.end() - 1);
    }

    // Registering and unregistering exit with 1 when they changed nothing.
    std::vector<std::string> Add(const std::string& intname, int exitCode = 0) {
        return Run(L"-runmode=addproduct -info=\"" + Describe(intname) + L"\"", exitCode);
    }
    std::vector<std::string> Remove(const std::string& intname, int exitCode = 0) {
        return Run(L"-runmode=delproduct -name=" + Widen(intname), exitCode);
    }

    std::vector<std::string> Added(const std::string& intname) {
        return Lines({"Adding product: " + Narrow(m_dir / (L"info-" + Widen(intname) + L".xml")),
                      "Product added!"});
    }

    // The intnames of the machine products file in file order; "<unreadable>"
    // when the store can't read it.
    std::vector<std::string> MachineProducts() const {
        CProductStore store(m_machine, m_dir / L"none.xml");
        CProducts products;
        if (store.LoadMachineProducts(products) != S_OK)
            return {"<unreadable>"};
        std::vector<std::string> names;
        for (const CProduct* p : products.m_Products) {
            if (p && !p->m_bPrototype)
                names.push_back(Narrow(p->intname));
        }
        return names;
    }

    TempDir m_dir;
    std::wstring m_bin, m_exe, m_machine;
};

// ---- products file faults ----

typedef OwnUpdater ProductsFileFaults;

TEST_F(ProductsFileFaults, DamagedFilesFailAloneAndWorkOnceMended) {
    ASSERT_EQ(Added("kept"), Add("kept"));
    const std::string good = Bytes(m_machine);
    const std::vector<std::string> addFailed =
        Lines({"Adding product: " + Narrow(m_dir / L"info-new.xml"), "Faild to add product! 80004005"});
    const std::vector<std::string> delFailed =
        Lines({"Removing product: kept", "Failed to delete product 80004005!"});

    const char* damaged[] = {
        "",                                                   // empty
        "<?xml version='1.0' encoding='UTF-8'?><products><product intname='kept' ver",  // cut
        "\xEF\xBB\xBF garbage < > &",                          // not XML
    };
    for (const char* bytes : damaged) {
        SCOPED_TRACE(std::string("products file: ") + bytes);
        ASSERT_TRUE(WriteFileBytes(m_machine, bytes));
        EXPECT_EQ(addFailed, Add("new", 1));
        EXPECT_EQ(bytes, Bytes(m_machine));
        EXPECT_EQ(delFailed, Remove("kept", 1));
        EXPECT_EQ(bytes, Bytes(m_machine));
    }
    // Mended, the file takes changes again.
    ASSERT_TRUE(WriteFileBytes(m_machine, good));
    EXPECT_EQ(Added("new"), Add("new"));
    EXPECT_EQ((std::vector<std::string>{"kept", "new"}), MachineProducts());
}

TEST_F(ProductsFileFaults, LockedFileFailsAloneAndWorksOnceReleased) {
    ASSERT_EQ(Added("kept"), Add("kept"));
    const std::string before = Bytes(m_machine);
    {
        // Another program holds the file open and shares nothing.
        UniqueFile holder(::CreateFileW(m_machine.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder.IsValid());
        EXPECT_EQ(Lines({"Adding product: " + Narrow(m_dir / L"info-new.xml"),
                         "Faild to add product! 80004005"}),
                  Add("new", 1));
        EXPECT_EQ(Lines({"Removing product: kept", "Failed to delete product 80004005!"}),
                  Remove("kept", 1));
    }
    EXPECT_EQ(before, Bytes(m_machine));
    EXPECT_EQ(Added("new"), Add("new"));
    EXPECT_EQ(Lines({"Removing product: kept", "Product deleted!"}), Remove("kept"));
    EXPECT_EQ(std::vector<std::string>{"new"}, MachineProducts());
}

TEST_F(ProductsFileFaults, ReadOnlyFileFailsAloneAndWorksOnceWritable) {
    ASSERT_EQ(Added("kept"), Add("kept"));
    const std::string before = Bytes(m_machine);
    ASSERT_TRUE(::SetFileAttributesW(m_machine.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Lines({"Adding product: " + Narrow(m_dir / L"info-new.xml"),
                     "Faild to add product! 80004005"}),
              Add("new", 1));
    EXPECT_EQ(Lines({"Removing product: kept", "Failed to delete product 80004005!"}),
              Remove("kept", 1));
    EXPECT_EQ(before, Bytes(m_machine));
    EXPECT_EQ(FILE_ATTRIBUTE_READONLY,
              ::GetFileAttributesW(m_machine.c_str()) & FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(::SetFileAttributesW(m_machine.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(Added("new"), Add("new"));
    EXPECT_EQ((std::vector<std::string>{"kept", "new"}), MachineProducts());
}

TEST_F(ProductsFileFaults, ALockedLogStopsNothing) {
    {
        UniqueFile holder(::CreateFileW(UserLogPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                        nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(holder.IsValid());
        EXPECT_EQ(0, RunAndWait(m_exe, L"-runmode=addproduct -info=\"" + Describe("unlogged") + L"\"",
                                120000, m_dir / L"cwd"));
    }
    EXPECT_EQ(std::vector<std::string>{"unlogged"}, MachineProducts());
    EXPECT_EQ("", Bytes(UserLogPath()));
    // Once the log is free again, the next run writes it.
    EXPECT_EQ(Added("logged"), Add("logged"));
    EXPECT_EQ((std::vector<std::string>{"unlogged", "logged"}), MachineProducts());
}

// ---- contention ----

typedef OwnUpdater Contention;

TEST_F(Contention, TwentyUpdatersAddAtOnceAndNothingIsLost) {
    const int kProcesses = 20;
    std::vector<std::wstring> infos;
    for (int i = 0; i < kProcesses; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "p%02d", i);
        infos.push_back(Describe(name));
    }
    std::vector<UniqueHandle> running;
    for (int i = 0; i < kProcesses; ++i) {
        running.emplace_back(Start(L"-runmode=addproduct -info=\"" + infos[i] + L"\""));
        ASSERT_TRUE(running.back().IsValid()) << i;
    }
    for (int i = 0; i < kProcesses; ++i) {
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(running[i].Get(), 180000)) << i;
        DWORD code = 99;
        EXPECT_TRUE(::GetExitCodeProcess(running[i].Get(), &code));
        EXPECT_EQ(0u, code) << i;
    }
    std::vector<std::string> names = MachineProducts();
    std::string bytes = Bytes(m_machine);
    EXPECT_EQ(static_cast<size_t>(kProcesses), names.size()) << bytes;
    std::sort(names.begin(), names.end());
    for (int i = 0; i < kProcesses && i < static_cast<int>(names.size()); ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "p%02d", i);
        EXPECT_EQ(name, names[i]);
    }
    EXPECT_EQ(0u, bytes.compare(0, sizeof kDecl - 1, kDecl)) << bytes;
    EXPECT_EQ("</products>", bytes.substr(bytes.size() - 11)) << bytes;
    // Every run reported its success.
    std::vector<std::string> msgs = LogMessages(Bytes(UserLogPath()));
    EXPECT_EQ(kProcesses, std::count(msgs.begin(), msgs.end(), std::string("Product added!\r\n")));
}

TEST_F(Contention, TenUpdatersLogAtOnceAndEveryRecordIsWhole) {
    // Long command lines make long records, which a writer that doesn't put
    // each record into the file in one piece would tear apart.
    const int kProcesses = 10;
    const int kWaves = 3;
    std::map<std::string, int> expected;  // message -> how often
    std::vector<std::wstring> args;
    for (int i = 0; i < kProcesses * kWaves; ++i) {
        std::wstring info = m_dir / (L"missing-" + std::to_wstring(i) + L"-" +
                                     std::wstring(1500, static_cast<wchar_t>(L'a' + i % 26)));
        std::wstring arg = L"-runmode=addproduct -info=\"" + info + L"\"";
        args.push_back(arg);
        expected["\r\n\r\n\r\nUpdater Started with params: " + Narrow(arg) + "\r\n"] += 1;
        expected["Adding product: " + Narrow(info) + "\r\n"] += 1;
    }
    expected["Updater runmode: addproduct\r\n"] = kProcesses * kWaves;
    expected["Faild to add product! 80004005\r\n"] = kProcesses * kWaves;
    expected[kFinish] = kProcesses * kWaves;

    for (int wave = 0; wave < kWaves; ++wave) {
        std::vector<UniqueHandle> running;
        for (int i = 0; i < kProcesses; ++i) {
            running.emplace_back(Start(args[wave * kProcesses + i]));
            ASSERT_TRUE(running.back().IsValid()) << i;
        }
        for (UniqueHandle& h : running)
            ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(h.Get(), 180000));
    }
    std::string bytes = Bytes(UserLogPath());
    ASSERT_EQ(0u, bytes.compare(0, 3, "\xEF\xBB\xBF"));
    // The BOM comes once only, at the start.
    EXPECT_EQ(std::string::npos, bytes.find("\xEF\xBB\xBF", 3));
    std::map<std::string, int> found;
    for (const std::string& m : LogMessages(bytes))
        found[m] += 1;
    // A record is dropped only after a full second of waiting for the mutex,
    // which these short writes never need: every record is there, whole.
    for (const auto& e : expected)
        EXPECT_EQ(e.second, found[e.first]) << e.first.substr(0, 80);
    for (const auto& f : found)
        EXPECT_TRUE(expected.count(f.first)) << "torn or foreign record: " << f.first.substr(0, 200);
}

// ---- killed in the middle of a change ----

typedef OwnUpdater Killed;

TEST_F(Killed, ProductsFileIsAlwaysBeforeOrAfter) {
    for (const char* name : {"p0", "p1", "p2", "p3"})
        ASSERT_EQ(Added(name), Add(name));
    const std::string without = Bytes(m_machine);
    const std::wstring info = Describe("px");
    const std::wstring addArgs = L"-runmode=addproduct -info=\"" + info + L"\"";
    const std::wstring delArgs = L"-runmode=delproduct -name=px";

    // How long one whole change takes: the kill delays spread over it.
    DWORD start = ::GetTickCount();
    ASSERT_EQ(Added("px"), Run(addArgs));
    DWORD full = std::max<DWORD>(::GetTickCount() - start, 50);
    const std::string with = Bytes(m_machine);
    ASSERT_NE(without, with);
    ASSERT_EQ(Lines({"Removing product: px", "Product deleted!"}), Remove("px"));
    ASSERT_EQ(without, Bytes(m_machine));

    unsigned seed = 12345;
    int rounds = 0, changed = 0;
    const DWORD began = ::GetTickCount();
    while (rounds < 80 && ::GetTickCount() - began < 60000) {
        seed = seed * 1103515245u + 12345u;
        DWORD delay = (seed >> 8) % (full + full / 4);
        const bool adding = Bytes(m_machine) == without;
        UniqueHandle process(Start(adding ? addArgs : delArgs));
        ASSERT_TRUE(process.IsValid());
        ::Sleep(delay);
        ::TerminateProcess(process.Get(), 1);
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.Get(), 60000));
        ++rounds;
        const std::string now = Bytes(m_machine);
        ASSERT_TRUE(now == without || now == with)
            << "round " << rounds << (adding ? " addproduct" : " delproduct") << " killed after "
            << delay << " ms left:\n" << now;
        if (now != (adding ? without : with))
            ++changed;
    }
    std::printf("%d rounds, %d changes completed before the kill, full run %lu ms\n", rounds,
                changed, static_cast<unsigned long>(full));
    // A later run finds a working file and a free lock.
    const bool hasPx = Bytes(m_machine) == with;
    if (hasPx) {
        EXPECT_EQ(Lines({"Removing product: px", "Product deleted!"}), Remove("px"));
    }
    // A writer killed before its rename leaves its temporary file; one of a
    // process that is still running belongs to that process.
    const std::wstring dead = m_machine + L".4000000.tmp";
    const std::wstring live = m_machine + L"." + std::to_wstring(::GetCurrentProcessId()) + L".tmp";
    ASSERT_TRUE(WriteFileBytes(dead, "<products><product intname='p0'"));
    ASSERT_TRUE(WriteFileBytes(live, "<products><product intname='p1'"));
    EXPECT_EQ(Added("late"), Add("late"));
    EXPECT_EQ((std::vector<std::string>{"p0", "p1", "p2", "p3", "late"}), MachineProducts());
    // The next change clears away what killed writers left, and only that.
    std::vector<std::string> left;
    WIN32_FIND_DATAW entry;
    UniqueFind find(::FindFirstFileW((m_dir / L"app\\*.tmp").c_str(), &entry));
    if (find.IsValid()) {
        do
            left.push_back(Narrow(entry.cFileName));
        while (::FindNextFileW(find.Get(), &entry));
    }
    EXPECT_EQ(std::vector<std::string>{Narrow(live.substr(live.rfind(L'\\') + 1))}, left);
}

// ---- update server faults ----

class ServerFaults : public OwnUpdater {
protected:
    ServerFaults() : m_server((CreateFolders(m_dir / L"srv"), m_dir / L"srv")) {}

    void SetUp() override {
        OwnUpdater::SetUp();
        ASSERT_TRUE(m_server.Started());
        m_record = m_dir / L"record.txt";
        ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), m_bin + L"\\notifier.exe"));
        ::SetEnvironmentVariableW(L"QM_RECORD", m_record.c_str());
        // An installer that succeeds registers the version it installed.
        ::SetEnvironmentVariableW(L"QM_INSTALL_REGISTER", UserProductsPath().c_str());
    }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"QM_RECORD", nullptr);
        ::SetEnvironmentVariableW(L"QM_INSTALL_REGISTER", nullptr);
        OwnUpdater::TearDown();
    }

    // Offers version 2.0 of intname: the recording installer at
    // srv\<intname>\Setup.exe, reached through the server's modifier prefix.
    void Offer(const std::string& intname, const std::string& installerPrefix,
               const std::string& manifestPrefix = "") {
        std::wstring dir = m_dir / (L"srv\\" + Widen(intname));
        ASSERT_TRUE(CreateFolders(dir));
        ASSERT_TRUE(CopyFileTo(TestBinPath(L"Recorder.exe"), dir + L"\\Setup.exe"));
        std::string installer =
            Narrow(m_server.Url(Widen(installerPrefix + intname + "/Setup.exe")));
        ASSERT_TRUE(WriteFileBytes(dir + L"\\update.xml",
                                   "<update intname='" + intname + "' version='2.0' installerurl='" +
                                       installer + "'/>"));
        m_products += "<product intname='" + intname + "' version='1.0' updateurl='" +
                      Narrow(m_server.Url(Widen(manifestPrefix + intname + "/update.xml"))) +
                      "'/>";
    }

    std::vector<std::string> Check() {
        EXPECT_TRUE(WriteFileBytes(UserProductsPath(),
                                   std::string(kDecl) + "<products>" + m_products + "</products>"));
        // Every check here meets a fault: it exits with 1.
        return Run(L"-runmode=checkupdate", 1);
    }

    // Program names of the installers that ran, in order.
    std::vector<std::string> Installed() const {
        std::vector<std::string> programs;
        std::string text = Bytes(m_record);
        size_t at = 0;
        while (at < text.size() && text != "<missing>") {
            size_t end = text.find('\n', at);
            std::string line = text.substr(at, end == std::string::npos ? end : end - at);
            if (!line.empty())
                programs.push_back(line.substr(0, line.find('\t')));
            if (end == std::string::npos)
                break;
            at = end + 1;
        }
        return programs;
    }

    // The messages of one product, from "Updating <intname>" to the next
    // product.
    static std::vector<std::string> Steps(const std::vector<std::string>& log,
                                          const std::string& intname) {
        std::vector<std::string> steps;
        bool inside = false;
        for (const std::string& m : log) {
            if (m.compare(0, 9, "Updating ") == 0 && m != "Updating User Products\r\n") {
                inside = m == "Updating " + intname + "\r\n";
                continue;
            }
            if (m == "Notifing about update\r\n" || m.compare(0, 8, "Checked ") == 0)
                inside = false;
            if (inside)
                steps.push_back(m.compare(0, 11, "Update url ") == 0 ? "Update url\r\n" : m);
        }
        return steps;
    }

    // The messages of a product whose installer was refused: "Got new one!"
    // followed by one refusal record; empty when they are anything else.
    static std::string Refusal(const std::vector<std::string>& log, const std::string& intname) {
        std::vector<std::string> steps = Steps(log, intname);
        if (steps.size() != 4 ||
            steps[0] + steps[1] + steps[2] !=
                "Update url\r\nCurrent ver 1.0 Server ver 2.0\r\nGot new one!\r\n")
            return std::string();
        for (const char* record : {"Failed to download installer from ",
                                   "Failed to get installer checksum from ",
                                   "Installer checksum mismatch: expected "}) {
            if (steps[3].compare(0, std::strlen(record), record) == 0)
                return steps[3];
        }
        return std::string();
    }

    UpdateServer m_server;
    std::wstring m_record;
    std::string m_products;
};

TEST_F(ServerFaults, BrokenInstallerDownloadsAreDeletedAndTheCycleGoesOn) {
    // Connection dropped before any answer, cut after half of the announced
    // body, cut without an announced length (looks complete), server error.
    // Each meets a correct checksum.
    Offer("dropped", "_bodyonly/_drop/");
    Offer("cut", "_bodyonly/_short/");
    Offer("unsized", "_bodyonly/_unsized/_short/");
    Offer("failing", "_bodyonly/_500/");
    // Installer and checksum stall for two seconds each, then deliver the
    // rest: a good installer.
    Offer("stalled", "_stall/");
    // Manifests that come in pieces, with pauses between them.
    Offer("stalledmanifest", "", "_stall/");
    Offer("slowmanifest", "", "_slow/");
    // Nobody listens at the installer's address.
    Offer("refused", "");
    ASSERT_TRUE(WriteFileBytes(m_dir / L"srv\\refused\\update.xml",
                               "<update intname='refused' version='2.0' "
                               "installerurl='http://127.0.0.1:9/refused/Setup.exe'/>"));
    Offer("good", "");
    std::vector<std::string> log = Check();
    std::string text = Join(log);
    for (const char* name : {"dropped", "cut", "unsized", "failing", "refused"}) {
        EXPECT_NE("", Refusal(log, name)) << name << "\n" << text;
        EXPECT_TRUE(StagedInstallerFolders(name).empty()) << name;
    }
    // A server error's page is no installer: refused as a failed download,
    // before any checksum is asked for.
    EXPECT_EQ(0u, Refusal(log, "failing").find("Failed to download installer from ")) << text;
    const std::vector<std::string> installed =
        Lines({"Update url", "Current ver 1.0 Server ver 2.0", "Got new one!",
               "PerformUninstallActions", "PerformRegistryActions", "Start Installer",
               "PerformRegistryActions_Restore"});
    for (const char* name : {"stalled", "stalledmanifest", "slowmanifest", "good"}) {
        EXPECT_EQ(installed, Steps(log, name)) << name << "\n" << text;
        EXPECT_TRUE(StagedInstallerFolders(name).empty()) << name;
    }
    EXPECT_EQ((std::vector<std::string>{"Setup_stalled-2.0.exe", "Setup_stalledmanifest-2.0.exe",
                                        "Setup_slowmanifest-2.0.exe", "Setup_good-2.0.exe"}),
              Installed());
    // A refused transfer is a failed product.
    EXPECT_EQ("Checked 9 of 9 products; 5 failed\r\n", log.back());
}

TEST_F(ServerFaults, BadChecksumFilesRejectTheInstallerAndTheCycleGoesOn) {
    Offer("nosum", "_md5missing/");
    Offer("emptysum", "");
    ASSERT_TRUE(WriteFileBytes(m_dir / L"srv\\emptysum\\Setup.exe.md5", ""));
    Offer("shortsum", "_md5short/");
    Offer("bomsum", "_md5bom/");
    Offer("good", "");
    std::vector<std::string> log = Check();
    std::string text = Join(log);
    for (const char* name : {"nosum", "emptysum", "shortsum", "bomsum"}) {
        EXPECT_NE("", Refusal(log, name)) << name << "\n" << text;
        EXPECT_TRUE(StagedInstallerFolders(name).empty()) << name;
    }
    EXPECT_EQ(0u, Refusal(log, "nosum").find("Failed to get installer checksum from ")) << text;
    EXPECT_EQ(std::vector<std::string>{"Setup_good-2.0.exe"}, Installed());
    EXPECT_EQ(std::string::npos, text.find("There was no updates"));
    EXPECT_EQ("Checked 5 of 5 products; 4 failed\r\n", log.back());
}

}  // namespace
