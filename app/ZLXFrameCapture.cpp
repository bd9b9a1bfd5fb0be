// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ZLXFrameCapture.h"

#include "widgets/ZLXAlert.h"
#include "app/ZLXCupsPrint.h"
#include "library/ZLXCleanup.h"
#include "library/ZLXFileIO.h"
#include "library/ZLXLog.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <cmath>

namespace daxo {
namespace {

// The picture's bytes in the format its name asks for: PNG for ".png", else the JPEG as it is.
std::optional<QByteArray> encodedFor(const QString& target, const QString& jpeg, QString* why) {
    QFile source(jpeg);
    if (!source.open(QIODevice::ReadOnly)) {
        *why = source.errorString();
        return std::nullopt;
    }
    QByteArray bytes = source.readAll();
    if (QFileInfo(target).suffix().compare(QLatin1String("png"), Qt::CaseInsensitive) != 0)
        return bytes;
    QByteArray png;
    QBuffer out(&png);
    if (!out.open(QIODevice::WriteOnly) || !QImage::fromData(bytes, "JPEG").save(&out, "PNG")) {
        *why = QStringLiteral("the picture cannot be converted");
        return std::nullopt;
    }
    return png;
}

// Writes a new file; an existing one is never replaced.
std::optional<QString> writeNewFile(const QString& target, const QByteArray& bytes) {
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return out.exists() ? qtTrId("msg.frame_exists").arg(target) : qtTrId("msg.frame_save_fail").arg(target, out.errorString());
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        const QString why = out.errorString();
        out.remove();
        return qtTrId("msg.frame_save_fail").arg(target, why);
    }
    return std::nullopt;
}

} // namespace

ZLXFrameCapture::ZLXFrameCapture(QWidget* window, QObject* parent) : QObject(parent), m_window(window) {}

ZLXFrameCapture::~ZLXFrameCapture() = default;

QString ZLXFrameCapture::captureFilePath() {
    if (!m_captureFolder) {
        QString base = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
        m_captureFolder = std::make_unique<QTemporaryDir>(QDir(base).filePath(QStringLiteral("daxo-viewer-XXXXXX")));
    }
    if (!m_captureFolder->isValid())
        return {};
    return m_captureFolder->filePath(QStringLiteral("zolix_capture.jpg"));
}

void ZLXFrameCapture::save(ZLXMediaPlayer& player, QSizeF viewSize, const ZLXZoom& zoom) {
    const QString snapshot = captureFilePath();
    if (snapshot.isEmpty() || !player.saveVideoSnapshotAt(snapshot, 0, 0)) {
        ZLXLog("snapshot fail:%s", qUtf8Printable(snapshot));
        return;
    }
    cropToZoom(snapshot, player.videoSize(), viewSize, zoom);
    if (!m_chooser) {
        m_chooser = [](QWidget* parent) {
            QFileDialog dialog(parent, qtTrId("dialog.save_frame"));
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            dialog.setOption(QFileDialog::DontConfirmOverwrite); // an existing file is never replaced
            dialog.setFilter(dialog.filter() | QDir::Hidden);
            const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
            dialog.setDirectory(!pictures.isEmpty() && QDir().mkpath(pictures) ? pictures : QDir::homePath());
            dialog.setNameFilters({QStringLiteral("JPEG (*.jpg *.jpeg)"), QStringLiteral("PNG (*.png)")});
            dialog.setDefaultSuffix(QStringLiteral("jpg"));
            dialog.selectFile(QStringLiteral("daxo_capture.jpg"));
            return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().front()
                                                                                          : QString();
        };
    }
    const QString target = m_chooser(m_window);
    if (target.isEmpty())
        return;
    QString why;
    std::optional<QString> failure;
    if (const auto bytes = encodedFor(target, snapshot, &why))
        failure = writeNewFile(target, *bytes);
    else
        failure = qtTrId("msg.frame_save_fail").arg(target, why);
    if (failure) {
        ZLXLog("%s", qUtf8Printable(*failure));
        showAlert(m_window, QStringLiteral("DAXO"), *failure);
        emit frameSaved(target, false);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(target));
    emit frameSaved(target, true);
}

