#include "AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace AnsiText {

QString decode(const QByteArray& bytes) {
    QStringDecoder dec("windows-1251", QStringDecoder::Flag::Stateless);
    return dec.decode(bytes);
}

QByteArray encode(const QString& text) {
    QStringEncoder enc("windows-1251", QStringEncoder::Flag::Stateless);
    QByteArray out = enc.encode(text);
    return out;
}

static bool isValidUtf8(const QByteArray& bytes) {
    QStringDecoder dec(QStringDecoder::Utf8);
    const QString text = dec.decode(bytes); // the decoding runs on conversion
    return !dec.hasError();
}

QString decodeFile(const QByteArray& bytes, Fallback fallback) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const bool le = bytes.startsWith("\xFF\xFE");
        QStringDecoder dec(le ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return dec.decode(bytes.mid(2));
    }
    if (fallback == Fallback::Utf8ThenAnsi && isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return decode(bytes);
}

} // namespace AnsiText
