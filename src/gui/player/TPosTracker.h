#pragma once

#include <QSlider>

namespace cantorel {

// The player panel's position slider: a horizontal slider whose owner hears its mouse
// presses and releases.
class TPosTracker : public QSlider {
    Q_OBJECT
public:
    explicit TPosTracker(QWidget* parent = nullptr);

signals:
    void mouseDown();
    // Sent after the slider's own release handling, so its position is final.
    void mouseUp();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace cantorel
