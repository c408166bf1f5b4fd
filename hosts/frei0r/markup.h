// Escaping for the editors' description files.
#pragma once

#include <string>
#include <string_view>

namespace drawlet::frei0r {

// Text for an XML element or a double-quoted attribute.
inline std::string xmlText(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A single-quoted JavaScript string literal for QML.
inline std::string qmlString(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\') out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out + "'";
}

}  // namespace drawlet::frei0r
