#include "intro/WelcomeAnimationView.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>

namespace quillet {

namespace {

// The scenes, in milliseconds from the start.
constexpr int typingStart = 500;
constexpr int typingEnd = 2600;
constexpr int keysStart = 2800;
constexpr int selectStart = 3500;
constexpr int expandStart = 3900;
constexpr int titleStart = 4800;
constexpr int titleEnd = 5800;

const QString typedLine = QStringLiteral("for item in items");
const QStringList expandedLines {
    QStringLiteral("for item in items {"),
    QStringLiteral("    "),
    QStringLiteral("}"),
};

double ramp(int elapsed, int from, int to)
{
    return std::clamp(double(elapsed - from) / double(to - from), 0.0, 1.0);
}

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(std::clamp(alpha, 0.0, 1.0)));
    return color;
}

void drawKeycap(QPainter& painter, const QRectF& rect, const QString& label, bool pressed)
{
    const QRectF key = pressed ? rect.translated(0, 2) : rect;
    if (!pressed)
        painter.fillRect(rect.translated(0, 3), QColor(0xB8, 0xC2, 0xCF));
    QPainterPath path;
    path.addRoundedRect(key, 6, 6);
    painter.fillPath(path, pressed ? QColor(0x2F, 0x80, 0xC8) : QColor(0xF7, 0xF9, 0xFC));
    painter.setPen(QPen(QColor(0x9A, 0xA7, 0xB6), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.setPen(pressed ? Qt::white : QColor(0x2B, 0x33, 0x3D));
    painter.drawText(key, Qt::AlignCenter, label);
}

} // namespace

WelcomeAnimationView::WelcomeAnimationView(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("WelcomeAnimationView"));
    setAccessibleName(tr("An abbreviation typed in an editor turns into code"));
    setFocusPolicy(Qt::NoFocus);
    m_frameTimer.setInterval(33);
    connect(&m_frameTimer, &QTimer::timeout, this, [this] {
        if (elapsedMs() >= durationMs)
            m_frameTimer.stop();
        update();
    });
}

void WelcomeAnimationView::setExpandKeys(const QStringList& keys)
{
    m_expandKeys = keys;
    update();
}

void WelcomeAnimationView::play()
{
    m_clock.start();
    m_frameTimer.start();
    update();
}

void WelcomeAnimationView::showFrame(int elapsed)
{
    m_frameTimer.stop();
    m_clock.invalidate();
    m_fixedElapsedMs = elapsed;
    update();
}

int WelcomeAnimationView::elapsedMs() const
{
    return m_clock.isValid() ? int(std::min<qint64>(m_clock.elapsed(), durationMs)) : m_fixedElapsedMs;
}

