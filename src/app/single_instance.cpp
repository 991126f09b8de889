#include "app/single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A configuration name may hold any character; keep it inside one file name.
std::string FileNameSafe(const std::string& name)
{
    std::string safe;
    for (char c : name) {
        if (c == '/')
            safe += "%2F";
        else if (c == '%')
            safe += "%25";
        else
            safe += c;
    }
    return safe;
}

} // namespace

std::string RuntimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return runtime;
    std::string folder = "/tmp/corvane-" + std::to_string(::getuid());
    ::mkdir(folder.c_str(), 0700);
    return folder;
}

std::string ShowRequestSocketPath(const std::string& configName)
{
    return RuntimeFolder() + "/Corvane.exe - " + FileNameSafe(configName) + ".show";
}

SingleInstance::SingleInstance(const std::string& configName)
    : path_(RuntimeFolder() + "/Corvane.exe - " + FileNameSafe(configName) + ".lock")
{
    int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        error_ = std::strerror(errno);
        return;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        heldElsewhere_ = (errno == EWOULDBLOCK);
        if (!heldElsewhere_)
            error_ = std::strerror(errno);
        ::close(fd);
        return;
    }
    fd_ = fd;
}

SingleInstance::~SingleInstance()
{
    if (fd_ >= 0)
        ::close(fd_);
}
