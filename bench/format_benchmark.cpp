// Benchmarks of the indentation engine alone, the format pipeline, and the
// whole Format command over a FakeScintilla, on generated programs. Each
// reports bytes per second of input.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "fake_scintilla.hpp"
#include "formatter/format_command.hpp"
#include "formatter/format_text.hpp"
#include "program_generator.hpp"
#include "text/text.hpp"
#include "whole_text_write_back.hpp"

namespace halvex::bench {
namespace {

const std::string& Program() {
    static const std::string program = GenerateProgram({.lines = 400000, .seed = 11});
    return program;
}

const std::string& DenseProgram() {
    static const std::string program = GenerateProgram({.lines = 400000, .seed = 11, .shape = ProgramShape::kDense});
    return program;
}

// The program's lines, trimmed, as the pipeline hands them to the engine.
const std::vector<std::string_view>& Lines() {
    static const std::vector<std::string_view> lines = [] {
        std::vector<std::string_view> out;
        std::string_view rest = Program();
        while (!rest.empty()) {
            const std::size_t end = rest.find("\r\n");
            out.push_back(TrimSpaces(rest.substr(0, end)));
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 2);
        }
        return out;
    }();
    return lines;
}

// An engine with the default settings, as a Format run starts it.
struct DefaultEngine {
    const LowerCaseFolds folds;
    const FormatSettings settings;
    FormatterState state;
    IndentEngine engine{state, settings, folds};
};

void Engine(benchmark::State& state) {
    DefaultEngine fixture;
    IndentEngine& engine = fixture.engine;
    Lines();  // generated before the clock runs
    for (auto _ : state) {
        engine.StartRun();
        std::int64_t spaces = 0;
        for (const std::string_view line : Lines()) spaces += engine.IndentLine(line);
        benchmark::DoNotOptimize(spaces);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Program().size()));
}
BENCHMARK(Engine)->Unit(benchmark::kMillisecond);

void Pipeline(benchmark::State& state) {
    DefaultEngine fixture;
    IndentEngine& engine = fixture.engine;
    Program();  // generated before the clock runs
    for (auto _ : state) {
        engine.StartRun();
        benchmark::DoNotOptimize(FormatText(Program(), engine));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Program().size()));
}
BENCHMARK(Pipeline)->Unit(benchmark::kMillisecond);

// The pipeline on the dense shape, by the fast path and by the plain one.
void PipelineDense(benchmark::State& state) {
    DefaultEngine fixture;
    IndentEngine& engine = fixture.engine;
    const FormatPath path = state.range(0) == 0 ? FormatPath::kFast : FormatPath::kPlain;
    DenseProgram();  // generated before the clock runs
    for (auto _ : state) {
        engine.StartRun();
        benchmark::DoNotOptimize(FormatText(DenseProgram(), engine, path));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * DenseProgram().size()));
}
BENCHMARK(PipelineDense)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The whole command: fetch from the editor, format, compare, write back;
// argument 0 writes back the changed lines, 1 the whole text.
void Command(benchmark::State& state) {
    const WriteBack writeBack = state.range(0) == 0 ? WriteChangedLines : bench::WriteWholeText;
    FormatterState formatterState;
    for (auto _ : state) {
        state.PauseTiming();
        testing::FakeScintilla editor(Program());
        Platform platform;
        platform.sendToEditor = [&editor](unsigned m, std::uintptr_t w, std::intptr_t l) { return editor.Handle(m, w, l); };
        platform.showMessageBox = [](std::u16string_view, std::u16string_view, unsigned) { return 1; };
        state.ResumeTiming();
        FormatCommand(platform, {}, formatterState, writeBack);
        benchmark::DoNotOptimize(editor.document().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * Program().size()));
}
BENCHMARK(Command)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace halvex::bench

BENCHMARK_MAIN();
