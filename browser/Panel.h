#pragma once

#include <QFrame>

// A plain panel of the record view. The print routine places a label by adding the position
// of its parent panel, so panels are told apart from other containers by this class.
class Panel : public QFrame {
    Q_OBJECT
public:
    explicit Panel(QWidget* parent = nullptr);
};
