#pragma once

#include <filesystem>
#include <string>

namespace twinfold::test {

// A fresh folder under the system's temporary directory, removed (with
// everything in it) when the object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

}  // namespace twinfold::test
