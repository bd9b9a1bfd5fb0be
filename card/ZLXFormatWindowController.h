// SPDX-License-Identifier: GPL-3.0-or-later
// The format window: the cards in a list, the chosen one's device, mount point and allocation
// unit, and Format, which asks once, then erases the card as the camera wants it in the
// background and puts its config.bin back.
#pragma once

#include "card/TKUSBDiskEntity.h"

#include <QDialog>
#include <QFuture>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Ui {
class ZLXFormatWindowController;
}
class QMessageBox;

namespace daxo {

class ZLXCardOperations;
struct ZLXFormatResult;

class ZLXFormatWindowController : public QDialog {
    Q_OBJECT
public:
    // `operations` lists, unmounts, mounts and formats the cards; the computer's own disks
    // unless the maker of the window passes others.
    explicit ZLXFormatWindowController(QWidget* parent = nullptr,
                                       std::shared_ptr<ZLXCardOperations> operations = {});
    ~ZLXFormatWindowController() override; // waits for a format under way

    void windowDidLoad();
    void loadUSBVolumes(std::function<void()> completion = {});
    std::optional<TKUSBDiskEntity> selectedUSBDisk() const;
    std::optional<TKUSBDiskEntity> selectUSBByDevFile(const std::string& device);
    void updateSelectedDiskInfo();
    void changeDisk();
    void onFormat();
    void doFormat(const TKUSBDiskEntity& card);
    void formatDidFinished(const std::string& device, const std::optional<QString>& configFilePath);
    void showProgressBar(const QString& status);
    void updateProgressBar(double seconds);
    void hideProgressBar();
    void cancel();

    bool isFormatting() const { return m_formatting; }
    bool stopProgressBar() const { return m_stopProgressBar; }
    double progress() const { return m_progress; }
    const std::vector<TKUSBDiskEntity>& usbDiskArray() const { return m_usbDiskArray; }
    Ui::ZLXFormatWindowController& ui() { return *m_ui; }

signals:
    void volumesLoaded();
    // A format ended: `formatted` and `restored` (config.bin back, or the default written).
    void formatFinished(bool formatted, bool restored);

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void setStatus(const QString& status);
    void showVolumes(std::vector<TKUSBDiskEntity> cards, bool startedProgress, const std::function<void()>& completion);
    void formatRan(const TKUSBDiskEntity& card, const ZLXFormatResult& result);
    void endFormat(bool formatted, bool restored);

    std::unique_ptr<Ui::ZLXFormatWindowController> m_ui;
    std::shared_ptr<ZLXCardOperations> m_operations;
    bool m_stopProgressBar = true;
    std::vector<TKUSBDiskEntity> m_usbDiskArray;
    double m_progress = 0;
    bool m_formatting = false;
    int m_progressRun = 0; // the timer chain of the latest progress display
    QFuture<void> m_work;
};

} // namespace daxo
