// The memory that the Format command takes beyond the document, on an
// all-changed program: a generated program formatted, then given one more
// leading space on every line, so that every line changes back. The command
// runs as in the plug-in, over the stand-in editor; allocations made while
// the editor answers a message are the editor's and are not counted. Prints
// the plug-in's peak of live allocations, and its share of the document.
//
//   halvex-format-memory [MEGABYTES] [--dense]     (default 100)
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "fake_scintilla.hpp"
#include "formatter/format_command.hpp"
#include "formatter/format_text.hpp"
#include "program_generator.hpp"

namespace {

// Live bytes allocated outside the editor, and their peak. Each block keeps
// its size and whether it counted in a header in front of it.
bool counting = false, inEditor = false;
std::size_t live = 0, peak = 0;
constexpr std::size_t kHeader = 16;

void* Allocate(std::size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (block == nullptr) throw std::bad_alloc();
    const bool counts = counting && !inEditor;
    std::memcpy(block, &size, sizeof size);
    block[sizeof size] = counts;
    if (counts && (live += size) > peak) peak = live;
    return block + kHeader;
}

void Free(void* pointer) noexcept {
    if (pointer == nullptr) return;
    auto* block = static_cast<unsigned char*>(pointer) - kHeader;
    std::size_t size;
    std::memcpy(&size, block, sizeof size);
    if (block[sizeof size] != 0) live -= size;
    std::free(block);
}

// Every line one space further in than Format puts it.
std::string AllChanged(const std::string& program) {
    const halvex::LowerCaseFolds folds;
    const halvex::FormatSettings settings;
    halvex::FormatterState state;
    halvex::IndentEngine engine(state, settings, folds);
    engine.StartRun();
    const std::string formatted = halvex::FormatText(program, engine).text;
    std::string text;
    text.reserve(formatted.size() + formatted.size() / 16);
    for (std::size_t at = 0; at < formatted.size();) {
        const std::size_t end = std::min(formatted.find('\n', at), formatted.size() - 1) + 1;
        text += ' ';
        text.append(formatted, at, end - at);
        at = end;
    }
    return text;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* pointer) noexcept { Free(pointer); }
void operator delete[](void* pointer) noexcept { Free(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { Free(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { Free(pointer); }

int main(int argc, char** argv) {
    const std::uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
    const bool dense = argc > 2 && std::strcmp(argv[2], "--dense") == 0;
    const std::string document = AllChanged(halvex::bench::GenerateProgram(
        {.lines = 0, .bytes = megabytes * 1'000'000, .seed = 5,
         .shape = dense ? halvex::bench::ProgramShape::kDense : halvex::bench::ProgramShape::kRoutines}));
    halvex::testing::FakeScintilla editor(document);
    halvex::Platform platform;
    platform.sendToEditor = [&editor](unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
        inEditor = true;
        const std::intptr_t result = editor.Handle(message, wParam, lParam);
        inEditor = false;
        return result;
    };
    platform.showMessageBox = [](std::u16string_view, std::u16string_view, unsigned) { return 1; };
    halvex::FormatterState state;
    counting = true;
    const auto start = std::chrono::steady_clock::now();
    halvex::FormatCommand(platform, {}, state);
    const auto end = std::chrono::steady_clock::now();
    counting = false;
    std::printf("%s, %.1f MB, every line changed: the plug-in's peak %.2f MB = %.2f%% of the document "
                "(%.2f s with the stand-in editor); %s\n",
                dense ? "dense" : "routines", static_cast<double>(document.size()) / 1e6,
                static_cast<double>(peak) / 1e6, 100.0 * static_cast<double>(peak) / static_cast<double>(document.size()),
                std::chrono::duration<double>(end - start).count(),
                editor.document() == document ? "NOT CHANGED" : "formatted");
    return 0;
}
