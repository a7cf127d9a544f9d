// Reading by UTF-8 name on every system: on Windows the name goes through
// the wide file functions, so a Cyrillic folder and file must come back whole.
#include "core/file_io.h"
#include "core/platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace potencor::files {
namespace {

namespace fs = std::filesystem;

class FileRead : public testing::Test {
protected:
    void SetUp() override
    {
        const std::string name = "potencor-чтение-" + std::to_string(std::random_device{}());
        dir_ = platform::utf8Of(fs::temp_directory_path() / platform::pathOf(name) / platform::pathOf("группа-101"));
        fs::create_directories(platform::pathOf(dir_));
    }
    void TearDown() override { fs::remove_all(platform::pathOf(dir_).parent_path()); }
    std::string write(const std::string& name, const std::string& bytes) const
    {
        const std::string path = dir_ + "/" + name;
        std::ofstream(platform::pathOf(path), std::ios::binary) << bytes;
        return path;
    }
    std::string dir_;
};

TEST_F(FileRead, CyrillicNames)
{
    const std::string bytes = "0: x=1.000см\r\n";
    const ReadResult r = readBounded(write("иванов.txt", bytes), 1000);
    EXPECT_EQ(r.status, ReadResult::Status::Ok);
    EXPECT_EQ(r.bytes, bytes);

    const ReadResult missing = readBounded(dir_ + "/петров.txt", 1000);
    EXPECT_EQ(missing.status, ReadResult::Status::CannotOpen);
    EXPECT_EQ(errorText(missing.error), "No such file or directory");

    EXPECT_EQ(readBounded(dir_, 1000).status, ReadResult::Status::Directory);
}

TEST_F(FileRead, LimitOnARegularFile)
{
    const std::string at = write("ровно.txt", std::string(1000, 'a'));
    EXPECT_EQ(readBounded(at, 1000).bytes.size(), 1000u);
    const ReadResult over = readBounded(write("больше.txt", std::string(1001, 'a')), 1000);
    EXPECT_EQ(over.status, ReadResult::Status::TooLarge);
    EXPECT_EQ(over.size, 1001u);
    EXPECT_TRUE(over.bytes.empty());
}

TEST_F(FileRead, ListedNamesComeBackAsWritten)
{
    write("смирнов.txt", "x");
    const auto entry = *fs::directory_iterator(platform::pathOf(dir_));
    EXPECT_EQ(platform::utf8Of(entry.path()), dir_ + "/смирнов.txt");
}

} // namespace
} // namespace potencor::files
