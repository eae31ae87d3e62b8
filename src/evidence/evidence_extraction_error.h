#pragma once

#include "core/error.h"

namespace quillmer {

enum class EvidenceExtractionErrorCase { missingTranscript, frameEncoding };

class EvidenceExtractionError : public FamilyError<EvidenceExtractionErrorCase> {
public:
    explicit EvidenceExtractionError(EvidenceExtractionErrorCase kind)
        : FamilyError(kind, kind == EvidenceExtractionErrorCase::missingTranscript
                                ? "Transcribe this session before generating visual evidence."
                                : "Quillmer could not encode a visual evidence frame.") {}
};

}  // namespace quillmer
