// Whole programs formatted against reviewed golden files. Run with
// HALVEX_UPDATE_GOLDEN=1 to rewrite the goldens after a deliberate change,
// then review the diff.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "cli.hpp"

namespace halvex {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<fs::path> Programs() {
    std::vector<fs::path> programs;
    for (const auto& entry : fs::directory_iterator(HALVEX_TEST_DATA_DIR)) {
        if (entry.path().extension() == ".bas") programs.push_back(entry.path());
    }
    std::sort(programs.begin(), programs.end());
    return programs;
}

// Removes every line's leading and trailing spaces, or adds random ones, and
// turns line breaks into LF: formatting must restore the golden exactly.
std::string MessUp(const std::string& text, unsigned seed) {
    std::mt19937 random(seed);
    std::string out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t first = line.find_first_not_of(' ');
        line = first == std::string::npos ? "" : line.substr(first);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += std::string(random() % 7, ' ') + line + std::string(random() % 3, ' ') + (random() % 2 ? "\n" : "\r\n");
    }
    return out;
}

TEST(Golden, ProgramsFormatToTheirGoldenFiles) {
    const bool update = std::getenv("HALVEX_UPDATE_GOLDEN") != nullptr;
    const auto programs = Programs();
    ASSERT_FALSE(programs.empty());
    for (const fs::path& program : programs) {
        fs::path golden = program;
        golden.replace_extension(".golden");
        const cli::FormatFileResult result = cli::FormatSource(ReadFile(program), 1, 0);
        if (update) {
            std::ofstream(golden, std::ios::binary) << result.text;
            continue;
        }
        const std::string want = ReadFile(golden);
        EXPECT_EQ(result.text, want) << program;
        EXPECT_EQ(cli::FormatSource(want, 1, 0).text, want) << program << " is not stable";
        for (unsigned seed = 1; seed <= 3; ++seed) {
            EXPECT_EQ(cli::FormatSource(MessUp(want, seed), 1, 0).text, want) << program << " messed up, seed " << seed;
        }
    }
}

}  // namespace
}  // namespace halvex
