// SPDX-License-Identifier: GPL-3.0-or-later
// The dark area behind a video with the channel's logo in its middle.
#pragma once

#include <QPixmap>
#include <QWidget>

namespace daxo {

class TKBackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit TKBackgroundView(QWidget* parent = nullptr);
    void setLogo(const QPixmap& logo, const QString& name);
    const QString& logoName() const { return m_logoName; }
    // A short line under the logo ("This recording cannot be played"); empty for none.
    void setMessage(const QString& message);
    const QString& message() const { return m_message; }
    static QColor backgroundColor() { return QColor(24, 26, 30); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_logo;
    QString m_logoName;
    QString m_message;
};

} // namespace daxo
