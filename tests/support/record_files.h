#pragma once
// Waiting for the program under test to save a bake's record.

#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

namespace test_support {

// The first record file (bake-*.tvr) in `folder`, waiting up to `timeoutMs`
// for one to appear; empty when none did. The program writes a record under
// another name and moves it into place, so a record seen here is complete.
inline std::string WaitForRecord(const std::string& folder, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
            const std::string name = e.path().filename().string();
            if (name.rfind("bake-", 0) == 0 && e.path().extension() == ".tvr")
                return e.path().string();
        }
        // One more look after the deadline: a record moved in during the
        // last pause still counts.
        if (std::chrono::steady_clock::now() >= deadline)
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace test_support
