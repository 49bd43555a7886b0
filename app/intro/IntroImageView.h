#pragma once

#include <QWidget>

class QSvgRenderer;

namespace quillet {

/// A picture of the introduction, drawn from an SVG resource at the widget's size (sharp at
/// any scale). Dragging it moves the onboarding window, as dragging the background does.
class IntroImageView final : public QWidget {
    Q_OBJECT
public:
    /// resource: a Qt resource path such as ":/intro/menu.svg".
    explicit IntroImageView(const QString& resource, QWidget* parent = nullptr);
    /// A picture made by the program: the SVG document itself.
    explicit IntroImageView(const QByteArray& svgDocument, QWidget* parent = nullptr);

    /// False when the resource could not be read; the view then stays empty.
    bool isValid() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QSvgRenderer* m_renderer = nullptr;
};

} // namespace quillet
