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
// What went well: the information icon, `title` on the window's frame (not repeated inside),
// the message, and below it `details` (where a file went).
QMessageBox* showNoticeSheet(QWidget* window, const QString& title, const QString& message, const QString& details = {},
                             std::function<void()> onEnd = {});

} // namespace daxo
