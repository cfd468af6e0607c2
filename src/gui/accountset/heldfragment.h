#pragma once

#include <QLineEdit>
#include <QPointer>

namespace zt::gui {

// The hidden field "server" as an operation's login fragment: the operation reads and updates
// the text, and the field receives the fragment last read when the operation ends, however it
// ends.
class HeldFragment final
{
public:
    explicit HeldFragment(QLineEdit *field)
        : m_field(field)
        , m_text(field->text())
    { }
    ~HeldFragment()
    {
        if (m_field)
            m_field->setText(m_text);
    }
    HeldFragment(const HeldFragment &) = delete;
    HeldFragment &operator=(const HeldFragment &) = delete;

    QString &text() { return m_text; }

private:
    QPointer<QLineEdit> m_field;
    QString m_text;
};

} // namespace zt::gui
