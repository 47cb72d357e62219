#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <vector>

// One thumbnail box of the view. Boxes are not widgets: the canvas draws them and finds them
// under the mouse, which keeps a folder of thousands of pictures cheap.
struct ImgPreview
{
    int Index = 0;
    int Left = 0;
    int Top = 0;
    int Width = 100;
    int Height = 100;
    bool Visible = false;
    QString ToolTipText;   // folder path + file name, as text
    QByteArray nativePath; // the same path as the file system knows it
    QImage image;          // what was drawn into the box; null until something was
    bool Loaded = false;   // its picture has been loaded in this build

    QRect rect() const { return QRect(Left, Top, Width, Height); }
};

// The canvas that carries the thumbnail boxes: a control array whose element 0 is the hidden
// template the others are created from.
class ThumbCanvas : public QWidget
{
    Q_OBJECT
public:
    explicit ThumbCanvas(QWidget* parent = nullptr);

    // Number of elements, the template included.
    int count() const { return static_cast<int>(m_elements.size()); }
    ImgPreview& element(int index) { return m_elements.at(static_cast<size_t>(index)); }
    const ImgPreview& element(int index) const { return m_elements.at(static_cast<size_t>(index)); }

    // Creates the next element as a copy of the template and returns its index.
    int load();
    // Removes every element but the template.
    void unloadAll();
    void reserve(int n) { m_elements.reserve(static_cast<size_t>(n)); }

    void Move(int index, int left, int top, int width, int height);
    // Repaints one element.
    void Refresh(int index);
    // The top-most visible element at a point of the canvas, or 0 when there is none.
    int elementAt(const QPoint& point) const;

    // The persistent image of an element, created on first use in the box's colour and size, in
    // device pixels at the boxes' pixel ratio (which the image carries).
    QImage& persistentImage(int index);
    // The device pixels per pixel of the box images made from now on: the screen's, so that
    // thumbnails are as sharp as it can show them.
    void setBoxPixelRatio(qreal ratio) { m_boxRatio = ratio; }
    qreal boxPixelRatio() const { return m_boxRatio; }

    QColor BackColor() const { return m_elementColor; }

signals:
    // Every element but the template is gone; indexes handed out before mean nothing now.
    void elementsUnloaded();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::vector<ImgPreview> m_elements;
    QColor m_canvasColor;
    QColor m_elementColor;
    QColor m_frameColor;
    qreal m_boxRatio = 1;
};
