#pragma once
// What the chart fuzz targets share: an abort that libFuzzer reports as a
// crash, and a file in memory with a path the loader and the writer can open.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace fuzz_chart {

inline void Check(bool ok) {
    if (!ok)
        std::abort();
}

struct MemoryFile {
    int fd = memfd_create("chart", 0);
    std::wstring Path() const { return L"/proc/self/fd/" + std::to_wstring(fd); }
    void Fill(const uint8_t* data, size_t size) const {
        Check(ftruncate(fd, 0) == 0);
        Check(size == 0 || pwrite(fd, data, size, 0) == static_cast<ssize_t>(size));
    }
    std::string Bytes() const {
        std::string out;
        char buf[65536];
        for (off_t at = 0;;) {
            const ssize_t n = pread(fd, buf, sizeof buf, at);
            Check(n >= 0);
            if (n == 0)
                return out;
            out.append(buf, static_cast<size_t>(n));
            at += n;
        }
    }
};

}  // namespace fuzz_chart
