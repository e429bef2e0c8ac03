#pragma once
// The lower-case mapping as the formatter needs it.
//
// Every test that the indentation engine makes compares lower-cased text with
// ASCII keywords and punctuation, so of the platform's mapping only two facts
// matter: ASCII letters map to their small forms, and a few non-ASCII
// characters map to an ASCII letter (U+0130 to "i" and U+212A KELVIN SIGN to
// "k" on Windows). Every other character stays non-ASCII in any case and can
// never match a keyword. LowerCaseFolds lists those few characters, with their
// UTF-8 forms, so that the engine can lower-case UTF-8 bytes directly.

#include <array>
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace halvex {

struct AsciiFold {
    char32_t codePoint;      // a non-ASCII character of the Basic Multilingual Plane
    char lower;              // the ASCII character it lower-cases to
    std::array<unsigned char, 3> utf8;
    std::size_t utf8Length;
};

class LowerCaseFolds {
   public:
    // The Windows mapping (CharLowerW): U+0130 and U+212A.
    LowerCaseFolds();
    // Folds taken from a platform mapping: lowerOf(c) gives the lower case of c.
    template <class LowerOf>
    static LowerCaseFolds FromMapping(LowerOf lowerOf) {
        LowerCaseFolds folds{std::vector<AsciiFold>{}};
        for (char32_t c = 0x80; c < 0x10000; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF) continue;
            const char32_t lower = lowerOf(c);
            if (lower < 0x80) folds.Add(c, static_cast<char>(lower));
        }
        return folds;
    }

    // When the UTF-8 bytes at the start of `bytes` are one of the folded
    // characters, its ASCII lower case and its length; else {0, 0}.
    std::pair<char, std::size_t> Match(std::string_view bytes) const {
        if (bytes.empty() || !leads_[static_cast<unsigned char>(bytes[0])]) return {'\0', 0};
        for (const AsciiFold& fold : folds_) {
            if (bytes.size() >= fold.utf8Length &&
                std::string_view(reinterpret_cast<const char*>(fold.utf8.data()), fold.utf8Length) ==
                    bytes.substr(0, fold.utf8Length)) {
                return {fold.lower, fold.utf8Length};
            }
        }
        return {'\0', 0};
    }

    const std::vector<AsciiFold>& folds() const { return folds_; }

   private:
    explicit LowerCaseFolds(std::vector<AsciiFold> folds) : folds_(std::move(folds)) {}
    void Add(char32_t codePoint, char lower);

    std::vector<AsciiFold> folds_;
    std::array<bool, 256> leads_{};  // the first bytes of the folds' UTF-8 forms
};

}  // namespace halvex
