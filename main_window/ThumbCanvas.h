#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <unordered_map>
#include <vector>

namespace ordering {
class Selection;
}

// One thumbnail box of the view: the box of one picture of the folder shown. Boxes are not
// widgets: the canvas draws them and finds them under the mouse, which keeps a folder of thousands
// of pictures cheap. A box far from the view costs its geometry; its image lives in the canvas
// while it is near the view.
struct ImgPreview
{
    // What the box shows: before its picture is loaded a frame or a preview (in its image, while
    // it has one), then the picture or a cross.
    enum class Shows : quint8 { Frame, Preview, Picture, Cross };

    int Index = 0; // the picture's id
    int Left = 0;
    int Top = 0;
    int Width = 100;
    int Height = 100;
    bool Visible = false;
    bool Loaded = false;      // its picture has been loaded in this build
    Shows shows = Shows::Frame;

    QRect rect() const { return QRect(Left, Top, Width, Height); }
};

// The canvas that carries the thumbnail boxes, keyed by the ids of the pictures (1 to count()).
class ThumbCanvas : public QWidget
{
    Q_OBJECT
public:
    explicit ThumbCanvas(QWidget* parent = nullptr);

    int count() const { return static_cast<int>(m_elements.size()); }
    bool contains(int index) const { return index > 0 && index <= count(); }
    ImgPreview& element(int index) { return m_elements.at(static_cast<size_t>(index - 1)); }
    const ImgPreview& element(int index) const { return m_elements.at(static_cast<size_t>(index - 1)); }

    // Creates the box of the next picture, hidden in the corner, and returns its id.
    int load();
    // Removes every box, with its image.
    void unloadAll();

    void Move(int index, int left, int top, int width, int height);
    // Repaints one element.
    void Refresh(int index);
    // The top-most visible element at a point of the canvas, or 0 when there is none.
    int elementAt(const QPoint& point) const;

    // Every box keeps this many pixels on each side for the marks of a picked photo and of the
    // keyboard's focus, so that they never cover the picture: its image is that much smaller
    // than the box, and drawn in its middle.
    static constexpr int kMarkMargin = 4;
    // The size of the image of a box of width x height, in device pixels.
    QSize imagePixels(int width, int height) const;

    // A new image for an element, in the box's colour and the size of its image, in device pixels
    // at the boxes' pixel ratio (which the image carries), in place of the one it had.
    QImage& newBoxImage(int index);
    bool hasBoxImage(int index) const { return m_images.contains(index); }
    void dropBoxImage(int index);
    // Gives up the images of the elements for which `keep` says no.
    template <typename Keep>
    void dropBoxImagesUnless(Keep keep)
    {
        std::erase_if(m_images, [&](const auto& entry) { return !keep(element(entry.first)); });
    }
    int boxImageCount() const { return static_cast<int>(m_images.size()); }
    // What a box shows, as drawn: its image, the cross of an unreadable file, or nothing (an
    // empty frame).
    QImage shownImage(int index) const;

    // The device pixels per pixel of the box images made from now on: the screen's, so that
    // thumbnails are as sharp as it can show them.
    void setBoxPixelRatio(qreal ratio) { m_boxRatio = ratio; }
    qreal boxPixelRatio() const { return m_boxRatio; }

    QColor BackColor() const { return m_elementColor; }

    // What hovering a box shows (its file, as plain text ready to show), by id.
    void setToolTips(std::function<QString(int)> text) { m_toolTip = std::move(text); }
    // A short word a box carries in its top left corner, clear of the picture's centre, by id;
    // empty for none.
    void setMarks(std::function<QString(int)> mark) { m_mark = std::move(mark); }
    // The thumbnails to mark as selected, and whether the focus is to be shown. The marks lie on
    // top of the boxes and never become part of their images.
    void setSelection(const ordering::Selection* selection) { m_selection = selection; }
    void setFocusShown(bool shown);
    QColor selectionColor() const { return m_selectionColor; }

signals:
    // Every box is gone; ids handed out before mean nothing now.
    void elementsUnloaded();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QSize boxPixels(const ImgPreview& e) const;
    QImage blankBox(const ImgPreview& e) const;
    const QImage& crossFor(const ImgPreview& e) const;
    void drawMarks(QPainter& p, const ImgPreview& e) const;
    void drawCompanionMark(QPainter& p, const ImgPreview& e) const;

    std::vector<ImgPreview> m_elements;
    std::unordered_map<int, QImage> m_images;
    // All boxes of a view have one size, so one cross serves every unreadable file.
    mutable QImage m_cross;
    QColor m_canvasColor;
    QColor m_elementColor;
    QColor m_frameColor;
    QColor m_selectionColor;
    qreal m_boxRatio = 1;
    const ordering::Selection* m_selection = nullptr;
    bool m_focusShown = false;
    std::function<QString(int)> m_toolTip;
    std::function<QString(int)> m_mark;
};
