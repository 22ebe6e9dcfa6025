// What the shipped Updater.exe carries besides its code.
#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>


using namespace testsupport;

namespace {

TEST(UpdaterResources, VersionInformation) {
    VersionInfo info;
    ASSERT_TRUE(ReadVersionInfo(DistPath(L"Updater.exe"), info));
    EXPECT_EQ("1.3.0.10", info.fileVersion);
    EXPECT_EQ("1.3.0.10", info.productVersion);
    EXPECT_EQ("Updater Module", info.description);
    EXPECT_EQ("1, 3, 0, 10", info.versionText);
}

TEST(UpdaterResources, ManifestAsksForNoElevation) {
    std::string manifest = ResourceBytes(DistPath(L"Updater.exe"), MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
    EXPECT_NE(std::string::npos, manifest.find("level=\"asInvoker\"")) << manifest;
    EXPECT_NE(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls"));
    EXPECT_NE(std::string::npos, manifest.find("version=\"6.0.0.0\""));
}

}  // namespace
