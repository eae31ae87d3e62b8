#include "core/markdown_text.h"

namespace quillmer {

std::string escapeMarkdownText(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        switch (text[i]) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '\n':
            case '\r': escaped += ' '; break;
            default:
                // U+2028 and U+2029 end a line for some renderers too.
                if (text.compare(i, 3, "\u2028") == 0 || text.compare(i, 3, "\u2029") == 0) {
                    escaped += ' ';
                    i += 2;
                } else {
                    escaped += text[i];
                }
        }
    }
    return escaped;
}

}  // namespace quillmer
