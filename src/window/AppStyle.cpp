#include "window/AppStyle.h"
#include "window/DeferredIcon.h"

#include "glass/look/QirvTheme.h"
#include "glass/look/Styles.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QToolTip>

namespace window {

namespace {

class AppStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_ScrollBar_Transient)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option, const QWidget *widget) const override
    {
        // The menu bar takes its overflow arrow as it is built, long before
        // it has to show one (if ever): read from its file then, it would
        // hold up the first frame loading every image plugin.
        if ((icon == SP_ToolBarHorizontalExtensionButton || icon == SP_ToolBarVerticalExtensionButton) && !option) {
            const QPointer<const AppStyle> style(this);
            const QPointer<const QWidget> asking(widget);
            return deferredIcon([style, asking, icon, widget] {
                return style ? style->QProxyStyle::standardIcon(icon, nullptr, asking ? widget : nullptr) : QIcon();
            });
        }
        return QProxyStyle::standardIcon(icon, option, widget);
    }
};

} // namespace

QStyle *makeAppStyle()
{
    return new AppStyle(QStyleFactory::create(QStringLiteral("Fusion")));
}

void followSkinPalette(glass::StyleStore &styles)
{
    const auto apply = [&styles] {
        const QPalette palette = glass::QirvTheme::applicationPalette(styles.styles().skin);
        QApplication::setPalette(palette);
        // Tooltips keep a palette of their own, taken once.
        QToolTip::setPalette(palette);
    };
    apply();
    QObject::connect(&styles, &glass::StyleStore::changed, &styles, apply);
}

} // namespace window
