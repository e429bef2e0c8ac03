#include "diff.hpp"

#include <algorithm>
#include <vector>

namespace halvex::cli {
namespace {

constexpr std::size_t kContext = 3;

struct DiffLine {
    char kind;  // ' ' kept, '-' removed, '+' added
    std::string_view text;
};

// Where each line ends, its break included, when breaks are CR LF, LF and a
// lone CR.
std::vector<std::size_t> LineEnds(std::string_view text) {
    std::vector<std::size_t> ends;
    for (std::size_t at = 0; at < text.size();) {
        at = std::min(text.find_first_of("\r\n", at), text.size());
        if (at < text.size()) at += text.compare(at, 2, "\r\n") == 0 ? 2 : 1;
        ends.push_back(at);
    }
    return ends;
}

void AddLines(char kind, std::string_view text, std::vector<DiffLine>& script) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
        script.push_back({kind, text.substr(0, end)});
        text.remove_prefix(end);
    }
}

void AddPiece(std::string_view before, std::string_view after, std::vector<DiffLine>& script) {
    if (before == after) {
        AddLines(' ', before, script);
    } else {
        AddLines('-', before, script);
        AddLines('+', after, script);
    }
}

// The whole texts as pieces that end where both end a line with LF, the
// corresponding lines paired; each piece is kept or replaced as a whole, and
// neighbouring replaced pieces as one.
std::vector<DiffLine> EditScript(std::string_view before, std::string_view after) {
    std::vector<DiffLine> script;
    const std::vector<std::size_t> beforeEnds = LineEnds(before);
    const std::vector<std::size_t> afterEnds = LineEnds(after);
    if (beforeEnds.size() != afterEnds.size()) {
        AddPiece(before, after, script);
        return script;
    }
    std::size_t beforeStart = 0;  // of the piece not yet added
    std::size_t afterStart = 0;
    std::size_t keptBefore = 0;  // of the current piece
    std::size_t keptAfter = 0;
    for (std::size_t i = 0; i < beforeEnds.size(); ++i) {
        const std::size_t beforeEnd = beforeEnds[i];
        const std::size_t afterEnd = afterEnds[i];
        const bool last = i + 1 == beforeEnds.size();
        if (!last && (before[beforeEnd - 1] != '\n' || after[afterEnd - 1] != '\n')) continue;
        if (before.substr(keptBefore, beforeEnd - keptBefore) == after.substr(keptAfter, afterEnd - keptAfter)) {
            AddPiece(before.substr(beforeStart, keptBefore - beforeStart), after.substr(afterStart, keptAfter - afterStart),
                     script);
            AddLines(' ', before.substr(keptBefore, beforeEnd - keptBefore), script);
            beforeStart = beforeEnd;
            afterStart = afterEnd;
        }
        keptBefore = beforeEnd;
        keptAfter = afterEnd;
    }
    AddPiece(before.substr(beforeStart), after.substr(afterStart), script);
    return script;
}

std::string Range(std::size_t linesBefore, std::size_t count) {
    return std::to_string(count == 0 ? linesBefore : linesBefore + 1) + "," + std::to_string(count);
}

// One hunk: the lines [start, end) of the script, `oldLine` and `newLine`
// lines of each text coming before it.
void AppendHunk(const std::vector<DiffLine>& script, std::size_t start, std::size_t end, std::size_t& oldLine,
                std::size_t& newLine, std::string& out) {
    const auto first = script.begin() + static_cast<std::ptrdiff_t>(start);
    const auto last = script.begin() + static_cast<std::ptrdiff_t>(end);
    const auto oldCount = static_cast<std::size_t>(std::count_if(first, last, [](const DiffLine& l) { return l.kind != '+'; }));
    const auto newCount = static_cast<std::size_t>(std::count_if(first, last, [](const DiffLine& l) { return l.kind != '-'; }));
    out += "@@ -" + Range(oldLine, oldCount) + " +" + Range(newLine, newCount) + " @@\n";
    for (auto line = first; line != last; ++line) {
        out += line->kind;
        out += line->text;
        if (line->text.back() != '\n') out += "\n\\ No newline at end of file\n";
    }
    oldLine += oldCount;
    newLine += newCount;
}

// The path as a patch names it: no "." folders, no empty ones (a doubled or
// trailing slash), and no leading slash, so an absolute path applies with -p1
// from the root.
std::string PatchPath(std::string_view path) {
    std::string shown;
    while (!path.empty()) {
        const std::size_t slash = std::min(path.find('/'), path.size());
        const std::string_view part = path.substr(0, slash);
        if (!part.empty() && part != ".") shown.append(shown.empty() ? "" : "/").append(part);
        path.remove_prefix(std::min(slash + 1, path.size()));
    }
    return shown;
}

// "a/PATH" in a header line. A path holding a quote, a backslash, a control
// character or a byte above 127 is quoted and escaped as C strings are; one
// that holds a space ends with a tab, so that the space is not taken for the
// end of the name. git and GNU patch both read them so.
std::string HeaderName(std::string_view side, std::string_view path) {
    const std::string name = std::string(side) + PatchPath(path);
    const auto special = [](char c) { return c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20 ||
                                             static_cast<unsigned char>(c) >= 0x7F; };
    if (std::none_of(name.begin(), name.end(), special)) {
        return name.find(' ') == std::string::npos ? name : name + "\t";
    }
    std::string quoted = "\"";
    for (const char c : name) {
        const std::string_view named = "\a\b\t\n\v\f\r";
        const std::size_t at = named.find(c);
        if (c == '"' || c == '\\') {
            quoted.append(1, '\\').append(1, c);
        } else if (at != std::string_view::npos) {
            quoted.append(1, '\\').append(1, "abtnvfr"[at]);
        } else if (special(c)) {
            const auto byte = static_cast<unsigned char>(c);
            quoted.append({'\\', static_cast<char>('0' + (byte >> 6)), static_cast<char>('0' + ((byte >> 3) & 7)),
                           static_cast<char>('0' + (byte & 7))});
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

}  // namespace

void AppendUnifiedDiff(std::string_view name, std::string_view before, std::string_view after, std::string& out) {
    const std::vector<DiffLine> script = EditScript(before, after);
    const auto kept = [&](std::size_t i) { return i < script.size() && script[i].kind == ' '; };
    out.append("--- ").append(HeaderName("a/", name)).append("\n+++ ").append(HeaderName("b/", name)).append("\n");
    std::size_t oldLine = 0;
    std::size_t newLine = 0;
    for (std::size_t at = 0; at < script.size();) {
        std::size_t change = at;
        while (kept(change)) ++change;
        if (change == script.size()) break;
        const std::size_t start = std::max(at, change - std::min(change, kContext));
        oldLine += start - at;
        newLine += start - at;
        // The hunk grows over the kept lines between two changes while they
        // are too few to end one hunk and start the next.
        std::size_t end = change;
        while (true) {
            while (end < script.size() && !kept(end)) ++end;
            std::size_t next = end;
            while (kept(next)) ++next;
            if (next == script.size() || next - end > 2 * kContext) {
                end = std::min(end + kContext, next);
                break;
            }
            end = next;
        }
        AppendHunk(script, start, end, oldLine, newLine, out);
        at = end;
    }
}

}  // namespace halvex::cli
