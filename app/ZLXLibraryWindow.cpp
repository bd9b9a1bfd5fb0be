// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ZLXLibraryWindow.h"

#include "library/ZLXImport.h"
#include "library/ZLXLog.h"
#include "widgets/ZLXAlert.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStorageInfo>
#include <QTableWidget>
#include <QVBoxLayout>

namespace daxo {
namespace {

QString gigabytes(double bytes) {
    return QStringLiteral("%1 GB").arg(bytes / 1e9, 0, 'f', 1);
}

} // namespace

ZLXLibraryWindow::ZLXLibraryWindow(const QString& library, QWidget* parent) : QDialog(parent), m_library(library) {
    setObjectName(QStringLiteral("libraryWindow"));
    setWindowTitle(qtTrId("library.title"));
    auto* layout = new QVBoxLayout(this);
    m_storage = new QLabel(this);
    m_storage->setObjectName(QStringLiteral("libraryStorage"));
    layout->addWidget(m_storage);
    m_days = new QTableWidget(0, 4, this);
    m_days->setObjectName(QStringLiteral("libraryDays"));
    m_days->setHorizontalHeaderLabels({qtTrId("library.day"), qtTrId("library.recordings"), qtTrId("library.events"),
                                       qtTrId("library.size")});
    m_days->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_days->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_days->setSelectionMode(QAbstractItemView::SingleSelection);
    m_days->verticalHeader()->hide();
    layout->addWidget(m_days);
    auto* buttons = new QHBoxLayout;
    m_remove = new QPushButton(qtTrId("library.remove_day"), this);
    m_remove->setObjectName(QStringLiteral("removeDayButton"));
    buttons->addWidget(m_remove);
    buttons->addStretch(1);
    auto* close = new QPushButton(qtTrId("library.close"), this);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(m_remove, &QPushButton::clicked, this, &ZLXLibraryWindow::removeDay);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(m_days, &QTableWidget::itemSelectionChanged, this,
            [this] { m_remove->setEnabled(!m_days->selectedItems().isEmpty()); });
    resize(480, 400);
    refresh();
}

void ZLXLibraryWindow::refresh() {
    const std::vector<ZLXLibraryDay> days = libraryDays(QFile::encodeName(m_library).toStdString());
    m_days->setRowCount(int(days.size()));
    double used = 0;
    for (int row = 0; row < int(days.size()); ++row) {
        const ZLXLibraryDay& day = days[size_t(row)];
        used += double(day.bytes);
        const QStringList cells{QString::fromStdString(day.day), QString::number(day.recordings),
                                QString::number(day.events), gigabytes(double(day.bytes))};
        for (int column = 0; column < cells.size(); ++column)
            m_days->setItem(row, column, new QTableWidgetItem(cells[column]));
    }
    m_days->resizeColumnsToContents();
    const QStorageInfo disk(m_library);
    m_storage->setText(qtTrId("library.storage").arg(gigabytes(used), gigabytes(double(disk.bytesAvailable()))));
    m_remove->setEnabled(!m_days->selectedItems().isEmpty());
}

void ZLXLibraryWindow::removeDay() {
    const auto selected = m_days->selectedItems();
    if (selected.isEmpty())
        return;
    const QString day = m_days->item(selected.front()->row(), 0)->text();
    const QString count = m_days->item(selected.front()->row(), 1)->text();
    auto* ask = new QMessageBox(QMessageBox::Question, qtTrId("library.title"),
                                qtTrId("library.remove_ask").arg(count, day), QMessageBox::Cancel, this);
    ask->setObjectName(QStringLiteral("removeDayQuestion"));
    ask->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* remove = ask->addButton(qtTrId("library.remove"), QMessageBox::DestructiveRole);
    ask->setDefaultButton(QMessageBox::Cancel);
    connect(ask, &QMessageBox::buttonClicked, this, [this, remove, day](QAbstractButton* button) {
        if (button != remove)
            return;
        // to the desktop's trash, never deleted: the user may take them back
        const QDir folder(m_library + QLatin1Char('/') + day);
        int moved = 0, failed = 0;
        for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden)) {
            if (QFile::moveToTrash(folder.filePath(name))) {
                ++moved;
            } else {
                ++failed;
                ZLXLog("could not move %s to the trash", qUtf8Printable(folder.filePath(name)));
            }
        }
        QDir(m_library).rmdir(day); // only when nothing is left in it
        refresh();
        if (failed > 0)
            showAlert(this, qtTrId("library.title"), qtTrId("library.remove_failed").arg(failed).arg(day));
        emit dayRemoved(day, moved, failed);
    });
    ask->open();
}

} // namespace daxo
