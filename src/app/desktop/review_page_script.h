#pragma once

namespace quillmer {

// The page-side bridge script (review_page_script.js), embedded at build time.
const char* reviewPageScript();

}  // namespace quillmer
