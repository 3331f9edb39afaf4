#include "KalvexHost.h"

#include "RegisterImage.h"
#include "Settings.h"
#include "StandLink.h"

KalvexHost::KalvexHost(StandLink& l, RegisterImage& img, const Settings& settings, const Clock& clock)
    : link(l), image(img), settings_(settings), log_(settings, clock) {}

bool KalvexHost::debugMode() const {
    return settings_.fDebugOLE;
}

QString KalvexHost::PageRequest(const QString& ATag) {
    const int t = image.findTag(ATag);
    if (t == 0)
        return QString();
    // The poll cycle sends the read at its next idle turn; the page status changes then.
    link.CurrentPage = image.tag(t).Page;
    link.fRequest = true;
    return image.tag(t).Name;
}

uint16_t KalvexHost::GetValueByTagAsWord(const QString& ATag) {
    const int t = image.findTag(ATag);
    if (t == 0)
        return 0;
    const TTag& tag = image.tag(t);
    const uint16_t value = image.word(tag.Page, tag.Address);
    if (!debugMode())
        return value;
    WriteOleLog(QStringLiteral("Реальное значение :%1 Возвращаем:%2").arg(value).arg(tag.DebugValue));
    return tag.DebugValue;
}
