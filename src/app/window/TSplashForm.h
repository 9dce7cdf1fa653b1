#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QFrame;
class QLabel;
class QProgressBar;

namespace cantorel {

// The borderless window that shows what start-up is doing while the collection is read.
class TSplashForm : public QWidget {
    Q_OBJECT
public:
    explicit TSplashForm(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QProgressBar* pb = nullptr;

    // Repaints the window by processing pending events other than user input, at most
    // every 50 ms, since the build runs without a message loop.
    void repaintNow();

private:
    QFrame* Panel1 = nullptr;
    QElapsedTimer sinceRepaint_;
};

} // namespace cantorel
