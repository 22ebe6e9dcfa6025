// Host-build stand-ins for the durable file write: POSIX calls, with the
// folder flushed after the rename so that the rename itself survives a crash.
#include "system/FileWrite.h"

#include "system/TextCodec.h"
#include "common/TextNumbers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

std::string Narrow(const std::wstring& path) {
    return WideToBytes(path.c_str(), path.size(), CodePage::ThreadAnsi);
}

bool WriteAllAndFlush(const std::string& path, const std::string& bytes) {
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0)
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(file, bytes.data() + done, bytes.size() - done);
        if (written <= 0)
            break;
        done += static_cast<size_t>(written);
    }
    const bool flushed = done == bytes.size() && ::fsync(file) == 0;
    return ::close(file) == 0 && flushed;
}

void FlushFolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int handle = ::open(folder.c_str(), O_RDONLY);
    if (handle < 0)
        return;
    ::fsync(handle);
    ::close(handle);
}

}  // namespace

std::wstring TemporarySiblingPath(const std::wstring& path) {
    return path + L"." + DecimalText(static_cast<unsigned long>(::getpid())) + L".tmp";
}

bool ReplaceFileWith(const std::wstring& source, const std::wstring& target) {
    const std::string from = Narrow(source), to = Narrow(target);
    if (from.empty() || to.empty())
        return false;
    struct stat status;
    if (::stat(to.c_str(), &status) == 0 && !(status.st_mode & S_IWUSR))
        return false;  // read-only, as Windows keeps it
    if (std::rename(from.c_str(), to.c_str()) != 0)
        return false;
    // The file is in place either way; the flush only hastens the rename.
    FlushFolderOf(to);
    return true;
}

bool WriteFileDurably(const std::wstring& path, const std::string& bytes) {
    const std::wstring temporary = TemporarySiblingPath(path);
    const std::string narrow = Narrow(temporary);
    if (narrow.empty())
        return false;
    if (WriteAllAndFlush(narrow, bytes) && ReplaceFileWith(temporary, path))
        return true;
    std::remove(narrow.c_str());
    return false;
}

bool RemoveFileIfPresent(const std::wstring& path) {
    const std::string narrow = Narrow(path);
    if (narrow.empty())
        return false;
    struct stat status;
    if (::lstat(narrow.c_str(), &status) != 0)
        return errno == ENOENT || errno == ENOTDIR;
    // Read-only, as Windows keeps it; a folder is no file.
    if (!(status.st_mode & S_IWUSR) || S_ISDIR(status.st_mode))
        return false;
    return ::unlink(narrow.c_str()) == 0;
}
