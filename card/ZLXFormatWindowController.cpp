// SPDX-License-Identifier: GPL-3.0-or-later
#include "card/ZLXFormatWindowController.h"

#include "widgets/ZLXAlert.h"
#include "card/ZLXCardOperations.h"
#include "library/ZLXLog.h"
#include "ui_ZLXFormatWindowController.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtConcurrent>

namespace daxo {
namespace {

// Runs `task` on the interface thread for the window, unless it has gone by then.
void onInterfaceThread(const QPointer<ZLXFormatWindowController>& window,
                       std::function<void(ZLXFormatWindowController&)> task) {
    QMetaObject::invokeMethod(
        qApp, [window, task = std::move(task)] {
            if (window)
                task(*window);
        },
        Qt::QueuedConnection);
}

} // namespace

ZLXFormatWindowController::ZLXFormatWindowController(QWidget* parent, std::shared_ptr<ZLXCardOperations> operations)
    : QDialog(parent), m_ui(std::make_unique<Ui::ZLXFormatWindowController>()),
      m_operations(operations ? std::move(operations) : std::shared_ptr<ZLXCardOperations>(makeSystemCardOperations())) {
    m_ui->setupUi(this);
    setWindowModality(Qt::NonModal);
    m_ui->progressBar->setDrawDockProgress(false);
    connect(m_ui->usbDiskCombo, &QComboBox::activated, this, &ZLXFormatWindowController::changeDisk);
    connect(m_ui->formatButton, &QPushButton::clicked, this, &ZLXFormatWindowController::onFormat);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &ZLXFormatWindowController::cancel);
}

ZLXFormatWindowController::~ZLXFormatWindowController() {
    m_work.waitForFinished(); // the steps only post to this thread, so this cannot wait on itself
}

void ZLXFormatWindowController::windowDidLoad() {
    if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const QRect visible = screen->availableGeometry();
        move(visible.center() - QPoint(width() / 2, height() / 2));
    }
    setWindowTitle(qtTrId("setting.format.window_title"));
    m_ui->allocationUnitLabel->setText(qtTrId("setting.format.allocation_unit_size"));
    m_ui->fileSystemLabel->setText(qtTrId("setting.format.filesystem"));
    m_ui->formatButton->setText(qtTrId("setting.format.format"));
    m_ui->cancelButton->setText(qtTrId("cancel"));
    m_ui->fileSystemField->setText(QStringLiteral("FAT32"));
    m_ui->pathField->clear();
    m_ui->formatButton->setEnabled(false); // until a card is found
    m_stopProgressBar = true;
    m_ui->progressBar->hide();
    m_ui->progressMessageField->hide();
    loadUSBVolumes();
}

void ZLXFormatWindowController::loadUSBVolumes(std::function<void()> completion) {
    const bool startedProgress = m_stopProgressBar;
    if (startedProgress)
        showProgressBar(QStringLiteral("Disk searching..."));
    else
        setStatus(QStringLiteral("Disk searching..."));
    QPointer<ZLXFormatWindowController> self(this);
    auto operations = m_operations;
    QThreadPool::globalInstance()->start([self, operations, startedProgress, completion = std::move(completion)] {
        auto cards = operations->cards();
        onInterfaceThread(self, [cards = std::move(cards), startedProgress, completion](ZLXFormatWindowController& w) {
            w.showVolumes(cards, startedProgress, completion);
        });
    });
}

void ZLXFormatWindowController::showVolumes(std::vector<TKUSBDiskEntity> cards, bool startedProgress,
                                            const std::function<void()>& completion) {
    m_usbDiskArray = std::move(cards);
    m_ui->usbDiskCombo->clear();
    for (const auto& card : m_usbDiskArray)
        m_ui->usbDiskCombo->addItem(QString::fromStdString(card.displayString()));
    if (m_ui->usbDiskCombo->count() > 0)
        m_ui->usbDiskCombo->setCurrentIndex(0);
    updateSelectedDiskInfo();
    if (startedProgress)
        hideProgressBar();
    if (completion)
        completion();
    emit volumesLoaded();
}

