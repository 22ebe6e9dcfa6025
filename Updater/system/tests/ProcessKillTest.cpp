// Terminating real processes by name under Wine.
#include "system/ProcessKill.h"

#include "common/Handles.h"

#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using testsupport::AnyProcessNamed;

TEST(ProcessKill, NameInCapitalsKillsEveryInstance) {
    testsupport::TempDir dir(L"kill");
    // A name no other process of the machine has.
    std::wstring exe = dir / L"qmkilltarget.exe";
    ASSERT_TRUE(testsupport::CopyFileTo(testsupport::TestBinPath(L"qm_sleeper.exe"), exe));
    std::vector<UniqueHandle> running;
    for (int i = 0; i < 3; ++i) {
        running.emplace_back(testsupport::StartProcess(exe, L""));
        ASSERT_TRUE(running.back().IsValid());
    }
    DWORD pid = ::GetProcessId(running[0].Get());
    // The executable's name becomes visible once the process has loaded.
    ASSERT_TRUE(testsupport::WaitFor(
        [&] { return ::lstrcmpiW(GetProcessName(pid).c_str(), L"qmkilltarget.exe") == 0; }, 30000))
        << testsupport::Narrow(GetProcessName(pid));

    EXPECT_EQ(0, KillProcessesByName(L"QMKILLTARGET"));  // no extension: no match
    for (auto& p : running)
        EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(p.Get(), 0));

    ASSERT_TRUE(testsupport::WaitFor(
        [&] {
            for (auto& p : running)
                if (::lstrcmpiW(GetProcessName(::GetProcessId(p.Get())).c_str(),
                                L"qmkilltarget.exe") != 0)
                    return false;
            return true;
        },
        30000));
    EXPECT_EQ(3, KillProcessesByName(L"QMKILLTARGET.EXE"));
    for (auto& p : running) {
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(p.Get(), 30000));
        DWORD code = 99;
        ASSERT_TRUE(::GetExitCodeProcess(p.Get(), &code));
        EXPECT_EQ(0u, code);
    }
    EXPECT_EQ(0, KillProcessesByName(L"QMKILLTARGET.EXE"));
}

TEST(ProcessKill, UnknownIdsAndOwnName) {
    EXPECT_EQ(L"<unknown>", GetProcessName(0xFFFFFFF0u));
    EXPECT_FALSE(TerminateProcessById(0xFFFFFFF0u));
    std::wstring self = GetProcessName(::GetCurrentProcessId());
    EXPECT_EQ(L"system_files_tests.exe", self);
}

TEST(ProcessKill, TreeEndsWithItsDescendantsOnly) {
    testsupport::TempDir dir(L"kill-tree");
    // root starts child, child starts grandchild (the recording stand-in's
    // lingering children); the bystander is no relative of theirs.
    const wchar_t* names[] = {L"qmroot.exe", L"qmchild.exe", L"qmgrandchild.exe"};
    for (const wchar_t* name : names)
        ASSERT_TRUE(testsupport::CopyFileTo(testsupport::TestBinPath(L"Recorder.exe"), dir / name));
    ::SetEnvironmentVariableW(L"QM_CHILD_qmroot.exe", (dir / L"qmchild.exe|60000").c_str());
    ::SetEnvironmentVariableW(L"QM_CHILD_qmchild.exe", (dir / L"qmgrandchild.exe|60000").c_str());
    std::wstring bystanderExe = dir / L"qmbystander.exe";
    ASSERT_TRUE(testsupport::CopyFileTo(testsupport::TestBinPath(L"qm_sleeper.exe"), bystanderExe));
    UniqueHandle bystander(testsupport::StartProcess(bystanderExe, L""));
    UniqueHandle root(testsupport::StartProcess(dir / L"qmroot.exe", L"-sleep"));
    ::SetEnvironmentVariableW(L"QM_CHILD_qmroot.exe", nullptr);
    ::SetEnvironmentVariableW(L"QM_CHILD_qmchild.exe", nullptr);
    ASSERT_TRUE(bystander.IsValid());
    ASSERT_TRUE(root.IsValid());
    ASSERT_TRUE(testsupport::WaitFor([] { return AnyProcessNamed(L"qmgrandchild.exe"); }, 30000));

    EXPECT_EQ(3, TerminateProcessTree(::GetProcessId(root.Get()), 5));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(root.Get(), 30000));
    DWORD code = 0;
    EXPECT_TRUE(::GetExitCodeProcess(root.Get(), &code));
    EXPECT_EQ(5u, code);
    for (const wchar_t* name : {L"qmchild.exe", L"qmgrandchild.exe"}) {
        bool gone = testsupport::WaitFor([&] { return !AnyProcessNamed(name); }, 30000);
        EXPECT_TRUE(gone) << testsupport::Narrow(name);
    }
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(bystander.Get(), 0));
    ::TerminateProcess(bystander.Get(), 0);
    ::WaitForSingleObject(bystander.Get(), 30000);
    EXPECT_EQ(0, TerminateProcessTree(0xFFFFFFF0u, 5));
}

}  // namespace
