#include "formatter/indent_engine.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#include "text/byte_scan.hpp"
#include "text/text.hpp"

namespace halvex {
namespace {

// The room that the analysis text of a line of `bytes` bytes may take: a
// line grows at most threefold, as an operator or a colon writes four bytes,
// one more than it takes at most.
std::size_t AnalysisRoom(std::size_t bytes) { return 3 * bytes + 1; }

using namespace std::string_view_literals;

// How the analysis text treats each byte of a line.
enum CharClass : unsigned char {
    kKeep,        // copied as it is
    kUpper,       // an ASCII capital: copied in lower case
    kQuote,       // starts a string literal
    kApostrophe,  // starts a comment
    kOperator,    // one of = + - * / \ ( < > , : copied with a space on both sides
    kColon,       // separates statements: copied with a space after it
    kHigh,        // part of a non-ASCII character: may lower-case to ASCII
};

// ASCII capitals lowered; every other byte as it is.
constexpr std::array<char, 256> kLowerAscii = [] {
    std::array<char, 256> lower{};
    for (int c = 0; c < 256; ++c) lower[c] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower;
}();

constexpr std::array<unsigned char, 256> kCharClasses = [] {
    std::array<unsigned char, 256> classes{};
    for (int c = 'A'; c <= 'Z'; ++c) classes[c] = kUpper;
    for (const char c : std::string_view("=+-*/\\(<>,")) classes[static_cast<unsigned char>(c)] = kOperator;
    classes['"'] = kQuote;
    classes['\''] = kApostrophe;
    classes[':'] = kColon;
    for (int c = 0x80; c < 0x100; ++c) classes[c] = kHigh;
    return classes;
}();

// What the analysis text takes for an operator character (the character
// with a space on both sides) or a colon (the colon and a space), padded to
// four bytes; length 0 for every other byte.
struct Replacement {
    char bytes[4];
    unsigned char length;
    bool colon;
};
constexpr std::array<Replacement, 256> kReplacements = [] {
    std::array<Replacement, 256> replacements{};
    for (int c = 0; c < 256; ++c) {
        if (kCharClasses[c] == kOperator) replacements[c] = {{' ', static_cast<char>(c), ' ', 0}, 3, false};
    }
    replacements[':'] = {{':', ' ', 0, 0}, 2, true};
    return replacements;
}();

// Bytes that end a word: the space, and the operator characters, which the
// analysis text sets apart with spaces anyway; with "Trim tabs" the tab too.
using WordEnds = std::array<bool, 256>;
constexpr WordEnds WordEndsFor(bool tab) {
    WordEnds ends{};
    for (int c = 0; c < 256; ++c) ends[c] = c == ' ' || kCharClasses[c] == kOperator || (tab && c == '\t');
    return ends;
}
constexpr WordEnds kWordEnds = WordEndsFor(false);
constexpr WordEnds kWordEndsWithTab = WordEndsFor(true);


// The rules read a "rule text": the analysis text, or a plain line itself
// (see LineFacts). The plain line keeps its capitals and its operators
// without spaces around them, so every test below gives the same answer on
// both: words end at a space or an operator character, keywords are matched
// without regard to ASCII case, and a word after an operator counts as after
// a space. On the analysis text, which is lower case and has a space on both
// sides of every operator, these tests are the plain ones.

// Up to eight bytes of a word packed into a number, each with the bit that
// tells an ASCII capital from a small letter set: for a word of letters that
// is its small form. No packed byte is 0, so the length is part of the key.
constexpr std::uint64_t PackedLower(std::string_view word) {
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < word.size() && i < 8; ++i) {
        key |= static_cast<std::uint64_t>(static_cast<unsigned char>(word[i]) | 0x20) << (8 * i);
    }
    return key;
}

// The keywords of at most eight letters, found by their PackedLower keys in
// a table of 32 slots without a chain of compares: a multiplication spreads
// the keys, and its top five bits pick the slot (the multiplier was searched
// for one that gives every keyword a slot of its own; the build checks it).
struct ShortKeywordName {
    std::string_view name;
    Keyword keyword;
};
constexpr ShortKeywordName kShortKeywords[] = {
    {"sub", Keyword::kSub},     {"function", Keyword::kFunction}, {"csub", Keyword::kCsub},
    {"end", Keyword::kEnd},     {"if", Keyword::kIf},             {"endif", Keyword::kEndif},
    {"loop", Keyword::kLoop},   {"wend", Keyword::kWend},         {"else", Keyword::kElse},
    {"elseif", Keyword::kElseif}, {"case", Keyword::kCase},       {"for", Keyword::kFor},
    {"while", Keyword::kWhile}, {"next", Keyword::kNext},         {"do", Keyword::kDo},
    {"select", Keyword::kSelect}, {"then", Keyword::kThen},
};
constexpr std::uint64_t kKeySpread = 0x10e6d8e6568068b9ull;
constexpr std::size_t SlotOf(std::uint64_t key) { return static_cast<std::size_t>((key * kKeySpread) >> 59); }

struct KeywordSlot {
    std::uint64_t key = 0;
    Keyword keyword = Keyword::kNone;
};
constexpr std::array<KeywordSlot, 32> kKeywordSlots = [] {
    std::array<KeywordSlot, 32> slots{};
    for (const ShortKeywordName& k : kShortKeywords) slots[SlotOf(PackedLower(k.name))] = {PackedLower(k.name), k.keyword};
    return slots;
}();
static_assert([] {
    for (const ShortKeywordName& k : kShortKeywords) {
        if (kKeywordSlots[SlotOf(PackedLower(k.name))].keyword != k.keyword) return false;
    }
    return true;
}(), "two keywords share a slot: search for another kKeySpread");

Keyword ShortKeyword(std::uint64_t key) {
    const KeywordSlot& slot = kKeywordSlots[SlotOf(key)];
    return slot.key == key ? slot.keyword : Keyword::kNone;
}

// The keyword that `word` is, capitals or not. `c | 0x20` equals a small
// letter only for that letter and its capital, so no other byte can match.
Keyword KeywordOf(std::string_view word) {
    if (word.size() < 2 || word.size() > 10) return Keyword::kNone;
    if (word.size() <= 8) return ShortKeyword(PackedLower(word));
    const std::uint64_t head = PackedLower(word);
    const std::uint64_t tail = PackedLower(word.substr(8));
    if (head == PackedLower("cfunctio") && tail == PackedLower("n")) return Keyword::kCfunction;
    if (head == PackedLower("definefo") && tail == PackedLower("nt")) return Keyword::kDefinefont;
    return Keyword::kNone;
}

// A first word also ends just after a colon, as it does in the analysis text,
// where a space follows every colon: "a:b" starts with the label "a:".
Word FirstWordOf(std::string_view text, const WordEnds& ends) {
    std::uint64_t key = 0;
    std::size_t at = 0;
    for (; at < text.size() && at < 8; ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        if (ends[c]) return {text.substr(0, at), at >= 2 ? ShortKeyword(key) : Keyword::kNone};
        if (c == ':') return {text.substr(0, at + 1), Keyword::kNone};
        key |= static_cast<std::uint64_t>(c | 0x20) << (8 * at);
    }
    while (at < text.size() && !ends[static_cast<unsigned char>(text[at])] && text[at] != ':') ++at;
    if (at < text.size() && text[at] == ':') return {text.substr(0, at + 1), Keyword::kNone};
    const std::string_view word = text.substr(0, at);
    return {word, word.size() < 2 ? Keyword::kNone : word.size() <= 8 ? ShortKeyword(key) : KeywordOf(word)};
}

// The keyword of the word after the first one (which ends at `firstEnd`),
// when a single space (or a tab that counts as one) parts them.
Keyword SecondKeyword(std::string_view text, std::size_t firstEnd, const WordEnds& ends) {
    if (firstEnd == text.size() || kCharClasses[static_cast<unsigned char>(text[firstEnd])] == kOperator) {
        return Keyword::kNone;
    }
    return FirstWordOf(text.substr(firstEnd + 1), ends).keyword;
}

// Whether `keyword` stands at `at` with a space or an operator in front of it.
bool KeywordAfterSpace(std::string_view text, std::size_t at, Keyword keyword, std::size_t length,
                       const WordEnds& ends) {
    return at > 0 && ends[static_cast<unsigned char>(text[at - 1])] && KeywordOf(text.substr(at, length)) == keyword;
}

// The statement ends in " then".
bool EndsWithThen(std::string_view statement, const WordEnds& ends) {
    return statement.size() >= 5 && KeywordAfterSpace(statement, statement.size() - 4, Keyword::kThen, 4, ends);
}

// The statement holds " loop" anywhere (even inside a longer word).
bool HoldsLoop(std::string_view statement, const WordEnds& ends) {
    for (std::size_t at = 1; at + 4 <= statement.size(); ++at) {
        if ((statement[at] | 0x20) == 'l' && KeywordAfterSpace(statement, at, Keyword::kLoop, 4, ends)) return true;
    }
    return false;
}

std::int64_t SpacesFor(std::int64_t level) { return level > 0 ? 2 * level : 0; }

}  // namespace

