#include "OrvTextView/About/AboutWindowController.h"

#include "OrvTextView/Misc/ReadableText.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTextDocumentFragment>
#include <QVBoxLayout>
#include <QWidget>

namespace orv {

namespace {

constexpr int iconSize = 96;

/// A label that shows one link: a single Tab stop (the label's own way would stop on the label
/// and again on its link), drawn with a focus frame when it has the keyboard, whose link Return,
/// Enter or Space opens as a click does.
class LinkLabel final : public QLabel {
public:
    using QLabel::QLabel;

    /// Shows `richText`, whose one link goes to `url`.
    void setLink(const QString& richText, const QUrl& url)
    {
        m_url = url;
        setTextFormat(Qt::RichText);
        setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::TextSelectableByMouse);
        setOpenExternalLinks(false);
        setFocusPolicy(Qt::StrongFocus);
        // Room around the words for the focus frame.
        setMargin(3);
        setText(richText);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            if (m_url.isValid()) {
                Q_EMIT linkActivated(m_url.toString(QUrl::FullyEncoded));
                event->accept();
                return;
            }
            break;
        default:
            break;
        }
        QLabel::keyPressEvent(event);
    }

    bool focusNextPrevChild(bool next) override
    {
        // On to the next control, not to the link inside.
        return QWidget::focusNextPrevChild(next);
    }

    void focusInEvent(QFocusEvent* event) override
    {
        QLabel::focusInEvent(event);
        update();
    }

    void focusOutEvent(QFocusEvent* event) override
    {
        QLabel::focusOutEvent(event);
        update();
    }

    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        if (!hasFocus())
            return;
        // A frame around the words, in the palette's highlight.
        const QString words = QTextDocumentFragment::fromHtml(text()).toPlainText();
        QRect around(QPoint(), fontMetrics().size(Qt::TextSingleLine, words) + QSize(8, 4));
        around.moveCenter(contentsRect().center());
        around = around.intersected(rect());
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        painter.drawRoundedRect(QRectF(around).adjusted(0.75, 0.75, -0.75, -0.75), 3, 3);
    }

private:
    QUrl m_url;
};

QString applicationProperty(const char* name)
{
    auto* application = QCoreApplication::instance();
    return application ? application->property(name).toString() : QString();
}

} // namespace

AboutInfo AboutInfo::fromApplication()
{
    AboutInfo info;
    info.name = QGuiApplication::applicationDisplayName();
    info.version = QCoreApplication::applicationVersion();
    info.build = applicationProperty("buildVersion");
    info.copyright = applicationProperty("copyright");
    info.icon = QGuiApplication::windowIcon();
    const QString acknowledgements = applicationProperty("acknowledgementsPath");
    if (!acknowledgements.isEmpty())
        info.acknowledgementsPath = acknowledgements;
    return info;
}

QUrl AboutWindowController::websiteUrl()
{
    return QUrl(QStringLiteral("https://orvanta.com"));
}

QString AboutWindowController::websiteHost()
{
    return QStringLiteral("orvanta.com");
}

QString AboutWindowController::twitterHandle()
{
    return QStringLiteral("@orvanta");
}

QUrl AboutWindowController::twitterUrl()
{
    return QUrl(QStringLiteral("https://twitter.com/orvanta"));
}

QUrl AboutWindowController::productsUrl()
{
    return QUrl(QStringLiteral("https://orvanta.com/products"));
}

std::unique_ptr<AboutWindowController> AboutWindowController::createWithWindow(const AboutInfo& info)
{
    std::unique_ptr<AboutWindowController> controller(new AboutWindowController(info));
    controller->buildWindow();
    controller->configure();
    return controller;
}

AboutWindowController::AboutWindowController(AboutInfo info)
    : m_info(std::move(info))
    , m_openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); })
{
}

AboutWindowController::~AboutWindowController() = default;

