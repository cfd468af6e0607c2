#pragma once

#include "data/dataerror.h"

#include <exception>

namespace zt::gui {

void showStandardError(const QString &message);

template<typename F> void guarded(F &&body)
{
    try {
        body();
    } catch (const data::DataError &e) {
        showStandardError(e.message());
    } catch (const std::exception &e) {
        showStandardError(QString::fromUtf8(e.what()));
    }
}

} // namespace zt::gui
