#pragma once
// A whole file as bytes, for the tools' tests (empty when it cannot be read).

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

inline std::string bytesOf(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(static_cast<size_t>(std::max<std::streamoff>(0, in.tellg())), '\0');
    in.seekg(0);
    in.read(bytes.data(), std::streamsize(bytes.size()));
    return bytes;
}
