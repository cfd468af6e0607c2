#include "passwordstars.h"

#include <QLineEdit>
#include <QProxyStyle>

namespace zt::gui {

namespace {

// The application's style in every respect but the password mask, which is '*', shown at once.
class StarMaskStyle final : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
        QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return u'*';
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

void showPasswordAsStars(QLineEdit *field)
{
    // The style belongs to the field and goes with it.
    auto *style = new StarMaskStyle();
    style->setParent(field);
    field->setStyle(style);
    field->setEchoMode(QLineEdit::Password);
}

} // namespace zt::gui
