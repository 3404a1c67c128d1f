#pragma once

#include <QLabel>

class QVariantAnimation;

namespace chat {

// A one-line plain-text label whose new text cross-fades with the old one:
// the old text fades out while the new one fades in. Without a duration the
// new text shows at once.
class CrossFadeLabel : public QLabel {
    Q_OBJECT
public:
    explicit CrossFadeLabel(QWidget *parent = nullptr);

    void setFadeDuration(int ms) { m_durationMs = ms; }
    void setTextFaded(const QString &text);
    bool isFading() const;
    QString fadingOutText() const { return m_old; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QVariantAnimation *m_fade = nullptr;
    QString m_old;
    double m_progress = 1;
    int m_durationMs = 0;
};

} // namespace chat
