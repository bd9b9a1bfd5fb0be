// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping the picture of the large video: saved as a file the user names and opened in the
// desktop's viewer, or printed scaled to the page.
#pragma once

#include "app/playback/ZLXMediaPlayer.h"
#include "presentation/ZLXZoom.h"

#include <QObject>
#include <QSizeF>
#include <functional>
#include <memory>

class QPrinter;
class QTemporaryDir;
class QWidget;

namespace daxo {

class ZLXFrameCapture : public QObject {
    Q_OBJECT
public:
    // Where a saved frame goes; tests put a chooser of their own in place of the dialog.
    // Empty: cancelled.
    using Chooser = std::function<QString(QWidget* parent)>;

    explicit ZLXFrameCapture(QWidget* window, QObject* parent = nullptr);
    ~ZLXFrameCapture() override;

    void setChooser(Chooser chooser) { m_chooser = std::move(chooser); }
    // The snapshot, in a folder of this program's own that only the user can enter.
    QString captureFilePath();
    // Saves what `player` shows (only the part shown when zoomed in a view of `viewSize`).
    void save(ZLXMediaPlayer& player, QSizeF viewSize, const ZLXZoom& zoom);
    // The print settings, kept from one print to the next.
    QPrinter* loadPrintInfo();
    void print(ZLXMediaPlayer& player);
    void printPanelDidEnd(int returnCode);

signals:
    // A frame was saved at `path` (or could not be: `saved` false).
    void frameSaved(const QString& path, bool saved);

private:
    static void cropToZoom(const QString& snapshot, QSizeF video, QSizeF view, const ZLXZoom& zoom);
    void printToFile(QPrinter& printer);

    QWidget* m_window;
    Chooser m_chooser;
    std::unique_ptr<QTemporaryDir> m_captureFolder;
    std::unique_ptr<QPrinter> m_printInfo;
};

} // namespace daxo
