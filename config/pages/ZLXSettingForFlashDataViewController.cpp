// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/pages/ZLXSettingForFlashDataViewController.h"

#include "widgets/ZLXAlert.h"
#include "library/ZLXLog.h"
#include "app/map/ZLXMapWindowController.h"
#include "config/ZLXSettingController.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace daxo {

// ---- the table

void ZLXFlashDataTableModel::setRecords(std::vector<_FLASH_SAVE_VALUE_STRUCT> records) {
    beginResetModel();
    m_records = std::move(records);
    endResetModel();
}

QString ZLXFlashDataTableModel::columnTitle(int column) {
    if (column < 0 || column >= kFlashColumnCount)
        return QStringLiteral("X");
    const ZLXFlashColumn& c = kFlashColumns[size_t(column)];
    return c.localised ? qtTrId(c.title) : QString::fromLatin1(c.title);
}

int ZLXFlashDataTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(std::min<size_t>(m_records.size(), INT_MAX));
}

int ZLXFlashDataTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kFlashColumnCount;
}

QVariant ZLXFlashDataTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || size_t(index.row()) >= m_records.size())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(flashDataCell(m_records[size_t(index.row())], index.column(), size_t(index.row())));
    case Qt::TextAlignmentRole:
        return int(Qt::AlignRight | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant ZLXFlashDataTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return columnTitle(section);
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    return {};
}

// ---- the page

ZLXSettingForFlashDataViewController::ZLXSettingForFlashDataViewController(QWidget* parent)
    : QWidget(parent), m_model(this), m_tableView(new QTableView(this)), m_openButton(new QPushButton(this)),
      m_exportButton(new QPushButton(this)) {
    m_tableView->setObjectName(QStringLiteral("flashDataTable"));
    m_tableView->setModel(&m_model);
    m_tableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tableView->verticalHeader()->hide();
    m_tableView->verticalHeader()->setDefaultSectionSize(20);
    m_tableView->setAlternatingRowColors(true);
    fitColumns();
    m_openButton->setObjectName(QStringLiteral("openButton"));
    m_exportButton->setObjectName(QStringLiteral("exportButton"));
    m_openButton->setText(qtTrId("open"));
    m_exportButton->setText(qtTrId("export"));
    m_openButton->setAutoDefault(false);
    m_exportButton->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_openButton);
    buttons->addWidget(m_exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tableView, 1);
    layout->addLayout(buttons);

    connect(m_openButton, &QPushButton::clicked, this, &ZLXSettingForFlashDataViewController::openFileDialog);
    connect(m_exportButton, &QPushButton::clicked, this, &ZLXSettingForFlashDataViewController::onSaveCSVFile);
    connect(m_tableView, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { doubleClickTableRow(index.row()); });

    m_openChooser = [](QWidget* parentWindow) {
        return QFileDialog::getOpenFileName(parentWindow, QString(), QString(), QStringLiteral("Drive log (*.drv)"));
    };
    m_saveChooser = [](QWidget* parentWindow) {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            folder = QDir::homePath();
        QString path = QFileDialog::getSaveFileName(parentWindow, QString(), QDir(folder).filePath(QStringLiteral("daxo_000.csv")),
                                                    QStringLiteral("CSV (*.csv)"));
        if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".csv");
        return path;
    };
}

ZLXSettingForFlashDataViewController::~ZLXSettingForFlashDataViewController() = default;

void ZLXSettingForFlashDataViewController::fitColumns() {
    // each column as wide as its title and texts need, never narrower than its set width
    m_tableView->resizeColumnsToContents();
    for (int column = 0; column < kFlashColumnCount; ++column) {
        m_tableView->setColumnWidth(column,
                                    std::max(m_tableView->columnWidth(column), kFlashColumns[size_t(column)].width));
    }
}

void ZLXSettingForFlashDataViewController::setFileData(_FILEDATA* fileData) {
    m_fileData = fileData;
    displayFileData();
}

void ZLXSettingForFlashDataViewController::displayFileData() {
    if (!m_fileData || !firstLoad)
        return;
    firstLoad = false;
    if (!m_FlashDataFilePath.isEmpty() && QFileInfo::exists(m_FlashDataFilePath))
        loadFlashDataFile();
}

