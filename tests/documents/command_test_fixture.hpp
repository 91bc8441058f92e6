// What the tests of the document commands share: the program's state, a scripted host, and a
// fresh folder of the test's own with helpers to write and read its files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "core/app_state.hpp"
#include "core/scripted_host.hpp"
#include "core/test_files.hpp"

namespace tracora::documents {

class CommandTest : public ::testing::Test {
protected:
    // `prefix` names the test's folder.
    explicit CommandTest(std::string prefix) : prefix_(std::move(prefix)) {}

    void SetUp() override { folder = tracora::testing::FreshTestFolder(prefix_); }
    void TearDown() override { std::filesystem::remove_all(folder); }

    // `text` as the file `name` of the folder, byte for byte.
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(folder / name, std::ios::binary) << text;
    }
    // The bytes of the file at `path` (empty when it cannot be read).
    static std::string Read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    AppState state;
    tracora::testing::ScriptedHost host;
    std::filesystem::path folder;

private:
    std::string prefix_;
};

}  // namespace tracora::documents
