// SPDX-License-Identifier: GPL-3.0-or-later
// The alert a window shows, waited for.
#pragma once

#include <QMessageBox>
#include <QTest>

namespace daxo::test {

// The visible alert of `window`, waited for up to 5 s; none when none shows.
inline QMessageBox* alertOf(QWidget* window) {
    QMessageBox* found = nullptr;
    (void)QTest::qWaitFor([&] {
        for (QMessageBox* box : window->findChildren<QMessageBox*>()) {
            if (box->isVisible())
                found = box;
        }
        return found != nullptr;
    }, 5000);
    return found;
}

} // namespace daxo::test
