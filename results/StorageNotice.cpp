#include "StorageNotice.h"

QString StorageNotice::failureTitle() {
    return QStringLiteral("Ошибка записи в базу данных");
}

StorageNotice::Told StorageNotice::update(const TestStorage::Status& s) {
    Told t;
    if (s.waiting == 0) {
        inOutage_ = false;
        return t;
    }
    if (s.failing || s.oldestWaitingMs >= MarkAfterMs)
        t.mark = QStringLiteral("Ожидают записи в базу данных: %1").arg(s.waiting);
    if (s.failing && !inOutage_) {
        inOutage_ = true;
        t.message = QStringLiteral("Испытание № %1 не сохранено в базе данных.\n%2\n\n"
                                   "Испытания хранятся на станции и будут записаны в базу данных "
                                   "автоматически, когда она станет доступна.")
                        .arg(s.orderNumber)
                        .arg(s.reason);
    }
    return t;
}
