#pragma once
#include <string>

// The program's texts may use "\" or "/" between folders; the file system
// only understands "/".
inline std::string ToSystemPath(std::string path)
{
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}
