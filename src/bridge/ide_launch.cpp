#include "bridge/ide_launch.hpp"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace halvex {

Text PathDirectoryPart(TextView path) {
    if (path.empty()) return {};
    const std::size_t begin = path.front() == u'"' ? 1 : 0;
    const std::size_t scanEnd = std::min(path.find(u'|'), path.size());
    std::size_t end = TextView::npos;  // just after the last separator seen
    for (std::size_t i = 0; i < scanEnd; ++i) {
        if (path[i] == u'\\' || path[i] == u'/') end = i + 1;
    }
    if (end == TextView::npos) return {};
    return Text(path.substr(begin, end - begin));
}

Text NumberToText(double value) {
    // The largest double has 309 integer digits; with the sign, the point and
    // ten decimals the text always fits.
    char buffer[400];
    const auto [last, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 10);
    std::string_view text(buffer, error == std::errc() ? static_cast<std::size_t>(last - buffer) : 0);
    if (!text.empty() && text.back() == '0' && text.find('.') != std::string_view::npos) {
        text.remove_suffix(text.size() - 1 - text.find_last_not_of('0'));
        if (text.back() == '.') text.remove_suffix(1);
    }
    if (text == "-0") text = "0";
    return Text(text.begin(), text.end());
}

Text IdeParameters(std::int64_t mainViewHandle) {
    Text parameters(kIdeParametersPrefix);
    parameters += NumberToText(static_cast<double>(mainViewHandle));
    parameters += kIdeParametersSuffix;
    return parameters;
}

Text ProgramCommandLine(TextView program, TextView parameters) {
    Text commandLine;
    commandLine.reserve(program.size() + parameters.size() + 3);
    if (!program.empty() && program.front() == u'"') {
        commandLine += program;
    } else {
        commandLine += u'"';
        commandLine += program;
        commandLine += u'"';
    }
    if (!parameters.empty()) {
        commandLine += u' ';
        commandLine += parameters;
    }
    return commandLine;
}

Text ShellDirectory(TextView program, TextView directory) {
    if (!directory.empty()) return Text(directory);
    const std::size_t lastBackslash = program.rfind(u'\\');
    if (lastBackslash == TextView::npos || lastBackslash == 0) return {};
    return Text(program.substr(0, lastBackslash + 1));
}

}  // namespace halvex
