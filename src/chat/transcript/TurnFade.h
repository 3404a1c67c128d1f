#pragma once

#include <QObject>

#include <array>

class QVariantAnimation;

namespace glass {
class StyleStore;
}
namespace stage {
class BackgroundSettings;
}

namespace chat {

// How the turns' bubbles are shown while the stage's wallpaper or veil
// changes their visibility, ease-in-out over 0.28 s for the person's turns
// and 0.55 s for the assistant's and for the reply being written. A bubble
// that comes or goes keeps its look and fades; one that stays cross-fades
// from its old look to the new one. Either way each look's glass is drawn
// once and then copied at an opacity, never drawn again for every frame.
// Under reduced motion the new visibility shows at once.
class TurnFade : public QObject {
    Q_OBJECT
public:
    enum class Turn { user, assistant, live };
    // The bubble is drawn at look (a bubble visibility) with this opacity,
    // and the next look over it at mix of that opacity.
    struct Shown {
        double look = 0;
        double next = 0;
        double mix = 0;
        double opacity = 0;
        // One look, the two blended as the eye gets them.
        double blended() const { return look + (next - look) * mix; }
        friend bool operator==(const Shown &, const Shown &) = default;
    };
    static constexpr int kUserMs = 280;
    static constexpr int kAssistantMs = 550;

    TurnFade(glass::StyleStore &styles, stage::BackgroundSettings &background, QObject *parent = nullptr);

    Shown shown(Turn turn) const { return m_tracks[size_t(turn)].now; }
    // Settled at a visibility: its look, drawn whole, or nothing.
    static Shown settled(double visibility);

signals:
    void changed();

private:
    struct Track {
        QVariantAnimation *animation = nullptr;
        double target = 0;
        Shown from, to, now;
    };
    double targetOf(Turn turn) const;
    void retarget();

    glass::StyleStore &m_styles;
    stage::BackgroundSettings &m_background;
    std::array<Track, 3> m_tracks;
};

} // namespace chat