void ZLXFrameCapture::cropToZoom(const QString& snapshot, QSizeF video, QSizeF view, const ZLXZoom& zoom) {
    // zoomed, the frame saved is what shows, at the video's own resolution
    if (zoom.factor <= 1)
        return;
    QImage picture(snapshot);
    if (picture.isNull() || video.isEmpty() || view.isEmpty())
        return;
    const double scale = std::min(view.width() / video.width(), view.height() / video.height());
    const ZLXPictureRect part =
        shownPart(zoom, view.width() / (video.width() * scale), view.height() / (video.height() * scale));
    const QRect crop(int(std::lround(part.x * picture.width())), int(std::lround(part.y * picture.height())),
                     int(std::lround(part.width * picture.width())), int(std::lround(part.height * picture.height())));
    if (!picture.copy(crop).save(snapshot, "JPEG", 92))
        ZLXLog("snapshot crop fail:%s", qUtf8Printable(snapshot));
}

// "Print to File": the frame scaled to the page, as a PDF written beside the chosen name and
// renamed onto it once complete (the print dialog asked before it offered an existing name).
void ZLXFrameCapture::printToFile(QPrinter& printer) {
    const QString target = printer.outputFileName();
    const QImage picture(captureFilePath());
    const QString passing = QFileInfo(target).dir().filePath(QStringLiteral(".%1.part").arg(QFileInfo(target).fileName()));
    printer.setOutputFileName(passing);
    // a stop by a signal half-way leaves no partial file behind
    const ZLXCleanupEntry leftover = ZLXCleanupEntry::file(QFile::encodeName(passing).toStdString());
    bool written = false;
    if (!picture.isNull()) {
        QPainter painter;
        if (painter.begin(&printer)) {
            const QRect page = painter.viewport();
            const QSize fitted = picture.size().scaled(page.size(), Qt::KeepAspectRatio);
            painter.drawImage(QRect(page.topLeft() + QPoint((page.width() - fitted.width()) / 2, 0), fitted), picture);
            written = painter.end();
        }
    }
    printer.setOutputFileName(target);
    written = written && QFileInfo(passing).size() > 0 &&
              renameInto(QFile::encodeName(passing).toStdString(), QFile::encodeName(target).toStdString(), true);
    if (!written) {
        QFile::remove(passing);
        ZLXLog("print to file fail:%s", qUtf8Printable(target));
        showAlert(m_window, QStringLiteral("DAXO"), qtTrId("msg.print_file_failed").arg(target));
    }
}

QPrinter* ZLXFrameCapture::loadPrintInfo() {
    if (!m_printInfo)
        m_printInfo = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return m_printInfo.get();
}

void ZLXFrameCapture::print(ZLXMediaPlayer& player) {
    const QString snapshot = captureFilePath();
    if (snapshot.isEmpty() || !player.saveVideoSnapshotAt(snapshot, 0, 0)) {
        ZLXLog("snapshot fail:%s", qUtf8Printable(snapshot));
        return;
    }
    auto* dialog = new QPrintDialog(loadPrintInfo(), m_window);
    dialog->setObjectName(QStringLiteral("printDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    connect(dialog, &QDialog::finished, this, &ZLXFrameCapture::printPanelDidEnd);
    dialog->open();
}

void ZLXFrameCapture::printPanelDidEnd(int returnCode) {
    if (returnCode != QDialog::Accepted || !m_printInfo)
        return;
    QPrinter& printer = *m_printInfo;
    if (!printer.outputFileName().isEmpty()) {
        printToFile(printer);
        return;
    }
    if (printer.outputFormat() != QPrinter::NativeFormat || printer.printerName().isEmpty()) {
        ZLXLog("Either got an error from PMSessionGetDestinationType or the print destination wasn't "
               "kPMDestinationPrinter");
        showAlert(m_window, QStringLiteral("DAXO"), qtTrId("msg.print_no_printer"));
        return;
    }
    // the choices made in the dialog go with the job
    std::vector<std::pair<std::string, std::string>> options{{"copies", std::to_string(std::max(1, printer.copyCount()))}};
    if (const QString media = printer.pageLayout().pageSize().key(); !media.isEmpty())
        options.emplace_back("media", media.toStdString());
    const ZLXPrintResult result = printJpegOnCups(printer.printerName().toStdString(), QFile::encodeName(captureFilePath()).toStdString(),
                    "DAXO Viewer frame", options);
    if (result.outcome != ZLXPrintOutcome::Printed) // told, not only logged
        showAlert(m_window, QStringLiteral("DAXO"), qtTrId("msg.print_failed").arg(printer.printerName()));
}

} // namespace daxo