std::optional<TKUSBDiskEntity> ZLXFormatWindowController::selectedUSBDisk() const {
    const int index = m_ui->usbDiskCombo->currentIndex();
    if (index < 0 || size_t(index) >= m_usbDiskArray.size())
        return std::nullopt;
    return m_usbDiskArray[size_t(index)];
}

std::optional<TKUSBDiskEntity> ZLXFormatWindowController::selectUSBByDevFile(const std::string& device) {
    for (size_t i = 0; i < m_usbDiskArray.size() && int(i) < m_ui->usbDiskCombo->count(); ++i) {
        if (m_usbDiskArray[i].deviceFilePath() == device) {
            m_ui->usbDiskCombo->setCurrentIndex(int(i));
            return m_usbDiskArray[i];
        }
    }
    return std::nullopt;
}

void ZLXFormatWindowController::updateSelectedDiskInfo() {
    if (const auto card = selectedUSBDisk()) {
        m_ui->pathField->setText(QStringLiteral("%1   %2").arg(QString::fromStdString(card->deviceFilePath()),
                                                               QString::fromStdString(card->mountedURL())));
        m_ui->allocationUnitField->setText(
            QString::fromStdString(allocationUnitText(clusterSizeByVolumeSizeInKB(card->volumeSize()))));
    } else {
        // no card: say so and how to bring one, and offer nothing to format
        m_ui->allocationUnitField->clear();
        m_ui->pathField->setText(qtTrId("setting.format.no_card"));
    }
    m_ui->formatButton->setEnabled(selectedUSBDisk().has_value() && !m_formatting);
}

void ZLXFormatWindowController::changeDisk() {
    updateSelectedDiskInfo();
}

void ZLXFormatWindowController::onFormat() {
    if (m_formatting) {
        showAlert(this, QStringLiteral("DAXO"), qtTrId("msg.format_running"));
        return;
    }
    const auto card = selectedUSBDisk();
    if (!card) {
        showAlert(this, QStringLiteral("DAXO"),
                  m_usbDiskArray.empty() ? QStringLiteral("There is no USB drive.") : QStringLiteral("Please select USB drive."));
        return;
    }
    if (!card->writable()) {
        showAlert(this, qtTrId("msg.cannot_format"),
                  QStringLiteral("%1\n%2").arg(QString::fromStdString(card->displayString()),
                                               qtTrId("msg.write_protected_disk")));
        return;
    }
    // One question before a driver's recordings are erased.
    const ZLXConfirmationText text = formatConfirmationText(*card, recordingCountOn(*card));
    auto* question = new QMessageBox(QMessageBox::Warning, text.message, text.message, QMessageBox::NoButton, this);
    question->setObjectName(QStringLiteral("formatConfirmation"));
    question->setInformativeText(text.informative);
    QPushButton* erase = question->addButton(qtTrId("msg.format_erase"), QMessageBox::DestructiveRole);
    QPushButton* keep = question->addButton(qtTrId("cancel"), QMessageBox::RejectRole);
    question->setDefaultButton(keep);
    question->setEscapeButton(keep);
    question->setWindowModality(Qt::WindowModal);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::finished, this, [this, question, erase, card = *card](int) {
        if (question->clickedButton() == erase && !m_formatting)
            doFormat(card);
    });
    question->open();
}

void ZLXFormatWindowController::doFormat(const TKUSBDiskEntity& card) {
    if (m_formatting)
        return;
    m_formatting = true;
    m_ui->formatButton->setEnabled(false);
    m_ui->cancelButton->setEnabled(false);
    m_ui->usbDiskCombo->setEnabled(false);
    showProgressBar(QStringLiteral("Formatting..."));
    QPointer<ZLXFormatWindowController> self(this);
    auto operations = m_operations;
    m_work = QtConcurrent::run([self, operations, card] {
        const ZLXFormatResult result = runCardFormat(*operations, card, [&self](const QString& status) {
            onInterfaceThread(self, [status](ZLXFormatWindowController& w) { w.setStatus(status); });
        });
        onInterfaceThread(self, [card, result](ZLXFormatWindowController& w) { w.formatRan(card, result); });
    });
}

