// Saving on Windows (core/file_io_win32.cpp), run under Wine by win64.unit:
// the bytes exactly as given, the old file kept whole whenever the save is
// refused, and no temporary left beside it either way.
#include "core/error.h"
#include "core/file_io.h"
#include "core/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace potencor::files {
namespace {

namespace fs = std::filesystem;

class Save : public testing::Test {
protected:
    void SetUp() override
    {
        const std::string name = "potencor-сохранение-" + std::to_string(std::random_device{}());
        dir_ = platform::utf8Of(fs::temp_directory_path() / platform::pathOf(name));
        fs::create_directories(platform::pathOf(dir_));
    }
    void TearDown() override
    {
        for (const auto& e : fs::directory_iterator(platform::pathOf(dir_)))
            ::SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(platform::pathOf(dir_));
    }
    std::string write(const std::string& name, const std::string& bytes) const
    {
        const std::string path = dir_ + "/" + name;
        std::ofstream(platform::pathOf(path), std::ios::binary) << bytes;
        return path;
    }
    static std::string read(const std::string& path) { return readBounded(path, 1 << 20).bytes; }
    // The folder's names, sorted: a temporary left behind shows here.
    std::string names() const
    {
        std::vector<std::string> all;
        for (const auto& e : fs::directory_iterator(platform::pathOf(dir_)))
            all.push_back(platform::utf8Of(e.path().filename()));
        std::sort(all.begin(), all.end());
        std::string s;
        for (const std::string& n : all)
            s += n + ";";
        return s;
    }
    // The message of the save's refusal, "" when it saved.
    static std::string refusal(const std::string& path, const std::string& bytes)
    {
        try {
            save(path, bytes, "отчёт.html");
        } catch (const Error& e) {
            return e.what();
        }
        return "";
    }
    std::string dir_;
};

const std::string kBytes = std::string("<p>Отчёт</p>\r\nline\n\0end", 26);

TEST_F(Save, NewAndReplacedFilesHoldTheBytesExactly)
{
    const std::string fresh = dir_ + "/группа-101.html";
    save(fresh, kBytes, fresh);
    EXPECT_EQ(read(fresh), kBytes); // no CR added before the lone LF, nothing cut at the NUL

    // A shorter content replaces a longer one whole.
    const std::string old = write("старый.html", std::string(5000, 'x'));
    save(old, "short", old);
    EXPECT_EQ(read(old), "short");
    save(old, "", old);
    EXPECT_EQ(read(old), "");
    EXPECT_EQ(names(), "группа-101.html;старый.html;");
}

TEST_F(Save, RefusedSavesLeaveTheOldFileAndNoTemporary)
{
    const std::string readOnly = write("только-чтение.html", "old");
    ASSERT_TRUE(::SetFileAttributesW(platform::pathOf(readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(refusal(readOnly, kBytes), "Cannot create file \"отчёт.html\". Permission denied");
    EXPECT_EQ(read(readOnly), "old");

    fs::create_directory(platform::pathOf(dir_ + "/папка"));
    EXPECT_EQ(refusal(dir_ + "/папка", kBytes), "Cannot create file \"отчёт.html\". Is a directory");

    EXPECT_EQ(refusal(dir_ + "/нет/отчёт.html", kBytes),
              "Cannot create file \"отчёт.html\". No such file or directory");

    // Open in another program that does not share it for deleting (a
    // spreadsheet holding the CSV): refused until that program lets go.
    const std::string held = write("открыт.html", "old");
    const HANDLE h = ::CreateFileW(platform::pathOf(held).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(refusal(held, kBytes), "Cannot create file \"отчёт.html\". Permission denied");
    ::CloseHandle(h);
    EXPECT_EQ(read(held), "old");
    EXPECT_EQ(refusal(held, kBytes), "");
    EXPECT_EQ(read(held), kBytes);

    EXPECT_EQ(names(), "открыт.html;папка;только-чтение.html;");
}

} // namespace
} // namespace potencor::files
