#include "claim_files.h"

#include <QDir>
#include <QFileInfo>
#include <fstream>

void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool Exists(const std::string& path)
{
    return QFileInfo::exists(QString::fromStdString(path));
}

std::vector<std::string> NamesIn(const std::string& folder)
{
    std::vector<std::string> names;
    const QStringList entries =
        QDir(QString::fromStdString(folder))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : entries)
        names.push_back(name.toStdString());
    return names;
}

std::vector<std::string> TemporaryFilesIn(const std::string& folder)
{
    std::vector<std::string> temporary;
    for (const std::string& name : NamesIn(folder))
        if (name.rfind("TuqN", 0) == 0)
            temporary.push_back(name);
    return temporary;
}
