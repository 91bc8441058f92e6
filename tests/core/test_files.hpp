// What tests that write files share: a fresh folder of their own and a count of texts.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace tracora::testing {

// An empty folder under the system's temporary folder, named after `prefix` and the running
// test, so that tests run side by side never share one.
inline std::filesystem::path FreshTestFolder(const std::string& prefix) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        (prefix + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

// How often `what` occurs in `text`, overlaps included.
inline std::size_t CountOccurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

}  // namespace tracora::testing
