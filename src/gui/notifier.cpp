#include "notifier.h"

#include <QApplication>
#include <QMessageBox>

namespace zt::gui {

namespace {
Notifier *g_notifier = nullptr;

QWidget *owner()
{
    return QApplication::activeWindow();
}
} // namespace

QString applicationTitle()
{
    return QStringLiteral("创建帐套");
}

void MessageBoxNotifier::information(const QString &text, const QString &caption)
{
    QMessageBox::information(owner(), caption, text, QMessageBox::Ok);
}

bool MessageBoxNotifier::question(const QString &text, const QString &caption)
{
    return QMessageBox::question(
               owner(), caption, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok)
        == QMessageBox::Ok;
}

void MessageBoxNotifier::error(const QString &text, const QString &caption)
{
    QMessageBox::critical(owner(), caption, text, QMessageBox::Ok);
}

bool MessageBoxNotifier::confirm(const QString &text)
{
    return QMessageBox::question(
               owner(), QStringLiteral("确认"), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes)
        == QMessageBox::Yes;
}

bool MessageBoxNotifier::ask(const QString &text, const QString &caption)
{
    return QMessageBox::question(owner(), caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void MessageBoxNotifier::plain(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, owner());
    box.exec();
}

Notifier &notifier()
{
    static MessageBoxNotifier boxes;
    return g_notifier ? *g_notifier : boxes;
}

void setNotifier(Notifier *notifier)
{
    g_notifier = notifier;
}

void showStandardError(const QString &message)
{
    notifier().error(message, applicationTitle());
}

} // namespace zt::gui
