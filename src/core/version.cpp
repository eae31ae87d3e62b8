#include "core/version.h"

namespace quillmer {

const char* quillmerVersion() { return QUILLMER_VERSION; }

}  // namespace quillmer
