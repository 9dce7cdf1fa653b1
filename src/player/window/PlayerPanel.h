#pragma once

#include "player/PlaybackListener.h"

#include <QFrame>

class QComboBox;
class QLabel;
class QToolButton;

namespace cantorel {

class TPosTracker;

// The player panel below the tree: buttons, position slider, the three labels and the
// priority selector, showing what the playback controller reports.
class PlayerPanel : public QFrame, public PlaybackListener {
    Q_OBJECT
public:
    explicit PlayerPanel(QWidget* parent);

    // The position slider, made when the window's set-up reaches it.
    TPosTracker* createTracker();

    void activeTrackChanged(const PlaybackController& playback) override;
    void playingChanged(bool playing) override;
    void positionChanged(std::int32_t positionMs, std::int32_t lengthMs) override;

    QToolButton* plPrev = nullptr;
    QToolButton* plPlay = nullptr;
    QToolButton* plNext = nullptr;
    QLabel* plPosView = nullptr;
    QLabel* plLenView = nullptr;
    QLabel* plATView = nullptr;
    QComboBox* cbPriority = nullptr;
    TPosTracker* plPos = nullptr;
};

} // namespace cantorel
