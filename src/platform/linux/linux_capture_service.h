#pragma once

#include "platform/capture_service.h"

namespace quillmer {

// Screen capture from the X server (RandR monitors, MIT-SHM grabs) with system audio and the
// microphone from PulseAudio, all stamped on the capture clock and delivered on one serial queue.
//
// System audio is the default sink's monitor: everything the computer plays, this process
// included (a monitor cannot leave one client out; Quillmer plays nothing while recording). A
// computer whose default source is only a monitor has no microphone, and its streams carry none.
class LinuxCaptureService : public CaptureService {
public:
    std::vector<DisplayDescription> shareableDisplays() override;
    std::unique_ptr<CaptureStream> makeStream(const CaptureStreamConfiguration& configuration,
                                              CaptureStreamDelegate& delegate) override;
};

}  // namespace quillmer
