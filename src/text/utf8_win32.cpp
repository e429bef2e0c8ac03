// ToUtf8 and FromUtf8 bound to the platform's converter (code page 65001,
// flags 0), so the plug-in decodes exactly as Windows does.
#include <windows.h>

#include <climits>

#include "text/text.hpp"

namespace halvex {
namespace {

// The converter takes int lengths; longer texts go through in slices cut
// where no character is split.
constexpr std::size_t kSlice = INT_MAX / 4;

}  // namespace

std::string ToUtf8(TextView text) {
    std::string out;
    while (!text.empty()) {
        std::size_t take = text.size() < kSlice ? text.size() : kSlice;
        if (take < text.size() && text[take - 1] >= 0xD800 && text[take - 1] <= 0xDBFF) --take;
        const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
        const int need = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(take), nullptr, 0, nullptr, nullptr);
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(need));
        WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(take), out.data() + at, need, nullptr, nullptr);
        text.remove_prefix(take);
    }
    return out;
}

Text FromUtf8(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    Text out;
    while (!bytes.empty()) {
        std::size_t take = bytes.size() < kSlice ? bytes.size() : kSlice;
        // Step back to a lead byte so that no sequence is cut in two.
        while (take < bytes.size() && take > 0 && (static_cast<unsigned char>(bytes[take]) & 0xC0) == 0x80) --take;
        if (take == 0) take = bytes.size() < kSlice ? bytes.size() : kSlice;
        const int need = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(take), nullptr, 0);
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(need));
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(take),
                            reinterpret_cast<wchar_t*>(out.data() + at), need);
        bytes.remove_prefix(take);
    }
    return out;
}

}  // namespace halvex
