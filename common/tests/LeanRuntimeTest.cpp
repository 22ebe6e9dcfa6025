// The runtime that the deliverables are linked with: ordinary code works,
// allocation without a throw still reports failure with a null pointer, and
// every throw of the C++ runtime ends the process at once with exit code 3,
// without a message box that an unattended program would wait on.
#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>

using testsupport::RunAndWait;
using testsupport::TestBinPath;

namespace {

int Probe(const wchar_t* mode) {
    return RunAndWait(TestBinPath(L"qm_lean_probe.exe"), mode, 60000);
}

TEST(LeanRuntime, StringsAndNothrowAllocationBehaveAsUsual) {
    EXPECT_EQ(0, Probe(L"strings"));
    EXPECT_EQ(0, Probe(L"nothrow"));
}

TEST(LeanRuntime, ThrowsOfTheRuntimeEndTheProcessWithoutADialog) {
    // -1 would mean the probe still ran after a minute: waiting on a dialog.
    EXPECT_EQ(3, Probe(L"new"));
    EXPECT_EQ(3, Probe(L"length"));
    EXPECT_EQ(3, Probe(L"vector"));
}

}  // namespace
