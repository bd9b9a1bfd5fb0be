// SPDX-License-Identifier: GPL-3.0-or-later
// File → Import Card…: a card's recordings copied into the library in the background, with
// a progress window that tells the time left and stops on request, and a summary at the end.
#pragma once

#include "library/ZLXImport.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <memory>

class QProgressDialog;
class QWidget;

namespace daxo {

class ZLXCardImport : public QObject {
    Q_OBJECT
public:
    explicit ZLXCardImport(QWidget* window);
    ~ZLXCardImport() override;

    // The library folder: the settings' choice, else "DAXO" in the user's Videos folder.
    static QString libraryFolder();

    // Starts copying `card` into `library`; false when an import is running already.
    bool start(const QString& card, const QString& library, const ZLXImportOptions& options = {});
    bool isRunning() const { return m_running; }
    // Stops between two pieces of a file; what is copied stays, the unfinished copy goes.
    void cancel() { m_cancel = true; }

signals:
    void finished(const QString& summary);

private:
    void showProgress(const ZLXImportProgress& progress);

    QWidget* m_window;
    QPointer<QProgressDialog> m_progress;
    std::shared_ptr<std::atomic<bool>> m_cancelShared = std::make_shared<std::atomic<bool>>(false);
    std::atomic<bool>& m_cancel = *m_cancelShared;
    bool m_running = false;
    qint64 m_startedMs = 0;
};

} // namespace daxo
