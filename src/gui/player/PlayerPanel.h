#pragma once

#include "core/player/PlaybackListener.h"

#include <QFrame>

class QComboBox;
class QLabel;
class QSlider;
class QToolButton;

namespace cantorel {

class Session;
class TPosTracker;

// The player panel below the tree: buttons, position slider, the three labels, the
// priority selector and the volume. Its controls drive the session's playback controller,
// and it shows what the controller reports; when playing stops for a failure, the track's
// text gives way to why until the next start.
class PlayerPanel : public QFrame, public PlaybackListener {
    Q_OBJECT
public:
    explicit PlayerPanel(QWidget* parent);
    ~PlayerPanel() override;

    // The position slider and the priority list's entries, made when the window's set-up
    // reaches them; from then on the controls play through `session`, and the panel shows
    // its controller's reports.
    void attach(Session& session, const QStringList& priorities);

    void activeTrackChanged(const PlaybackController& playback) override;
    void playingChanged(bool playing) override;
    void positionChanged(std::int32_t positionMs, std::int32_t lengthMs) override;
    void playbackFailed(const Failure& failure) override;
    // The volume set elsewhere (a remote control): the slider shows it.
    void setVolume(int percent);

signals:
    // The now-playing text was clicked: the window shows the active track.
    void lineClicked();
    // The user moved the volume slider (in percent).
    void volumeChanged(int percent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Session* session_ = nullptr;
    QToolButton* plPrev_ = nullptr;
    QToolButton* plPlay_ = nullptr;
    QToolButton* plNext_ = nullptr;
    QLabel* plPosView_ = nullptr;
    QLabel* plLenView_ = nullptr;
    QLabel* plATView_ = nullptr;
    QComboBox* cbPriority_ = nullptr;
    TPosTracker* plPos_ = nullptr;
    QSlider* plVolume_ = nullptr;
    QString lineText_;      // the active track's text, shown again after a failure
    QString stoppedPrefix_; // before why playing stopped
};

} // namespace cantorel
