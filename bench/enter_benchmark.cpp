// Indentation while typing on a large program: Enter at random places in a
// generated program of about 10 MB in the stand-in editor, as Notepad++
// types it (line break, then its auto-indent), then Halvex's work. Prints the
// median and the worst of Halvex's own time per Enter, and the cost of the
// Enters that must run the engine far: the first one in a document, and the
// first one after an edit near the top that changes the level of every line
// below it.
//
// Halvex's time is the processor time of the thread (so that another
// process taking the processor meanwhile does not count) less the time the
// stand-in editor spends answering messages: it finds lines by scanning the
// text, where Scintilla keeps an index.
//
//   halvex-enter-benchmark [MEGABYTES] [ENTERS]     (default 10 and 1000)
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "fake_scintilla.hpp"
#include "formatter/typing.hpp"
#include "program_generator.hpp"

namespace {

using namespace halvex;

// The processor time of this thread.
double CpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

class Bench {
   public:
    explicit Bench(std::string program) : editor_(std::move(program)) {
        // What the plug-in does on SCN_MODIFIED is its own work, though it
        // runs inside the stand-in's answer.
        editor_.OnModified([this](std::intptr_t line, std::intptr_t added) {
            const double start = CpuMilliseconds();
            checkpoints_.Modified(line, added);
            editorMs_ -= CpuMilliseconds() - start;
        });
    }

    std::intptr_t Lines() const { return editor_.LineCount(); }

    // Enter at the end of `line`, as Notepad++ types it; returns Halvex's
    // time for it, in milliseconds.
    double EnterAfter(std::intptr_t line) {
        Send(sci::kGotoPos, Send(sci::kGetLineEndPosition, line));
        Send(sci::kReplaceSel, 0, reinterpret_cast<std::intptr_t>("\r\n"));
        const std::string above = editor_.document().substr(editor_.LineStart(line), 64);
        const std::string indent = above.substr(0, above.find_first_not_of(" \t"));
        if (!indent.empty()) Send(sci::kReplaceSel, 0, reinterpret_cast<std::intptr_t>(indent.c_str()));
        editorMs_ = 0;
        const double start = CpuMilliseconds();
        IndentAfterEnter(Editor(timedSend_), {}, folds_, checkpoints_);
        return CpuMilliseconds() - start - editorMs_;
    }

    // Types `text` at the start of `line`, as the user would elsewhere.
    void TypeAt(std::intptr_t line, const std::string& text) {
        const std::intptr_t start = editor_.LineStart(line);
        Send(sci::kSetTargetRange, start, start);
        Send(sci::kReplaceTarget, text.size(), reinterpret_cast<std::intptr_t>(text.data()));
    }

   private:
    std::intptr_t Send(unsigned message, std::uintptr_t wParam = 0, std::intptr_t lParam = 0) {
        return editor_.Handle(message, wParam, lParam);
    }

    testing::FakeScintilla editor_;
    LevelCheckpoints checkpoints_;
    const LowerCaseFolds folds_;
    double editorMs_ = 0;  // the stand-in's time within one Enter
    SendToEditor timedSend_ = [this](unsigned m, std::uintptr_t w, std::intptr_t l) {
        const double start = CpuMilliseconds();
        const std::intptr_t result = editor_.Handle(m, w, l);
        editorMs_ += CpuMilliseconds() - start;
        return result;
    };
};

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 10;
    const int enters = argc > 2 ? std::atoi(argv[2]) : 1000;
    Bench bench(bench::GenerateProgram({.bytes = megabytes * 1000 * 1000, .seed = 11}));
    std::printf("program: %llu MB, %lld lines\n", static_cast<unsigned long long>(megabytes),
                static_cast<long long>(bench.Lines()));
    std::printf("first Enter in the document (at its end): %.2f ms\n", bench.EnterAfter(bench.Lines() - 2));

    std::mt19937_64 random(7);
    std::vector<double> times;
    for (int i = 0; i < enters; ++i) {
        const auto line = std::uniform_int_distribution<std::intptr_t>(0, bench.Lines() - 2)(random);
        times.push_back(bench.EnterAfter(line));
    }
    std::printf("%d Enters at random lines: median %.3f ms, 99th percentile %.3f ms, worst %.3f ms\n", enters,
                Percentile(times, 0.5), Percentile(times, 0.99), Percentile(times, 1.0));

    bench.TypeAt(1, "x = 1 : ");
    std::printf("first Enter at the end after typing in line 2 (level unchanged): %.2f ms\n",
                bench.EnterAfter(bench.Lines() - 2));
    bench.TypeAt(1, "FOR i = 1 TO 2\r\n");
    std::printf("first Enter at the end after a FOR in line 2 (every level below changed): %.2f ms\n",
                bench.EnterAfter(bench.Lines() - 2));
    std::printf("the next Enter at the end: %.3f ms\n", bench.EnterAfter(bench.Lines() - 2));
    return 0;
}
