#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

// A paint box: an opaque widget whose picture is drawn afresh into an off-screen image of
// its size and copied to the screen in one operation, so repaints never flicker.
class PaintBox : public QWidget {
    Q_OBJECT
public:
    using Painter = std::function<void(QImage&)>;

    explicit PaintBox(const QString& name, QWidget* parent = nullptr);

    void setPainter(Painter p) { painter_ = std::move(p); }
    // Draws the current picture into an image of the box's size (what a repaint shows).
    QImage render() const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    Painter painter_;
};
