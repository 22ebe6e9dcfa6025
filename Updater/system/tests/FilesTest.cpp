// Folder lookups and folder trees on real files under Wine.
#include "common/Handles.h"
#include "log/Logger.h"
#include "system/FileWrite.h"
#include "system/Files.h"
#include "system/Folders.h"
#include "system/RunContext.h"
#include "system/StagedFile.h"

#include "testsupport/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using testsupport::Narrow;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

std::vector<std::wstring> Sorted(std::vector<std::wstring> v) {
    std::sort(v.begin(), v.end());
    return v;
}

TEST(Folders, JoinsAndLookups) {
    EXPECT_EQ(L"C:\\A\\x.exe", JoinPath(L"C:\\A", L"x.exe"));
    EXPECT_EQ(L"C:\\A\\x.exe", JoinPath(L"C:\\A\\", L"x.exe"));
    EXPECT_EQ(L"x.exe", JoinPath(L"", L"x.exe"));
    EXPECT_EQ(L"C:\\A", GetParentFolder(L"C:\\A\\B"));
    EXPECT_EQ(L"C:\\", GetParentFolder(L"C:\\A"));

    // The program the tasks start: the same file name one folder up.
    std::wstring exe = GetExePath();
    std::wstring name = exe.substr(exe.rfind(L'\\') + 1);
    EXPECT_EQ(name, GetExeFileName());
    EXPECT_EQ(GetExeParentFolder() + L"\\" + name, GetExePathInParentFolder());
    EXPECT_NE(GetExeFolder(), GetExeParentFolder());

    std::wstring system = GetSystemFolder();
    EXPECT_TRUE(FileExists(JoinPath(system, L"regsvr32.exe"))) << Narrow(system);
    std::wstring notification = GetCommonAppDataPath(L"whatsnew.xml");
    EXPECT_TRUE(FileExists(GetParentFolder(notification))) << Narrow(notification);
    std::wstring temp = GetTempFolder();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(L'\\', temp.back());
    EXPECT_EQ(temp + L"Setup_a-1.exe", GetTempFilePath(L"Setup_a-1.exe"));
}

TEST(FolderTree, ListsSubfoldersAndFilesDepthFirst) {
    TempDir dir(L"files-list");
    std::wstring root = dir.Path();
    ASSERT_TRUE(testsupport::CreateFolders(root + L"\\1.0\\bin\\deep"));
    ASSERT_TRUE(testsupport::CreateFolders(root + L"\\2.0"));
    ASSERT_TRUE(WriteFileBytes(root + L"\\top.txt", "t"));
    ASSERT_TRUE(WriteFileBytes(root + L"\\1.0\\a.dll", "a"));
    ASSERT_TRUE(WriteFileBytes(root + L"\\1.0\\bin\\deep\\b.exe", "b"));

    EXPECT_EQ(Sorted({root + L"\\1.0", root + L"\\2.0"}), Sorted(ListSubfolders(root)));
    EXPECT_EQ(Sorted({root + L"\\top.txt", root + L"\\1.0\\a.dll", root + L"\\1.0\\bin\\deep\\b.exe"}),
              Sorted(ListFilesRecursive(root)));
    EXPECT_TRUE(ListSubfolders(root + L"\\missing").empty());
    EXPECT_TRUE(ListFilesRecursive(root + L"\\missing").empty());
    EXPECT_TRUE(FileExists(root + L"\\2.0"));
    EXPECT_FALSE(FileExists(root + L"\\3.0"));
}

