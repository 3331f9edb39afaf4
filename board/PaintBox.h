#pragma once

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

// A paint box: an opaque widget whose picture is drawn afresh into an off-screen image of
// its size and copied to the screen in one operation, so repaints never flicker. The image
// has the screen's device pixel ratio: a painter draws in the box's own (device-independent)
// pixels, and on a high-density screen every pixel of the picture is drawn, not scaled up.
class PaintBox : public QWidget {
    Q_OBJECT
public:
    using Painter = std::function<void(QImage&)>;

    explicit PaintBox(const QString& name, QWidget* parent = nullptr);

    // The size of an image in the box's pixels, whatever its device pixel ratio.
    static QSize logicalSize(const QImage& img) { return img.deviceIndependentSize().toSize(); }

    // p draws into a black image of the box's size.
    void setPainter(Painter p) {
        painter_ = [p = std::move(p)](QImage& img) {
            img.fill(Qt::black);
            p(img);
        };
    }
    // A picture that is a function of an input alone: read() gives the input, draw(img, input)
    // draws it into a black image of the box's size. A picture whose input and size are those
    // of the last one is not drawn again: the board repaints on every reply, and most replies
    // change only one box or none.
    template <typename Read, typename Draw> void setPainter(Read read, Draw draw) {
        using Input = std::invoke_result_t<Read>;
        auto last = std::make_shared<std::pair<std::optional<Input>, QImage>>();
        painter_ = [last, read = std::move(read), draw = std::move(draw)](QImage& img) {
            Input in = read();
            if (last->first == in && last->second.size() == img.size() &&
                last->second.devicePixelRatio() == img.devicePixelRatio()) {
                img = last->second; // shares the pixels; nothing is copied
                return;
            }
            img.fill(Qt::black);
            draw(img, in);
            *last = {std::move(in), img};
        };
    }
    // Draws the current picture into an image of the box's size at the screen's device pixel
    // ratio (what a repaint shows).
    QImage render() const;
    // Repaints at once. A picture that is the very one this box last copied to the window is
    // not copied again: the window still holds it (the board repaints 50 times a second, and
    // copying unchanged pictures was most of the station's work).
    void repaintNow();

protected:
    void paintEvent(QPaintEvent*) override;
    bool event(QEvent* e) override;

private:
    // Given an image of the box's size, uninitialised, leaves the picture in it.
    Painter painter_;
    bool ownRepaint_ = false;
    // The picture the window holds for this box; 0 once it may hold anything else.
    qint64 shownKey_ = 0;
};
