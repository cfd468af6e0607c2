#include "form_hjfw.h"

namespace zt::gui {

TForm_HJFW::TForm_HJFW(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form_HJFW"));
}

TForm_HJFW::~TForm_HJFW() = default;

} // namespace zt::gui
