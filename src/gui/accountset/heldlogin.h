#pragma once

#include "data/connectionstring.h"

#include <QLineEdit>
#include <QPointer>

namespace zt::gui {

// The page's held login for the length of one operation: the operation reads the server's login
// into it, and the hidden field "server" is written from it (the fragment's text) when the
// operation ends, however it ends. The field is only ever written; nothing reads a login back
// from it.
class HeldLogin final
{
public:
    HeldLogin(data::ServerLogin &held, QLineEdit *field)
        : m_held(held)
        , m_field(field)
    { }
    ~HeldLogin()
    {
        if (m_field)
            m_field->setText(m_held.fragment.text());
    }
    HeldLogin(const HeldLogin &) = delete;
    HeldLogin &operator=(const HeldLogin &) = delete;

    data::ServerLogin &login() { return m_held; }

private:
    data::ServerLogin &m_held;
    QPointer<QLineEdit> m_field;
};

} // namespace zt::gui
