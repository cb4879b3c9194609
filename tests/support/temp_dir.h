#pragma once
// A private folder under /tmp for one test, removed with everything in it.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace test_support {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/calvero_test.XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "/tmp";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Dir() const { return path_; }
    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    // The same path as wide text (test names are ASCII).
    std::wstring WPath(const std::string& name) const {
        const std::string p = Path(name);
        return std::wstring(p.begin(), p.end());
    }
    // Writes bytes to the named file and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
        return Path(name);
    }
    std::string Read(const std::string& name) const { return ReadFile(Path(name)); }
    size_t Entries() const {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(path_)) ++n;
        return n;
    }

    static std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
};

}  // namespace test_support
