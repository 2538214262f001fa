#include "ui/artwork.h"

#include "core/messages.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace pelantra {
namespace {

const QColor kDeepBlue(0x14, 0x4e, 0x8c);
const QColor kTeal(0x1c, 0x8c, 0x9c);
const QColor kAmber(0xf2, 0xb1, 0x34);

// The mark: a rounded shield-like tile with a stack of three discs (the data)
// and an arrow into a tray (the archive).
void DrawMark(QPainter& p, const QRectF& box)
{
    const qreal s = box.width();
    QLinearGradient tile(box.topLeft(), box.bottomRight());
    tile.setColorAt(0, kTeal);
    tile.setColorAt(1, kDeepBlue);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(box, s * 0.22, s * 0.22);

    const qreal cx = box.center().x();
    const qreal w = s * 0.50;
    const qreal h = s * 0.13;
    p.setBrush(QColor(255, 255, 255, 235));
    for (int i = 0; i < 3; ++i) {
        const QRectF disc(cx - w / 2, box.top() + s * (0.16 + i * 0.15), w, h);
        p.drawEllipse(disc);
    }
    // Arrow-tray in amber at the bottom.
    QPainterPath tray;
    const qreal top = box.top() + s * 0.66;
    tray.moveTo(cx - s * 0.30, top);
    tray.lineTo(cx - s * 0.30, top + s * 0.16);
    tray.lineTo(cx + s * 0.30, top + s * 0.16);
    tray.lineTo(cx + s * 0.30, top);
    QPen pen(kAmber, qMax<qreal>(1.5, s * 0.08), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(tray);
    // Downward arrow into the tray.
    p.drawLine(QPointF(cx, top - s * 0.05), QPointF(cx, top + s * 0.08));
    QPainterPath head;
    head.moveTo(cx - s * 0.08, top + s * 0.01);
    head.lineTo(cx, top + s * 0.09);
    head.lineTo(cx + s * 0.08, top + s * 0.01);
    p.drawPath(head);
    p.setPen(Qt::NoPen);
}

} // namespace

QImage BannerImage(int width)
{
    const qreal scale = static_cast<qreal>(width) / kBannerWidth;
    QImage image(width, qRound(kBannerHeight * scale), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(scale, scale);

    // Band with soft rounded corners, deep blue to teal.
    const QRectF band(0.5, 0.5, kBannerWidth - 1.0, kBannerHeight - 1.0);
    QLinearGradient fill(band.topLeft(), band.topRight());
    fill.setColorAt(0, kDeepBlue);
    fill.setColorAt(1, kTeal);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(band, 8, 8);

    // A few light arcs on the right for texture.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(QColor(255, 255, 255, 28 - i * 5), 2));
        p.drawEllipse(QPointF(kBannerWidth - 40, kBannerHeight / 2.0), 30.0 + i * 18, 30.0 + i * 18);
    }

    // Thin amber accent along the bottom.
    p.setPen(Qt::NoPen);
    p.setBrush(kAmber);
    p.drawRect(QRectF(60, kBannerHeight - 5, 150, 2));

    // The mark in a white circle on the left.
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawEllipse(QRectF(12, 6, 44, 44));
    DrawMark(p, QRectF(16, 10, 36, 36));

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setStyleHint(QFont::SansSerif);
    title.setPixelSize(24);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(66, 5, 300, 30), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(kProgramName));

    QFont subtitle(QStringLiteral("DejaVu Sans"));
    subtitle.setStyleHint(QFont::SansSerif);
    subtitle.setPixelSize(12);
    p.setFont(subtitle);
    p.setPen(QColor(255, 255, 255, 215));
    p.drawText(QRectF(67, 32, 320, 16), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Cadangan data sekolah"));
    p.end();
    return image;
}

QImage IconImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal margin = size / 16.0;
    DrawMark(p, QRectF(margin, margin, size - 2 * margin, size - 2 * margin));
    p.end();
    return image;
}

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(IconImage(size)));
    return icon;
}

} // namespace pelantra
