#pragma once

#include <functional>

#include "engine/capture_engine.h"

namespace quillmer {

// The local stages in the order processing runs them.
enum class LocalStage { transcription, evidenceExtraction, evidenceExport };

// Runs, for the engine's current session, every local stage whose result is still missing, in
// order: transcription, evidence extraction, export. A stage whose result exists is skipped, so a
// run resumes wherever the last one stopped. Stops after the first stage that fails (the engine's
// errorMessage says why) or is asked to stop (even one that
// then finishes anyway). `starting` hears each stage as it begins; `done` runs on
// the main thread when nothing more will run.
void runMissingLocalStages(CaptureEngine& engine, std::function<void(LocalStage)> starting,
                           std::function<void()> done);

}  // namespace quillmer
