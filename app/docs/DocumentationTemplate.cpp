#include "docs/DocumentationTemplate.h"

#include "docs/DocumentationErrors.h"
#include "library/ResourceLocator.h"
#include "text/UnicodeConversion.h"

#include <fstream>
#include <iterator>
#include <sstream>

namespace quillet {

namespace {

std::filesystem::path templateFile(const ResourceLocator& resources, const std::string& resourceName)
{
    auto path = resources.pathForResource(resourceName, "html");
    if (!path)
        throw DocumentationTemplateError(resourceName + ".html");
    return *path;
}

icu::UnicodeString readTemplate(const std::filesystem::path& path, const std::string& resourceName)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw DocumentationTemplateError(resourceName + ".html");
    std::ostringstream contents;
    contents << file.rdbuf();
    if (file.bad())
        throw DocumentationTemplateError(resourceName + ".html");
    return fromUtf8(contents.str());
}

} // namespace

const ResourceLocator& DocumentationTemplate::defaultResources()
{
    // The program's own resources first, so an installed or moved program reads its pages; the
    // source tree last, for the tests and tools that run from the build folder.
    static const SearchPathResourceLocator resources([] {
        auto roots = SearchPathResourceLocator::applicationRoots();
        roots.push_back(DirectoryResourceLocator::defaultRoot());
        return roots;
    }());
    return resources;
}

DocumentationTemplate::DocumentationTemplate(const ResourceLocator& resources, const std::string& resourceName)
    : m_templatePath(templateFile(resources, resourceName))
    , m_template(readTemplate(m_templatePath, resourceName))
{
}

} // namespace quillet