LineFacts FactsOfLine(std::string_view line) {
    LineFacts facts{line.size(), false};
    for (std::size_t at = line.size(); at-- > 0;) {
        const unsigned char cls = kCharClasses[static_cast<unsigned char>(line[at])];
        if (cls == kQuote || cls == kApostrophe || cls == kHigh) facts.plainLength = at;
        facts.colon = facts.colon || cls == kColon;
    }
    return facts;
}

IndentEngine::IndentEngine(FormatterState& state, const FormatSettings& settings, const LowerCaseFolds& folds)
    : state_(state),
      settings_(settings),
      folds_(folds),
      trimTabs_(settings.trimTabs || WritesTabs(settings)),
      wordEnds_(trimTabs_ ? &kWordEndsWithTab : &kWordEnds) {}

void IndentEngine::StartRun() {
    state_.indentLevel = settings_.baseIndentLevel;
    state_.pendingIndent = 0;
    state_.formatErrorState = settings_.suppressFormatError;
    state_.errorLocation = kMainCode;
    state_.currentRoutine = kMainProgram;
}

void IndentEngine::Reserve(std::size_t bytes) {
    if (analysis_.size() < AnalysisRoom(bytes)) analysis_.resize(AnalysisRoom(bytes));
    state_.currentRoutine.reserve(std::max(bytes, kMainProgram.size()));
}

