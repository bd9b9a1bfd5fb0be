// SPDX-License-Identifier: GPL-3.0-or-later
// The warning alert with one "OK" button, shown as a sheet on a window.
#pragma once

#include <QString>
#include <functional>

class QMessageBox;
class QWidget;

namespace daxo {

// Shows the alert window-modally and returns at once; `onEnd` runs when it is dismissed.
QMessageBox* showAlertSheet(QWidget* window, const QString& messageText, const QString& informativeText,
                            std::function<void()> onEnd);
QMessageBox* showAlert(QWidget* window, const QString& messageText, const QString& informativeText);

} // namespace daxo
