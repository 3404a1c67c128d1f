#include "window/AppStyle.h"

#include <QProxyStyle>
#include <QStyleFactory>

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

} // namespace window
