#pragma once

#include <QProxyStyle>

// The tab bar of the main window carries ten captions in a fixed width. This style keeps
// the look of the application's style and only trims the space around each caption.
class Compact_Tab_Style : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override {
        constexpr int caption_space = 12;
        if (metric == PM_TabBarTabHSpace) {
            return caption_space;
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};
