#include "sources/path_ops.h"

#include "base/system_path.h"

#include <filesystem>
#include <system_error>

namespace {

bool IsDelimiter(char c)
{
    return c == '\\' || c == '/';
}

// Index just past the last delimiter, 0 when there is none.
size_t FileNameStart(const std::string& path)
{
    size_t last = path.find_last_of("\\/");
    return last == std::string::npos ? 0 : last + 1;
}

}  // namespace

std::string ExtractFolder(const std::string& path)
{
    return path.substr(0, FileNameStart(path));
}

std::string ExtractFileName(const std::string& path)
{
    return path.substr(FileNameStart(path));
}

std::string ExtractExtension(const std::string& path)
{
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < FileNameStart(path))
        return {};
    return path.substr(dot);
}

std::string ChangeExtension(const std::string& path, const std::string& suffix)
{
    return path.substr(0, path.size() - ExtractExtension(path).size()) + suffix;
}

std::string IncludeTrailingDelimiter(const std::string& path)
{
    if (path.empty() || IsDelimiter(path.back()))
        return path;
    return path + "/";
}

std::string StripTrailingDelimiters(const std::string& path)
{
    size_t end = path.find_last_not_of("\\/");
    if (end == std::string::npos)
        return path.substr(0, 1);
    return path.substr(0, end + 1);
}

bool FolderExists(const std::string& path)
{
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(ToSystemPath(path), error);
}

bool ForceFolders(const std::string& path)
{
    if (path.empty())
        return false;
    std::error_code error;
    std::filesystem::create_directories(ToSystemPath(path), error);
    return FolderExists(path);
}
