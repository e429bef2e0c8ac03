#include "formatter/format_runs.hpp"

#include <algorithm>
#include <stdexcept>

namespace halvex {

FormattedRuns::FormattedRuns(std::string_view source, std::intptr_t firstLine, IndentEngine& engine,
                             const LowerCaseFolds& folds)
    : source_(source),
      engine_(engine),
      settings_(engine.settings()),
      fill_(IndentStyle::Of(settings_).fill),
      scratchEngine_(scratch_, settings_, folds),
      before_(LevelNow(firstLine)),
      first_(before_),
      finder_(source, firstLine) {
    VisitFormattedLines(source, true, engine, *this, count_);
    if (!count_.nul) finder_.Finish();
}

FormattedRuns::Level FormattedRuns::LevelNow(std::intptr_t line) const {
    return {line, engine_.state().indentLevel, engine_.state().pendingIndent};
}

bool FormattedRuns::Visit(SourceLine old, std::size_t width, std::string_view line) {
    const Level before = before_;
    before_ = LevelNow(before.line + 1);
    longestLine_ = std::max(longestLine_, line.size());
    longestNewLine_ = std::max(longestNewLine_, width + line.size() + 2);
    if (Unchanged(old, width, line)) {
        finder_.Same(old.next - old.begin);
        return true;
    }
    if (!finder_.inRun()) {
        // The runs that the last one was joined with need their levels no more.
        const auto& runs = finder_.runs();
        while (!starts_.empty() && !runs.empty() && starts_.back().line > runs.back().firstLine) starts_.pop_back();
        starts_.push_back(before);
    }
    finder_.Changed(old.next - old.begin, {width, fill_, line, old.hasBreak()});
    return true;
}

// Whether the line already is its formatted form: its indentation, its text
// and a CR LF (or no line break, as the last line).
bool FormattedRuns::Unchanged(SourceLine old, std::size_t width, std::string_view line) const {
    if (old.next - old.end != (old.hasBreak() ? 2u : 0u) || old.end - old.begin != width + line.size()) return false;
    const char* const lead = source_.data() + old.begin;
    if (!line.empty() && line.data() != lead + width) return false;
    return std::all_of(lead, lead + width, [this](char c) { return c == fill_; });
}

FormattedRuns::Level FormattedRuns::ScratchLevel() const {
    return {0, scratch_.indentLevel, scratch_.pendingIndent};  // the line is not needed there
}

void FormattedRuns::SetLevel(const Level& level) {
    scratch_.indentLevel = level.indentLevel;
    scratch_.pendingIndent = level.pendingIndent;
    scratch_.formatErrorState = kRecordingOff;  // the pass that found the runs told of any error
}

// A piece holds at most `pieceBytes` of new text, or one line where a line is
// longer, and never more than the whole new text.
void FormattedRuns::Reserve(std::size_t pieceBytes) {
    madeRoom_ = std::min(pieceBytes, newSize()) + longestNewLine_ + FormatOutput::kSpare;
    made_.reset(new char[madeRoom_ + FormatOutput::kSpare]);
    scratchEngine_.Reserve(longestLine_);
}

void FormattedRuns::StartAt(std::intptr_t line) {
    const auto start = std::lower_bound(starts_.begin(), starts_.end(), line,
                                        [](const Level& level, std::intptr_t l) { return level.line < l; });
    if (start == starts_.end() || start->line != line) throw std::logic_error("no run starts at this line");
    SetLevel(*start);
}

class FormattedRuns::PieceWriter final : public LineVisitor, public FormatOutput {
   public:
    PieceWriter(FormattedRuns& runs, const char* sourceEnd) : runs_(runs), sourceEnd_(sourceEnd) {
        cursor_ = runs.made_.get();
        limit_ = cursor_ + runs.madeRoom_ + kSpare;
    }
    std::size_t size() const { return static_cast<std::size_t>(cursor_ - runs_.made_.get()); }

    // Takes the line while it fits, the first line of a piece always; when it
    // does not, gives the engine back the level before it.
    bool Visit(SourceLine old, std::size_t width, std::string_view line) override {
        const std::size_t length = width + line.size() + (old.hasBreak() ? 2 : 0);
        if (size() > 0 && size() + length > runs_.madeRoom_ - kSpare) {
            runs_.SetLevel(levelBefore_);
            return false;
        }
        WriteLineInBlocks(*this, runs_.fill_, sourceEnd_, width, line, old.hasBreak());
        levelBefore_ = runs_.ScratchLevel();
        return true;
    }

   private:
    void MakeRoom(std::size_t) override { throw std::logic_error("a piece outgrew its room"); }

    FormattedRuns& runs_;
    const char* sourceEnd_;
    Level levelBefore_ = runs_.ScratchLevel();
};

std::size_t FormattedRuns::Make(std::string_view oldLines, bool last) {
    PieceWriter writer(*this, oldLines.data() + oldLines.size());
    LineFormatter::Count count;
    const std::size_t taken = VisitFormattedLines(oldLines, last, scratchEngine_, writer, count);
    madeSize_ = writer.size();
    return taken;
}

std::string FormattedRuns::MakeAll(std::string_view oldLines) { return FormatText(oldLines, scratchEngine_).text; }

std::string FormattedRuns::WholeText() {
    SetLevel(first_);
    return MakeAll(source_);
}

}  // namespace halvex