void AboutWindowController::buildWindow()
{
    m_ownedWindow = std::make_unique<QWidget>();
    QWidget* window = m_ownedWindow.get();
    window->setObjectName(QStringLiteral("AboutWindow"));
    m_iconImageView = new QLabel(window);
    m_iconImageView->setAlignment(Qt::AlignCenter);
    m_appNameLabel = new QLabel(window);
    m_appNameLabel->setAlignment(Qt::AlignCenter);
    QFont nameFont = m_appNameLabel->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
    m_appNameLabel->setFont(nameFont);
    m_versionLabel = new QLabel(window);
    m_versionLabel->setAlignment(Qt::AlignCenter);
    m_copyrightsLabel = new QLabel(window);
    m_copyrightsLabel->setAlignment(Qt::AlignCenter);
    m_urlLabel = new LinkLabel(window);
    m_urlLabel->setObjectName(QStringLiteral("urlLabel"));
    m_urlLabel->setAlignment(Qt::AlignCenter);
    m_twitterLabel = new LinkLabel(window);
    m_twitterLabel->setObjectName(QStringLiteral("twitterLabel"));
    m_twitterLabel->setAlignment(Qt::AlignCenter);
    // The links open through the controller's opener, as the buttons' pages do.
    for (QLabel* link : { m_urlLabel.data(), m_twitterLabel.data() })
        connect(link, &QLabel::linkActivated, this, [this](const QString& url) {
            if (m_openUrl)
                m_openUrl(QUrl(url));
        });
    auto* moreApps = new QPushButton(tr("More Apps"), window);
    moreApps->setObjectName(QStringLiteral("moreAppsButton"));
    m_acknowledgementsButton = new QPushButton(tr("Acknowledgements"), window);
    m_acknowledgementsButton->setObjectName(QStringLiteral("acknowledgementsButton"));
    // A button with the keyboard answers Return, as in a dialog.
    moreApps->setAutoDefault(true);
    m_acknowledgementsButton->setAutoDefault(true);
    connect(moreApps, &QPushButton::clicked, this, &AboutWindowController::moreApps);
    connect(m_acknowledgementsButton, &QPushButton::clicked, this, &AboutWindowController::showAcknowledgments);

    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(24, 24, 24, 18);
    layout->addWidget(m_iconImageView);
    layout->addWidget(m_appNameLabel);
    layout->addWidget(m_versionLabel);
    layout->addSpacing(8);
    layout->addWidget(m_copyrightsLabel);
    layout->addWidget(m_urlLabel);
    layout->addWidget(m_twitterLabel);
    layout->addSpacing(8);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(moreApps);
    buttons->addWidget(m_acknowledgementsButton);
    layout->addLayout(buttons);
    // The window opens with the keyboard on its first button, where Return answers.
    moreApps->setFocus(Qt::OtherFocusReason);

    // Escape (or Ctrl+W) closes the window, as it does a dialog.
    auto* close = new QAction(tr("Close"), window);
    close->setObjectName(QStringLiteral("closeAbout"));
    close->setShortcuts({ QKeySequence(Qt::Key_Escape), QKeySequence::Close });
    connect(close, &QAction::triggered, window, &QWidget::close);
    window->addAction(close);
    setWindow(window);
}

void AboutWindowController::setWindow(QWidget* window)
{
    m_window = window;
    if (!m_window)
        return;
    // Above the application's other windows, as a utility panel.
    m_window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

std::optional<QString> AboutWindowController::acknowledgementsPath() const
{
    if (!m_info.acknowledgementsPath || !QFileInfo(*m_info.acknowledgementsPath).isFile())
        return std::nullopt;
    return m_info.acknowledgementsPath;
}

void AboutWindowController::configure()
{
    m_iconImageView->setPixmap(m_info.icon.pixmap(iconSize, iconSize));
    m_appNameLabel->setText(m_info.name);
    m_copyrightsLabel->setWordWrap(true);
    m_copyrightsLabel->setText(m_info.copyright);
    m_versionLabel->setText(QStringLiteral("Version %1 (%2)").arg(m_info.version, m_info.build));
    // The links are written again in the colour of a new palette (a light or dark look).
    orv::followPalette(m_window ? m_window.data() : m_urlLabel.data(), [this] {
        configureOrvantaLink();
        configureTwitterLink();
    });
    configureWindow();
    m_acknowledgementsButton->setHidden(!acknowledgementsPath().has_value());
}

void AboutWindowController::configureOrvantaLink()
{
    static_cast<LinkLabel*>(m_urlLabel.data())
        ->setLink(createURLString(websiteHost(), websiteHost(), websiteUrl(), linkColor(m_urlLabel->palette())),
            websiteUrl());
}

void AboutWindowController::configureTwitterLink()
{
    static_cast<LinkLabel*>(m_twitterLabel.data())
        ->setLink(createURLString(QStringLiteral("follow us: ") + twitterHandle(), twitterHandle(), twitterUrl(),
                      linkColor(m_twitterLabel->palette())),
            twitterUrl());
}

void AboutWindowController::configureWindow()
{
    if (!m_window)
        return;
    m_window->setWindowTitle(tr("About %1").arg(m_info.name));
}

void AboutWindowController::moreApps()
{
    if (m_openUrl)
        m_openUrl(productsUrl());
}

void AboutWindowController::showAcknowledgments()
{
    const auto path = acknowledgementsPath();
    if (path && m_openUrl)
        m_openUrl(QUrl::fromLocalFile(*path));
}

QColor AboutWindowController::linkColor(const QPalette& palette)
{
    return accentOn(QColor(13, 102, 166), palette.color(QPalette::Window), palette.color(QPalette::WindowText),
        QColor(0x9c, 0xd0, 0xff));
}

QString AboutWindowController::createURLString(const QString& text, const QString& highlightingString, const QUrl& url)
{
    // The link colour: red 0.05, green 0.4, blue 0.65.
    return createURLString(text, highlightingString, url, QColor(13, 102, 166));
}

QString AboutWindowController::createURLString(
    const QString& text, const QString& highlightingString, const QUrl& url, const QColor& color)
{
    const qsizetype at = highlightingString.isEmpty() ? -1 : text.indexOf(highlightingString);
    if (at < 0)
        return text.toHtmlEscaped();
    const QColor rgb = color.toRgb();
    const QString link
        = QStringLiteral("<a href=\"%1\" style=\"color: rgb(%2, %3, %4); text-decoration: none;\">%5</a>")
              .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), QString::number(rgb.red()),
                  QString::number(rgb.green()), QString::number(rgb.blue()), highlightingString.toHtmlEscaped());
    return text.left(at).toHtmlEscaped() + link + text.mid(at + highlightingString.size()).toHtmlEscaped();
}

} // namespace orv
