#pragma once

#include <string>

#include "evidence/evidence_bundle_document.h"

namespace quillmer {

// The text of "evidence.md": a human-readable brief of the bundle.
std::string markdown(const EvidenceBundleDocument& document);

}  // namespace quillmer