// The analysis text: the line lower-cased, with string literals and the
// comment dropped (a complete literal leaves its closing quote), a space on
// both sides of every operator character and one after every colon, so that
// keyword tests are never misled by what a literal or a comment holds.
//
// This runs over every byte of a document, so it writes through a pointer
// into a buffer that only ever grows (a line grows at most threefold).
//
// The first `plain` bytes, which hold no quote, apostrophe or non-ASCII byte,
// are copied as they are: the rules read them as they read a plain line (see
// LineFacts), so only the rest needs the work.
std::string_view IndentEngine::BuildAnalysisText(std::string_view line, std::size_t plain) {
    const std::size_t room = AnalysisRoom(line.size());
    if (analysis_.size() < room) analysis_.resize(std::max(room, 2 * analysis_.size()));
    std::memcpy(analysis_.data(), line.data(), plain);
    char* out = analysis_.data() + plain;
    bool colon = std::memchr(line.data(), ':', plain) != nullptr;
    const char* p = line.data() + plain;
    const char* const end = line.data() + line.size();
    while (p < end) {
        // Runs of letters, digits and spaces are the bulk of every line.
        while (p < end && kCharClasses[static_cast<unsigned char>(*p)] <= kUpper) {
            *out++ = kLowerAscii[static_cast<unsigned char>(*p)];
            ++p;
        }
        if (p == end) break;
        // Operators and colons come out of a table without a branch on which
        // they are.
        const Replacement& r = kReplacements[static_cast<unsigned char>(*p)];
        if (r.length != 0) {
            std::memcpy(out, r.bytes, 4);
            out += r.length;
            colon = colon || r.colon;
            ++p;
            continue;
        }
        const char c = *p;
        switch (kCharClasses[static_cast<unsigned char>(c)]) {
            case kQuote: {
                const void* closing = std::memchr(p + 1, '"', static_cast<std::size_t>(end - p - 1));
                if (closing == nullptr) {
                    p = end;  // an unterminated literal runs to the end of the line
                } else {
                    *out++ = '"';
                    p = static_cast<const char*>(closing) + 1;
                }
                break;
            }
            case kApostrophe:
                p = end;
                break;
            case kKeep:
            case kUpper:
            case kOperator:
            case kColon:
                break;  // taken above
            case kHigh: {
                const auto [lower, length] = folds_.Match(std::string_view(p, static_cast<std::size_t>(end - p)));
                *out++ = length != 0 ? lower : c;
                p += length != 0 ? length : 1;
                break;
            }
        }
    }
    analysisColon_ = colon;
    return {analysis_.data(), static_cast<std::size_t>(out - analysis_.data())};
}

