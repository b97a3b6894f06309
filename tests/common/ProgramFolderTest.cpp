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

TEST(ProgramFolder, TheOverrideThenAWritableUninstalledExecutableFolderThenThePerUserFolder)
{
    TProgramFolderFacts facts{QString(), QStringLiteral("/opt/orvela"), true, false, QStringLiteral("/home/ivan/.local/share/Orvela")};
    EXPECT_EQ(ChooseProgramFolder(facts), QStringLiteral("/opt/orvela/"));
    facts.ExecutableFolderWritable = false;
    EXPECT_EQ(ChooseProgramFolder(facts), QStringLiteral("/home/ivan/.local/share/Orvela/"));
    // Installed: the per-user folder even where the bin folder is writable (root and /usr/bin).
    facts.ExecutableFolderWritable = true;
    facts.Installed = true;
    EXPECT_EQ(ChooseProgramFolder(facts), QStringLiteral("/home/ivan/.local/share/Orvela/"));
    facts.Override = QStringLiteral("/srv/orvela/");
    EXPECT_EQ(ChooseProgramFolder(facts), QStringLiteral("/srv/orvela/"));
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
