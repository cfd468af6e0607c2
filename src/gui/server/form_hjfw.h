#pragma once

#include <QWidget>

class QComboBox;

namespace zt::gui {

// The host-name lookup dialog "获取服务器": turns an IP address, or the local computer, into a
// server name for page 1's server box.
class TForm_HJFW : public QWidget
{
    Q_OBJECT

public:
    explicit TForm_HJFW(QWidget *parent = nullptr);
    ~TForm_HJFW() override;

    // The box that "确定&S" fills.
    void setServerBox(QComboBox *box) { m_serverBox = box; }

private:
    QComboBox *m_serverBox = nullptr;
};

} // namespace zt::gui
