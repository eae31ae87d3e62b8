#pragma once

namespace quillmer {

// The version this build was made from (the CMake project version).
const char* quillmerVersion();

}  // namespace quillmer