void ZLXSettingForFlashDataViewController::onHide() {
    releaseMapWindow();
}

void ZLXSettingForFlashDataViewController::releaseMapWindow() {
    m_mapWindowController.reset();
}

void ZLXSettingForFlashDataViewController::openFileDialog() {
    releaseMapWindow();
    const QString path = m_openChooser(window());
    if (path.isEmpty())
        return;
    m_FlashDataFilePath = path;
    loadFlashDataFile();
}

void ZLXSettingForFlashDataViewController::loadFlashDataFile() {
    if (m_FlashDataFilePath.isEmpty())
        return;
    if (m_mainController)
        m_mainController->showLoading(QStringLiteral("Loading..."));
    const QString path = m_FlashDataFilePath;
    auto* watcher = new QFutureWatcher<std::optional<ZLXFlashDataLog>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path] {
        watcher->deleteLater();
        std::optional<ZLXFlashDataLog> log = watcher->result();
        if (m_mainController)
            m_mainController->hideLoading();
        if (!log) {
            ZLXLog("fopen fail:%s", qUtf8Printable(path));
            emit flashDataLoaded(false);
            return;
        }
        // the records and their count change together, just before the table reads them
        const uint64_t missing = log->missing();
        m_FlashDataNum = static_cast<long long>(log->records.size());
        m_model.setRecords(std::move(log->records));
        fitColumns();
        if (missing > 0) {
            showAlert(window(), QStringLiteral("DAXO"),
                      qtTrId("msg.drive_log_short").arg(QString::number(log->declaredCount), QString::number(missing)));
        }
        emit flashDataLoaded(true);
    });
    watcher->setFuture(QtConcurrent::run([file = QFile::encodeName(path).toStdString()] { return readFlashDataFile(file); }));
}

void ZLXSettingForFlashDataViewController::onSaveCSVFile() {
    releaseMapWindow();
    if (m_FlashDataNum == 0)
        return;
    const QString path = m_saveChooser(window());
    if (path.isEmpty())
        return;
    if (m_mainController)
        m_mainController->showLoading(QStringLiteral("Saving..."));
    auto* watcher = new QFutureWatcher<bool>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path] {
        watcher->deleteLater();
        const bool written = watcher->result();
        if (m_mainController)
            m_mainController->hideLoading();
        QTimer::singleShot(500, this, [this, written, path] {
            if (written)
                showNoticeSheet(window(), window()->windowTitle(), qtTrId("msg.drive_log_exported").arg(path));
            else
                showAlert(window(), QStringLiteral("ZOLIX"), qtTrId("msg.csv_write_fail").arg(path));
            emit csvWritten(written);
        });
    });
    watcher->setFuture(QtConcurrent::run([this, path] { return doWriteCSVFile(path); }));
}

bool ZLXSettingForFlashDataViewController::doWriteCSVFile(const QString& path) const {
    QSaveFile file(path); // the old file stays until the new one is complete
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::vector<std::string> titles;
    for (int column = 0; column < kFlashColumnCount; ++column)
        titles.push_back(ZLXFlashDataTableModel::columnTitle(column).toStdString());
    std::string line = flashDataCsvLine(titles);
    file.write(line.data(), qint64(line.size()));
    const auto& records = m_model.records();
    for (size_t row = 0; row < records.size(); ++row) {
        line = flashDataCsvLine(flashDataRow(records[row], row));
        file.write(line.data(), qint64(line.size()));
    }
    return file.commit();
}

void ZLXSettingForFlashDataViewController::doubleClickTableRow(int row) {
    ZLXLog("rowNum=%ld", long(row));
    if (row < 0 || row >= m_FlashDataNum)
        return;
    const auto position = flashDataPosition(m_model.records()[size_t(row)]);
    if (m_mapWindowController) {
        m_mapWindowController->show();
        m_mapWindowController->raise();
    } else {
        m_mapWindowController = std::make_unique<ZLXMapWindowController>();
        m_mapWindowController->windowDidLoad();
        m_mapWindowController->show();
        m_mapWindowController->moveWindowRightBy(window()->frameGeometry());
    }
    if (position)
        m_mapWindowController->updateMapLat(position->first, position->second);
}

} // namespace daxo
