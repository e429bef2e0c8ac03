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

// What both shapes share: the options, the random source, the text written so
// far and its line count. Run writes the Shape's routines until the program
// has the asked size or number of lines.
template <class Shape>
class GeneratorBase {
   public:
    explicit GeneratorBase(const GeneratorOptions& options) : options_(options), random_(options.seed) {}

    std::string Run() {
        const bool bySize = options_.bytes != 0;
        out_.reserve(bySize ? options_.bytes + 4096 : options_.lines * 32);
        while (bySize ? out_.size() < options_.bytes : lines_ < options_.lines) static_cast<Shape&>(*this).Routine();
        return std::move(out_);
    }

   protected:
    std::size_t Pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }

    const GeneratorOptions& options_;
    std::mt19937_64 random_;
    std::string out_;
    std::uint64_t lines_ = 0;
};

class Generator : public GeneratorBase<Generator> {
   public:
    using GeneratorBase::GeneratorBase;

   private:
    friend class GeneratorBase;

    void Line(std::string_view text) {
        if (options_.messUp) out_.append(Pick(4) * 2, ' ');
        out_.append(text);
        if (options_.messUp && Pick(8) == 0) out_.append(Pick(3) + 1, ' ');
        out_.append(options_.crlf ? "\r\n"sv : "\n"sv);
        ++lines_;
    }

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
};

// Short statements full of operators and literals that hold colons,
// apostrophes and keywords; joined by colons into the lines of kDense.
constexpr std::array kDenseStatements = {
    "a=b+c*2"sv,       "s$=\"x:y\""sv,          "t$=\"it's: THEN\""sv, "PRINT \"k=\";k;\":\""sv,
    "a(i)=a(i-1)*2/3"sv, "x=(y+z)*(y-z)"sv,      "n%=n%\\2"sv,          "IF x<>y THEN z=1"sv,
    "k=k+1"sv,         "q$=LEFT$(s$,2)+\"'\""sv, "x=-x"sv,                "CALL P(a,b,\"c:d\")"sv,
};

// Blocks as the openers and closers of kDense write them, in varied case.
struct DenseBlock {
    std::string_view open;
    std::string_view close;
};
constexpr std::array kDenseBlocks = {
    DenseBlock{"FOR i=1 TO n"sv, "NEXT i"sv},      DenseBlock{"for j=0 to 9:k=k+j"sv, "next"sv},
    DenseBlock{"IF a>b THEN"sv, "END IF"sv},       DenseBlock{"If x$=\"a:b\" Then"sv, "EndIf"sv},
    DenseBlock{"DO WHILE x<10"sv, "LOOP"sv},       DenseBlock{"do : x=x+1"sv, "Loop Until x>9"sv},
    DenseBlock{"WHILE k<9"sv, "WEND"sv},           DenseBlock{"SELECT CASE k"sv, "END SELECT"sv},
};

constexpr std::string_view kCommentWords[] = {"the", "loop", "runs", "IF", "ready:", "then", "it's", "\"done\"",
                                              "NEXT", "value", "of", "x", "=", "count", "END", "SUB"};

class DenseGenerator : public GeneratorBase<DenseGenerator> {
   public:
    using GeneratorBase::GeneratorBase;

   private:
    friend class GeneratorBase;

    void Line(std::string_view text) {
        if (options_.messUp) out_.append(Pick(6), ' ');
        out_.append(text);
        if (options_.messUp && Pick(8) == 0) out_.append(Pick(3) + 1, ' ');
        out_.append(Pick(2) ? "\r\n"sv : "\n"sv);
        ++lines_;
    }

    // A short line of two to four statements joined by colons.
    void Statements() {
        std::string line(kDenseStatements[Pick(kDenseStatements.size())]);
        for (std::size_t n = 1 + Pick(3); n > 0; --n) {
            line += Pick(2) ? ":" : " : ";
            line += kDenseStatements[Pick(kDenseStatements.size())];
        }
        Line(line);
    }

    // A comment line of 80 to 240 bytes, or a statement with a long comment after it.
    void Comment() {
        std::string line = Pick(2) ? "'" : "x=x+1 ' and";
        for (const std::size_t length = 80 + Pick(160); line.size() < length;) {
            line += ' ';
            line += kCommentWords[Pick(std::size(kCommentWords))];
        }
        Line(line);
    }

    // Near the top a block holds one or two blocks; deeper it holds one,
    // and stops in one case out of ten, so that chains reach 40 levels.
    void Block(int depth) {
        if (depth >= 40 || Pick(depth < 4 ? 4 : 10) == 0) {
            for (std::size_t n = 1 + Pick(3); n > 0; --n) Pick(4) == 0 ? Comment() : Statements();
            return;
        }
        const DenseBlock& block = kDenseBlocks[Pick(kDenseBlocks.size())];
        Line(block.open);
        const bool select = block.open == "SELECT CASE k"sv;
        for (std::size_t n = depth < 4 ? 1 + Pick(2) : 1; n > 0; --n) {
            if (select) Line(Pick(2) ? "CASE 1:y=1" : "Case Else");
            Block(depth + 1);
        }
        Line(block.close);
    }

    void Routine() {
        Line("SUB Dense" + std::to_string(lines_) + "(a, b$)");
        for (std::size_t n = 1 + Pick(3); n > 0; --n) Block(0);
        Line("END SUB");
    }
};

}  // namespace

std::string GenerateProgram(const GeneratorOptions& options) {
    return options.shape == ProgramShape::kDense ? DenseGenerator(options).Run() : Generator(options).Run();
}

}  // namespace halvex::bench
