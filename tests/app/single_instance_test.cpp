#include "app/single_instance.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

TEST(SingleInstanceTest, OnePerNameOthersSideBySide)
{
    TestHome home;
    auto first = std::make_unique<SingleInstance>("Store2");
    EXPECT_FALSE(first->heldElsewhere());
    EXPECT_TRUE(first->error().empty());

    // flock is per open file description, so a second open in this process
    // behaves like another process.
    SingleInstance same("Store2");
    EXPECT_TRUE(same.heldElsewhere());

    SingleInstance other("Store3");
    EXPECT_FALSE(other.heldElsewhere());
    SingleInstance unnamed("");
    EXPECT_FALSE(unnamed.heldElsewhere());
    EXPECT_NE(unnamed.lockPath().find("Corvane.exe - .lock"), std::string::npos);

    first.reset();
    SingleInstance again("Store2");
    EXPECT_FALSE(again.heldElsewhere());
}

TEST(SingleInstanceTest, CrashedHolderDoesNotBlock)
{
    TestHome home;
    pid_t child = ::fork();
    if (child == 0) {
        SingleInstance held("Crash");
        ::_exit(held.heldElsewhere() ? 1 : 0); // dies without any clean-up
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    SingleInstance next("Crash");
    EXPECT_FALSE(next.heldElsewhere());
}

TEST(SingleInstanceTest, NamesWithSlashesStayInTheRuntimeFolder)
{
    TestHome home;
    SingleInstance odd("../a/b");
    EXPECT_FALSE(odd.heldElsewhere());
    EXPECT_TRUE(odd.error().empty());
    EXPECT_EQ(odd.lockPath(), home.path() + "/runtime/Corvane.exe - ..%2Fa%2Fb.lock");
}
