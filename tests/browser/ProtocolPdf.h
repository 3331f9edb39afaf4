#pragma once

// Printed protocols read back (pdftotext -bbox), and the station program run as a command.

#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace Qt::Literals::StringLiterals;

// A word as pdftotext places it: its text and its box in points from the page's top-left.
struct Word {
    QString text;
    double xMin, yMin, xMax, yMax;
    bool operator==(const Word&) const = default;
};

// The words of a PDF; page (when asked for) receives the first page's size in points.
inline std::vector<Word> pdfWords(const QString& pdf, QSizeF* page = nullptr) {
    QProcess p;
    p.start(u"pdftotext"_s, {u"-bbox"_s, pdf, u"-"_s});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        ADD_FAILURE() << "pdftotext failed on " << pdf.toStdString() << ": "
                      << p.readAllStandardError().toStdString();
        return {};
    }
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    if (page) {
        static const QRegularExpression size(u"<page width=\"([\\d.]+)\" height=\"([\\d.]+)\">"_s);
        const QRegularExpressionMatch m = size.match(html);
        *page = m.hasMatch() ? QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()) : QSizeF();
    }
    static const QRegularExpression re(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    std::vector<Word> words;
    for (const QRegularExpressionMatch& m : re.globalMatch(html)) {
        QString text = m.captured(5);
        text.replace(u"&lt;"_s, u"<"_s).replace(u"&gt;"_s, u">"_s).replace(u"&quot;"_s, u"\""_s);
        text.replace(u"&amp;"_s, u"&"_s);
        words.push_back({text, m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                         m.captured(4).toDouble()});
    }
    return words;
}

// The printed lines top to bottom: words whose middles stand within a third of a word's height
// of each other, joined by blanks, left to right (a caption and its values differ in size).
inline QStringList pdfLines(const std::vector<Word>& words) {
    std::vector<const Word*> byHeight;
    for (const Word& w : words)
        byHeight.push_back(&w);
    auto middle = [](const Word* w) { return (w->yMin + w->yMax) / 2; };
    std::stable_sort(byHeight.begin(), byHeight.end(),
                     [&](const Word* a, const Word* b) { return middle(a) < middle(b); });
    std::vector<std::vector<const Word*>> rows;
    for (const Word* w : byHeight) {
        if (rows.empty() || middle(w) - middle(rows.back().front()) > (w->yMax - w->yMin) / 3)
            rows.emplace_back();
        rows.back().push_back(w);
    }
    QStringList lines;
    for (auto& row : rows) {
        std::sort(row.begin(), row.end(), [](const Word* a, const Word* b) { return a->xMin < b->xMin; });
        QStringList texts;
        for (const Word* w : row)
            texts << w->text;
        lines << texts.join(u' ');
    }
    return lines;
}

// The words of a text, in order.
inline std::vector<const Word*> wordsOf(const std::vector<Word>& words, const QString& text) {
    std::vector<const Word*> found;
    for (const Word& w : words)
        if (w.text == text)
            found.push_back(&w);
    return found;
}

// How a run of the station program ended.
struct ProgramRun {
    int exitCode;
    QString out, err;
};

// The station program, as an archive script would call it.
inline ProgramRun mirvane(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(MIRVANE_BINARY_DIR "/app/mirvane"), args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return {-1, {}, u"did not finish"_s};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}
