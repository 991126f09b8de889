#include "sources/file_io.h"

#include "base/system_path.h"

#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileio {

bool FileExists(const std::string& path)
{
    struct stat info {};
    return ::stat(ToSystemPath(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

int DeleteFile(const std::string& path)
{
    return ::unlink(ToSystemPath(path).c_str()) == 0 ? 0 : errno;
}

int WriteWholeFile(const std::string& path, const std::string& data)
{
    int fd = ::open(ToSystemPath(path).c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = 0;
    size_t done = 0;
    while (error == 0 && done < data.size()) {
        ssize_t put = ::write(fd, data.data() + done, data.size() - done);
        if (put >= 0)
            done += static_cast<size_t>(put);
        else if (errno != EINTR)
            error = errno;
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

int CreateUniqueFile(const std::string& folder, std::string& path)
{
    // mkstemp would make the file private (0600), but the pharmacy system
    // must be able to read what we leave for it.
    static const char letters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string candidate = folder + "TuqN";
        for (int i = 0; i < 6; ++i)
            candidate += letters[QRandomGenerator::global()->bounded(62)];
        int fd = ::open(ToSystemPath(candidate).c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            path = candidate;
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

int RenameNoReplace(const std::string& from, const std::string& to)
{
    std::string source = ToSystemPath(from);
    std::string target = ToSystemPath(to);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return errno;
    // The file system cannot rename without replacing: test, then rename.
    if (::access(target.c_str(), F_OK) == 0)
        return EEXIST;
    return ::rename(source.c_str(), target.c_str()) == 0 ? 0 : errno;
}

bool SameFolder(const std::string& first, const std::string& second)
{
    struct stat one {};
    struct stat two {};
    return ::stat(ToSystemPath(first).c_str(), &one) == 0 &&
           ::stat(ToSystemPath(second).c_str(), &two) == 0 && one.st_dev == two.st_dev &&
           one.st_ino == two.st_ino;
}

void SyncFolder(const std::string& folder)
{
    std::string path = folder.empty() ? std::string(".") : ToSystemPath(folder);
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace fileio
