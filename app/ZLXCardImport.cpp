// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ZLXCardImport.h"

#include "app/ZLXLibraryFolder.h"
#include "widgets/ZLXAlert.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QProgressDialog>
#include <QSettings>
#include <QStandardPaths>
#include <QtConcurrent>

namespace daxo {

ZLXCardImport::ZLXCardImport(QWidget* window) : QObject(window), m_window(window) {}

ZLXCardImport::~ZLXCardImport() {
    m_cancel = true; // the copy in the background ends at its next piece
}

QString ZLXCardImport::libraryFolder() {
    return daxo::libraryFolder(QSettings());
}

bool ZLXCardImport::start(const QString& card, const QString& library, const ZLXImportOptions& options) {
    if (m_running)
        return false;
    m_running = true;
    m_cancel = false;
    m_startedMs = QDateTime::currentMSecsSinceEpoch();
    m_progress = new QProgressDialog(qtTrId("import.preparing"), qtTrId("import.stop"), 0, 1000, m_window);
    m_progress->setObjectName(QStringLiteral("importProgress"));
    m_progress->setWindowTitle(qtTrId("import.title"));
    m_progress->setMinimumDuration(0);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    connect(m_progress, &QProgressDialog::canceled, this, [this] {
        m_cancel = true;
        if (m_progress)
            m_progress->setLabelText(qtTrId("import.stopping"));
    });
    m_progress->show();

    auto* watcher = new QFutureWatcher<ZLXImportSummary>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        const ZLXImportSummary summary = watcher->result();
        watcher->deleteLater();
        m_running = false;
        if (m_progress)
            m_progress->deleteLater();
        QString text = QString::fromStdString(importSummaryText(summary)).trimmed();
        if (!summary.keptIn.empty())
            text += QLatin1Char('\n') + qtTrId("import.kept").arg(QFile::decodeName(summary.keptIn.c_str()));
        const bool whole = summary.failed == 0 && summary.stopped.empty() && !summary.cancelled;
        if (whole)
            showNoticeSheet(m_window, qtTrId("import.title"), text);
        else
            showAlert(m_window, qtTrId("import.title"), text);
        emit finished(text);
    });
    const std::string from = QFile::encodeName(card).toStdString(), to = QFile::encodeName(library).toStdString();
    QPointer<ZLXCardImport> self(this);
    auto cancel = m_cancelShared;
    watcher->setFuture(QtConcurrent::run([from, to, options, self, cancel] {
        return importCard(from, to, options, [self, cancel](const ZLXImportProgress& p) {
            QMetaObject::invokeMethod(self, [self, p] { if (self) self->showProgress(p); }, Qt::QueuedConnection);
            return !*cancel;
        });
    }));
    return true;
}

void ZLXCardImport::showProgress(const ZLXImportProgress& p) {
    if (!m_progress || m_cancel || p.bytesTotal == 0)
        return;
    m_progress->setValue(int(1000 * double(p.bytesDone) / double(p.bytesTotal)));
    const double seconds = double(QDateTime::currentMSecsSinceEpoch() - m_startedMs) / 1000;
    QString left;
    if (p.bytesDone > 0 && seconds > 2) {
        const int minutes = int(double(p.bytesTotal - p.bytesDone) * seconds / double(p.bytesDone) / 60) + 1;
        left = qtTrId("import.minutes_left").arg(minutes);
    }
    m_progress->setLabelText(qtTrId("import.copying")
                                 .arg(qulonglong(std::min(p.filesDone + 1, p.filesTotal)))
                                 .arg(qulonglong(p.filesTotal))
                                 .arg(double(p.bytesDone) / 1e9, 0, 'f', 1)
                                 .arg(double(p.bytesTotal) / 1e9, 0, 'f', 1)
                                 .arg(left));
}

} // namespace daxo
