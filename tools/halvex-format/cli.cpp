#include "cli.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>
#include <optional>
#include <utility>

#include "diff.hpp"
#include "formatter/format_text.hpp"
#include "halvex_version.hpp"
#include "in_place.hpp"
#include "shell/settings.hpp"
#include "source_file.hpp"
#include "walk.hpp"

namespace halvex::cli {
namespace {

constexpr std::string_view kStdinName = "<stdin>";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

constexpr const char* kUsage =
    "Usage: halvex-format [OPTIONS] [FILE...]\n"
    "Re-indents BASIC source as the Format command of the Brenvo Plus plug-in does.\n"
    "With no FILE, or when FILE is -, reads standard input and writes standard output.\n"
    "A FILE that is a folder stands for the files below it whose extension is listed\n"
    "by --ext, in sorted order, names beginning with a dot skipped; it needs -i,\n"
    "--check or --diff.\n"
    "\n"
    "  --indent N                  base indentation level (as the \"Indent\" setting; default 1)\n"
    "  --suppress-format-error N   as the \"Suppress format error\" setting (default 0)\n"
    "  --settings FILE             take \"Indent\", \"Suppress format error\", \"Trim tabs\",\n"
    "                              \"Selection context\", \"Indent width\", \"Use tabs\" and\n"
    "                              \"Blank lines\" from a settings file (Halvex.inf), read\n"
    "                              as the plug-in reads it; options are applied in order, so\n"
    "                              a later --indent wins (\"Use tabs\" = -1, the editor's own\n"
    "                              setting in the plug-in, writes spaces here)\n"
    "  --trim-tabs                 as \"Trim tabs\" = 1: tabs at both ends of a line are removed\n"
    "                              like spaces, and tabs separate words like spaces\n"
    "  --indent-width N            as \"Indent width\" = N: N spaces per level, 1 to 8 (default 2)\n"
    "  --use-tabs                  as \"Use tabs\" = 1: one tab per level; tabs at both ends of\n"
    "                              a line are then read as \"Trim tabs\" reads them\n"
    "  --blank-lines-empty         as \"Blank lines\" = 1: blank lines get no indentation, and\n"
    "                              an empty file stays empty\n"
    "  --lines FIRST:LAST          format only lines FIRST to LAST (from 1), as the plug-in\n"
    "                              formats a selection of them; every other byte is copied\n"
    "  --selection-context         as \"Selection context\" = 1: the lines of --lines start at\n"
    "                              the level of the code above them\n"
    "  -i, --in-place              rewrite each changed regular FILE in place: the same file,\n"
    "                              so owner, mode and hard links stay; a backup beside it\n"
    "                              holds the old content until the new one is written\n"
    "  --check                     write nothing; name each FILE that would change\n"
    "  --diff                      write nothing; print a unified diff of each FILE that\n"
    "                              would change\n"
    "  --ext LIST                  extensions looked for in folders (default bas,inc)\n"
    "  --help                      show this help\n"
    "  --version                   show the version\n"
    "\n"
    "Exit status: 0 all well; 1 a format error was reported or --check or --diff found\n"
    "a file to change; 2 bad usage or a file that could not be read or written (the\n"
    "other files are still done).\n";

enum class Mode { kStdout, kInPlace, kCheck, kDiff };

struct Options {
    Mode mode = Mode::kStdout;
    FormatSettings settings;
    std::optional<LineRange> lines;
    std::vector<std::string> files;
    Extensions extensions = kDefaultExtensions;
};

void Complain(std::string_view name, std::string_view message) {
    std::fprintf(stderr, "halvex-format: %.*s: %.*s\n", static_cast<int>(name.size()), name.data(),
                 static_cast<int>(message.size()), message.data());
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "halvex-format: %s\nTry 'halvex-format --help' for more information.\n", message.c_str());
    return kExitFailure;
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
    std::int32_t value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+' && last - first > 1 && first[1] != '-') ++first;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last) return std::nullopt;
    return value;
}

// "FIRST:LAST": two line numbers from 1, FIRST <= LAST.
std::optional<LineRange> ParseLineRange(std::string_view text) {
    const auto number = [](std::string_view digits, std::uint64_t& value) {
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return error == std::errc() && end == digits.data() + digits.size();
    };
    const std::size_t colon = text.find(':');
    LineRange range;
    if (colon == std::string_view::npos || !number(text.substr(0, colon), range.first) ||
        !number(text.substr(colon + 1), range.last) || range.first == 0 || range.last < range.first) {
        return std::nullopt;
    }
    return range;
}

std::string_view WithoutByteOrderMark(std::string_view source) {
    return source.substr(0, kByteOrderMark.size()) == kByteOrderMark ? source.substr(kByteOrderMark.size()) : source;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t put = write(fd, data.data(), data.size());
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// Reads FILE whole, or standard input for "-"; with `refuseNul`, a file that
// holds a NUL byte is not read past it and counts as a failure. Reports
// failures and returns nothing then.
std::optional<FileBytes> ReadInput(const std::string& file, std::string_view name, bool refuseNul) {
    const Descriptor opened(file == "-" ? -1 : open(file.c_str(), O_RDONLY | O_CLOEXEC));
    const int fd = file == "-" ? STDIN_FILENO : opened.get();
    FileBytes bytes;
    switch (fd < 0 ? ReadEnd::kFailed : ReadFile(fd, refuseNul, bytes)) {
        case ReadEnd::kWhole:
            return bytes;
        case ReadEnd::kNul:
            Complain(name, "contains a NUL byte; not formatted");
            break;
        case ReadEnd::kChanged:
            Complain(name, "changed while it was read; not formatted");
            break;
        case ReadEnd::kFailed:
            Complain(name, errno == EISDIR ? "is a directory" : std::strerror(errno));
            break;
    }
    return std::nullopt;
}

// Tells whether the pieces it is given, in order, make up `source` exactly.
class Comparison {
   public:
    explicit Comparison(std::string_view source) : source_(source) {}
    void operator()(std::string_view piece) {
        if (!differs_) differs_ = source_.substr(at_, piece.size()) != piece;
        at_ += piece.size();
    }
    bool changed() const { return differs_ || at_ != source_.size(); }

   private:
    std::string_view source_;
    std::size_t at_ = 0;
    bool differs_ = false;
};

// Writes pieces to a file descriptor; remembers the first failure.
class FdWriter {
   public:
    explicit FdWriter(int fd) : fd_(fd) {}
    void operator()(std::string_view piece) {
        if (error_ == 0 && !WriteAll(fd_, piece)) error_ = errno;
    }
    int error() const { return error_; }

   private:
    int fd_;
    int error_ = 0;
};

void ReportFormatError(std::string_view name, const FormatReport& result) {
    if (result.errorLine != 0) {
        std::fprintf(stderr, "%.*s:%llu: Format error in: %s\n", static_cast<int>(name.size()), name.data(),
                     static_cast<unsigned long long>(result.errorLine), result.errorLocation.c_str());
    } else {
        std::fprintf(stderr, "%.*s: Format error in: %s\n", static_cast<int>(name.size()), name.data(),
                     result.errorLocation.c_str());
    }
}

int FormatFile(const std::string& file, std::string_view name, const Options& options) {
    const auto complain = [name](std::string_view message) { Complain(name, message); };
    if (options.mode == Mode::kInPlace && !IsRewritable(file, complain)) return kExitFailure;
    const std::optional<FileBytes> input = ReadInput(file, name, true);
    if (!input) return kExitFailure;
    const std::string_view source = input->view();
    const std::optional<LineRange>& lines = options.lines;
    if (lines && !LineSpan(WithoutByteOrderMark(source), lines->first, lines->last)) {
        Complain(name, "has no line " + std::to_string(lines->last) + " (--lines " + std::to_string(lines->first) +
                           ":" + std::to_string(lines->last) + "); not formatted");
        return kExitFailure;
    }
    const FormatSettings& settings = options.settings;
    int status = kExitOk;
    FormatReport report;
    switch (options.mode) {
        case Mode::kStdout: {
            FdWriter writer(STDOUT_FILENO);
            report = FormatSourceTo(source, settings, std::ref(writer), lines);
            if (writer.error() != 0) {
                Complain("<stdout>", std::strerror(writer.error()));
                return kExitFailure;
            }
            break;
        }
        case Mode::kCheck:
        case Mode::kInPlace: {
            // A first run only compares; a changed file is formatted again
            // straight into its replacement, so the result is never held
            // whole and an unchanged file is never written.
            Comparison comparison(source);
            report = FormatSourceTo(source, settings, std::ref(comparison), lines);
            if (!comparison.changed()) break;
            if (options.mode == Mode::kCheck) {
                std::printf("%.*s\n", static_cast<int>(name.size()), name.data());
                status = kExitChanges;
            } else if (!RewriteInPlace(
                           file, source,
                           [&](std::string_view old, const TextSink& sink) { FormatSourceTo(old, settings, sink, lines); },
                           complain)) {
                return kExitFailure;
            }
            break;
        }
        case Mode::kDiff: {
            std::string formatted;
            report = FormatSourceTo(source, settings, [&](std::string_view piece) { formatted.append(piece); }, lines);
            if (formatted == source) break;
            std::string diff;
            AppendUnifiedDiff(name, source, formatted, diff);
            FdWriter writer(STDOUT_FILENO);
            writer(diff);
            if (writer.error() != 0) {
                Complain("<stdout>", std::strerror(writer.error()));
                return kExitFailure;
            }
            status = kExitChanges;
            break;
        }
    }
    if (report.formatError) {
        ReportFormatError(name, report);
        status = std::max(status, kExitChanges);
    }
    return status;
}

// Formats one FILE as the options say and returns its exit status. Memory
// running out fails this file only; -i has already put back the old content
// of a file that it was rewriting. What was written to standard output is
// flushed, so that it keeps its place among the messages on standard error.
int ProcessFile(const std::string& file, const Options& options) {
    const std::string_view name = file == "-" ? kStdinName : std::string_view(file);
    int status = kExitFailure;
    try {
        status = FormatFile(file, name, options);
    } catch (const std::bad_alloc&) {
        Complain(name, "out of memory");
    }
    std::fflush(stdout);
    return status;
}

// Takes an option's value, from "--name=value" or from the next argument.
std::optional<std::string> OptionValue(const std::vector<std::string>& args, std::size_t& i, std::string_view name) {
    const std::string& arg = args[i];
    if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=') {
        return arg.substr(name.size() + 1);
    }
    if (i + 1 >= args.size()) return std::nullopt;
    return args[++i];
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return path != "-" && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsOption(std::string_view arg, std::string_view name) {
    return arg == name || (arg.size() > name.size() && arg.substr(0, name.size()) == name && arg[name.size()] == '=');
}

std::optional<int> ParseArguments(const std::vector<std::string>& args, Options& options);

// Takes the Format settings from a settings file with the
// plug-in's own reader; a key the file does not set keeps the value that the
// options before it gave.
std::optional<int> ApplySettingsFile(const std::string& file, FormatSettings& settings) {
    const std::optional<FileBytes> input = ReadInput(file, file, false);
    if (!input) return kExitFailure;
    SettingsFile reader;
    reader.parse(input->view());
    settings.baseIndentLevel = reader.readInteger(kIndentKey, settings.baseIndentLevel);
    settings.suppressFormatError = reader.readInteger(kSuppressFormatErrorKey, settings.suppressFormatError);
    settings.trimTabs = reader.readInteger(kTrimTabsKey, settings.trimTabs) != 0;
    settings.selectionContext = reader.readInteger(kSelectionContextKey, settings.selectionContext) != 0;
    settings.indentWidth = reader.readInteger(kIndentWidthKey, settings.indentWidth);
    settings.useTabs = reader.readInteger(kUseTabsKey, settings.useTabs);
    settings.blankLinesEmpty = reader.readInteger(kBlankLinesKey, settings.blankLinesEmpty) != 0;
    return std::nullopt;
}

}  // namespace

FormatReport FormatSourceTo(std::string_view source, const FormatSettings& settings, const TextSink& sink,
                            const std::optional<LineRange>& lines) {
    const std::string_view text = WithoutByteOrderMark(source);
    if (text.size() != source.size()) sink(kByteOrderMark);
    const LowerCaseFolds folds;
    FormatterState state;
    IndentEngine engine(state, settings, folds);
    engine.StartRun();
    FormatReport report;
    if (!lines) {
        report.errorLine = FormatTextTo(text, engine, sink);
    } else if (const std::optional<ByteSpan> span = LineSpan(text, lines->first, lines->last); !span) {
        sink(text);  // no such lines: nothing to format
    } else {
        sink(text.substr(0, span->begin));
        if (settings.selectionContext) FollowContext(text.substr(0, span->begin), engine);
        report.errorLine = FormatTextTo(text.substr(span->begin, span->end - span->begin), engine, sink);
        if (report.errorLine != 0) report.errorLine += lines->first - 1;
        sink(text.substr(span->end));
    }
    report.formatError = state.formatErrorState == kErrorRecorded;
    report.errorLocation = state.errorLocation;
    return report;
}

FormatFileResult FormatSource(std::string_view source, int indent, int suppressFormatError) {
    FormatFileResult result;
    result.text.reserve(source.size() + source.size() / 8);
    static_cast<FormatReport&>(result) = FormatSourceTo(
        source, {indent, suppressFormatError}, [&result](std::string_view piece) { result.text.append(piece); });
    return result;
}

namespace {

std::optional<int> ParseArguments(const std::vector<std::string>& args, Options& options) {
    bool inPlace = false;
    bool check = false;
    bool diff = false;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyFiles || arg == "-" || arg.empty() || arg[0] != '-') {
            options.files.push_back(arg);
        } else if (arg == "--") {
            onlyFiles = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (arg == "--version") {
            std::printf("halvex-format %s\n", kVersionText);
            return kExitOk;
        } else if (arg == "-i" || arg == "--in-place") {
            inPlace = true;
        } else if (arg == "--check") {
            check = true;
        } else if (arg == "--diff") {
            diff = true;
        } else if (IsOption(arg, "--ext")) {
            const auto list = OptionValue(args, i, "--ext");
            const auto extensions = list ? ParseExtensions(*list) : std::nullopt;
            if (!extensions) return UsageError("--ext needs a comma-separated LIST of extensions such as bas,inc");
            options.extensions = *extensions;
        } else if (IsOption(arg, "--indent") || IsOption(arg, "--suppress-format-error")) {
            const bool isIndent = IsOption(arg, "--indent");
            const auto value = OptionValue(args, i, isIndent ? "--indent" : "--suppress-format-error");
            const auto number = value ? ParseInt32(*value) : std::nullopt;
            if (!number) return UsageError(std::string(isIndent ? "--indent" : "--suppress-format-error") +
                                           " needs a whole number between -2147483648 and 2147483647");
            (isIndent ? options.settings.baseIndentLevel : options.settings.suppressFormatError) = *number;
        } else if (arg == "--trim-tabs" || arg == "--selection-context") {
            (arg == "--trim-tabs" ? options.settings.trimTabs : options.settings.selectionContext) = true;
        } else if (arg == "--use-tabs") {
            options.settings.useTabs = kTabsPerLevel;
        } else if (arg == "--blank-lines-empty") {
            options.settings.blankLinesEmpty = true;
        } else if (IsOption(arg, "--indent-width")) {
            const auto value = OptionValue(args, i, "--indent-width");
            const auto width = value ? ParseInt32(*value) : std::nullopt;
            if (!width || *width < 1 || *width > 8) return UsageError("--indent-width needs a number from 1 to 8");
            options.settings.indentWidth = *width;
        } else if (IsOption(arg, "--lines")) {
            const auto value = OptionValue(args, i, "--lines");
            if (options.lines) return UsageError("--lines can be given only once");
            options.lines = value ? ParseLineRange(*value) : std::nullopt;
            if (!options.lines) return UsageError("--lines needs FIRST:LAST, line numbers from 1 with FIRST <= LAST");
        } else if (IsOption(arg, "--settings")) {
            const auto file = OptionValue(args, i, "--settings");
            if (!file) return UsageError("--settings needs a FILE");
            if (const auto exit = ApplySettingsFile(*file, options.settings)) return *exit;
        } else {
            return UsageError("unknown option '" + arg + "'");
        }
    }
    if (inPlace + check + diff > 1) return UsageError("-i, --check and --diff cannot be used together");
    if (options.files.empty()) options.files.push_back("-");
    if (inPlace) {
        for (const std::string& file : options.files) {
            if (file == "-") return UsageError("-i needs FILE arguments; it cannot rewrite standard input");
        }
    }
    options.mode = inPlace ? Mode::kInPlace : check ? Mode::kCheck : diff ? Mode::kDiff : Mode::kStdout;
    for (const std::string& file : options.files) {
        if (options.mode == Mode::kStdout && IsFolder(file)) {
            return UsageError(file + ": is a directory; use -i, --check or --diff to format the files in it");
        }
    }
    return std::nullopt;
}

}  // namespace

int Run(const std::vector<std::string>& args) {
    Options options;
    const std::optional<int> parsed = ParseArguments(args, options);
    int status = parsed.value_or(kExitOk);
    const auto process = [&](const std::string& file) { status = std::max(status, ProcessFile(file, options)); };
    const auto complain = [](const std::string& path, std::string_view message) { Complain(path, message); };
    // --help, --version and a usage error end the run before any file.
    for (const std::string& file : parsed ? std::vector<std::string>() : options.files) {
        if (!IsFolder(file)) {
            process(file);
        } else if (!WalkSourceTree(file, options.extensions, process, complain)) {
            status = kExitFailure;
        }
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        Complain("<stdout>", std::strerror(errno));
        status = kExitFailure;
    }
    return status;
}

}  // namespace halvex::cli
