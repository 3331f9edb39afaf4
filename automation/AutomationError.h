#pragma once

#include <QString>

#include <stdexcept>

// A failure inside an automation call: the call ends here and its client receives the text.
class AutomationError : public std::runtime_error {
public:
    explicit AutomationError(const QString& text) : std::runtime_error(text.toStdString()), text_(text) {}
    const QString& text() const { return text_; }

private:
    QString text_;
};
