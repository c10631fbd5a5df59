#include "platform/LogText.h"

QString loggableText(const QString &text, qsizetype limit) {
    const QString kept = text.left(limit);
    QString out;
    out.reserve(kept.size());
    for (const QChar c : kept) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\n' && u != u'\t') || u == 0x7f || (u >= 0x80 && u < 0xa0)) {
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    if (text.size() > limit) {
        out += QStringLiteral("… (%1 more characters)").arg(text.size() - limit);
    }
    return out;
}

QString withoutUserInfo(const QString &url) {
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    if (scheme < 0) {
        return url;
    }
    const qsizetype start = scheme + 3;
    qsizetype end = url.size();
    for (const QChar stop : {u'/', u'?', u'#'}) {
        const qsizetype at = url.indexOf(stop, start);
        if (at >= 0 && at < end) {
            end = at;
        }
    }
    const qsizetype at = url.lastIndexOf(u'@', end - 1);
    if (at < start) {
        return url;
    }
    return url.left(start) + QStringLiteral("***") + url.mid(at);
}
