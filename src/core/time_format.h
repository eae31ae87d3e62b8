#pragma once

#include <string>

namespace quillmer {

// "%02d:%05.2f": whole minutes, then the remaining seconds with two decimals.
// 75.5 -> "01:15.50", 3725.25 -> "62:05.25".
std::string formatTimestamp(double seconds);

}  // namespace quillmer