std::int64_t IndentEngine::IndentLine(std::string_view line, LineFacts facts) {
    // One statement whose first word is no keyword and lies in the line's
    // plain start (no word ends at a quote, an apostrophe or a non-ASCII
    // byte, so one that reaches the plain start's end is the whole line): an
    // ordinary line that changes nothing. Most lines are, and end here.
    const Word first = FirstWordOf(line, *wordEnds_);
    if (!facts.colon && first.text.size() <= facts.plainLength && first.keyword == Keyword::kNone) {
        state_.pendingIndent = 0;
        return SpacesFor(state_.indentLevel);
    }
    if (facts.plainLength >= line.size()) return IndentRuleText(line, line, first, facts.colon);
    const std::string_view text = BuildAnalysisText(line, facts.plainLength);
    if (trimTabs_) {  // tabs separate words as spaces do
        std::replace(analysis_.data(), analysis_.data() + text.size(), '\t', ' ');
    }
    return IndentRuleText(line, text, FirstWordOf(text, *wordEnds_), analysisColon_);
}

std::int64_t IndentEngine::IndentRuleText(std::string_view line, std::string_view text, Word first, bool colon) {
    // One compare takes most lines past the keywords that only start a line.
    if (first.keyword != Keyword::kNone && first.keyword <= Keyword::kEnd) {
        switch (first.keyword) {
            case Keyword::kSub:
            case Keyword::kFunction:
                state_.currentRoutine.assign(line);
                return 0;
            case Keyword::kEnd:
                return IndentEndLine(text, first.text.size());
            default:  // CSUB, CFUNCTION, DEFINEFONT
                return 0;
        }
    }
    if (!first.text.empty() && first.text.back() == ':') return 0;  // a label
    return IndentOrdinaryLine(text, first.keyword, colon);
}

std::string IndentEngine::FormatLine(std::string_view line) {
    const std::string_view trimmed = TrimLine(line);
    const std::int64_t spaces = IndentLine(trimmed);
    std::string result(static_cast<std::size_t>(spaces), ' ');
    result.append(trimmed);
    return result;
}

std::int64_t IndentEngine::IndentEndLine(std::string_view text, std::size_t firstEnd) {
    const Keyword second = SecondKeyword(text, firstEnd, *wordEnds_);
    if (second == Keyword::kIf || second == Keyword::kSelect) {
        LowerLevel(second == Keyword::kIf ? 1 : 2);
        return SpacesFor(state_.indentLevel);
    }
    if (TrimSpaces(text).size() == "end"sv.size()) return 0;  // a bare END statement
    // The end of a routine: the level must be back at the base.
    if (state_.indentLevel != settings_.baseIndentLevel && state_.formatErrorState == 0) {
        state_.formatErrorState = kErrorRecorded;
        state_.errorLocation = state_.currentRoutine;
    }
    state_.currentRoutine = kMainProgram;
    return 0;
}

