#pragma once

#include "docs/TemplateCompiler.h"

#include <filesystem>
#include <string>

namespace quillet {

class ResourceLocator;

/// A page template read from the application's resources: "<name>.html", with placeholders
/// "#{key}". The file is read anew for every template object; nothing is cached.
class DocumentationTemplate {
public:
    /// The resources of the source tree or of the installed application.
    static const ResourceLocator& defaultResources();

    const std::filesystem::path& templatePath() const noexcept { return m_templatePath; }
    const TemplateCompiler& compiler() const noexcept { return m_template; }

protected:
    /// Throws DocumentationTemplateError when the resource is missing or cannot be read.
    DocumentationTemplate(const ResourceLocator& resources, const std::string& resourceName);

private:
    std::filesystem::path m_templatePath;
    TemplateCompiler m_template;
};

} // namespace quillet
