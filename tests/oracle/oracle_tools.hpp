// The independent programs the oracle tests compare against: a test asserts that its oracle is
// installed first, so that a missing one fails with what to install instead of with the
// shell's complaint in the middle of a comparison.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace tracora::oracles {

// Whether an executable of that name is on the PATH.
inline bool OnPath(std::string_view program) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        const std::string candidate =
            (dir.empty() ? std::string(".") : std::string(dir)) + "/" + std::string(program);
        if (::access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
        if (colon == std::string_view::npos) {
            return false;
        }
        rest.remove_prefix(colon + 1);
    }
}

// ASSERT_TRUE(OracleInstalled("gpsbabel", "the Debian package gpsbabel")).
inline ::testing::AssertionResult OracleInstalled(std::string_view program,
                                                  std::string_view install) {
    if (OnPath(program)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "oracle " << program << " is missing (install " << install
           << "; scripts/install-deps.sh installs every oracle)";
}

inline constexpr std::string_view kGpsbabelPackage = "the Debian package gpsbabel";
inline constexpr std::string_view kXmllintPackage = "the Debian package libxml2-utils";

}  // namespace tracora::oracles