void ZLXFormatWindowController::formatRan(const TKUSBDiskEntity& card, const ZLXFormatResult& result) {
    const std::string device = card.deviceFilePath();
    switch (result.outcome) {
    case ZLXFormatResult::Outcome::NotStarted:
        hideProgressBar();
        showAlert(this, qtTrId("msg.cannot_format"), result.error.message);
        endFormat(false, false);
        return;
    case ZLXFormatResult::Outcome::Failed:
        loadUSBVolumes([this, device, card, result] {
            selectUSBByDevFile(device);
            hideProgressBar();
            showAlert(this, qtTrId("msg.cannot_format"),
                      withKeptCopy(formatFailureText(card, result.error), result.savedConfig));
            endFormat(false, false);
        });
        return;
    case ZLXFormatResult::Outcome::Formatted:
        loadUSBVolumes([this, device, saved = result.savedConfig] {
            selectUSBByDevFile(device);
            formatDidFinished(device, saved);
        });
        return;
    }
}

void ZLXFormatWindowController::formatDidFinished(const std::string& device, const std::optional<QString>& configFilePath) {
    const auto card = selectedUSBDisk();
    std::optional<QString> failure;
    if (!card || card->deviceFilePath() != device) // only ever the card that was formatted
        failure = QStringLiteral("%1 did not come back after the format.").arg(QString::fromStdString(device));
    else
        failure = restoreConfigFile(*card, configFilePath);
    hideProgressBar();
    if (failure) {
        ZLXLog("error=%s", qUtf8Printable(*failure));
        showAlert(this, QStringLiteral("config.bin copy fail"), withKeptCopy(*failure, configFilePath));
        endFormat(true, false);
        return;
    }
    showAlertSheet(this, qtTrId("msg.format_complete"), QString::fromStdString(card->displayString()),
                   [self = QPointer<ZLXFormatWindowController>(this)] {
                       if (self)
                           self->cancel();
                   });
    endFormat(true, true);
}

void ZLXFormatWindowController::endFormat(bool formatted, bool restored) {
    m_formatting = false;
    m_ui->formatButton->setEnabled(selectedUSBDisk().has_value());
    m_ui->cancelButton->setEnabled(true);
    m_ui->usbDiskCombo->setEnabled(true);
    emit formatFinished(formatted, restored);
}

void ZLXFormatWindowController::setStatus(const QString& status) {
    m_ui->progressMessageField->setText(status);
}

void ZLXFormatWindowController::showProgressBar(const QString& status) {
    m_ui->progressBar->show();
    m_ui->progressMessageField->show();
    m_ui->progressBar->setIndeterminate(true);
    m_stopProgressBar = false;
    m_progress = 0;
    setStatus(status);
    m_ui->progressBar->setDoubleValue(m_ui->progressBar->minValue());
    const int run = ++m_progressRun;
    QTimer::singleShot(300, this, [this, run] {
        if (run == m_progressRun)
            updateProgressBar(1000);
    });
}

void ZLXFormatWindowController::updateProgressBar(double seconds) {
    m_ui->progressBar->show();
    m_ui->progressMessageField->show();
    m_progress += 100 / (seconds / 0.3);
    m_ui->progressBar->setDoubleValue(m_progress);
    if (m_progress < 100 && !m_stopProgressBar) {
        const int run = m_progressRun;
        QTimer::singleShot(300, this, [this, run, seconds] {
            if (run == m_progressRun)
                updateProgressBar(seconds);
        });
        return;
    }
    m_ui->progressBar->setDoubleValue(m_ui->progressBar->minValue());
    m_ui->progressBar->setIndeterminate(false);
    m_ui->progressBar->hide();
    m_ui->progressMessageField->hide();
    m_stopProgressBar = true;
}

void ZLXFormatWindowController::hideProgressBar() {
    m_ui->progressBar->hide();
    m_ui->progressMessageField->hide();
    m_stopProgressBar = true;
}

void ZLXFormatWindowController::cancel() {
    close();
}

void ZLXFormatWindowController::closeEvent(QCloseEvent* event) {
    if (m_formatting) { // the card is half-way; its settings come back only at the end
        event->ignore();
        showAlert(this, QStringLiteral("DAXO"), qtTrId("msg.format_running"));
        return;
    }
    QDialog::closeEvent(event);
}

void ZLXFormatWindowController::reject() {
    if (m_formatting)
        return;
    QDialog::reject();
}

} // namespace daxo