void WelcomeAnimationView::paintEvent(QPaintEvent*)
{
    const int t = elapsedMs();
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // The editor window, centred.
    const QRectF editor(width() / 2.0 - 220, 24, 440, 190);
    QPainterPath frame;
    frame.addRoundedRect(editor, 10, 10);
    painter.fillPath(frame.translated(0, 4), QColor(0, 0, 0, 28));
    painter.fillPath(frame, QColor(0x1F, 0x26, 0x30));
    const QRectF titleBar(editor.left(), editor.top(), editor.width(), 30);
    QPainterPath bar;
    bar.addRoundedRect(titleBar, 10, 10);
    bar.addRect(titleBar.adjusted(0, 15, 0, 0));
    painter.fillPath(bar.simplified(), QColor(0x2B, 0x34, 0x40));
    const QColor dots[] = { QColor(0xEF, 0x6B, 0x5E), QColor(0xF4, 0xBF, 0x4F), QColor(0x61, 0xC5, 0x54) };
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(dots[i]);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(editor.left() + 18 + i * 18, editor.top() + 15), 5, 5);
    }
    painter.setBrush(Qt::NoBrush);
    QFont uiFont = font();
    uiFont.setPointSizeF(9.5);
    painter.setFont(uiFont);
    painter.setPen(QColor(0xC9, 0xD1, 0xD9));
    painter.drawText(titleBar, Qt::AlignCenter, QStringLiteral("main.swift"));

    QFont code(QStringLiteral("monospace"));
    code.setStyleHint(QFont::Monospace);
    code.setPointSizeF(13);
    painter.setFont(code);
    const QFontMetricsF metrics(code);
    const double lineHeight = metrics.height() + 6;
    const QPointF origin(editor.left() + 48, editor.top() + 48);

    painter.setPen(QColor(0x5C, 0x67, 0x73));
    for (int line = 0; line < 4; ++line)
        painter.drawText(
            QPointF(editor.left() + 16, origin.y() + line * lineHeight + metrics.ascent()), QString::number(line + 1));

    const bool expanded = t >= expandStart;
    const bool caretOn = (t / 500) % 2 == 0 || (t >= typingStart && t < typingEnd);
    if (!expanded) {
        const int typed = int(typedLine.size() * ramp(t, typingStart, typingEnd));
        const QString text = typedLine.left(typed);
        if (t >= selectStart) {
            painter.fillRect(QRectF(origin, QSizeF(metrics.horizontalAdvance(text), metrics.height())),
                QColor(0x2F, 0x80, 0xC8, 150));
        }
        painter.setPen(QColor(0xE6, 0xED, 0xF3));
        painter.drawText(QPointF(origin.x(), origin.y() + metrics.ascent()), text);
        if (caretOn && t < selectStart)
            painter.fillRect(QRectF(origin.x() + metrics.horizontalAdvance(text), origin.y(), 2, metrics.height()),
                QColor(0xF4, 0xBF, 0x4F));
    } else {
        const double fade = ramp(t, expandStart, expandStart + 400);
        const QColor keyword(0xFF, 0x7B, 0x72), plain(0xE6, 0xED, 0xF3), name(0x79, 0xC0, 0xFF);
        for (int line = 0; line < int(expandedLines.size()); ++line) {
            const QPointF base(origin.x(), origin.y() + line * lineHeight + metrics.ascent());
            if (line == 0) {
                // for item in items {
                double x = base.x();
                const auto part = [&](const QString& s, const QColor& c) {
                    painter.setPen(withAlpha(c, fade));
                    painter.drawText(QPointF(x, base.y()), s);
                    x += metrics.horizontalAdvance(s);
                };
                part(QStringLiteral("for "), keyword);
                part(QStringLiteral("item"), name);
                part(QStringLiteral(" in "), keyword);
                part(QStringLiteral("items"), name);
                part(QStringLiteral(" {"), plain);
            } else {
                painter.setPen(withAlpha(plain, fade));
                painter.drawText(base, expandedLines.at(line));
            }
        }
        if (caretOn)
            painter.fillRect(QRectF(origin.x() + metrics.horizontalAdvance(expandedLines.at(1)),
                                 origin.y() + lineHeight, 2, metrics.height()),
                withAlpha(QColor(0xF4, 0xBF, 0x4F), fade));
    }

    // The expand keys, pressed one after the other.
    if (t >= keysStart && t < titleStart && !m_expandKeys.isEmpty()) {
        QFont keyFont = font();
        keyFont.setPointSizeF(11);
        keyFont.setBold(true);
        painter.setFont(keyFont);
        const QFontMetricsF keyMetrics(keyFont);
        const auto keyWidth
            = [&](const QString& key) { return std::max(44.0, keyMetrics.horizontalAdvance(key) + 32); };
        double total = 12.0 * double(m_expandKeys.size() - 1);
        for (const QString& key : m_expandKeys)
            total += keyWidth(key);
        const double appear = ramp(t, keysStart, keysStart + 250);
        painter.setOpacity(appear);
        // The keys are pressed one after the other, within the same time whatever their number.
        const int step = std::min(150, 450 / int(m_expandKeys.size()));
        double x = (width() - total) / 2.0;
        for (int i = 0; i < m_expandKeys.size(); ++i) {
            const double w = keyWidth(m_expandKeys.at(i));
            const bool pressed = t >= keysStart + 250 + i * step && t < expandStart + 300;
            drawKeycap(painter, QRectF(x, editor.bottom() + 24, w, 38), m_expandKeys.at(i), pressed);
            x += w + 12;
        }
        painter.setOpacity(1);
    }

    // The name and the promise.
    if (t >= titleStart) {
        const double fade = ramp(t, titleStart, titleEnd);
        QFont title = font();
        title.setPointSizeF(20);
        title.setBold(true);
        painter.setFont(title);
        painter.setPen(withAlpha(palette().color(QPalette::WindowText), fade));
        const QRectF below(0, editor.bottom() + 14, width(), 40);
        painter.drawText(below, Qt::AlignCenter, tr("Welcome to Quillet"));
        QFont line = font();
        line.setPointSizeF(11.5);
        painter.setFont(line);
        painter.setPen(withAlpha(palette().color(QPalette::PlaceholderText), fade));
        painter.drawText(below.translated(0, 36), Qt::AlignCenter, tr("Type a few words, press a key, get the code."));
    }
}

void WelcomeAnimationView::wheelEvent(QWheelEvent* event)
{
    event->accept();
}

void WelcomeAnimationView::keyPressEvent(QKeyEvent* event)
{
    event->accept();
}

void WelcomeAnimationView::keyReleaseEvent(QKeyEvent* event)
{
    event->accept();
}

} // namespace quillet
