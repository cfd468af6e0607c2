#pragma once

namespace zt::text {

// Qt's own texts (context menus, file dialogs, message-box buttons, the command line's headings
// and errors) in Simplified Chinese, whatever the user's locale: loads Qt's translation
// qtbase_zh_CN from Qt's translations folder (Debian: qt6-translations-l10n) into the running
// application and makes Chinese (China) the default locale. Call once, after the application
// object exists. Answers whether the translation was found; without it Qt's texts stay English.
bool loadQtChineseTranslation();

} // namespace zt::text
