#include "docs/TemplateCompiler.h"

namespace quillet {

TemplateCompiler::TemplateCompiler(icu::UnicodeString templateText)
    : m_template(std::move(templateText))
{
}

icu::UnicodeString TemplateCompiler::compile(const Values& values) const
{
    icu::UnicodeString result;
    int32_t position = 0;
    while (position < m_template.length()) {
        const int32_t open = m_template.indexOf(u"#{", 2, position);
        if (open < 0)
            break;
        const int32_t close = m_template.indexOf(u'}', open + 2);
        if (close < 0)
            break;
        const auto value = values.find(icu::UnicodeString(m_template, open + 2, close - open - 2));
        if (value == values.end()) {
            // Not a placeholder of ours: keep the "#" and look again from the next character,
            // so that "#{#{name}" still fills the inner placeholder.
            result.append(m_template, position, open + 1 - position);
            position = open + 1;
            continue;
        }
        result.append(m_template, position, open - position);
        result.append(value->second);
        position = close + 1;
    }
    result.append(m_template, position, m_template.length() - position);
    return result;
}

} // namespace quillet
