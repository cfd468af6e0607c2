#include "notifier.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>

namespace zt::gui {

namespace {
Notifier *g_notifier = nullptr;

QWidget *owner()
{
    return QApplication::activeWindow();
}

// A box is as wide as its text, and a window manager cuts a caption longer than that ("从备… 套"
// over "账套恢复成功！"). Qt leaves room for the caption in the application's 9-point font with 50
// pixels for the rest of the title bar; a title bar's font is larger and bolder, and its icon and
// buttons take more. The box is made wide enough for that.
void keepRoomForCaption(QMessageBox &box, const QString &caption)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    QFont title = box.font();
    title.setBold(true);
    if (title.pointSizeF() > 0)
        title.setPointSizeF(title.pointSizeF() * 1.4);
    else
        title.setPixelSize(title.pixelSize() * 7 / 5);
    const int width = QFontMetrics(title).horizontalAdvance(caption) + 160;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
        grid->columnCount());
}

// Shows a message box whose buttons read as on a Chinese system, whatever translations Qt finds.
QMessageBox::StandardButton show(QMessageBox::Icon icon, const QString &caption, const QString &text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
{
    QMessageBox box(icon, caption, text, buttons, owner());
    keepRoomForCaption(box, caption);
    static const std::pair<QMessageBox::StandardButton, const char16_t *> names[] = {
        { QMessageBox::Ok, u"确定" },
        { QMessageBox::Cancel, u"取消" },
        { QMessageBox::Yes, u"是(&Y)" },
        { QMessageBox::No, u"否(&N)" },
    };
    for (const auto &[button, name] : names) {
        if (QAbstractButton *b = box.button(button))
            b->setText(QString::fromUtf16(name));
    }
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    box.exec();
    return box.standardButton(box.clickedButton());
}
} // namespace

QString applicationTitle()
{
    return QStringLiteral("创建帐套");
}

void MessageBoxNotifier::information(const QString &text, const QString &caption)
{
    show(QMessageBox::Information, caption, text, QMessageBox::Ok);
}

bool MessageBoxNotifier::question(const QString &text, const QString &caption)
{
    return show(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok)
        == QMessageBox::Ok;
}

void MessageBoxNotifier::error(const QString &text, const QString &caption)
{
    show(QMessageBox::Critical, caption, text, QMessageBox::Ok);
}

bool MessageBoxNotifier::confirm(const QString &text)
{
    return show(QMessageBox::Question, QStringLiteral("确认"), text, QMessageBox::Yes | QMessageBox::No,
               QMessageBox::Yes)
        == QMessageBox::Yes;
}

bool MessageBoxNotifier::warn(const QString &text, const QString &caption)
{
    return show(QMessageBox::Warning, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
               QMessageBox::Cancel)
        == QMessageBox::Ok;
}

QString MessageBoxNotifier::askText(const QString &text, const QString &caption)
{
    QInputDialog dialog(owner());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(text);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setOkButtonText(QStringLiteral("确定"));
    dialog.setCancelButtonText(QStringLiteral("取消"));
    // The text is long: wrapped at the width of a message box, not one line across the screen.
    if (auto *label = dialog.findChild<QLabel *>()) {
        label->setWordWrap(true);
        label->setMinimumWidth(label->fontMetrics().averageCharWidth() * 90);
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue();
}

bool MessageBoxNotifier::ask(const QString &text, const QString &caption)
{
    return show(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

void MessageBoxNotifier::plain(const QString &text)
{
    show(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok);
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
