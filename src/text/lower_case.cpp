#include "text/lower_case.hpp"

namespace halvex {

LowerCaseFolds::LowerCaseFolds() {
    Add(0x0130, 'i');  // LATIN CAPITAL LETTER I WITH DOT ABOVE
    Add(0x212A, 'k');  // KELVIN SIGN
}

void LowerCaseFolds::Add(char32_t codePoint, char lower) {
    AsciiFold fold{codePoint, lower, {}, 0};
    if (codePoint < 0x800) {
        fold.utf8 = {static_cast<unsigned char>(0xC0 | (codePoint >> 6)),
                     static_cast<unsigned char>(0x80 | (codePoint & 0x3F)), 0};
        fold.utf8Length = 2;
    } else {
        fold.utf8 = {static_cast<unsigned char>(0xE0 | (codePoint >> 12)),
                     static_cast<unsigned char>(0x80 | ((codePoint >> 6) & 0x3F)),
                     static_cast<unsigned char>(0x80 | (codePoint & 0x3F))};
        fold.utf8Length = 3;
    }
    folds_.push_back(fold);
    leads_[fold.utf8[0]] = true;
}

}  // namespace halvex
