#include "editor/InputVariableEditorState.h"

#include "expansion/ExpanderController.h"
#include "text/Localized.h"
#include "text/UnicodeConversion.h"
#include "variables/VariableErrors.h"
#include "variables/VariableFactory.h"
#include "variables/VariablePattern.h"

#include <algorithm>

namespace quillet {

namespace {

icu::UnicodeString errorText(const std::exception& error)
{
    if (const auto* described = dynamic_cast<const UserErrorDescriptionType*>(&error))
        return described->userErrorDescription();
    return fromUtf8(error.what());
}

} // namespace

void validateForWriteBack(
    const InputVariable& variable, const Expander* parentExpander, const ExpanderController& controller)
{
    variable.validate();
    const icu::UnicodeString declaration = variable.declaration();
    const auto found = VariablePattern::matches(declaration);
    bool readsBack = found.size() == 1 && found.front().match == declaration;
    if (readsBack) {
        try {
            readsBack = VariableFactory().parseVariable(declaration, parentExpander, controller)->declaration()
                == declaration;
        } catch (const std::exception&) {
            readsBack = false;
        }
    }
    if (!readsBack) {
        throw VariableValidationError(localized(
            u"A value holds a character that a declaration cannot keep, such as \"}\".", "Variable editor error"));
    }
}

InputVariableEditorState::InputVariableEditorState(ExpandersSource enabledExpanders)
    : m_enabledExpanders(std::move(enabledExpanders))
{
    m_data.onChange = [this](InputVariableEditorData::Property property) { fieldChanged(property); };
}

InputVariableEditorState::~InputVariableEditorState()
{
    m_data.onChange = nullptr;
    releaseRows();
}

const std::vector<const VariableKind*>& InputVariableEditorState::allVariableTypes()
{
    return VariableFactory::variableTypes();
}

const VariableKind* InputVariableEditorState::currentVariableType() const
{
    const auto& kinds = allVariableTypes();
    if (m_currentVariableTypeIndex < 0 || m_currentVariableTypeIndex >= static_cast<int>(kinds.size()))
        return nullptr;
    return kinds[static_cast<std::size_t>(m_currentVariableTypeIndex)];
}

std::shared_ptr<ExpanderController> InputVariableEditorState::makeController() const
{
    return std::make_shared<ExpanderController>(
        m_enabledExpanders ? m_enabledExpanders() : std::vector<ExpanderPtr> {});
}

void InputVariableEditorState::setCurrentVariableTypeIndex(int index)
{
    const int count = static_cast<int>(allVariableTypes().size());
    m_currentVariableTypeIndex = index >= 0 && index < count ? index : -1;
    if (m_isLoading)
        return;
    const VariableKind* kind = currentVariableType();
    // Choosing the kind the variable already has changes nothing.
    if (!kind || (m_lastValidVariable && &m_lastValidVariable->kind() == kind)) {
        changed();
        return;
    }
    // The variable of the new kind, made from what the form holds; the fields it does not write
    // keep their values, so switch cases or enum elements typed earlier come back.
    const auto controller = makeController();
    std::shared_ptr<InputVariable> built;
    try {
        built = kind->makeFromEditorData(m_data, m_expander.get(), *controller);
    } catch (const std::exception&) {
        built.reset();
    }
    // It is loaded as the last valid variable without being checked: a kind chosen on the way
    // to another must not be what is written, and closing checks it and writes nothing when
    // the fields do not fit it (a text default under Number keeps the token as it was).
    m_lastValidVariable = built;
    m_lastValidController = built ? controller : nullptr;
    if (built) {
        m_isLoading = true;
        built->configure(m_data, m_expander.get());
        m_isLoading = false;
    }
    updateVariable();
}

void InputVariableEditorState::setVariable(
    InputVariablePtr variable, std::shared_ptr<const ExpanderController> controller)
{
    m_isLoading = true;
    m_writesUnfinished = false;
    m_lastValidVariable = variable;
    m_lastValidController = std::move(controller);
    if (variable) {
        const auto& kinds = allVariableTypes();
        const auto found = std::find(kinds.begin(), kinds.end(), &variable->kind());
        m_currentVariableTypeIndex = found == kinds.end() ? 0 : static_cast<int>(found - kinds.begin());
        variable->configure(m_data, m_expander.get());
    } else {
        m_currentVariableTypeIndex = -1;
    }
    m_isLoading = false;
    // One rebuild over the whole loaded form (rebuilding after each field would validate
    // mixtures of the old and the new variable).
    if (variable)
        updateVariable();
    else
        changed();
}

void InputVariableEditorState::setUnfinishedVariable(const VariablePatternMatch& declaration)
{
    const auto& kinds = allVariableTypes();
    const auto found = std::find_if(
        kinds.begin(), kinds.end(), [&](const VariableKind* kind) { return kind->type == declaration.type; });
    if (found == kinds.end()) {
        setVariable(nullptr);
        return;
    }
    m_isLoading = true;
    m_lastValidVariable.reset();
    m_lastValidController.reset();
    m_currentVariableTypeIndex = -1;
    m_data.setVariableName(declaration.name);
    m_data.setDefaultValue(declaration.defaultValue);
    m_isLoading = false;
    m_writesUnfinished = true;
    // As choosing the kind does: its fields (the expanders to choose from) are filled and the
    // form is checked, so the message says what is missing.
    setCurrentVariableTypeIndex(static_cast<int>(found - kinds.begin()));
}

void InputVariableEditorState::loadDeclaration(const icu::UnicodeString& declaration)
{
    auto controller = makeController();
    try {
        auto variable = VariableFactory().parseVariable(declaration, nullptr, *controller);
        setVariable(std::move(variable), std::move(controller));
        return;
    } catch (const std::exception&) {
        // Not a variable; it may still name a kind.
    }
    const auto found = VariablePattern::matches(declaration);
    if (found.size() == 1 && found.front().match == declaration)
        setUnfinishedVariable(found.front());
    else
        setVariable(nullptr);
}

InputVariableEditorMode InputVariableEditorState::editorMode() const
{
    const VariableKind* kind = currentVariableType();
    return kind ? kind->editorMode() : InputVariableEditorMode {};
}

void InputVariableEditorState::addKeyValue()
{
    auto rows = m_data.keyValues().value_or(InputVariableEditorData::KeyValueList {});
    rows.push_back(std::make_shared<KeyValueObject>());
    m_data.setKeyValues(std::move(rows));
}

void InputVariableEditorState::addValue()
{
    auto rows = m_data.values().value_or(InputVariableEditorData::ValueList {});
    rows.push_back(std::make_shared<StringValue>());
    m_data.setValues(std::move(rows));
}

void InputVariableEditorState::removeKeyValue(int row)
{
    auto rows = m_data.keyValues().value_or(InputVariableEditorData::KeyValueList {});
    if (row < 0 || row >= static_cast<int>(rows.size()))
        return;
    rows[static_cast<std::size_t>(row)]->setDelegate(nullptr);
    rows.erase(rows.begin() + row);
    m_data.setKeyValues(std::move(rows));
}

void InputVariableEditorState::removeValue(int row)
{
    auto rows = m_data.values().value_or(InputVariableEditorData::ValueList {});
    if (row < 0 || row >= static_cast<int>(rows.size()))
        return;
    rows[static_cast<std::size_t>(row)]->setDelegate(nullptr);
    rows.erase(rows.begin() + row);
    m_data.setValues(std::move(rows));
}

std::optional<icu::UnicodeString> InputVariableEditorState::declarationToWriteBack() const
{
    if (m_lastValidVariable) {
        try {
            const auto controller = m_lastValidController ? m_lastValidController : makeController();
            validateForWriteBack(*m_lastValidVariable, m_expander.get(), *controller);
            return m_lastValidVariable->declaration();
        } catch (const std::exception&) {
            // Not valid; an unfinished variable may still be written.
        }
    }
    return m_writesUnfinished ? unfinishedDeclaration() : std::nullopt;
}

std::optional<icu::UnicodeString> InputVariableEditorState::unfinishedDeclaration() const
{
    const VariableKind* kind = currentVariableType();
    if (!kind)
        return std::nullopt;
    const auto isDeclaration = [](const icu::UnicodeString& text) {
        const auto found = VariablePattern::matches(text);
        return found.size() == 1 && found.front().match == text;
    };
    try {
        const auto controller = makeController();
        const icu::UnicodeString built = kind->makeFromEditorData(m_data, m_expander.get(), *controller)->declaration();
        if (isDeclaration(built))
            return built;
    } catch (const std::exception&) {
        // The kind cannot be made from the form: its name and kind alone are written.
    }
    const icu::UnicodeString bare = u"${" + m_data.variableName() + u":" + kind->type;
    if (m_data.defaultValue() && isDeclaration(bare + u"=" + *m_data.defaultValue() + u"}"))
        return bare + u"=" + *m_data.defaultValue() + u"}";
    if (isDeclaration(bare + u"}"))
        return bare + u"}";
    return std::nullopt;
}

void InputVariableEditorState::keyValueObjectDidChange(KeyValueObject&)
{
    updateVariable();
}

void InputVariableEditorState::stringValueDidChange(StringValue&)
{
    updateVariable();
}

void InputVariableEditorState::fieldChanged(InputVariableEditorData::Property property)
{
    if (property == InputVariableEditorData::Property::keyValues
        || property == InputVariableEditorData::Property::values)
        adoptRows();
    if (!m_isLoading)
        updateVariable();
}

void InputVariableEditorState::adoptRows()
{
    if (m_data.keyValues()) {
        for (const auto& row : *m_data.keyValues())
            row->setDelegate(this);
    }
    if (m_data.values()) {
        for (const auto& row : *m_data.values())
            row->setDelegate(this);
    }
}

void InputVariableEditorState::releaseRows()
{
    if (m_data.keyValues()) {
        for (const auto& row : *m_data.keyValues())
            row->setDelegate(nullptr);
    }
    if (m_data.values()) {
        for (const auto& row : *m_data.values())
            row->setDelegate(nullptr);
    }
}

void InputVariableEditorState::updateVariable()
{
    const VariableKind* kind = currentVariableType();
    if (kind) {
        const auto controller = makeController();
        try {
            std::shared_ptr<InputVariable> rebuilt = kind->makeFromEditorData(m_data, m_expander.get(), *controller);
            validateForWriteBack(*rebuilt, m_expander.get(), *controller);
            m_errorMessage.reset();
            m_lastValidVariable = std::move(rebuilt);
            m_lastValidController = controller;
        } catch (const std::exception& error) {
            m_errorMessage = errorText(error);
        }
    }
    changed();
}

void InputVariableEditorState::changed()
{
    if (onStateChange)
        onStateChange();
}

} // namespace quillet
