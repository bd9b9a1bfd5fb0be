// SPDX-License-Identifier: GPL-3.0-or-later
// The settings window's last page: the camera's drive-information log as a table, read behind
// the window's loading sheet, exported as CSV, and a record's place on the map on double-click.
#pragma once

#include "config/pages/ZLXFlashDataLog.h"
#include "config/ZLXSettingControllerDelegate.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QPushButton;
class QTableView;

namespace daxo {

class ZLXMapWindowController;

// The records as the table shows them.
class ZLXFlashDataTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setRecords(std::vector<_FLASH_SAVE_VALUE_STRUCT> records);
    const std::vector<_FLASH_SAVE_VALUE_STRUCT>& records() const { return m_records; }
    static QString columnTitle(int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<_FLASH_SAVE_VALUE_STRUCT> m_records;
};

class ZLXSettingForFlashDataViewController : public QWidget, public ZLXSettingControllerDelegate {
    Q_OBJECT
public:
    explicit ZLXSettingForFlashDataViewController(QWidget* parent = nullptr);
    ~ZLXSettingForFlashDataViewController() override;

    QWidget* view() override { return this; }
    void setFileData(_FILEDATA* fileData) override;
    bool populate() override { return m_fileData != nullptr; }
    std::optional<QString> validateUserInput() override { return std::nullopt; }
    void setMainController(ZLXSettingController* controller) override { m_mainController = controller; }
    void onHide() override;

    void setFlashDataFilePath(const QString& path) { m_FlashDataFilePath = path; }
    const QString& flashDataFilePath() const { return m_FlashDataFilePath; }
    long long flashDataNum() const { return m_FlashDataNum; }
    void displayFileData();
    void openFileDialog();
    void loadFlashDataFile();
    void onSaveCSVFile();
    // Writes the table as CSV; false when the file could not be written whole.
    bool doWriteCSVFile(const QString& path) const;
    void doubleClickTableRow(int row);

    // Where the open and save dialogs' answers come from; tests answer them themselves.
    using FileChooser = std::function<QString(QWidget* parent)>;
    void setOpenFileChooser(FileChooser chooser) { m_openChooser = std::move(chooser); }
    void setSaveFileChooser(FileChooser chooser) { m_saveChooser = std::move(chooser); }

    QTableView* tableView() const { return m_tableView; }
    ZLXMapWindowController* mapWindowController() const { return m_mapWindowController.get(); }

signals:
    void flashDataLoaded(bool read);
    void csvWritten(bool written);

private:
    void releaseMapWindow();
    void fitColumns();

    _FILEDATA* m_fileData = nullptr;
    QString m_FlashDataFilePath;
    long long m_FlashDataNum = 0;
    bool firstLoad = true;
    ZLXFlashDataTableModel m_model;
    QTableView* m_tableView;
    QPushButton* m_openButton;
    QPushButton* m_exportButton;
    QPointer<ZLXSettingController> m_mainController;
    std::unique_ptr<ZLXMapWindowController> m_mapWindowController;
    FileChooser m_openChooser, m_saveChooser;
};

} // namespace daxo
