#pragma once
// Format's pass over a document that finds the runs of changed lines as it
// formats, without building the new text: a line whose indentation and ends
// are already what Format gives it costs a compare of its lengths and its
// indentation bytes, and a changed line a description of its new form (no
// bytes are made until its run is written). Each run's
// new text is made again from the document as the run is written
// (RunLines), starting from the engine's level before its first line, which
// is kept for every run: the memory beyond the document stays a piece of a
// run and a few numbers a run.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/write_back.hpp"
#include "formatter/format_text.hpp"
#include "formatter/indent_engine.hpp"

namespace halvex {

class FormattedRuns final : public RunLines, LineVisitor {
   public:
    // Formats `source`, which starts at line `firstLine` of the document,
    // with `engine`, whose run has been started: the engine ends the run as
    // FormatText leaves it, error included.
    FormattedRuns(std::string_view source, std::intptr_t firstLine, IndentEngine& engine, const LowerCaseFolds& folds);
    FormattedRuns(const FormattedRuns&) = delete;
    FormattedRuns& operator=(const FormattedRuns&) = delete;

    // The source holds a NUL byte: formatting stopped at the line before it,
    // and no run is complete.
    bool holdsNul() const { return count_.nul; }
    // Whether every line is already formatted.
    bool unchanged() const { return finder_.runs().empty(); }
    // How long the new text is.
    std::size_t newSize() const { return finder_.newSize(); }
    // The runs found, complete; to be taken once.
    ChangedLines::Finder& finder() { return finder_; }

    // The whole new text, made anew: for a write-back that replaces the text.
    std::string WholeText();

    void Reserve(std::size_t pieceBytes) override;
    void StartAt(std::intptr_t line) override;
    std::size_t Make(std::string_view oldLines, bool last) override;
    std::string_view Made() const override { return {made_.get(), madeSize_}; }
    std::string MakeAll(std::string_view oldLines) override;

   private:
    // The engine's level before a line, which is all that it carries from
    // line to line into the indentation of the lines after.
    struct Level {
        std::intptr_t line;
        std::int64_t indentLevel, pendingIndent;
    };
    // Writes the lines that Make makes into `made_` while they fit.
    class PieceWriter;

    bool Visit(SourceLine old, std::size_t width, std::string_view line) override;
    bool Unchanged(SourceLine old, std::size_t width, std::string_view line) const;
    void SetLevel(const Level& level);
    Level ScratchLevel() const;
    Level LevelNow(std::intptr_t line) const;

    std::string_view source_;
    const IndentEngine& engine_;
    FormatSettings settings_;
    char fill_;
    FormatterState scratch_;  // the state of the engine that makes runs anew
    IndentEngine scratchEngine_;
    Level before_;  // the level before the line being visited
    Level first_;   // before the source's first line
    std::vector<Level> starts_;  // before each run's first line, by line
    std::size_t longestLine_ = 0, longestNewLine_ = 0;
    ChangedLines::Finder finder_;
    LineFormatter::Count count_;
    std::unique_ptr<char[]> made_;  // room for a piece, made by Reserve
    std::size_t madeRoom_ = 0, madeSize_ = 0;
};

}  // namespace halvex
