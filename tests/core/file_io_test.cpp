#include "core/file_io.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tracora {
namespace {

namespace fs = std::filesystem;

class FileIo : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("tracora-file-io-" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
    static std::string Read(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::size_t Entries() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }
};

TEST_F(FileIo, CreateNeverReplacesAnExistingFile) {
    const fs::path file = dir / "flight.igc";
    ASSERT_EQ(CreateFileAtomically(file, "first\r\n"), 0);
    EXPECT_EQ(Read(file), "first\r\n");
    EXPECT_EQ(CreateFileAtomically(file, "second\r\n"), EEXIST);
    EXPECT_EQ(Read(file), "first\r\n");
    EXPECT_EQ(Entries(), 1u);  // no temporary file left behind
    // A created file is readable like the user's other files, not private.
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST_F(FileIo, ReplaceSwapsTheWholeFileAndKeepsItsPermissions) {
    const fs::path file = dir / "log.kml";
    ASSERT_EQ(ReplaceFileAtomically(file, "old"), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_EQ(ReplaceFileAtomically(file, "new content"), 0);
    EXPECT_EQ(Read(file), "new content");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(FileIo, FailuresLeaveNothingBehind) {
    // The folder cannot be made: a file stands where it should be.
    std::ofstream(dir / "taken") << "x";
    EXPECT_NE(CreateFileAtomically(dir / "taken" / "a.igc", "data"), 0);
    EXPECT_NE(ReplaceFileAtomically(dir / "taken" / "a.igc", "data"), 0);
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(FileIo, WholeFileReadStatuses) {
    std::string text = "unchanged";
    int error = 0;
    EXPECT_EQ(ReadWholeFile(dir / "missing", text, &error), FileReadStatus::kAbsent);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(ReadWholeFile(dir, text, &error), FileReadStatus::kCannotOpen);
    std::ofstream(dir / "empty");
    EXPECT_EQ(ReadWholeFile(dir / "empty", text), FileReadStatus::kEmpty);
    std::ofstream(dir / "big") << std::string(100, 'x');
    EXPECT_EQ(ReadWholeFile(dir / "big", text, &error, 99), FileReadStatus::kTooLarge);
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(ReadWholeFile(dir / "big", text, &error, 100), FileReadStatus::kOk);
    EXPECT_EQ(text, std::string(100, 'x'));
    ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(ReadWholeFile(dir / "pipe", text), FileReadStatus::kCannotOpen);  // never blocks
}

}  // namespace
}  // namespace tracora
