// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/ZLXAlert.h"

#include <QMessageBox>

namespace daxo {

QMessageBox* showAlertSheet(QWidget* window, const QString& messageText, const QString& informativeText,
                            std::function<void()> onEnd) {
    auto* alert = new QMessageBox(QMessageBox::Warning, messageText, messageText, QMessageBox::NoButton, window);
    alert->setInformativeText(informativeText);
    alert->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    alert->setWindowModality(Qt::WindowModal);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(alert, &QMessageBox::finished, alert, [onEnd = std::move(onEnd)](int) {
        if (onEnd)
            onEnd();
    });
    alert->open();
    return alert;
}

QMessageBox* showAlert(QWidget* window, const QString& messageText, const QString& informativeText) {
    return showAlertSheet(window, messageText, informativeText, {});
}

QMessageBox* showNoticeSheet(QWidget* window, const QString& title, const QString& message, const QString& details,
                             std::function<void()> onEnd) {
    QMessageBox* notice = showAlertSheet(window, title, details, std::move(onEnd));
    notice->setIcon(QMessageBox::Information);
    notice->setText(message);
    return notice;
}

} // namespace daxo
