// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/PMProgressIndicator.h"

#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <cmath>

namespace daxo {

PMProgressIndicator::PMProgressIndicator(QWidget* parent) : QProgressBar(parent) {
    setRange(0, 100);
    setTextVisible(false);
    m_clock.start();
}

PMProgressIndicator::~PMProgressIndicator() {
    setDrawDockProgress(false);
}

void PMProgressIndicator::setIndeterminate(bool indeterminate) {
    m_indeterminate = indeterminate;
    if (indeterminate)
        setRange(0, 0);
    else
        setRange(0, 100);
}

void PMProgressIndicator::setDoubleValue(double v) {
    const int n = int(v);
    if (n == m_lastValue)
        return;
    m_value = v;
    if (!m_indeterminate)
        setValue(std::clamp(n, 0, 100));
    ++m_barUpdates;
    m_lastValue = n;
    if (m_drawDockProgress) {
        auto& controller = PMProgressIndicatorController::sharedInstance();
        controller.addProgressIndicator(this);
        // Away from both ends of the range the bar shows on the icon; at either end it goes.
        const double f = (v - minValue()) / (maxValue() - minValue());
        if (f > 1 - 0.00001 || f < 0.00001)
            controller.removeProgressIndicator(this);
    }
    if (m_progressText)
        updateProgressText();
}

void PMProgressIndicator::updateProgressText() {
    const auto text = m_text.update(m_value, minValue(), maxValue(), m_indeterminate,
                                    double(m_clock.nsecsElapsed()) / 1e9);
    if (text && m_progressText)
        m_progressText->setText(QString::fromStdString(*text));
}

void PMProgressIndicator::setDrawDockProgress(bool draw) {
    m_drawDockProgress = draw;
    auto& controller = PMProgressIndicatorController::sharedInstance();
    if (draw)
        controller.addProgressIndicator(this);
    else
        controller.removeProgressIndicator(this);
}

PMProgressIndicatorController& PMProgressIndicatorController::sharedInstance() {
    static PMProgressIndicatorController* instance = new PMProgressIndicatorController;
    return *instance;
}

PMProgressIndicatorController::PMProgressIndicatorController() {
    m_blueBar.load(QStringLiteral(":/images/blueProgress.png"));
    m_greyBar.load(QStringLiteral(":/images/greyProgress.png"));
    m_barberBar.load(QStringLiteral(":/images/barberProgress.png"));
    m_lastSpin.start();
    m_theTimer.setSingleShot(true);
    connect(&m_theTimer, &QTimer::timeout, this, &PMProgressIndicatorController::drawProgressIndicators);
}

void PMProgressIndicatorController::scheduleDraw() {
    m_theTimer.start(100);
}

void PMProgressIndicatorController::addProgressIndicator(PMProgressIndicator* indicator) {
    for (const auto& known : m_progressIndicators) {
        if (known == indicator)
            return;
    }
    if (m_progressIndicators.empty() || !m_target) {
        // The bars go on the icon of the window the indicator is in, as that window shows it.
        restoreIcon();
        m_target = indicator->window();
        m_savedIcon = m_target->windowIcon();
        m_base = QImage(128, 128, QImage::Format_ARGB32_Premultiplied);
        m_base.fill(Qt::transparent);
        if (!m_savedIcon.isNull()) {
            QPainter painter(&m_base);
            painter.drawPixmap(QRect(0, 0, 128, 128), m_savedIcon.pixmap(128, 128));
        }
    }
    m_progressIndicators.emplace_back(indicator);
    scheduleDraw();
}

void PMProgressIndicatorController::removeProgressIndicator(PMProgressIndicator* indicator) {
    std::erase_if(m_progressIndicators, [indicator](const auto& p) { return !p || p == indicator; });
    scheduleDraw();
}

void PMProgressIndicatorController::drawProgressIndicators() {
    m_theTimer.stop();
    std::erase_if(m_progressIndicators, [](const auto& p) { return !p; });
    if (m_progressIndicators.empty()) {
        restoreIcon();
        return;
    }
    m_composed = m_base.copy();
    bool spinning = false;
    QPainter painter(&m_composed);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    for (size_t i = 0; i < m_progressIndicators.size(); ++i) {
        const PMProgressIndicator* indicator = m_progressIndicators[i];
        // Row i counts from the bottom of the icon; QImage counts from the top.
        const double rowTop = 128 - 16.0 * double(i + 1);
        if (indicator->isIndeterminate()) {
            const double seconds = double(m_lastSpin.elapsed()) / 1000.0;
            m_barberOffset = std::fmod(m_barberOffset - (seconds - std::floor(seconds)) * 1.5 * 32 + 64, 32);
            m_lastSpin.restart();
            if (!m_barberBar.isNull())
                painter.drawImage(QPointF(-m_barberOffset, rowTop), m_barberBar);
            spinning = true;
            continue;
        }
        const float w = float(indicator->doubleValue() * 128 / (indicator->maxValue() - indicator->minValue()));
        if (!m_blueBar.isNull() && !m_greyBar.isNull()) {
            painter.drawImage(QPointF(double(w) - 128, rowTop), m_blueBar);
            painter.drawImage(QPointF(double(w), rowTop), m_greyBar);
            continue;
        }
        struct Band {
            int offset, height;
            QColor filled, rest;
        };
        static const Band bands[] = {
            {0, 11, QColor(129, 204, 255), QColor(241, 241, 241)}, {3, 6, QColor(105, 183, 255), QColor(228, 228, 228)},
            {4, 4, QColor(94, 171, 254), QColor(210, 210, 210)},   {5, 2, QColor(76, 148, 229), QColor(200, 200, 200)},
            {11, 1, QColor(94, 147, 213), QColor(200, 210, 210)},  {12, 1, QColor(59, 120, 185), QColor(160, 160, 160)}};
        // Band offsets count upwards from the row's bottom edge.
        auto bandRect = [&](const Band& b, double x, double width) {
            return QRectF(x, rowTop + 16 - b.offset - b.height, width, b.height);
        };
        for (const Band& b : bands) {
            QColor c = b.filled;
            c.setAlphaF(0.78f);
            painter.fillRect(bandRect(b, 0, double(w)), c);
        }
        for (const Band& b : bands) {
            QColor c = b.rest;
            c.setAlphaF(0.78f);
            painter.fillRect(bandRect(b, double(w), 128 - double(w)), c);
        }
    }
    painter.end();
    if (m_target)
        m_target->setWindowIcon(QIcon(QPixmap::fromImage(m_composed)));
    if (spinning)
        scheduleDraw();
}

void PMProgressIndicatorController::restoreIcon() {
    if (m_target)
        m_target->setWindowIcon(m_savedIcon);
    m_target = nullptr;
}

} // namespace daxo
