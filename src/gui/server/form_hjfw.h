#pragma once

#include <QWidget>

#include <memory>

class QComboBox;

namespace Ui {
class Form_HJFW;
}

namespace zt::gui {

// The host-name lookup dialog "获取服务器": turns an IP address, or the local computer, into a
// server name for page 1's server box.
class TForm_HJFW : public QWidget
{
    Q_OBJECT

public:
    explicit TForm_HJFW(QWidget *parent = nullptr);
    ~TForm_HJFW() override;
    Q_DISABLE_COPY_MOVE(TForm_HJFW)

    // The box that "确定&S" fills.
    void setServerBox(QComboBox *box) { m_serverBox = box; }

    // Page 1's button: titles the dialog "获取服务器" and shows it without blocking page 1;
    // when it is open already it is only brought to the front, its fields untouched.
    void showOrRaise();

    // "无效的IP地址或此IP地址的主机不存在。..." shown when "获取&H" finds no host name.
    static QString lookupFailureText();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void centreOnScreen();

    std::unique_ptr<Ui::Form_HJFW> m_ui;
    QComboBox *m_serverBox = nullptr;
};

} // namespace zt::gui
