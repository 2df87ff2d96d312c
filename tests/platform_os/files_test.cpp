// Files: open modes, reads and writes, whole-file helpers and safe replacement.
#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>

#include "platform/os/win32/wide_text.h"
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <string>
#include <vector>

#include "platform/os/os.h"
#include "tests/support/scratch.h"

namespace mirel::os {
namespace {

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

std::string contentOf(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (!readFile(path, bytes)) return "<unreadable>";
    return std::string(bytes.begin(), bytes.end());
}

TEST(File, CreateOrOpenNeverTruncatesUntilAskedTo) {
    const std::string path = testing::scratchFolder() + "Mirel cached settings D";
    {
        File file;
        ASSERT_TRUE(file.open(path, OpenMode::CreateOrOpen));
        EXPECT_TRUE(file.write("0123456789", 10));
    }
    File file;
    ASSERT_TRUE(file.open(path, OpenMode::CreateOrOpen));
    EXPECT_EQ(file.size(), 10);
    EXPECT_EQ(file.position(), 0);
    EXPECT_TRUE(file.write("abc", 3));
    EXPECT_TRUE(file.flush());
    EXPECT_EQ(contentOf(path), "abc3456789");
    EXPECT_TRUE(file.truncateHere());
    EXPECT_EQ(file.size(), 3);
    EXPECT_EQ(contentOf(path), "abc");
}

TEST(File, ExistingOnlyReadsAndNeverCreates) {
    const std::string folder = testing::scratchFolder();
    File file;
    EXPECT_FALSE(file.open(folder + "missing", OpenMode::ExistingOnly));
    EXPECT_FALSE(fileExists(folder + "missing"));
    EXPECT_FALSE(file.isOpen());

    ASSERT_TRUE(writeFileAtomic(folder + "data", bytesOf("hello world")));
    ASSERT_TRUE(file.open(folder + "data", OpenMode::ExistingOnly));
    EXPECT_FALSE(file.write("x", 1)) << "opened read only";
    char buffer[32] = {};
    EXPECT_TRUE(file.seek(6));
    EXPECT_EQ(file.read(buffer, sizeof buffer), 5u) << "short at the end of the file";
    EXPECT_EQ(std::string(buffer), "world");
    EXPECT_EQ(file.position(), 11);
    EXPECT_EQ(file.read(buffer, sizeof buffer), 0u);
    EXPECT_FALSE(file.seek(-1));

    // Moving hands over the descriptor; the source is left closed.
    File moved(std::move(file));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(moved.isOpen());
    EXPECT_TRUE(moved.seek(0));
    EXPECT_EQ(moved.read(buffer, 5), 5u);
    moved.close();
    EXPECT_FALSE(moved.isOpen());
    EXPECT_EQ(moved.read(buffer, 5), 0u);
    EXPECT_EQ(moved.size(), -1);
}

TEST(File, RefusesFoldersAndPipesWithoutBlocking) {
    const std::string folder = testing::scratchFolder();
    File file;
    EXPECT_FALSE(file.open(folder, OpenMode::ExistingOnly));
    EXPECT_FALSE(file.open(folder, OpenMode::CreateOrOpen));
#if defined(_WIN32)
    // Devices open like files on Windows; they are not ours to read or write.
    EXPECT_FALSE(file.open("NUL", OpenMode::ExistingOnly));
    EXPECT_FALSE(file.open("NUL", OpenMode::CreateOrOpen));
#else
    ASSERT_EQ(mkfifo((folder + "pipe").c_str(), 0644), 0);
    // A plain open of a FIFO for reading would wait for a writer forever.
    EXPECT_FALSE(file.open(folder + "pipe", OpenMode::ExistingOnly));
    EXPECT_FALSE(file.open(folder + "pipe", OpenMode::CreateOrOpen));
#endif
    EXPECT_FALSE(file.open("", OpenMode::CreateOrOpen));
}

// Paths are UTF-8 on every system, whatever the system's own code page.
TEST(File, NamesOutsideAsciiRoundTrip) {
    const std::string folder = testing::scratchFolder() + "Fl\xC3\xBCsse \xE2\x9C\x93/";
    ASSERT_TRUE(makeFolder(folder));
    const std::string path = folder + "S\xC3\xA9quana \xE6\xB0\xB4.q8r";
    ASSERT_TRUE(writeFileAtomic(path, bytesOf("water")));
    EXPECT_TRUE(fileExists(path));
    EXPECT_EQ(pathKind(path), PathKind::File);
    EXPECT_EQ(contentOf(path), "water");
    std::vector<std::string> names;
    ASSERT_TRUE(listFolder(folder, "*.Q8R", names));
    EXPECT_EQ(names, std::vector<std::string>{"S\xC3\xA9quana \xE6\xB0\xB4.q8r"});
    EXPECT_TRUE(sameFile(path, folder + "./S\xC3\xA9quana \xE6\xB0\xB4.q8r"));
    EXPECT_FALSE(sameFile(path, folder));
    EXPECT_TRUE(removeFile(path));
    EXPECT_EQ(pathKind(path), PathKind::Absent);
}

TEST(WholeFile, RoundTripsEmptyAndLargeFiles) {
    const std::string folder = testing::scratchFolder();
    std::vector<std::uint8_t> large(3 * 1024 * 1024 + 17);
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<std::uint8_t>(i * 31 + (i >> 9));
    ASSERT_TRUE(writeFileAtomic(folder + "large", large));
    std::vector<std::uint8_t> back{1, 2, 3};
    ASSERT_TRUE(readFile(folder + "large", back));
    EXPECT_EQ(back, large);

    ASSERT_TRUE(writeFileAtomic(folder + "empty", {}));
    ASSERT_TRUE(readFile(folder + "empty", back));
    EXPECT_TRUE(back.empty());
    EXPECT_TRUE(fileExists(folder + "empty"));

    back = {1};
    EXPECT_FALSE(readFile(folder + "missing", back));
    EXPECT_TRUE(back.empty());
    EXPECT_FALSE(readFile(folder, back)) << "a folder is not a file";
}

#if !defined(_WIN32)
TEST(WholeFile, AtomicWriteReplacesAndLeavesNoStrays) {
    const std::string folder = testing::scratchFolder();
    ASSERT_TRUE(writeFileAtomic(folder + "settings.q8r", bytesOf("a much longer old content")));
    ASSERT_EQ(chmod((folder + "settings.q8r").c_str(), 0600), 0);
    ASSERT_TRUE(writeFileAtomic(folder + "settings.q8r", bytesOf("new")));
    EXPECT_EQ(contentOf(folder + "settings.q8r"), "new");
    struct stat info;
    ASSERT_EQ(stat((folder + "settings.q8r").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a replaced file keeps its permissions";

    std::vector<std::string> names;
    ASSERT_TRUE(listFolder(folder, "*", names));
    EXPECT_EQ(names, std::vector<std::string>{"settings.q8r"});

    // Through a link, the file pointed to is replaced and the link stays.
    ASSERT_EQ(symlink("settings.q8r", (folder + "link").c_str()), 0);
    ASSERT_TRUE(writeFileAtomic(folder + "link", bytesOf("via link")));
    EXPECT_EQ(contentOf(folder + "settings.q8r"), "via link");
    struct stat linkInfo;
    ASSERT_EQ(lstat((folder + "link").c_str(), &linkInfo), 0);
    EXPECT_TRUE(S_ISLNK(linkInfo.st_mode));

    EXPECT_FALSE(writeFileAtomic(folder + "no such folder/file", bytesOf("x")));
    EXPECT_FALSE(writeFileAtomic(folder, bytesOf("x")));
}

// Runs `attempt` without the superuser's right to write anywhere: as is when
// we are an ordinary user, else in a child process that became "nobody".
// Returns 1 for true, 0 for false, -1 when no such process could be made.
template <typename Attempt>
int asOrdinaryUser(Attempt attempt) {
    if (geteuid() != 0) return attempt() ? 1 : 0;
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        constexpr uid_t kNobody = 65534;
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
        _exit(attempt() ? 1 : 0);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    const int code = WEXITSTATUS(status);
    return code == 2 ? -1 : code;
}

TEST(WholeFile, AtomicWriteKeepsTheOldFileWhenTheFolderIsReadOnly) {
    const std::string folder = testing::scratchFolder() + "locked/";
    ASSERT_TRUE(makeFolder(folder));
    ASSERT_TRUE(writeFileAtomic(folder + "keep", bytesOf("old")));
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    const int written =
        asOrdinaryUser([&] { return writeFileAtomic(folder + "keep", bytesOf("new")); });
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    if (written < 0) GTEST_SKIP() << "cannot drop the superuser's rights here";
    EXPECT_EQ(written, 0);
    EXPECT_EQ(contentOf(folder + "keep"), "old");
}

// A real write failure: the file-size limit makes write() fail with EFBIG
// part way through the data.
TEST(WholeFile, AtomicWriteKeepsTheOldFileWhenTheWriteFails) {
    const std::string folder = testing::scratchFolder();
    ASSERT_TRUE(writeFileAtomic(folder + "keep", bytesOf("old")));
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = writeFileAtomic(folder + "keep", std::vector<std::uint8_t>(100000, 7));
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);

    EXPECT_FALSE(written);
    EXPECT_EQ(contentOf(folder + "keep"), "old");
    std::vector<std::string> names;
    ASSERT_TRUE(listFolder(folder, "*", names));
    EXPECT_EQ(names, std::vector<std::string>{"keep"}) << "the temporary file is removed";
}

#else
TEST(WholeFile, AtomicWriteReplacesAndLeavesNoStrays) {
    const std::string folder = testing::scratchFolder();
    ASSERT_TRUE(writeFileAtomic(folder + "settings.q8r", bytesOf("a much longer old content")));
    ASSERT_TRUE(writeFileAtomic(folder + "settings.q8r", bytesOf("new")));
    EXPECT_EQ(contentOf(folder + "settings.q8r"), "new");
    const DWORD attributes = ::GetFileAttributesW(win32::wideText(folder + "settings.q8r").c_str());
    EXPECT_FALSE(attributes & FILE_ATTRIBUTE_HIDDEN) << "the finished file is not hidden";
    std::vector<std::string> names;
    ASSERT_TRUE(listFolder(folder, "*", names));
    EXPECT_EQ(names, std::vector<std::string>{"settings.q8r"});
    EXPECT_FALSE(writeFileAtomic(folder + "no such folder\\file", bytesOf("x")));
    EXPECT_FALSE(writeFileAtomic(folder, bytesOf("x")));
}

// A file the system would not let us replace is never touched: a read-only
// file is refused before anything is written, and one that another program
// holds open stays as it was.
TEST(WholeFile, AtomicWriteKeepsFilesThatMayNotBeReplaced) {
    const std::string folder = testing::scratchFolder();
    const std::string locked = folder + "read only.png";
    ASSERT_TRUE(writeFileAtomic(locked, bytesOf("old")));
    ASSERT_TRUE(::SetFileAttributesW(win32::wideText(locked).c_str(), FILE_ATTRIBUTE_READONLY));
    ReplacingFile file;
    EXPECT_FALSE(file.open(locked));
    EXPECT_EQ(file.error(), EACCES);
    ::SetFileAttributesW(win32::wideText(locked).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(contentOf(locked), "old");

    const std::string held = folder + "held.png";
    ASSERT_TRUE(writeFileAtomic(held, bytesOf("old")));
    HANDLE reader = ::CreateFileW(win32::wideText(held).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(writeFileAtomic(held, bytesOf("new")));
    ::CloseHandle(reader);
    EXPECT_EQ(contentOf(held), "old");
    std::vector<std::string> names;
    ASSERT_TRUE(listFolder(folder, "*", names));
    EXPECT_EQ(names, (std::vector<std::string>{"held.png", "read only.png"}));
}
#endif

TEST(WholeFile, ExistsAndRemove) {
    const std::string folder = testing::scratchFolder();
    ASSERT_TRUE(writeFileAtomic(folder + "f", bytesOf("x")));
    EXPECT_TRUE(fileExists(folder + "f"));
    EXPECT_FALSE(fileExists(folder)) << "folders are not files";
    EXPECT_TRUE(removeFile(folder + "f"));
    EXPECT_FALSE(fileExists(folder + "f"));
    EXPECT_TRUE(removeFile(folder + "f")) << "nothing left at the path";
    ASSERT_TRUE(makeFolder(folder + "sub"));
    EXPECT_FALSE(removeFile(folder + "sub"));
}

}  // namespace
}  // namespace mirel::os
