#include "windowlook.h"

#include "passwordstars.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QImageReader>
#include <QPalette>
#include <QPixmap>
#include <QPixmapCache>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

// The banner lives in the GUI library's resources; a static library needs them pulled in by name.
static void initBannerResource()
{
    Q_INIT_RESOURCE(banner);
}

using namespace Qt::StringLiterals;

namespace zt::gui {

namespace {

constexpr auto FontFamily = "MS Sans Serif";

void registerFontSubstitutes()
{
    static const bool done = [] {
        // "MS Sans Serif" is not on a Linux desktop; its Chinese text needs a CJK font.
        QFont::insertSubstitutions(QString::fromLatin1(FontFamily),
            { QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                QStringLiteral("Noto Sans SC"), QStringLiteral("Droid Sans Fallback") });
        return true;
    }();
    Q_UNUSED(done);
}

// A PNG read by Qt's own reader. A reader left to find the format itself first loads every
// image-format plugin to ask each whether it reads PNG. Each picture is read once, as QPixmap's own
// loading does: pages 1 and 2 share the banner and several glyphs.
QPixmap pngPicture(const QString &path)
{
    QPixmap picture;
    if (QPixmapCache::find(path, &picture))
        return picture;
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    picture = QPixmap::fromImage(reader.read());
    if (!picture.isNull())
        QPixmapCache::insert(path, picture);
    return picture;
}

QFont windowFont()
{
    registerFontSubstitutes();
    QFont font(QString::fromLatin1(FontFamily));
    font.setPointSize(9);
    return font;
}

} // namespace

void useWindowFontThroughout()
{
    QApplication::setFont(windowFont());
}

void applyWindowLook(QWidget *window, const QSize &clientSize)
{
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    window->setFixedSize(clientSize);

    QPalette palette = window->palette();
    const QColor background(188, 202, 228);
    const QColor field(237, 241, 248);
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
        palette.setColor(group, QPalette::Window, background);
        palette.setColor(group, QPalette::Base, field);
    }
    window->setPalette(palette);
    window->setAutoFillBackground(true);

    window->setFont(windowFont());
}

void centreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    // move() places the frame; before the first show the frame is the client area itself.
    QRect target = window->frameGeometry();
    target.moveCenter(available.center());
    window->move(target.topLeft());
}

void applyDialogLook(QWidget *dialog, const QSize &clientSize, std::initializer_list<QLineEdit *> passwords,
    QPushButton *ok, QPushButton *cancel)
{
    applyWindowLook(dialog, clientSize);
    for (QLineEdit *field : passwords)
        showPasswordAsStars(field);
    ok->setIcon(buttonGlyph(QStringLiteral("standardbutton-apply"), QStyle::SP_DialogApplyButton));
    cancel->setIcon(buttonGlyph(QStringLiteral("standardbutton-cancel"), QStyle::SP_DialogCancelButton));
}

QIcon buttonGlyph(const QString &imageName, QStyle::StandardPixmap fallback)
{
    // The pictures Qt's own style draws its standard icons from. Taken directly, they spare the
    // start-up the desktop theme's lookup (its index files and every image-format plugin, about
    // 8 ms before page 1 can be shown), and the wizard's buttons look alike on every desktop.
    const QString stem = u":/qt-project.org/styles/commonstyle/images/"_s + imageName;
    QIcon glyph;
    for (const auto size : { "-16.png", "-32.png" }) {
        if (const QPixmap picture = pngPicture(stem + QLatin1StringView(size)); !picture.isNull())
            glyph.addPixmap(picture);
    }
    return glyph.isNull() ? QApplication::style()->standardIcon(fallback) : glyph;
}

QPixmap bannerPicture()
{
    static const bool loaded = [] {
        initBannerResource();
        return true;
    }();
    Q_UNUSED(loaded);
    return pngPicture(u":/banner/banner.png"_s);
}

} // namespace zt::gui
