#include "gui/player/PlayerPanel.h"

#include "core/player/PanelRules.h"
#include "core/player/PlaybackController.h"
#include "core/player/StreamVolume.h"
#include "core/session/Session.h"

#include "gui/common/Glyphs.h"
#include "gui/common/Widgets.h"
#include "gui/player/TPosTracker.h"

#include <QComboBox>
#include <QEvent>
#include <QSlider>

namespace cantorel {

using namespace widgets;

PlayerPanel::PlayerPanel(QWidget* parent) : QFrame(parent)
{
    setObjectName("PlPanel");
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    plPrev_ = flatButton(this, "plPrev", QRect(6, 42, 29, 20));
    plPrev_->setIcon(Glyphs::previous());
    plPrev_->setIconSize(QSize(20, 16));
    plPlay_ = flatButton(this, "plPlay", QRect(37, 42, 29, 20));
    plPlay_->setIconSize(QSize(16, 16));
    plNext_ = flatButton(this, "plNext", QRect(69, 42, 29, 20));
    plNext_->setIcon(Glyphs::next());
    plNext_->setIconSize(QSize(20, 16));
    plPosView_ = fixedLabel(this, "plPosView", QRect(7, 27, 42, 15), Qt::AlignLeft | Qt::AlignVCenter);
    plPosView_->setText("0:00:00");
    plLenView_ = fixedLabel(this, "plLenView", QRect(52, 27, 44, 15), Qt::AlignRight | Qt::AlignVCenter);
    plLenView_->setText("0:00:00");
    plATView_ = fixedLabel(this, "plATView", QRect(104, 28, 194, 54), Qt::AlignCenter);
    plATView_->setWordWrap(true);
    plATView_->setTextFormat(Qt::PlainText);
    plATView_->installEventFilter(this);
    cbPriority_ = named(new QComboBox(this), "cbPriority");
    cbPriority_->setGeometry(6, 63, 94, 21);
}

PlayerPanel::~PlayerPanel()
{
    if (session_ && session_->playerStarted())
        session_->playback().removeListener(this);
}

void PlayerPanel::attach(Session& session, const QStringList& priorities)
{
    session_ = &session;
    plPos_ = named(new TPosTracker(this), "plPos");
    plPos_->setGeometry(2, 1, width() - 4, 25);
    plPos_->show();
    cbPriority_->addItems(priorities);
    const Configuration& config = session.configuration();
    stoppedPrefix_ = qs(config.GetUIString(UiString::PlayingStopped));
    if (StreamVolume* volume = session.volume()) {
        // At the right edge of the track's text, whose text keeps clear of it.
        plVolume_ = named(new QSlider(Qt::Vertical, this), "plVolume");
        plVolume_->setGeometry(width() - 18, 28, 16, 54);
        plVolume_->setRange(0, StreamVolume::Maximum);
        plVolume_->setPageStep(10);
        plVolume_->setValue(volume->percent());
        plVolume_->setToolTip(qs(config.GetUIString(UiString::VolumeTip)));
        plVolume_->show();
        plATView_->setContentsMargins(0, 0, plATView_->geometry().right() - plVolume_->x() + 2, 0);
        connect(plVolume_, &QSlider::valueChanged, this, [this, volume](int percent) {
            if (percent == volume->percent())
                return; // shown, not moved: set elsewhere
            volume->setPercent(percent);
            emit volumeChanged(percent);
        });
    }
    cbPriority_->setCurrentIndex(1);
    plPlay_->setIcon(Glyphs::play());
    PlaybackController& playback = session.playback();
    playback.addListener(this);
    connect(plPlay_, &QToolButton::clicked, this, [&playback] { playback.playPause(); });
    connect(plPrev_, &QToolButton::clicked, this, [&playback] { playback.previous(); });
    connect(plNext_, &QToolButton::clicked, this, [&playback] { playback.next(); });
    connect(plPos_, &TPosTracker::mouseDown, this, [&playback] { playback.holdPosition(); });
    connect(plPos_, &TPosTracker::mouseUp, this, [this, &playback] { playback.releasePosition(plPos_->value()); });
    connect(plPos_, &QSlider::valueChanged, this, [&playback](int seconds) { playback.setSliderPosition(seconds); });
    // Filling the list must not change the priority: only a choice does.
    connect(cbPriority_, &QComboBox::activated, this, [&session](int index) { session.setPriorityClass(index); });
}

bool PlayerPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == plATView_ &&
        (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick))
        emit lineClicked();
    return QFrame::eventFilter(watched, event);
}

void PlayerPanel::activeTrackChanged(const PlaybackController& p)
{
    const bool active = p.activeNode() != NoNode;
    if (active) {
        plPos_->setValue(0);
        plPos_->setMaximum(p.lengthSeconds());
        if (const auto spacing = p.tickSpacing())
            plPos_->setTickInterval(*spacing);
        plPos_->setTickPosition(QSlider::TicksBelow);
        plLenView_->setText(qs(PanelRules::FormatTime(p.lengthSeconds())));
        lineText_ = qs(p.lineText()).replace('\r', '\n');
        plATView_->setText(lineText_);
    } else {
        plLenView_->setText("0:00:00");
        plPosView_->setText("0:00:00");
        lineText_.clear();
        plATView_->clear();
        plPos_->setTickPosition(QSlider::NoTicks);
    }
    plPos_->setEnabled(active);
    plPlay_->setEnabled(active);
    plNext_->setEnabled(p.canGoNext());
    plPrev_->setEnabled(p.canGoPrevious());
}

void PlayerPanel::playingChanged(bool playing)
{
    plPlay_->setIcon(playing ? Glyphs::pause() : Glyphs::play());
    if (playing)
        plATView_->setText(lineText_);
}

void PlayerPanel::playbackFailed(const Failure& failure) { plATView_->setText(stoppedPrefix_ + qs(failure.message)); }

void PlayerPanel::setVolume(int percent)
{
    if (plVolume_)
        plVolume_->setValue(percent);
}

void PlayerPanel::positionChanged(std::int32_t positionMs, std::int32_t)
{
    const int seconds = positionMs / 1000;
    plPosView_->setText(qs(PanelRules::FormatTime(seconds)));
    if (plPos_->value() != seconds)
        plPos_->setValue(seconds);
}

} // namespace cantorel
