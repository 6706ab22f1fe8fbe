// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include "adapters/qt/GuiScreenSource.h"

namespace orvane {

// Screen pictures on X11: the primary screen grabbed without the pointer. A window to leave out
// is made fully transparent for the moment of the grab and restored after.
class QtScreenSource : public GuiScreenSource {
public:
    ScreenPicture capturePNG(const DisplayInfo& display, const ScreenCaptureSettings& settings,
                             const std::vector<WindowInfo>& excludedWindows) override;
};

}  // namespace orvane
