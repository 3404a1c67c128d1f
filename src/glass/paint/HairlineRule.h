#pragma once

#include <QWidget>

#include <functional>

namespace glass {

class StyleStore;
struct Styles;

// A 1-pixel line across its layout, in a tone taken from the styles at each
// paint (so it follows the skin). Presses go through to what lies below.
class HairlineRule : public QWidget {
    Q_OBJECT
public:
    using Tone = std::function<QColor(const Styles &)>;

    HairlineRule(StyleStore &styles, Tone tone, QWidget *parent = nullptr);
    QSize sizeHint() const override { return {10, 1}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    StyleStore &m_styles;
    Tone m_tone;
};

} // namespace glass
