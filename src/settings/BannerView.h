#pragma once

#include "settings/SettingsBanner.h"

#include <QWidget>

class QLabel;

namespace settings {

class SymbolView;
struct SettingsLook;

// The banner row: the kind's symbol and the text (selectable) on the
// kind's fill, in a rounded frame.
class BannerView : public QWidget {
    Q_OBJECT
public:
    explicit BannerView(QWidget *parent = nullptr);

    void setBanner(const Banner &banner, const SettingsLook &look);
    QString text() const;
    static QString symbolOf(Banner::Kind kind);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    SymbolView *m_symbol = nullptr;
    QLabel *m_text = nullptr;
    QColor m_fill, m_stroke;
};

} // namespace settings
