#include "qttranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace zt::text {

bool loadQtChineseTranslation()
{
    const QLocale chinese(QLocale::Chinese, QLocale::SimplifiedChineseScript, QLocale::China);
    QLocale::setDefault(chinese);
    // Owned by the application, which keeps it for its whole life.
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(
            QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace zt::text
