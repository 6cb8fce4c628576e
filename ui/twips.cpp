// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/twips.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <cmath>

int twipsToPixels(int twips)
{
    qreal dpi = 96.0;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInch();
    return qRound(twips * dpi / 1440.0);
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(
        twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

void placeTwips(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsRect(left, top, width, height));
}

void fitCaptionToWidth(QWidget *control)
{
    QString caption;
    int room = control->width();
    if (auto *label = qobject_cast<QLabel *>(control)) {
        caption = label->text();
        room = label->contentsRect().width() - 2 * qMax(label->margin(), 0);
        if (!label->buddy())
            caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    } else if (auto *button = qobject_cast<QAbstractButton *>(control)) {
        caption = button->text();
        const QStyle *style = control->style();
        if (qobject_cast<QCheckBox *>(control)) {
            room -= style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, control);
            room -= style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, control);
            room -= 2; // the focus frame around the text
        } else if (qobject_cast<QRadioButton *>(control)) {
            room -= style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, control);
            room -= style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, control);
            room -= 2;
        } else {
            room -= 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, control) + 4;
        }
    }
    // "&S" shows as an underlined S; "&&" as one ampersand.
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == u'&' && i + 1 < caption.size())
            ++i;
        shown += caption[i];
    }
    if (shown.isEmpty() || room <= 0)
        return;

    QFont font = control->font();
    const qreal original = font.pointSizeF();
    if (original <= 0)
        return; // a pixel-sized font: left as it is
    const int width = QFontMetrics(font).horizontalAdvance(shown);
    if (width <= room)
        return;
    // Sizes go down in half points. The width grows about in step with the size, so start at
    // the step where the caption should just fit, then settle on the largest that does: each
    // size tried costs a font of its own.
    const auto advanceAt = [&](qreal size) {
        font.setPointSizeF(size);
        return QFontMetrics(font).horizontalAdvance(shown);
    };
    const int steps = int(std::ceil((original - original * room / width) / 0.5));
    qreal size = std::max(6.0, original - 0.5 * std::max(steps, 1));
    while (size > 6.0 && advanceAt(size) > room)
        size = std::max(6.0, size - 0.5);
    while (size + 0.5 < original && advanceAt(size + 0.5) <= room)
        size += 0.5;
    font.setPointSizeF(size);
    control->setFont(font);
}
