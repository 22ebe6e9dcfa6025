// The state files a check keeps, on real files under Wine.
#include "engine/IssuedTimes.h"
#include "engine/RunningInstallers.h"
#include "system/ProcessKill.h"
#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

// A replay is judged by when its publisher signed it: only a later time
// replaces the latest one, equal ones are the same manifest seen again.
TEST(StateFiles, IssuedTimesKeepTheLatestPerProduct) {
    TempDir dir(L"state-issued");
    const std::wstring path = dir / L"ManifestsIssued.txt";
    const struct {
        const wchar_t* intname;
        const wchar_t* issued;
        bool recorded;
        const wchar_t* latest;  // of that product afterwards
    } kSteps[] = {
        {L"pad", L"2026-01-02T00:00:00Z", true, L"2026-01-02T00:00:00Z"},
        {L"pad", L"2026-01-01T23:59:59Z", true, L"2026-01-02T00:00:00Z"},  // earlier: kept as is
        {L"pad", L"2026-01-02T00:00:00Z", true, L"2026-01-02T00:00:00Z"},
        {L"pad", L"2026-01-02T00:00:01Z", true, L"2026-01-02T00:00:01Z"},
        {L"notes-\u00E9", L"2025-06-01T00:00:00Z", true, L"2025-06-01T00:00:00Z"},
        {L"pad", L"2026-01-02 00:00:02Z", false, L"2026-01-02T00:00:01Z"},
        {L"", L"2026-01-03T00:00:00Z", false, nullptr},
        {L"p\tad", L"2026-01-03T00:00:00Z", false, nullptr},
    };
    for (const auto& step : kSteps) {
        SCOPED_TRACE(Narrow(step.intname) + " " + Narrow(step.issued));
        CIssuedTimes times(path);
        ASSERT_TRUE(times.IsUsable());
        EXPECT_EQ(step.recorded, times.Record(step.intname, step.issued));
        // As the next check reads it.
        std::wstring text;
        int64_t seconds = 0;
        const bool found = CIssuedTimes(path).Latest(step.intname, text, seconds);
        EXPECT_EQ(step.latest != nullptr, found);
        if (step.latest) {
            EXPECT_EQ(step.latest, text);
        }
    }
    // A product written twice, as no Updater writes it, reads as its later time.
    ASSERT_TRUE(WriteFileBytes(path, "2026-03-01T00:00:00Z\tink\r\n2026-02-01T00:00:00Z\tink\r\n"));
    std::wstring text;
    int64_t seconds = 0;
    ASSERT_TRUE(CIssuedTimes(path).Latest(L"ink", text, seconds));
    EXPECT_EQ(L"2026-03-01T00:00:00Z", text);
    // Without a place for the file no signed manifest can be taken.
    EXPECT_FALSE(CIssuedTimes(L"").IsUsable());
}

TEST(StateFiles, AnInstallerRunsWhileItsVeryProcessDoes) {
    TempDir dir(L"state-running");
    const std::wstring path = dir / L"RunningInstallers.txt";
    uint64_t created = 0;
    ASSERT_TRUE(GetProcessCreationTime(::GetCurrentProcess(), created));
    const uint32_t self = ::GetCurrentProcessId();
    const struct {
        uint64_t created;
        bool running;
    } kCases[] = {
        {created, true},
        {created + 1, false},  // another process that got the same id
        {created - 10000000, false},
    };
    for (const auto& c : kCases) {
        CRunningInstallers record(path);
        ASSERT_TRUE(record.Record(L"pad", self, c.created));
        EXPECT_EQ(c.running, CRunningInstallers(path).IsRunning(L"pad")) << c.created;
        EXPECT_FALSE(CRunningInstallers(path).IsRunning(L"ink"));
    }
    CRunningInstallers(path).Forget(L"pad");
    EXPECT_FALSE(CRunningInstallers(path).IsRunning(L"pad"));
    EXPECT_FALSE(FileExists(path));
}

}  // namespace
