#include "chat/transcript/TurnFade.h"

#include "chat/transcript/MessageChrome.h"
#include "glass/look/Motion.h"
#include "stage/BackgroundSettings.h"

#include <QVariantAnimation>

namespace chat {

namespace {

constexpr double kShownAbove = 0.01; // a bubble at or below this is not drawn

} // namespace

TurnFade::Shown TurnFade::settled(double visibility)
{
    return {visibility, visibility, 0, visibility > kShownAbove ? 1.0 : 0.0};
}

TurnFade::TurnFade(glass::StyleStore &styles, stage::BackgroundSettings &background, QObject *parent)
    : QObject(parent), m_styles(styles), m_background(background)
{
    static const char *const names[] = {"userFade", "assistantFade", "liveFade"};
    for (size_t i = 0; i < m_tracks.size(); ++i) {
        Track &track = m_tracks[i];
        track.target = targetOf(Turn(i));
        track.now = track.to = settled(track.target);
        track.animation = new QVariantAnimation(this);
        track.animation->setObjectName(QLatin1String(names[i]));
        track.animation->setStartValue(0.0);
        track.animation->setEndValue(1.0);
        track.animation->setEasingCurve(glass::Motion::easeInOut());
        track.animation->setDuration(Turn(i) == Turn::user ? kUserMs : kAssistantMs);
        connect(track.animation, &QVariantAnimation::valueChanged, this, [this, i](const QVariant &value) {
            Track &t = m_tracks[i];
            const double p = value.toDouble();
            const Shown next{t.from.look, t.to.look, t.to.look == t.from.look ? 0 : p,
                             t.from.opacity + (t.to.opacity - t.from.opacity) * p};
            if (next == t.now)
                return;
            t.now = next;
            emit changed();
        });
        connect(track.animation, &QVariantAnimation::finished, this, [this, i] {
            Track &t = m_tracks[i];
            if (t.now == settled(t.target))
                return;
            t.now = settled(t.target);
            emit changed();
        });
    }
    connect(&background, &stage::BackgroundSettings::isEnabledChanged, this, &TurnFade::retarget);
    connect(&background, &stage::BackgroundSettings::overlayOpacityChanged, this, &TurnFade::retarget);
}

double TurnFade::targetOf(Turn turn) const
{
    const bool on = m_background.isEnabled();
    const double veil = m_background.overlayOpacity();
    return turn == Turn::live ? MessageChrome::liveBubbleVisibility(on, veil)
                              : MessageChrome::bubbleVisibility(on, veil);
}

void TurnFade::retarget()
{
    bool moved = false;
    for (size_t i = 0; i < m_tracks.size(); ++i) {
        Track &t = m_tracks[i];
        const double target = targetOf(Turn(i));
        if (target == t.target)
            continue;
        t.target = target;
        t.animation->stop();
        // From what is shown now, as one look.
        const double shownLook = t.now.blended();
        t.from = {shownLook, shownLook, 0, t.now.opacity};
        // Going: keep the look and fade it. Coming: the new look, fading in.
        // Staying: from the old look to the new one.
        t.to = target > kShownAbove ? Shown{target, target, 0, 1} : Shown{shownLook, shownLook, 0, 0};
        if (t.from.opacity <= 0)
            t.from.look = t.from.next = t.to.look;
        const int ms = glass::Motion::duration(m_styles, t.animation->duration());
        if (ms <= 0 || t.from == t.to) {
            t.now = settled(target);
            moved = true;
            continue;
        }
        t.animation->start();
    }
    if (moved)
        emit changed();
}

} // namespace chat
