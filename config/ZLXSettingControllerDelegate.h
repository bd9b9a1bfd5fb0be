// SPDX-License-Identifier: GPL-3.0-or-later
// What every settings page does for the settings window.
#pragma once

#include "config/filedata/ZLXFileData.h"

#include <QString>
#include <optional>

class QWidget;

namespace daxo {

class ZLXSettingController;

class ZLXSettingControllerDelegate {
public:
    virtual ~ZLXSettingControllerDelegate() = default;
    virtual QWidget* view() = 0;
    // Keeps the record's address and shows its values at once.
    virtual void setFileData(_FILEDATA* fileData) = 0;
    // Checks the input and writes the controls into the record; false when it wrote nothing.
    virtual bool populate() = 0;
    // Nothing when the input is acceptable, else the message to show.
    virtual std::optional<QString> validateUserInput() = 0;
    virtual void setMainController(ZLXSettingController* controller) = 0;
    // The page is left after a successful populate.
    virtual void onHide() {}
};

} // namespace daxo
