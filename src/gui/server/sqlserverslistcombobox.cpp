#include "sqlserverslistcombobox.h"

namespace zt::gui {

TSQLServersListComboBox::TSQLServersListComboBox(QWidget *parent)
    : QComboBox(parent)
{
    setEditable(true);
}

TSQLServersListComboBox::~TSQLServersListComboBox() = default;

void TSQLServersListComboBox::loaded()
{
    // The network search comes with the discovery work.
}

} // namespace zt::gui
