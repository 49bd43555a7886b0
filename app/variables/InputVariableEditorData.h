#pragma once

#include "variables/Expander.h"
#include "variables/KeyValueObject.h"
#include "variables/StringValue.h"

#include <unicode/unistr.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quillet {

/// Which boxes the input-variable editor shows for a kind, each with the label above it.
/// An absent box is hidden.
struct InputVariableEditorMode {
    struct BoxConfiguration {
        icu::UnicodeString title;
        bool operator==(const BoxConfiguration&) const = default;
    };

    std::optional<BoxConfiguration> keyValueBox; ///< the key and value table
    std::optional<BoxConfiguration> valueBox; ///< a list of values
    std::optional<BoxConfiguration> textBox; ///< one text
    std::optional<BoxConfiguration> defaultValueBox; ///< the default value
    std::optional<BoxConfiguration> selectableValueBox; ///< a choice among values

    bool operator==(const InputVariableEditorMode&) const = default;
};

/// What the input-variable editor shows and the user enters: the form of one variable.
///
/// A plain observable object: the Qt editor wraps one, sets onChange to hear of every
/// write (the kinds write into it in configure()), and reads it back to make a variable.
class InputVariableEditorData {
public:
    enum class Property { variableName, keyValues, values, text, defaultValue, selectableValues, selectedValue };

    using KeyValueList = std::vector<std::shared_ptr<KeyValueObject>>;
    using ValueList = std::vector<std::shared_ptr<StringValue>>;
    using ExpanderList = std::vector<ExpanderPtr>;

    const icu::UnicodeString& variableName() const noexcept { return m_variableName; }
    const std::optional<KeyValueList>& keyValues() const noexcept { return m_keyValues; }
    const std::optional<ValueList>& values() const noexcept { return m_values; }
    const std::optional<icu::UnicodeString>& text() const noexcept { return m_text; }
    const std::optional<icu::UnicodeString>& defaultValue() const noexcept { return m_defaultValue; }
    /// The choices of the selectable box: for the expander kind, the expanders it may embed.
    const std::optional<ExpanderList>& selectableValues() const noexcept { return m_selectableValues; }
    /// The chosen entry of selectableValues; null when nothing is chosen.
    const ExpanderPtr& selectedValue() const noexcept { return m_selectedValue; }

    void setVariableName(icu::UnicodeString name);
    void setKeyValues(std::optional<KeyValueList> keyValues);
    void setValues(std::optional<ValueList> values);
    void setText(std::optional<icu::UnicodeString> text);
    void setDefaultValue(std::optional<icu::UnicodeString> defaultValue);
    void setSelectableValues(std::optional<ExpanderList> selectableValues);
    void setSelectedValue(ExpanderPtr selectedValue);

    /// Called after each write with the property written.
    std::function<void(Property)> onChange;

private:
    void changed(Property property);

    icu::UnicodeString m_variableName;
    std::optional<KeyValueList> m_keyValues;
    std::optional<ValueList> m_values;
    std::optional<icu::UnicodeString> m_text;
    std::optional<icu::UnicodeString> m_defaultValue;
    std::optional<ExpanderList> m_selectableValues;
    ExpanderPtr m_selectedValue;
};

} // namespace quillet
