#include "unicodetext.h"

namespace zt::data {

InlinedStatement inlineTextParameters(const QString &sql, const QList<QVariant> &params)
{
    InlinedStatement out;
    out.sql.reserve(sql.size() + 32);
    qsizetype marker = 0;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql.at(i);
        const QChar next = i + 1 < n ? sql.at(i + 1) : QChar();
        // Spans that may hold a '?' of their own are copied whole.
        QChar close;
        if (c == u'\'' || c == u'"')
            close = c;
        else if (c == u'[')
            close = u']';
        if (!close.isNull()) {
            qsizetype end = i + 1;
            for (; end < n; ++end) {
                if (sql.at(end) == close) {
                    if (end + 1 < n && sql.at(end + 1) == close) {
                        ++end; // a doubled closing character stays inside
                        continue;
                    }
                    break;
                }
            }
            out.sql += QStringView(sql).mid(i, std::min(end, n - 1) - i + 1);
            i = end;
            continue;
        }
        if ((c == u'-' && next == u'-') || (c == u'/' && next == u'*')) {
            const bool line = c == u'-';
            qsizetype end = line ? sql.indexOf(u'\n', i) : sql.indexOf(QStringLiteral("*/"), i + 2);
            end = end < 0 ? n - 1 : (line ? end : end + 1);
            out.sql += QStringView(sql).mid(i, end - i + 1);
            i = end;
            continue;
        }
        if (c != u'?') {
            out.sql += c;
            continue;
        }
        const QVariant value = marker < params.size() ? params.at(marker) : QVariant();
        if (marker < params.size() && value.metaType().id() == QMetaType::QString && !value.isNull()) {
            out.sql += nationalLiteral(value.toString());
        } else {
            out.sql += c;
            if (marker < params.size())
                out.params.append(value);
        }
        ++marker;
    }
    // Parameters beyond the markers stay, so the driver reports the mismatch as before.
    for (; marker < params.size(); ++marker)
        out.params.append(params.at(marker));
    return out;
}

} // namespace zt::data
