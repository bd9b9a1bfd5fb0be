// SPDX-License-Identifier: GPL-3.0-or-later
// The application's look: one dark palette for every window, which reads well beside video.
#pragma once

class QApplication;

namespace daxo {

// Fusion with the viewer's dark palette, for the whole application.
void applyViewerLook(QApplication& app);

} // namespace daxo
