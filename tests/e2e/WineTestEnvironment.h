// The one Wine session of an e2e_tests run, as a GoogleTest global environment: the display,
// the prefix and the wineserver are set up once before the first test and shut down after the
// last, so that every scenario pays only for its own program.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>

#include "WineRunner.h"

namespace veltrane::e2e {

class WineTestEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        try {
            session_ = std::make_unique<WineSession>(VELTRANE_E2E_DIR);
        } catch (const std::exception& error) {
            FAIL() << "The Wine session could not be set up: " << error.what();
        }
        std::cout << "[ wine     ] display " << session_->DisplayName() << ", prefix "
                  << session_->Prefix() << " ready in " << session_->prefixSetupTime.count()
                  << " ms\n";
    }

    void TearDown() override { session_.reset(); }

    // The session; null when its set-up failed.
    static WineSession* Session() { return session_.get(); }

private:
    static inline std::unique_ptr<WineSession> session_;
};

// A program of the win64 build, which the scenarios run; VELTRANE_WIN64_DIR comes from CMake.
inline std::filesystem::path Win64Program(const std::filesystem::path& relative) {
    return std::filesystem::path(VELTRANE_WIN64_DIR) / relative;
}

// Fails a scenario with a hint when the win64 build has not been made.
inline ::testing::AssertionResult Win64ProgramBuilt(const std::filesystem::path& program) {
    if (std::filesystem::exists(program)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "The win64 program " << program << " is missing. Build it first: cmake --preset "
              "win64 && cmake --build --preset win64 (make test does this).";
}

// The programs and the builder the scenarios use.
inline const std::filesystem::path LoaderImage = Win64Program("VeltraneLoadProgram.exe");
inline const std::filesystem::path InstallerProgram = Win64Program("tests/e2e/programs/e2e-installer.exe");
inline const std::filesystem::path Pack = VELTRANE_PACK;

// A whole file as bytes.
inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The base of every scenario: the session, and the programs it runs, checked to be there.
class WineScenario : public ::testing::Test {
protected:
    void SetUp() override {
        session_ = WineTestEnvironment::Session();
        ASSERT_NE(session_, nullptr) << "the Wine session could not be set up (see above)";
        ASSERT_TRUE(Win64ProgramBuilt(LoaderImage));
        ASSERT_TRUE(Win64ProgramBuilt(InstallerProgram));
        ASSERT_TRUE(std::filesystem::exists(Pack)) << Pack << " is missing: build the host preset first";
    }

    WineSession* session_ = nullptr;
};

// Registered once for the binary, by whichever scenario file includes this header first.
inline const auto* const wineTestEnvironment =
    ::testing::AddGlobalTestEnvironment(new WineTestEnvironment);

}  // namespace veltrane::e2e
