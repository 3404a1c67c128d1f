#include "window/DeferredIcon.h"

#include <QIconEngine>
#include <QPainter>

#include <memory>
#include <optional>

namespace window {

namespace {

class DeferredIconEngine : public QIconEngine {
public:
    explicit DeferredIconEngine(std::function<QIcon()> make)
        : m_made(std::make_shared<Made>(Made{std::move(make), std::nullopt}))
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return icon().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return icon().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return icon().availableSizes(mode, state);
    }
    QString key() const override { return QStringLiteral("moonshelf-deferred"); }
    // Copies share what is made, so it is made once for all of them.
    QIconEngine *clone() const override { return new DeferredIconEngine(*this); }
    bool isNull() override { return false; }

private:
    struct Made {
        std::function<QIcon()> make;
        std::optional<QIcon> icon;
    };

    const QIcon &icon()
    {
        if (!m_made->icon) {
            m_made->icon = m_made->make ? m_made->make() : QIcon();
            m_made->make = nullptr;
        }
        return *m_made->icon;
    }

    std::shared_ptr<Made> m_made;
};

} // namespace

QIcon deferredIcon(std::function<QIcon()> make)
{
    return QIcon(new DeferredIconEngine(std::move(make)));
}

} // namespace window
