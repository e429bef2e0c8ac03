#include "bridge/variable_report_command.hpp"

#include <optional>
#include <string>

#include "bridge/ide_launch.hpp"
#include "editor/editor.hpp"

namespace halvex {
namespace {

void RunVariableReport(const Platform& platform, TextView exePath, std::int64_t mainViewHandle) {
    // Everything that needs memory is made before the clipboard is touched,
    // so that a failure leaves both the clipboard and the IDE alone.
    const Text directory = PathDirectoryPart(exePath);
    const Text parameters = IdeParameters(mainViewHandle);
    Text document;
    {
        const Editor editor(platform.sendToEditor);
        const std::intptr_t length = editor.Length();
        if (length < 0 || length > kMaxReportedDocument) return;
        const std::optional<std::string> bytes = editor.GetText(length);
        if (!bytes) return;
        document = FromUtf8(*bytes);
    }  // the byte buffer is released here, before the IDE starts

    // The IDE reads the clipboard when it starts: it is written first.
    platform.copyTextToClipboard(document);
    platform.startProgram(exePath, parameters, directory);
}

}  // namespace

void VariableReportCommand(const Platform& platform, TextView exePath, std::int64_t mainViewHandle) noexcept {
    try {
        RunVariableReport(platform, exePath, mainViewHandle);
    } catch (...) {
        // Out of memory, most likely; the command has nothing to report.
    }
}

}  // namespace halvex
