#include "player/window/PlayerPanel.h"

#include "app/window/Glyphs.h"
#include "app/window/Widgets.h"
#include "player/PanelRules.h"
#include "player/PlaybackController.h"
#include "player/window/TPosTracker.h"

#include <QComboBox>

namespace cantorel {

using namespace widgets;

PlayerPanel::PlayerPanel(QWidget* parent) : QFrame(parent)
{
    setObjectName("PlPanel");
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    plPrev = flatButton(this, "plPrev", QRect(6, 42, 29, 20));
    plPrev->setIcon(Glyphs::previous());
    plPrev->setIconSize(QSize(20, 16));
    plPlay = flatButton(this, "plPlay", QRect(37, 42, 29, 20));
    plPlay->setIconSize(QSize(16, 16));
    plNext = flatButton(this, "plNext", QRect(69, 42, 29, 20));
    plNext->setIcon(Glyphs::next());
    plNext->setIconSize(QSize(20, 16));
    plPosView = fixedLabel(this, "plPosView", QRect(7, 27, 42, 15), Qt::AlignLeft | Qt::AlignVCenter);
    plPosView->setText("0:00:00");
    plLenView = fixedLabel(this, "plLenView", QRect(52, 27, 44, 15), Qt::AlignRight | Qt::AlignVCenter);
    plLenView->setText("0:00:00");
    plATView = fixedLabel(this, "plATView", QRect(104, 28, 194, 54), Qt::AlignCenter);
    plATView->setWordWrap(true);
    plATView->setTextFormat(Qt::PlainText);
    cbPriority = named(new QComboBox(this), "cbPriority");
    cbPriority->setGeometry(6, 63, 94, 21);
}

TPosTracker* PlayerPanel::createTracker()
{
    plPos = named(new TPosTracker(this), "plPos");
    plPos->setGeometry(2, 1, width() - 4, 25);
    return plPos;
}

void PlayerPanel::activeTrackChanged(const PlaybackController& p)
{
    const bool active = p.activeNode() != NoNode;
    if (active) {
        plPos->setValue(0);
        plPos->setMaximum(p.lengthSeconds());
        if (const auto spacing = p.tickSpacing())
            plPos->setTickInterval(*spacing);
        plPos->setTickPosition(QSlider::TicksBelow);
        plLenView->setText(qs(PanelRules::FormatTime(p.lengthSeconds())));
        plATView->setText(qs(p.lineText()).replace('\r', '\n'));
    } else {
        plLenView->setText("0:00:00");
        plPosView->setText("0:00:00");
        plATView->clear();
        plPos->setTickPosition(QSlider::NoTicks);
    }
    plPos->setEnabled(active);
    plPlay->setEnabled(active);
    plNext->setEnabled(p.canGoNext());
    plPrev->setEnabled(p.canGoPrevious());
}

void PlayerPanel::playingChanged(bool playing) { plPlay->setIcon(playing ? Glyphs::pause() : Glyphs::play()); }

void PlayerPanel::positionChanged(std::int32_t positionMs, std::int32_t)
{
    const int seconds = positionMs / 1000;
    plPosView->setText(qs(PanelRules::FormatTime(seconds)));
    if (plPos->value() != seconds)
        plPos->setValue(seconds);
}

} // namespace cantorel
