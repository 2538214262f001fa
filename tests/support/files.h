#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace pelantra {

// The whole of a file as bytes; the empty text when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace pelantra
