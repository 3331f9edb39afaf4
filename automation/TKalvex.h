#pragma once

#include <QVariant>

class KalvexHost;

// The members of the automation object. Each call works on the host's state; a failure
// throws AutomationError and leaves the rest of the member undone.
class TKalvex {
public:
    explicit TKalvex(KalvexHost& host) : host_(host) {}

    bool Visible() const;
    void setVisible(bool value);
    int CurrentPage() const;
    void setCurrentPage(int) {} // accepted and ignored
    int PageStatus() const;
    void setPageStatus(int) {} // accepted and ignored
    QVariant RequestTag(const QVariant& ATag);
    int GetTagAsWord(const QVariant& ATag);
    bool Connect() const;

    // A tag argument as text: text as it is, an integer as its decimal digits.
    static QString tagText(const QVariant& ATag);

private:
    KalvexHost& host_;
};
