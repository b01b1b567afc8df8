#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "files/whole_file.hpp"
#include "support/temp_folder.hpp"

namespace {

mode_t mode_of(const std::string& path)
{
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// Runs replace_file in a child process that has dropped root to "nobody",
// because root writes into any folder whatever its permission bits say.
// The exit status is 0 on success, else errno.
int replace_as_nobody(const std::string& path, const std::string& bytes)
{
    struct passwd* nobody = getpwnam("nobody");
    uid_t uid = nobody ? nobody->pw_uid : 65534;
    gid_t gid = nobody ? nobody->pw_gid : 65534;
    pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
            _exit(255);
        _exit(replace_file(path.c_str(), bytes) ? 0 : (errno & 0x7f));
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 254;
}

}  // namespace

TEST(WholeFile, ReplacesContentsKeepingPermissionBitsAndLeavingNoTemporaryFile)
{
    TempFolder folder;
    std::string path = folder.file("Brenvaldor.dat");
    write_file(path, std::string(10000, 'x'));
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(replace_file(path.c_str(), "short\n"));
    EXPECT_EQ(read_file(path), "short\n");
    EXPECT_EQ(mode_of(path), 0640u);
    EXPECT_EQ(entry_count(folder.path), 1u);

    // A new file gets the ordinary mode under the umask, not the private
    // mode of a temporary file.
    mode_t mask = umask(022);
    std::string fresh = folder.file("fresh.dat");
    ASSERT_TRUE(replace_file(fresh.c_str(), "x"));
    umask(mask);
    EXPECT_EQ(mode_of(fresh), 0644u);
}

TEST(WholeFile, FollowsSymbolicLinksAndKeepsThem)
{
    TempFolder folder;
    ASSERT_EQ(mkdir(folder.file("real").c_str(), 0755), 0);
    std::string target = folder.file("real/target.dat");
    write_file(target, "old\n");
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    // a relative link to a relative link
    ASSERT_EQ(symlink("real/target.dat", folder.file("inner.dat").c_str()), 0);
    ASSERT_EQ(symlink("inner.dat", folder.file("outer.dat").c_str()), 0);

    ASSERT_TRUE(replace_file(folder.file("outer.dat").c_str(), "new\n"));
    EXPECT_EQ(read_file(target), "new\n");
    EXPECT_EQ(mode_of(target), 0600u);
    EXPECT_EQ(entry_count(folder.file("real")), 1u);

    // A link whose target is not there yet creates that target.
    ASSERT_EQ(symlink("real/later.dat", folder.file("dangling.dat").c_str()), 0);
    ASSERT_TRUE(replace_file(folder.file("dangling.dat").c_str(), "later\n"));
    EXPECT_EQ(read_file(folder.file("real/later.dat")), "later\n");

    // A loop of links is refused rather than followed for ever.
    ASSERT_EQ(symlink("loop_b", folder.file("loop_a").c_str()), 0);
    ASSERT_EQ(symlink("loop_a", folder.file("loop_b").c_str()), 0);
    EXPECT_FALSE(replace_file(folder.file("loop_a").c_str(), "x"));
}

TEST(WholeFile, LeavesTheOldFileWhenTheFolderIsNotWritable)
{
    TempFolder folder;
    std::string path = folder.file("Brenvaldor.dat");
    write_file(path, "old contents\n");
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    ASSERT_EQ(chmod(folder.path.c_str(), 0555), 0);
    int result = geteuid() == 0 ? replace_as_nobody(path, "new contents\n")
                                : (replace_file(path.c_str(), "new contents\n") ? 0 : errno);
    EXPECT_EQ(result, EACCES);
    EXPECT_EQ(read_file(path), "old contents\n");
    EXPECT_EQ(entry_count(folder.path), 1u);
}

TEST(WholeFile, RefusesTargetsThatAreNoRegularFile)
{
    TempFolder folder;
    std::string sub = folder.file("sub");
    std::string fifo = folder.file("pipe.dat");
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    for (const std::string& target : {sub, fifo, folder.file("missing/x.dat")})
        EXPECT_FALSE(replace_file(target.c_str(), "x")) << target;
    struct stat info {};
    ASSERT_EQ(stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));

    std::string contents;
    EXPECT_FALSE(read_whole_file(fifo.c_str(), contents));
    EXPECT_FALSE(read_whole_file(sub.c_str(), contents));
    EXPECT_EQ(entry_count(folder.path), 2u);
}

// As an ordinary user: a file the user may not write is never replaced,
// whatever the folder allows; a replacement that would make another user's
// file ours is refused; a writable file in a folder that takes no new file
// is written in place. Owner, mode and the folder's entries stay.
TEST(WholeFile, UserMayOnlySaveWhatTheyMayWriteAndOwnersStay)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to hand files to another user";
    struct passwd* nobody = getpwnam("nobody");
    uid_t user = nobody ? nobody->pw_uid : 65534;
    gid_t group = nobody ? nobody->pw_gid : 65534;
    struct Case {
        mode_t folder_mode;
        bool root_owned;
        mode_t file_mode;
        int result;
    };
    const Case cases[] = {
        {0777, false, 0444, EACCES},  // the user's own write-protected file
        {0777, true, 0444, EACCES},   // root's, in a folder everyone may write
        {0777, true, 0666, EPERM},    // root's and writable: it would become the user's
        {0755, true, 0666, 0},        // folder closed to the user: written in place
        {0777, false, 0640, 0},       // the ordinary case: replaced, still the user's
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << c.folder_mode << " " << c.file_mode << " root " << c.root_owned);
        TempFolder folder;
        std::string path = folder.file("Brenvaldor.dat");
        write_file(path, "old contents\n");
        uid_t owner = c.root_owned ? 0 : user;
        gid_t owner_group = c.root_owned ? 0 : group;
        ASSERT_EQ(chown(path.c_str(), owner, owner_group), 0);
        ASSERT_EQ(chmod(path.c_str(), c.file_mode), 0);
        ASSERT_EQ(chmod(folder.path.c_str(), c.folder_mode), 0);

        EXPECT_EQ(replace_as_nobody(path, "new contents\n"), c.result);
        EXPECT_EQ(read_file(path), c.result == 0 ? "new contents\n" : "old contents\n");
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, owner);
        EXPECT_EQ(info.st_gid, owner_group);
        EXPECT_EQ(info.st_mode & 07777, c.file_mode);
        EXPECT_EQ(entry_count(folder.path), 1u);
    }
}
