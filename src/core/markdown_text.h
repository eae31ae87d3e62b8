#pragma once

#include <string>
#include <string_view>

namespace quillmer {

// `text` made safe to place inside a Markdown line: "&", "<" and ">" become character references, so
// no raw HTML, HTML comment or autolink can start in it and a renderer shows it as written; line
// breaks become spaces, so it cannot leave the line (or the block quote) it was put in. Other
// characters are kept.
std::string escapeMarkdownText(std::string_view text);

}  // namespace quillmer
