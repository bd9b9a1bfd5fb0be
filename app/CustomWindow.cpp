// SPDX-License-Identifier: GPL-3.0-or-later
#include "CustomWindow.h"

#include <QCloseEvent>

namespace daxo {

CustomWindow::CustomWindow(QWidget* parent) : QMainWindow(parent) {}

void CustomWindow::closeEvent(QCloseEvent* event) {
    emit windowWillClose();
    QMainWindow::closeEvent(event);
}

} // namespace daxo
