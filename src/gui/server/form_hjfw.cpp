#include "form_hjfw.h"

#include "ui_form_hjfw.h"

#include "buttonkeys.h"
#include "discovery/reverselookup.h"
#include "notifier.h"
#include "windowlook.h"

#include <QComboBox>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>

namespace zt::gui {

TForm_HJFW::TForm_HJFW(QWidget *parent)
    : QWidget(parent,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_ui(std::make_unique<Ui::Form_HJFW>())
{
    m_ui->setupUi(this);
    setObjectName(QStringLiteral("Form_HJFW"));
    setFixedSize(265, 149);

    QPalette look = palette();
    look.setColor(QPalette::Window, QColor(188, 202, 228));
    setPalette(look);
    setAutoFillBackground(true);
    for (QLineEdit *field : { m_ui->Edit1, m_ui->Edit2 }) {
        QPalette fieldLook = field->palette();
        fieldLook.setColor(QPalette::Base, QColor(237, 241, 248));
        field->setPalette(fieldLook);
    }

    m_ui->BitBtn1->setIcon(buttonGlyph(QStringLiteral("computer"), QStyle::SP_ComputerIcon));
    m_ui->BitBtn2->setIcon(buttonGlyph(QStringLiteral("filecontents"), QStyle::SP_FileDialogContentsView));
    m_ui->BitBtn3->setIcon(buttonGlyph(QStringLiteral("standardbutton-ok"), QStyle::SP_DialogOkButton));
    m_ui->BitBtn4->setIcon(
        buttonGlyph(QStringLiteral("standardbutton-cancel"), QStyle::SP_DialogCancelButton));

    connect(m_ui->BitBtn1, &QPushButton::clicked, this, &TForm_HJFW::BitBtn1Click);
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, &TForm_HJFW::BitBtn2Click);
    connect(m_ui->BitBtn3, &QPushButton::clicked, this, &TForm_HJFW::BitBtn3Click);
    connect(m_ui->BitBtn4, &QPushButton::clicked, this, &TForm_HJFW::BitBtn4Click);
    pressFocusedButtonsOnEnter(this);
}

TForm_HJFW::~TForm_HJFW() = default;

QString TForm_HJFW::lookupFailureText()
{
    return QStringLiteral("无效的IP地址或此IP地址的主机不存在。请注意网络联接是否正常！\n"
                          "或者：直接在服务器名称处录入服务器的IP地址，然后点“确定”按钮。");
}

void TForm_HJFW::showOrRaise()
{
    setWindowTitle(QStringLiteral("获取服务器"));
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    show();
}

void TForm_HJFW::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A spontaneous show comes from the window system (restoring a minimised window), not from
    // the dialog being opened.
    if (!event->spontaneous()) {
        centreOnScreen();
        FormShow();
    }
}

void TForm_HJFW::centreOnScreen()
{
    if (const QScreen *where = screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(where->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TForm_HJFW::FormShow()
{
    m_ui->Edit1->clear();
    m_ui->Edit2->clear();
}

void TForm_HJFW::BitBtn1Click()
{
    m_ui->Edit2->setText(discovery::localHostName());
}

void TForm_HJFW::BitBtn2Click()
{
    QPushButton *button = m_ui->BitBtn2;
    button->setCursor(Qt::WaitCursor);
    m_ui->Edit2->clear();
    // The address text is taken as typed, untrimmed.
    const auto host = discovery::reverseLookup(m_ui->Edit1->text());
    button->unsetCursor();
    if (host) {
        m_ui->Edit2->setText(*host);
        return;
    }
    notifier().information(lookupFailureText(), QStringLiteral("提示"));
}

void TForm_HJFW::BitBtn3Click()
{
    if (m_serverBox)
        m_serverBox->setEditText(m_ui->Edit2->text());
    close();
}

void TForm_HJFW::BitBtn4Click()
{
    close();
}

} // namespace zt::gui
