#include "common/ProgramFolder.h"

#include "TestFolder.h"

#include <QFileInfo>

#include <gtest/gtest.h>

TEST(ProgramFolder, FollowsTheOverrideWithATrailingSeparator)
{
    TestFolder folder;
    EXPECT_EQ(ProgramFolder(), folder.Path());
    qunsetenv("ORVELA_HOME");
    const QString own = ProgramFolder();
    EXPECT_TRUE(own.endsWith(u'/'));
    EXPECT_TRUE(QFileInfo::exists(own + "common_tests"));
}

TEST(EnsureFile, CreatesFoldersAndFileButNeverTouchesContent)
{
    TestFolder folder;
    const QString path = folder.Path("LOG/deep/x.txt");
    ASSERT_TRUE(EnsureFile(path));
    EXPECT_TRUE(QFileInfo(path).isFile());
    folder.Write("LOG/deep/x.txt", "kept");
    ASSERT_TRUE(EnsureFile(path));
    EXPECT_EQ(folder.Read("LOG/deep/x.txt"), "kept");
    EXPECT_FALSE(EnsureFile(folder.Path("LOG")));  // a folder where the file should be
}
