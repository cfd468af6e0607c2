#pragma once

#include "accountset/form_xzzt.h"
#include "server/form_hjfw.h"
#include "server/form_server.h"

#include <memory>

namespace zt::gui {

// The wizard's three windows, wired to each other. Page 1 is the main window: the wizard ends
// when it closes. Page 2 and the lookup dialog are made on first use: the application asks for
// them once page 1 is painted (makeOtherWindowsOncePainted), so that page 1 is up sooner, and
// page 1 asks for them itself when a handler needs them before then.
class WizardWindows final
{
public:
    WizardWindows()
    {
        form_server.setOtherWindowsMaker([this] { makeOtherWindows(); });
    }
    Q_DISABLE_COPY_MOVE(WizardWindows)

    Tform_server form_server;

    Tform_xzzt &form_xzzt()
    {
        makeOtherWindows();
        return *m_accountSetPage;
    }
    TForm_HJFW &Form_HJFW()
    {
        makeOtherWindows();
        return *m_lookupDialog;
    }

    // Makes page 2 and the lookup dialog in their order and wires them; once only.
    void makeOtherWindows()
    {
        if (m_accountSetPage)
            return;
        m_accountSetPage = std::make_unique<Tform_xzzt>();
        m_lookupDialog = std::make_unique<TForm_HJFW>();
        form_server.setAccountSetPage(m_accountSetPage.get());
        form_server.setLookupDialog(m_lookupDialog.get());
        form_server.setOtherWindowsMaker({});
        m_accountSetPage->setServerPage(&form_server);
    }

    bool otherWindowsMade() const { return m_accountSetPage != nullptr; }

    // Makes the other windows in the first turn of the event loop after page 1's first paint.
    void makeOtherWindowsOncePainted();

private:
    // Declared after page 1, so destroyed before it.
    std::unique_ptr<Tform_xzzt> m_accountSetPage;
    std::unique_ptr<TForm_HJFW> m_lookupDialog;
};

} // namespace zt::gui
