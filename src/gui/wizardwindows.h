#pragma once

#include "accountset/form_xzzt.h"
#include "server/form_hjfw.h"
#include "server/form_server.h"

namespace zt::gui {

// The wizard's three windows, created once in their order (page 1, page 2, the lookup dialog)
// and wired to each other. Page 1 is the main window: the wizard ends when it closes.
class WizardWindows final
{
public:
    WizardWindows()
    {
        form_server.setAccountSetPage(&form_xzzt);
        form_server.setLookupDialog(&Form_HJFW);
        form_xzzt.setServerPage(&form_server);
    }
    Q_DISABLE_COPY_MOVE(WizardWindows)

    Tform_server form_server;
    Tform_xzzt form_xzzt;
    TForm_HJFW Form_HJFW;
};

} // namespace zt::gui
