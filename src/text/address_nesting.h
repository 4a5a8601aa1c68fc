#pragma once

namespace qm {

// The quotes, comments and angle brackets left open at a point of an
// address list, followed character by character. None of these characters
// can be the second byte of a double-byte character, so text is walked byte
// by byte. A comma ends an address only where nothing is open.
struct address_nesting {
    bool quote = false;
    bool comment = false;
    bool angle = false;

    bool open() const { return quote || comment || angle; }

    void take(char c) {
        switch (c) {
        case '"':
            if (!comment && !angle) quote = !quote;
            break;
        case '(':
            if (!quote && !angle) comment = true;
            break;
        case ')':
            comment = false;
            break;
        case '<':
            if (!comment && !quote) angle = true;
            break;
        case '>':
            angle = false;
            break;
        default:
            break;
        }
    }
};

}  // namespace qm