// An ordinary line: each statement may close blocks before it and open blocks
// after it; a rise takes effect before the next statement of the same line.
std::int64_t IndentEngine::IndentOrdinaryLine(std::string_view text, Keyword first, bool colon) {
    state_.pendingIndent = 0;
    if (!colon && (text.empty() || text[0] != ' ')) {
        // One statement, and the first word of the text is its keyword.
        if (!text.empty()) ApplyKeyword(first, TrimLine(text));
    } else {
        ApplyStatements(text);
    }
    const std::int64_t spaces = SpacesFor(state_.indentLevel);
    state_.indentLevel += state_.pendingIndent;
    return spaces;
}

void IndentEngine::ApplyStatements(std::string_view text) {
    std::string_view rest = text;
    while (true) {
        const std::size_t end = FindFirstOf<':'>(rest, 0);  // eight bytes at a time
        const std::string_view statement = TrimLine(rest.substr(0, end));
        if (statement.empty()) break;
        state_.indentLevel += state_.pendingIndent;
        state_.pendingIndent = 0;
        ApplyKeyword(FirstWordOf(statement, *wordEnds_).keyword, statement);
        if (end == rest.size()) break;
        rest.remove_prefix(end + 1);
    }
}

// What a keyword does when it starts a statement: the levels it closes at
// once and the ones it opens after the statement. IF, DO and NEXT decide
// from the rest of the statement (ApplyStatementKeyword).
struct KeywordEffect {
    unsigned char lower = 0;
    unsigned char pending = 0;
    bool readsStatement = false;
};
constexpr std::array<KeywordEffect, static_cast<std::size_t>(Keyword::kThen) + 1> kKeywordEffects = [] {
    std::array<KeywordEffect, static_cast<std::size_t>(Keyword::kThen) + 1> effects{};
    const auto set = [&effects](Keyword k, KeywordEffect effect) { effects[static_cast<std::size_t>(k)] = effect; };
    for (const Keyword k : {Keyword::kEndif, Keyword::kLoop, Keyword::kWend}) set(k, {1, 0, false});
    for (const Keyword k : {Keyword::kElse, Keyword::kElseif, Keyword::kCase}) set(k, {1, 1, false});
    for (const Keyword k : {Keyword::kFor, Keyword::kWhile}) set(k, {0, 1, false});
    set(Keyword::kSelect, {0, 2, false});
    for (const Keyword k : {Keyword::kIf, Keyword::kDo, Keyword::kNext}) set(k, {0, 0, true});
    return effects;
}();

// A table instead of a switch: most statements start with no keyword or one
// that reads nothing more, and take no jump through a table for it.
void IndentEngine::ApplyKeyword(Keyword keyword, std::string_view statement) {
    const KeywordEffect& effect = kKeywordEffects[static_cast<std::size_t>(keyword)];
    LowerLevel(effect.lower);
    state_.pendingIndent = effect.pending;
    if (effect.readsStatement) ApplyStatementKeyword(keyword, statement);
}

void IndentEngine::ApplyStatementKeyword(Keyword keyword, std::string_view statement) {
    switch (keyword) {
        case Keyword::kIf:
            state_.pendingIndent = EndsWithThen(statement, *wordEnds_) ? 1 : 0;
            break;
        case Keyword::kNext:
            LowerLevel(1 + static_cast<std::int64_t>(CountOccurrences(statement, ","sv)));
            break;
        case Keyword::kDo:
            state_.pendingIndent = HoldsLoop(statement, *wordEnds_) ? 0 : 1;
            break;
        default:
            break;
    }
}

// Lowers the level by `steps`, one at a time and never below 0: for one step
// or more that is max(level - steps, 0), whatever the level was.
void IndentEngine::LowerLevel(std::int64_t steps) {
    if (steps > 0) state_.indentLevel = std::max<std::int64_t>(state_.indentLevel - steps, 0);
}

}  // namespace halvex
