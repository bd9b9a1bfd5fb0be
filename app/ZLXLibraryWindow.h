// SPDX-License-Identifier: GPL-3.0-or-later
// File → Library…: the library's days with their recordings and sizes, the room its disk has
// left, and Remove Day…, which asks and then moves the day's files to the desktop's trash.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTableWidget;

namespace daxo {

class ZLXLibraryWindow : public QDialog {
    Q_OBJECT
public:
    ZLXLibraryWindow(const QString& library, QWidget* parent = nullptr);

    void refresh();
    // Asks, then moves the chosen day's files to the trash.
    void removeDay();

signals:
    // A day's files went to the trash (`moved` of them; `failed` could not).
    void dayRemoved(const QString& day, int moved, int failed);

private:
    QString m_library;
    QTableWidget* m_days;
    QLabel* m_storage;
    QPushButton* m_remove;
};

} // namespace daxo
