#include "base/append_line.h"

#include "base/system_path.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

void WriteWhole(int fd, const std::string& line)
{
    const char* p = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

} // namespace

bool AppendLines(const std::string& path, const std::vector<std::string>& lines)
{
    if (path.empty())
        return false;
    // The logs hold whole claims (names, dates of birth): owner only.
    int fd = ::open(ToSystemPath(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    for (const std::string& line : lines)
        WriteWhole(fd, line);
    ::close(fd);
    return true;
}
