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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_logo;
    QString m_logoName;
};

} // namespace daxo
