#include "windowlook.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

// The banner lives in the GUI library's resources; a static library needs them pulled in by name.
static void initBannerResource()
{
    Q_INIT_RESOURCE(banner);
}

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

} // namespace

void applyWindowLook(QWidget *window, const QSize &clientSize)
{
    registerFontSubstitutes();

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

    QFont font(QString::fromLatin1(FontFamily));
    font.setPointSize(9);
    window->setFont(font);
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

QIcon buttonGlyph(const QString &themeName, QStyle::StandardPixmap fallback)
{
    const QIcon themed = QIcon::fromTheme(themeName);
    if (!themed.isNull())
        return themed;
    return QApplication::style()->standardIcon(fallback);
}

QString bannerResource()
{
    static const bool loaded = [] {
        initBannerResource();
        return true;
    }();
    Q_UNUSED(loaded);
    return QStringLiteral(":/banner/banner.jpg");
}

} // namespace zt::gui
