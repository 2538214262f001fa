#pragma once

// For the tests that run on Windows itself (scripts/test-windows runs them
// under Wine): a fresh folder to work in.

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace pelantra {

// A path as the UTF-8 bytes that name it.
inline std::string Utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// A fresh folder under the user's temporary folder (a drive-letter path),
// with the bytes that name it; removed again with all it holds.
class WindowsFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = std::filesystem::temp_directory_path() / (L"pelantra-windows-" + std::to_wstring(GetCurrentProcessId()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
        rootBytes = Utf8(root);
        ASSERT_EQ(rootBytes[1], ':') << rootBytes;
        ASSERT_EQ(rootBytes.find('/'), std::string::npos) << rootBytes;
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
        std::filesystem::remove_all(root, ignored);
    }

    std::filesystem::path root;
    std::string rootBytes;
};

} // namespace pelantra
