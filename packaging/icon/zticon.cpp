// Paints the wizard's menu icon: a ledger (账) on the banner's blue, over a database drum.
// Usage: zticon <folder> <size>...  writes <folder>/<size>x<size>/apps/ztwizard.png for each size
// (the layout of the hicolor icon theme).
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <cstdlib>

namespace {

// Everything is drawn on a 256-unit square and scaled to the size asked for.
void paint(QPainter &p, int size)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);

    // The tile: the banner's gradient, a rounded square.
    QLinearGradient sky(0, 0, 0, 256);
    sky.setColorAt(0.0, QColor(22, 52, 112));
    sky.setColorAt(0.6, QColor(52, 98, 170));
    sky.setColorAt(1.0, QColor(120, 156, 212));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);

    // A database drum at the lower right, behind the ledger's corner.
    const QColor gold(236, 184, 64);
    const QColor goldDark(182, 128, 28);
    const QRectF drum(128, 132, 100, 96);
    const double lid = 24;
    p.setBrush(goldDark);
    p.drawRect(QRectF(drum.left(), drum.top() + lid / 2, drum.width(), drum.height() - lid));
    p.drawEllipse(QRectF(drum.left(), drum.bottom() - lid, drum.width(), lid));
    p.setBrush(gold);
    for (int band = 0; band < 2; ++band) {
        const double y = drum.top() + lid / 2 + band * 34 + 4;
        p.drawRect(QRectF(drum.left(), y, drum.width(), 22));
        p.drawEllipse(QRectF(drum.left(), y + 22 - lid / 2, drum.width(), lid));
    }
    p.setBrush(QColor(250, 216, 120));
    p.drawEllipse(QRectF(drum.left(), drum.top(), drum.width(), lid));

    // The ledger: a white page with a red spine and ruled lines.
    const QRectF page(40, 36, 128, 164);
    p.setBrush(QColor(12, 30, 70, 90));
    p.drawRoundedRect(page.translated(6, 8), 10, 10);
    p.setBrush(QColor(252, 252, 248));
    p.drawRoundedRect(page, 10, 10);
    p.setBrush(QColor(200, 52, 44));
    QPainterPath spine;
    spine.addRoundedRect(QRectF(page.left(), page.top(), 22, page.height()), 10, 10);
    p.drawPath(spine);
    p.setPen(QPen(QColor(52, 98, 170), size < 32 ? 10 : 7, Qt::SolidLine, Qt::RoundCap));
    const int lines = size < 32 ? 3 : 5;
    const double gap = (page.height() - 60) / (lines - 1);
    for (int i = 0; i < lines; ++i) {
        const double y = page.top() + 30 + i * gap;
        const double right = i == lines - 1 ? page.right() - 56 : page.right() - 18;
        p.drawLine(QPointF(page.left() + 38, y), QPointF(right, y));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: zticon <folder> <size>...\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 8 || size > 1024) {
            std::fprintf(stderr, "zticon: bad size %s\n", argv[i]);
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        paint(painter, size);
        painter.end();
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        if (!QDir().mkpath(dir) || !image.save(dir + QStringLiteral("/ztwizard.png"), "PNG")) {
            std::fprintf(stderr, "zticon: cannot write into %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
