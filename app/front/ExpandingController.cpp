#include "front/ExpandingController.h"

#include "front/Accessibility.h"
#include "front/PrefilterCache.h"
#include "languages/FileNameDetector.h"
#include "languages/ProgrammingLanguageStore.h"
#include "library/App.h"
#include "library/BundleStore.h"
#include "text/UnicodeConversion.h"

namespace quillet {
namespace {

/// Tells the delegate that an expansion ended when the scope is left, also by an exception.
class ExpansionScope {
public:
    explicit ExpansionScope(ExpandingController& controller)
        : m_controller(controller)
    {
        if (auto* delegate = m_controller.delegate())
            delegate->expandingControllerDidStartExpanding(m_controller);
    }
    ~ExpansionScope()
    {
        if (auto* delegate = m_controller.delegate())
            delegate->expandingControllerDidEndExpanding(m_controller);
    }
    ExpansionScope(const ExpansionScope&) = delete;
    ExpansionScope& operator=(const ExpansionScope&) = delete;

private:
    ExpandingController& m_controller;
};

} // namespace

ExpandingController::ExpandingController()
    : ExpandingController([]() -> const BundleStore& { return App::shared().bundleStore(); })
{
}

ExpandingController::ExpandingController(BundleStoreProvider bundleStore)
    : m_bundleStore(std::move(bundleStore))
{
}

AccessibilityBackend& ExpandingController::backend()
{
    if (m_backend)
        return *m_backend;
    m_sharedBackend = AccessibilityBackend::shared();
    return *m_sharedBackend;
}

bool ExpandingController::isAccessibilityTrusted(bool prompt)
{
    return backend().isTrusted(prompt);
}

/// What a press read from the other application; its element is released with it.
class ExpandingController::CaretRead {
public:
    explicit CaretRead(std::shared_ptr<AccessibleElement> element)
        : caretLine(std::move(element))
    {
    }
    CaretLineText caretLine;
    icu::UnicodeString extension;
};

bool ExpandingController::startExpanding(
    std::function<void(const PressOutcome&)> done, std::function<bool()> keysWentOn, bool keysHeld)
{
    if (m_pressUnderWay)
        return false;
    struct Press {
        std::shared_ptr<AccessibilityBackend> backend;
        std::shared_ptr<KeyboardPaste> paste;
        std::shared_ptr<CaretRead> read;
        std::optional<ExpandedExpression> expression;
        std::function<bool()> keysWentOn;
        bool keysHeld = true;
        PressOutcome outcome;
    };
    auto press = std::make_shared<Press>();
    press->backend = m_backend ? m_backend : AccessibilityBackend::shared();
    press->paste = m_keyboardPaste;
    press->keysWentOn = std::move(keysWentOn);
    press->keysHeld = keysHeld;
    if (!press->backend->isTrusted(true)) {
        done(press->outcome);
        return true;
    }
    m_pressUnderWay = true;
    if (m_delegate)
        m_delegate->expandingControllerDidStartExpanding(*this);
    const std::weak_ptr<bool> alive = m_alive;
    auto finish = [this, alive, press, done = std::move(done)] {
        if (alive.expired())
            return;
        m_pressUnderWay = false;
        press->read.reset();
        if (m_delegate)
            m_delegate->expandingControllerDidEndExpanding(*this);
        done(press->outcome);
    };
    // The other application is read and written where the backend calls it; the library is
    // searched here, where it lives.
    press->backend->perform(
        [press] {
            try {
                press->read = readAtCaret(*press->backend);
                // Asked once the line is read: keys that had gone on by then may be in it.
                if (press->keysWentOn && press->keysWentOn()) {
                    press->read.reset();
                    throw ShortcutAnsweredLateError();
                }
            } catch (...) {
                press->outcome.error = std::current_exception();
            }
        },
        [this, alive, press, finish] {
            if (alive.expired())
                return;
            if (press->read) {
                try {
                    press->expression = expansionOf(*press->read);
                } catch (...) {
                    press->outcome.error = std::current_exception();
                }
            }
            if (!press->expression) {
                finish();
                return;
            }
            press->backend->perform(
                [press] {
                    try {
                        press->outcome.expanded = write(
                            *press->read, *press->expression, press->paste.get(), press->keysWentOn, press->keysHeld);
                    } catch (...) {
                        press->outcome.error = std::current_exception();
                    }
                },
                finish);
        });
    return true;
}

std::shared_ptr<ExpandingController::CaretRead> ExpandingController::readAtCaret(AccessibilityBackend& accessibility)
{
    // One lookup per expansion: every read and write below goes to this element.
    const Accessibility focus(accessibility);
    auto read = std::make_shared<CaretRead>(focus.focusedElement());

    // The file's extension, from the title of the focused element or of its window.
    AccessibilityTitleSource titles(focus.focusedElement());
    FileNameDetector detector(titles);
    read->extension = extensionOfFileName(detector.fileName());
    return read;
}

std::optional<ExpandedExpression> ExpandingController::expansionOf(const CaretRead& read) const
{
    // Only line feeds end lines; a caret at the start of a line has nothing to expand.
    const icu::UnicodeString& line = read.caretLine.line();
    if (line.isEmpty())
        return std::nullopt;
    auto expression = findAndExpand(line, read.extension);
    if (!expression || expression->text == line)
        return std::nullopt;
    return expression;
}

bool ExpandingController::write(CaretRead& read, const ExpandedExpression& expression, KeyboardPaste* paste,
    const std::function<bool()>& keysWentOn, bool keysHeld)
{
    return read.caretLine.replace(expression.text, expression.cursorCodeUnitOffset(), paste, keysWentOn, keysHeld);
}

std::optional<ExpandedExpression> ExpandingController::expand(
    const icu::UnicodeString& text, const std::optional<icu::UnicodeString>& fileExtension)
{
    ExpansionScope scope(*this);
    return findAndExpand(text, fileExtension);
}

void ExpandingController::prepareSearch(const std::optional<icu::UnicodeString>& fileExtension) const
{
    const auto& [supporting, others] = expanderControllers(fileExtension);
    for (const ExpanderController* controller : { &supporting, &others }) {
        // A search of the empty text makes every pattern's prefilter and matches next to nothing.
        try {
            (void)controller->findExpander(icu::UnicodeString());
        } catch (...) {
            // A broken expander is reported by the search that meets it.
        }
    }
}

std::optional<ExpandedExpression> ExpandingController::findAndExpand(
    const icu::UnicodeString& text, const std::optional<icu::UnicodeString>& fileExtension) const
{
    const auto& [supporting, others] = expanderControllers(fileExtension);
    // An expander of the file's language always wins, however long another one's match is.
    if (auto expression = searchKeepingPrefilters(supporting, text, fileExtension, "languages"))
        return expression;
    return searchKeepingPrefilters(others, text, fileExtension, "others");
}

std::optional<ExpandedExpression> ExpandingController::searchKeepingPrefilters(const ExpanderController& controller,
    const icu::UnicodeString& text, const std::optional<icu::UnicodeString>& fileExtension, const char* list) const
{
    if (!m_prefilterCache)
        return controller.findExpander(text);
    const std::string listName = toUtf8(fileExtension.value_or(icu::UnicodeString())) + "\n" + list;
    // The search makes them before it matches anything, so they are whole even when it throws.
    struct Keep {
        PrefilterCache& cache;
        const ExpanderController& controller;
        const std::string& listName;
        ~Keep()
        {
            // Only a cache: failing to keep it (no memory for its bytes) must not end the run.
            try {
                cache.store(controller, listName);
            } catch (...) {
            }
        }
    } keep { *m_prefilterCache, controller, listName };
    m_prefilterCache->restore(controller, listName);
    return controller.findExpander(text);
}

const std::pair<ExpanderController, ExpanderController>& ExpandingController::expanderControllers(
    const std::optional<icu::UnicodeString>& fileExtension) const
{
    const BundleStore& store = m_bundleStore();
    const uint64_t revision = expanderRevision();
    auto& kept = m_keptControllers;
    if (kept.store != &store || kept.revision != revision) {
        kept.byExtension.clear();
        kept.store = &store;
        kept.revision = revision;
    }
    const icu::UnicodeString extension = fileExtension.value_or(icu::UnicodeString());
    const std::u16string key(extension.getBuffer(), static_cast<std::size_t>(extension.length()));
    if (auto found = kept.byExtension.find(key); found != kept.byExtension.end())
        return found->second;

    ProgrammingLanguageList languages;
    if (!extension.isEmpty())
        languages = ProgrammingLanguageStore::shared().languages(extension);
    const auto [supporting, others] = store.enabledExpandersOrderedByLanguageSupport(languages);
    return kept.byExtension
        .emplace(key,
            std::pair { ExpanderController({ supporting.begin(), supporting.end() }),
                ExpanderController({ others.begin(), others.end() }) })
        .first->second;
}

} // namespace quillet
