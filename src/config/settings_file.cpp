#include "config/settings_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ErrnoText()
{
    return std::strerror(errno);
}

// Closes a descriptor when the scope ends (which also drops a flock).
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    int release()
    {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

bool ReadAll(int fd, std::string& bytes)
{
    char buffer[8192];
    while (true) {
        ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count == 0)
            return true;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.append(buffer, static_cast<size_t>(count));
    }
}

bool WriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(count);
    }
    return true;
}

void LockExclusively(int fd, const std::string& lockPath)
{
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            throw SettingsFileError(SettingsFileError::Stage::Write,
                                    "cannot lock " + lockPath + ": " + ErrnoText());
    }
}

// Writes text to a fresh temporary file in folder and returns its name.
std::string WriteTemporaryFile(const std::string& path, const std::string& text)
{
    std::string name = path + ".XXXXXX";
    FileDescriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0)
        throw SettingsFileError(SettingsFileError::Stage::Write,
                                "cannot create a temporary file beside " + path + ": " +
                                    ErrnoText());
    if (::fchmod(fd.get(), 0600) != 0 || !WriteAll(fd.get(), text) || ::fsync(fd.get()) != 0 ||
        ::close(fd.release()) != 0) {
        std::string reason = "cannot write " + name + ": " + ErrnoText();
        ::unlink(name.c_str());
        throw SettingsFileError(SettingsFileError::Stage::Write, reason);
    }
    return name;
}

// What tells one version of the file from another without reading it.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
};

bool SameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

bool Earlier(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool SameStamp(const FileStamp& a, const FileStamp& b)
{
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           SameTime(a.modified, b.modified) && SameTime(a.changed, b.changed);
}

FileStamp StampOf(const struct stat& status)
{
    return {status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
}

// The last file parsed; the relay thread reads settings too.
struct ParsedFile {
    std::string path;
    FileStamp stamp;
    std::shared_ptr<const RegDocument> document;
};
std::mutex parsedMutex;
ParsedFile parsed;

std::shared_ptr<const RegDocument> ParsedVersion(const std::string& path, const FileStamp& stamp)
{
    std::lock_guard<std::mutex> lock(parsedMutex);
    if (parsed.document && parsed.path == path && SameStamp(parsed.stamp, stamp))
        return parsed.document;
    return nullptr;
}

void ForgetParsedFile()
{
    std::lock_guard<std::mutex> lock(parsedMutex);
    parsed = ParsedFile{};
}

// File times come from the kernel's coarse clock. A change made in the same
// tick as the read may leave every time stamp as it was, so a file changed
// no earlier than the read began is parsed again next time.
void KeepParsedFile(const std::string& path, const FileStamp& stamp, const timespec& readStart,
                    const std::shared_ptr<const RegDocument>& document)
{
    std::lock_guard<std::mutex> lock(parsedMutex);
    if (Earlier(stamp.modified, readStart) && Earlier(stamp.changed, readStart))
        parsed = ParsedFile{path, stamp, document};
    else
        parsed = ParsedFile{};
}

void SyncFolder(const std::string& folder)
{
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

}  // namespace

SettingsFileError::SettingsFileError(Stage stage, const std::string& reason)
    : std::runtime_error(reason), stage_(stage)
{
}

std::string UserHomeFolder()
{
    const char* home = std::getenv("HOME");
    if (home && *home)
        return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "";
}

std::string SettingsFilePath()
{
    const char* explicitFile = std::getenv("CORVANE_SETTINGS");
    if (explicitFile && *explicitFile)
        return explicitFile;
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    std::string folder = configHome && configHome[0] == '/' ? std::string(configHome)
                                                            : UserHomeFolder() + "/.config";
    return folder + "/Tuq Network/Corvane.reg";
}

std::shared_ptr<const RegDocument> ReadSettingsFile(const std::string& path)
{
    timespec readStart{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &readStart);
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::make_shared<const RegDocument>();
        throw SettingsFileError(SettingsFileError::Stage::Read,
                                "cannot open settings file " + path + ": " + ErrnoText());
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0)
        throw SettingsFileError(SettingsFileError::Stage::Read,
                                "cannot read settings file " + path + ": " + ErrnoText());
    const FileStamp stamp = StampOf(status);
    if (auto document = ParsedVersion(path, stamp))
        return document;

    std::string bytes;
    if (!ReadAll(fd.get(), bytes))
        throw SettingsFileError(SettingsFileError::Stage::Read,
                                "cannot read settings file " + path + ": " + ErrnoText());
    try {
        auto document = std::make_shared<const RegDocument>(RegDocument::Parse(bytes));
        KeepParsedFile(path, stamp, readStart, document);
        return document;
    } catch (const RegFormatError& error) {
        throw SettingsFileError(SettingsFileError::Stage::Read,
                                "settings file " + path + " line " +
                                    std::to_string(error.line()) + " cannot be read: " +
                                    error.what());
    }
}

void UpdateSettingsFile(const std::string& path, const std::function<void(RegDocument&)>& change)
{
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!folder.empty())
        std::filesystem::create_directories(folder, error);
    if (error)
        throw SettingsFileError(SettingsFileError::Stage::CreateFolder,
                                "cannot create folder " + folder.string() + ": " + error.message());

    // The lock lives in its own file: the settings file itself is replaced
    // by every write, so a lock on it would not exclude the next writer.
    std::string lockPath = path + ".lock";
    FileDescriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lock.get() < 0)
        throw SettingsFileError(SettingsFileError::Stage::Write,
                                "cannot open " + lockPath + ": " + ErrnoText());
    LockExclusively(lock.get(), lockPath);

    RegDocument document = *ReadSettingsFile(path);
    change(document);
    std::string temporary = WriteTemporaryFile(path, document.ToText());
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        std::string reason = "cannot replace " + path + ": " + ErrnoText();
        ::unlink(temporary.c_str());
        throw SettingsFileError(SettingsFileError::Stage::Write, reason);
    }
    ForgetParsedFile();
    SyncFolder(folder.empty() ? "." : folder.string());
}
