#include "TKalvex.h"

#include "AutomationError.h"
#include "KalvexHost.h"
#include "StandLink.h"

QString TKalvex::tagText(const QVariant& ATag) {
    switch (ATag.metaType().id()) {
    case QMetaType::QString:
        return ATag.toString();
    // A byte is a small number here (D-Bus 'y'), not a character.
    case QMetaType::Char:
    case QMetaType::SChar:
        return QString::number(ATag.toLongLong());
    case QMetaType::UChar:
        return QString::number(ATag.toULongLong());
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return ATag.toString();
    default:
        throw AutomationError(QStringLiteral("Имя тега должно быть текстом или целым числом, получено: %1")
                                  .arg(QString::fromLatin1(ATag.typeName() ? ATag.typeName() : "пусто")));
    }
}

bool TKalvex::Visible() const {
    return host_.isWindowVisible && host_.isWindowVisible();
}

void TKalvex::setVisible(bool value) {
    if (host_.setWindowVisible)
        host_.setWindowVisible(value);
}

int TKalvex::CurrentPage() const {
    return host_.link.CurrentPage;
}

int TKalvex::PageStatus() const {
    return host_.debugMode() ? 1 : host_.link.PageStatus;
}

bool TKalvex::Connect() const {
    return host_.link.fConnect;
}

QVariant TKalvex::RequestTag(const QVariant& ATag) {
    const QString tag = tagText(ATag);
    host_.WriteOleLog(QStringLiteral("[RequestTag]") + tag);
    return QVariant(host_.PageRequest(tag));
}

int TKalvex::GetTagAsWord(const QVariant& ATag) {
    const QString tag = tagText(ATag);
    host_.WriteOleLog(QStringLiteral("[GetValueByGatAsWord]") + tag);
    return static_cast<int>(host_.GetValueByTagAsWord(tag));
}
