#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

namespace quillet {

/// The welcome page's short animation: an abbreviation is typed into an editor, the expand
/// keys are pressed, and the line turns into code with the caret inside. It plays once, in
/// about seven seconds, and then keeps its last picture. The user cannot scroll or type in
/// it: wheel and key events end here.
class WelcomeAnimationView final : public QWidget {
    Q_OBJECT
public:
    static constexpr int durationMs = 7000;

    explicit WelcomeAnimationView(QWidget* parent = nullptr);

    /// The expand keys the animation presses ("Ctrl", "Alt", "E" unless told); none
    /// leaves them out.
    void setExpandKeys(const QStringList& keys);

    void play();
    /// Shows the picture at the given time of the animation and stops playing; for stills.
    void showFrame(int elapsedMs);
    int elapsedMs() const;

    QSize sizeHint() const override { return { 560, 300 }; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    QStringList m_expandKeys { QStringLiteral("Ctrl"), QStringLiteral("Alt"), QStringLiteral("E") };
    QElapsedTimer m_clock;
    QTimer m_frameTimer;
    int m_fixedElapsedMs = 0;
};

} // namespace quillet
