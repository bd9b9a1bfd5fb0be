// SPDX-License-Identifier: GPL-3.0-or-later
// A progress bar with an optional text line (percentage, time left) that also mirrors itself
// as a small bar drawn over the application's icon.
#pragma once

#include "presentation/ZLXProgressText.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <vector>



namespace daxo {

class PMProgressIndicator : public QProgressBar {
    Q_OBJECT
public:
    explicit PMProgressIndicator(QWidget* parent = nullptr);
    ~PMProgressIndicator() override;

    void setDoubleValue(double value);
    double doubleValue() const { return m_value; }
    double minValue() const { return 0; }
    double maxValue() const { return 100; }
    void setIndeterminate(bool indeterminate);
    bool isIndeterminate() const { return m_indeterminate; }

    void setProgressText(QLabel* label) { m_progressText = label; }
    void updateProgressText();
    void setDrawDockProgress(bool draw);
    bool drawDockProgress() const { return m_drawDockProgress; }
    void setDisplayPercentage(bool display) { m_text.displayPercentage = display; }
    bool displayPercentage() const { return m_text.displayPercentage; }
    void setDisplayTimeRemaining(bool display) { m_text.displayTimeRemaining = display; }
    bool displayTimeRemaining() const { return m_text.displayTimeRemaining; }
    int lastValue() const { return m_lastValue; }
    // How often the bar itself was set (a value whose whole part did not change is skipped).
    int barUpdates() const { return m_barUpdates; }

private:
    QPointer<QLabel> m_progressText;
    ZLXProgressText m_text;
    QElapsedTimer m_clock;
    bool m_drawDockProgress = true;
    bool m_indeterminate = false;
    double m_value = 0;
    int m_lastValue = 0;
    int m_barUpdates = 0;
};

// Draws one 16-point bar per registered indicator over the application's icon.
class PMProgressIndicatorController : public QObject {
    Q_OBJECT
public:
    static PMProgressIndicatorController& sharedInstance();

    void addProgressIndicator(PMProgressIndicator* indicator);
    void removeProgressIndicator(PMProgressIndicator* indicator);
    int numProgressIndicators() const { return int(m_progressIndicators.size()); }
    void drawProgressIndicators();
    // Gives the window back the icon it had before the first bar, exactly.
    void restoreIcon();
    // The icon as last drawn (128 x 128).
    const QImage& composedIcon() const { return m_composed; }
    // Drops the bar images, so that the colour bands stand in for them (tests).
    void useColourBands() { m_blueBar = m_greyBar = m_barberBar = QImage(); }

private:
    PMProgressIndicatorController();
    void scheduleDraw();

    std::vector<QPointer<PMProgressIndicator>> m_progressIndicators;
    // The window whose icon carries the bars, and its icon as it was before the first bar.
    QPointer<QWidget> m_target;
    QIcon m_savedIcon;
    QImage m_base, m_blueBar, m_greyBar, m_barberBar, m_composed;
    QElapsedTimer m_lastSpin;
    double m_barberOffset = 0;
    QTimer m_theTimer;
};

} // namespace daxo
