#include "languages/ProgrammingLanguageStore.h"
#include "library/ProgrammingLanguageCatalogue.h"

namespace quillet {

namespace {

/// The store, as the catalogue that expanders and bundles resolve their language identifiers
/// with. The store itself is still built on the first lookup.
class StoreCatalogue final : public ProgrammingLanguageCatalogue {
public:
    std::optional<ProgrammingLanguagePtr> language(const icu::UnicodeString& id) const override
    {
        return ProgrammingLanguageStore::shared().language(id);
    }
};

/// The core's interface target compiles this file into every program that links the core, so
/// the installation runs before main() without anyone calling it. Several copies may run; the
/// first one wins, and they all answer alike.
class LanguageStoreInstaller {
public:
    explicit LanguageStoreInstaller(const ProgrammingLanguageCatalogue& catalogue)
    {
        if (!ProgrammingLanguageCatalogue::installed())
            ProgrammingLanguageCatalogue::install(&catalogue);
    }
};

const StoreCatalogue storeCatalogue;
const LanguageStoreInstaller installer(storeCatalogue);

} // namespace

} // namespace quillet
