#include "AnsiText.h"

#include <QHash>
#include <QStringDecoder>
#include <QStringEncoder>

namespace AnsiText {

QString decode(const QByteArray& bytes) {
    QStringDecoder dec("windows-1251", QStringDecoder::Flag::Stateless);
    return dec.decode(bytes);
}

QByteArray encode(const QString& text) {
    // The code page's own table, read backwards: the toolkit's encoder writes an ASCII
    // control character for what the code page lacks, which would end up in files unseen.
    static const QHash<char16_t, char> table = [] {
        QHash<char16_t, char> t;
        QByteArray all(256, '\0');
        for (int i = 0; i < 256; ++i)
            all[i] = static_cast<char>(i);
        const QString chars = decode(all);
        for (int i = 0; i < chars.size() && i < 256; ++i)
            if (chars[i] != QChar::ReplacementCharacter)
                t.insert(chars[i].unicode(), static_cast<char>(i));
        return t;
    }();
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text)
        out.append(table.value(c.unicode(), '?'));
    return out;
}

QString decodeFile(const QByteArray& bytes, Fallback fallback) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const bool le = bytes.startsWith("\xFF\xFE");
        QStringDecoder dec(le ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return dec.decode(bytes.mid(2));
    }
    if (fallback == Fallback::Utf8ThenAnsi) {
        // Decoded once: the text is kept when the bytes were valid UTF-8 throughout.
        QStringDecoder dec(QStringDecoder::Utf8);
        QString text = dec.decode(bytes);
        if (!dec.hasError())
            return text;
    }
    return decode(bytes);
}

} // namespace AnsiText
