#pragma once

#include "core/collection/BuildProgress.h"

#include <QElapsedTimer>
#include <QWidget>

class QFrame;
class QLabel;
class QProgressBar;

namespace cantorel {

// The borderless window that shows what start-up is doing while the collection is read.
class TSplashForm : public QWidget, public BuildProgress {
    Q_OBJECT
public:
    explicit TSplashForm(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QProgressBar* pb = nullptr;

    // Repaints the window by processing pending events other than user input, at most
    // every 50 ms, since the build runs without a message loop.
    void repaintNow();

    void setStatus(const std::string& text) override;
    void setMaximum(int maximum) override;
    void setPosition(int position) override;
    void repaint() override { repaintNow(); }

private:
    QFrame* Panel1 = nullptr;
    QElapsedTimer sinceRepaint_;
};

} // namespace cantorel
