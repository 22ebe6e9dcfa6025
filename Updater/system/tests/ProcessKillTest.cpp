// Terminating real processes by name under Wine.
#include "system/ProcessKill.h"

#include "Handles.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

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

}  // namespace
