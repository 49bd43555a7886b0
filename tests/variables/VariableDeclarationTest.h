#pragma once

#include "expansion/ExpanderController.h"
#include "variables/VariableErrors.h"
#include "variables/VariableFactory.h"

#include <gtest/gtest.h>

#include <memory>
#include <type_traits>

namespace quillet::test {

/// Variables made from their declarations, as a pattern declares them, and what their
/// validation says.
template <typename Variable = InputVariable> class VariableDeclarationTest : public ::testing::Test {
protected:
    ExpanderController m_controller;

    std::shared_ptr<Variable> make(const icu::UnicodeString& declaration)
    {
        auto variable = VariableFactory().parseVariable(declaration, nullptr, m_controller);
        if constexpr (std::is_same_v<Variable, InputVariable>)
            return variable;
        else
            return std::dynamic_pointer_cast<Variable>(variable);
    }

    /// The description of the validation error, or "" when the variable is valid.
    static icu::UnicodeString validationMessage(const InputVariable& variable)
    {
        try {
            variable.validate();
        } catch (const VariableValidationError& error) {
            return error.userErrorDescription();
        }
        return {};
    }

    icu::UnicodeString validationMessage(const icu::UnicodeString& declaration)
    {
        return validationMessage(*make(declaration));
    }
};

} // namespace quillet::test
