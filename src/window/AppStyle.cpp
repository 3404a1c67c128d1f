#include "window/AppStyle.h"

#include "glass/QirvTheme.h"
#include "glass/Styles.h"

#include <QApplication>
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
