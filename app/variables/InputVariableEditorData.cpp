#include "variables/InputVariableEditorData.h"

#include <utility>

namespace quillet {

void InputVariableEditorData::changed(Property property)
{
    if (onChange)
        onChange(property);
}

void InputVariableEditorData::setVariableName(icu::UnicodeString name)
{
    m_variableName = std::move(name);
    changed(Property::variableName);
}

void InputVariableEditorData::setKeyValues(std::optional<KeyValueList> keyValues)
{
    m_keyValues = std::move(keyValues);
    changed(Property::keyValues);
}

void InputVariableEditorData::setValues(std::optional<ValueList> values)
{
    m_values = std::move(values);
    changed(Property::values);
}

void InputVariableEditorData::setText(std::optional<icu::UnicodeString> text)
{
    m_text = std::move(text);
    changed(Property::text);
}

void InputVariableEditorData::setDefaultValue(std::optional<icu::UnicodeString> defaultValue)
{
    m_defaultValue = std::move(defaultValue);
    changed(Property::defaultValue);
}

void InputVariableEditorData::setSelectableValues(std::optional<ExpanderList> selectableValues)
{
    m_selectableValues = std::move(selectableValues);
    changed(Property::selectableValues);
}

void InputVariableEditorData::setSelectedValue(ExpanderPtr selectedValue)
{
    m_selectedValue = std::move(selectedValue);
    changed(Property::selectedValue);
}

} // namespace quillet
