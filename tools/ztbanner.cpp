// Draws the banner picture shown at the left of the wizard's pages: a calm blue gradient with the
// wizard's title written top to bottom. Usage: ztbanner <output.png>
// A PNG, because Qt reads it without an image-format plugin: the wizard's start-up loads none.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: ztbanner <output.png>\n");
        return 2;
    }
    QGuiApplication app(argc, argv);

    constexpr int Width = 123;
    constexpr int Height = 274;
    QImage image(Width, Height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient sky(0, 0, 0, Height);
    sky.setColorAt(0.0, QColor(22, 52, 112));
    sky.setColorAt(0.55, QColor(52, 98, 170));
    sky.setColorAt(1.0, QColor(150, 178, 222));
    painter.fillRect(image.rect(), sky);

    // A soft light in the upper corner and a few thin arcs, like ledger lines seen at an angle.
    QRadialGradient glow(QPointF(Width * 0.85, Height * 0.12), Width * 0.9);
    glow.setColorAt(0.0, QColor(255, 255, 255, 70));
    glow.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.fillRect(image.rect(), glow);
    painter.setPen(QPen(QColor(255, 255, 255, 40), 1.2));
    for (int i = 0; i < 6; ++i) {
        QPainterPath arc;
        const double y = Height * 0.62 + i * 14;
        arc.moveTo(-10, y + 30);
        arc.quadTo(Width * 0.5, y - 18, Width + 10, y + 12);
        painter.drawPath(arc);
    }

    // The title, one character under the other.
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(28);
    font.setBold(true);
    painter.setFont(font);
    const QString title = QStringLiteral("创建帐套");
    const int step = 38;
    const int top = 34;
    for (qsizetype i = 0; i < title.size(); ++i) {
        const QRect cell(0, top + int(i) * step, Width, step);
        painter.setPen(QColor(8, 24, 60, 150));
        painter.drawText(cell.translated(2, 2), Qt::AlignCenter, title.mid(i, 1));
        painter.setPen(QColor(250, 252, 255));
        painter.drawText(cell, Qt::AlignCenter, title.mid(i, 1));
    }

    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(11);
    small.setBold(true);
    painter.setFont(small);
    painter.setPen(QColor(230, 238, 250, 220));
    painter.drawText(QRect(0, top + 4 * step + 8, Width, 16), Qt::AlignCenter, QStringLiteral("MS SQL"));
    painter.end();

    if (!image.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "ztbanner: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
