#include "program_generator.hpp"

#include <array>
#include <random>
#include <string_view>
#include <vector>

namespace halvex::bench {
namespace {

using namespace std::string_view_literals;

// Lines that neither open nor close a block: statements, string literals that
// hold keywords, colons and apostrophes, comments, tabs and non-ASCII text.
constexpr std::array kStatements = {
    "x = x + 1"sv,
    "PRINT \"FOR i = 1 TO 10: NEXT ' not code\""sv,
    "total = total + a(i) * 2 ' running total"sv,
    "name$ = \"Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln\""sv,
    "' a comment line with IF ... THEN in it"sv,
    "LOCAL s$ = \"it's: DO LOOP\", n% = 3"sv,
    "\tPRINT \"tabbed\"; n"sv,
    "PRINT \"\xE2\x82\xAC\"; price * 1.19"sv,
    "IF x > 10 THEN x = 0"sv,
    "IF ready THEN PRINT \"ready\" ELSE PRINT \"waiting\""sv,
    "a = b : b = c : c = a"sv,
    "CALL Report(x, y, \"done\")"sv,
    "REM old-style comment"sv,
    ""sv,
};

class Generator {
   public:
    explicit Generator(const GeneratorOptions& options) : options_(options), random_(options.seed) {}

    std::string Run() {
        const bool bySize = options_.bytes != 0;
        out_.reserve(bySize ? options_.bytes + 4096 : options_.lines * 32);
        while (bySize ? out_.size() < options_.bytes : lines_ < options_.lines) Routine();
        return std::move(out_);
    }

   private:
    void Line(std::string_view text) {
        if (options_.messUp) out_.append(Pick(4) * 2, ' ');
        out_.append(text);
        if (options_.messUp && Pick(8) == 0) out_.append(Pick(3) + 1, ' ');
        out_.append(options_.crlf ? "\r\n"sv : "\n"sv);
        ++lines_;
    }
    std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }

    void Statements(int count) {
        for (int i = 0; i < count; ++i) Line(kStatements[Pick(kStatements.size())]);
    }

    void Block(int depth) {
        if (depth > 4 || Pick(3) == 0) {
            Statements(1 + static_cast<int>(Pick(3)));
            return;
        }
        switch (Pick(8)) {
            case 0:
                Line("FOR i = 1 TO 10");
                Block(depth + 1);
                Line(Pick(2) ? "NEXT i" : "NEXT");
                break;
            case 1:
                Line("FOR i = 1 TO 3 : FOR j = 1 TO 3");
                Block(depth + 2);
                Line("NEXT j, i");
                break;
            case 2:
                Line("IF a(i) > 5 THEN ' big");
                Block(depth + 1);
                if (Pick(2)) {
                    Line("ELSEIF a(i) > 2 THEN");
                    Block(depth + 1);
                }
                Line("ELSE");
                Block(depth + 1);
                Line(Pick(2) ? "END IF" : "ENDIF");
                break;
            case 3:
                Line(Pick(2) ? "DO WHILE n > 0" : "DO");
                Block(depth + 1);
                Line("LOOP");
                break;
            case 4:
                Line("WHILE k < 100");
                Block(depth + 1);
                Line("WEND");
                break;
            case 5:
                Line("SELECT CASE x");
                Line("CASE 1");
                Block(depth + 2);
                Line("CASE 2 : y = 2");
                Line("CASE ELSE");
                Block(depth + 2);
                Line("END SELECT");
                break;
            case 6:
                Line("DO : x = x + 1 : LOOP UNTIL x > 9");
                Line("FOR k = 1 TO 3 : PRINT k : NEXT");
                break;
            default:
                Line("retry" + std::to_string(lines_) + ":");
                Block(depth);
        }
    }

    void Routine() {
        const bool function = Pick(2) == 0;
        Line(std::string(function ? "FUNCTION Calc" : "SUB Show") + std::to_string(lines_) + "(n, s$)");
        for (int blocks = 1 + static_cast<int>(Pick(4)); blocks > 0; --blocks) Block(0);
        Line(function ? "END FUNCTION" : "END SUB");
        Line("");
    }

    const GeneratorOptions& options_;
    std::mt19937_64 random_;
    std::string out_;
    std::uint64_t lines_ = 0;
};

}  // namespace

std::string GenerateProgram(const GeneratorOptions& options) { return Generator(options).Run(); }

}  // namespace halvex::bench