TEST(FolderTree, DeleteStopsAtReadOnlyFileAndKeepsWhatWasRemoved) {
    TempDir dir(L"files-delete");
    std::wstring root = dir.Path() + L"\\tree";
    EXPECT_FALSE(DeleteFolderTree(root));  // missing

    ASSERT_TRUE(testsupport::CreateFolders(root + L"\\sub"));
    ASSERT_TRUE(WriteFileBytes(root + L"\\sub\\one.txt", "1"));
    ASSERT_TRUE(WriteFileBytes(root + L"\\locked.txt", "2"));
    ASSERT_TRUE(::SetFileAttributesW((root + L"\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(DeleteFolderTree(root));
    EXPECT_TRUE(FileExists(root + L"\\locked.txt"));
    EXPECT_TRUE(FileExists(root));

    ASSERT_TRUE(::SetFileAttributesW((root + L"\\locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFolderTree(root));
    EXPECT_FALSE(FileExists(root));

    std::wstring empty = dir.Path() + L"\\empty";
    ASSERT_TRUE(::CreateDirectoryW(empty.c_str(), nullptr));
    EXPECT_TRUE(DeleteFolderTree(empty));
    EXPECT_FALSE(FileExists(empty));
}

TEST(FolderTree, FolderOfARunningProgramIsNotFree) {
    TempDir dir(L"files-free");
    std::wstring version = dir.Path() + L"\\1.0";
    ASSERT_TRUE(testsupport::CreateFolders(version + L"\\data"));
    ASSERT_TRUE(WriteFileBytes(version + L"\\data\\cfg.ini", "x"));
    std::wstring exe = version + L"\\product.exe";
    ASSERT_TRUE(testsupport::CopyFileTo(testsupport::TestBinPath(L"qm_sleeper.exe"), exe));
    EXPECT_TRUE(IsFolderFree(version));
    EXPECT_TRUE(IsFolderFree(dir.Path() + L"\\gone"));

    UniqueHandle running(testsupport::StartProcess(exe, L""));
    ASSERT_TRUE(running.IsValid());
    EXPECT_FALSE(IsFileFree(exe));
    EXPECT_FALSE(IsFolderFree(version));
    EXPECT_FALSE(DeleteFolderTree(version));

    ASSERT_TRUE(::TerminateProcess(running.Get(), 0));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(running.Get(), 30000));
    EXPECT_TRUE(testsupport::WaitFor([&] { return IsFolderFree(version); }, 30000));
    EXPECT_TRUE(DeleteFolderTree(version));
    EXPECT_FALSE(FileExists(version));

    // A file another program holds open without write sharing is not free.
    std::wstring held = dir.Path() + L"\\held.txt";
    ASSERT_TRUE(WriteFileBytes(held, "h"));
    UniqueFile open(::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(open.IsValid());
    EXPECT_FALSE(AreFilesFree({dir.Path() + L"\\nothing", held}));
    open.Reset();
    EXPECT_TRUE(AreFilesFree({dir.Path() + L"\\nothing", held}));
    EXPECT_TRUE(AreFilesFree({}));
}

TEST(FolderTree, ReplaceFileWithSwapsInOneStep) {
    TempDir dir(L"files-replace");
    std::wstring target = dir / L"products.xml";
    std::wstring source = dir / L"products.xml.tmp";
    ASSERT_TRUE(WriteFileBytes(target, "old"));
    ASSERT_TRUE(WriteFileBytes(source, "new"));
    EXPECT_TRUE(ReplaceFileWith(source, target));
    std::string bytes;
    ASSERT_TRUE(testsupport::ReadFileBytes(target, bytes));
    EXPECT_EQ("new", bytes);
    EXPECT_FALSE(FileExists(source));
    EXPECT_FALSE(ReplaceFileWith(source, target));  // source gone
    ASSERT_TRUE(testsupport::ReadFileBytes(target, bytes));
    EXPECT_EQ("new", bytes);
}

// A staged folder that a program still holds is left with a log record,
// never silently.
TEST(StagedFile, FolderThatCannotBeRemovedIsLogged) {
    TempDir dir(L"staged-held");
    Logger::CLogger* logger = Logger::CLogger::GetInstance();
    logger->SetLogFile(dir / L"updater.log");
    std::wstring folder;
    UniqueFile held;
    {
        CStagedFile staged;
        ASSERT_TRUE(staged.Create(dir.Path(), L"Setup_a-1.exe", false));
        folder = staged.Folder();
        ASSERT_TRUE(WriteFileBytes(staged.Path(), "x"));
        held.Reset(::CreateFileW(staged.Path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held.IsValid());
    }
    held.Reset();
    Logger::CLogger::ReleaseInstance(logger);
    Logger::CLogger::ReleaseInstance(logger);
    std::string bytes;
    ASSERT_TRUE(testsupport::ReadFileBytes(dir / L"updater.log", bytes));
    EXPECT_EQ(std::vector<std::string>{"Failed to remove staged installer folder " + Narrow(folder) +
                                       "\r\n"},
              testsupport::LogMessages(bytes));
}

}  // namespace
