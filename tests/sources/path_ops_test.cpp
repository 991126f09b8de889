#include "sources/path_ops.h"
#include "test_env.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <ostream>

namespace {

struct PathCase {
    std::string path;
    std::string folder;
    std::string name;
    std::string extension;
};

void PrintTo(const PathCase& c, std::ostream* out)
{
    *out << '"' << c.path << '"';
}

class PathSplitTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathSplitTest, SplitsAtEitherDelimiter)
{
    const PathCase& c = GetParam();
    EXPECT_EQ(ExtractFolder(c.path), c.folder);
    EXPECT_EQ(ExtractFileName(c.path), c.name);
    EXPECT_EQ(ExtractExtension(c.path), c.extension);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathSplitTest,
    ::testing::Values(PathCase{"/home/rx/TuqData/RX0001.clm", "/home/rx/TuqData/", "RX0001.clm", ".clm"},
                      PathCase{"C:\\TuqData\\RX0001.clm", "C:\\TuqData\\", "RX0001.clm", ".clm"},
                      PathCase{"data\\in/A.b.clm", "data\\in/", "A.b.clm", ".clm"},
                      PathCase{"/claims.d/ORDER1", "/claims.d/", "ORDER1", ""},
                      PathCase{"claims.d\\ORDER1", "claims.d\\", "ORDER1", ""},
                      PathCase{"A.clm", "", "A.clm", ".clm"},
                      PathCase{"/data/", "/data/", "", ""},
                      PathCase{"", "", "", ""}));

TEST(PathOpsTest, ChangeExtensionReplacesOrAppends)
{
    EXPECT_EQ(ChangeExtension("/d/RX0001.clm", ".rsp"), "/d/RX0001.rsp");
    EXPECT_EQ(ChangeExtension("/d/A.clm", "rsp"), "/d/Arsp");
    EXPECT_EQ(ChangeExtension("/d.x/ORDER1", ".rsp"), "/d.x/ORDER1.rsp");
    EXPECT_EQ(ChangeExtension("A.clm", "_20041105142233017.clm"), "A_20041105142233017.clm");
}

TEST(PathOpsTest, TrailingDelimiters)
{
    EXPECT_EQ(IncludeTrailingDelimiter("/data/rsp"), "/data/rsp/");
    EXPECT_EQ(IncludeTrailingDelimiter("/data/rsp/"), "/data/rsp/");
    EXPECT_EQ(IncludeTrailingDelimiter("C:\\rsp\\"), "C:\\rsp\\");
    EXPECT_EQ(IncludeTrailingDelimiter(""), "");

    EXPECT_EQ(StripTrailingDelimiters("/data/rsp/\\/"), "/data/rsp");
    EXPECT_EQ(StripTrailingDelimiters("/data/rsp"), "/data/rsp");
    EXPECT_EQ(StripTrailingDelimiters("/"), "/");
    EXPECT_EQ(StripTrailingDelimiters(""), "");
}

TEST(PathOpsTest, FoldersOnDiskWithEitherDelimiter)
{
    TestHome home;
    std::string base = home.path();
    std::string nested = base + "\\claims\\in/new";
    EXPECT_FALSE(FolderExists(nested));
    ASSERT_TRUE(ForceFolders(nested));
    EXPECT_TRUE(QDir(QString::fromStdString(base + "/claims/in/new")).exists());
    EXPECT_TRUE(FolderExists(nested));
    EXPECT_TRUE(FolderExists(base + "/claims/in/new/"));
    EXPECT_TRUE(ForceFolders(nested));

    QFile file(QString::fromStdString(base + "/plain.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(FolderExists(base + "/plain.txt"));
    EXPECT_FALSE(ForceFolders(base + "/plain.txt/sub"));
    EXPECT_FALSE(FolderExists(""));
}

}  // namespace
