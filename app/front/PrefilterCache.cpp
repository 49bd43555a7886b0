#include "front/PrefilterCache.h"
#include "text/RegularFile.h"

#include "expansion/ExpanderController.h"
#include "library/CustomExpander.h"
#include "text/AtomicFile.h"
#include "variables/ProgrammingLanguage.h"

#include <elf.h>
#include <link.h>

#include <unicode/uversion.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string_view>
#include <vector>

namespace quillet {
namespace {

constexpr std::string_view fileMagic = "quillet prefilters 1\n";

/// FNV-1a: names a file and checks that it arrived whole, nothing more (the key itself is kept
/// and compared in full).
uint64_t checksum(std::string_view bytes)
{
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char byte : bytes) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

/// The GNU build ID of the running program, as bytes; empty when it has none.
std::string programBuildId()
{
    std::string id;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) -> int {
            auto& found = *static_cast<std::string*>(data);
            // The first object is the program itself.
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& header = info->dlpi_phdr[i];
                if (header.p_type != PT_NOTE)
                    continue;
                const auto* note = reinterpret_cast<const char*>(info->dlpi_addr + header.p_vaddr);
                const char* const end = note + header.p_memsz;
                while (note + sizeof(ElfW(Nhdr)) <= end) {
                    const auto* entry = reinterpret_cast<const ElfW(Nhdr)*>(note);
                    const char* name = note + sizeof(ElfW(Nhdr));
                    const char* description = name + ((entry->n_namesz + 3) & ~3u);
                    if (description + entry->n_descsz > end)
                        break;
                    if (entry->n_type == NT_GNU_BUILD_ID && entry->n_namesz == 4 && std::memcmp(name, "GNU", 4) == 0) {
                        found.assign(description, entry->n_descsz);
                        return 1;
                    }
                    note = description + ((entry->n_descsz + 3) & ~3u);
                }
            }
            return 1;
        },
        &id);
    return id;
}

void appendNumber(std::string& bytes, uint32_t number)
{
    bytes.append(reinterpret_cast<const char*>(&number), sizeof number);
}

void appendText(std::string& bytes, const icu::UnicodeString& text)
{
    appendNumber(bytes, static_cast<uint32_t>(text.length()));
    bytes.append(reinterpret_cast<const char*>(text.getBuffer()), static_cast<std::size_t>(text.length()) * 2);
}

/// Reads what appendNumber and appendText wrote, never past the end.
class Reader {
public:
    explicit Reader(std::string_view bytes)
        : m_bytes(bytes)
    {
    }
    bool number(uint32_t& value)
    {
        if (m_bytes.size() < sizeof value)
            return false;
        std::memcpy(&value, m_bytes.data(), sizeof value);
        m_bytes.remove_prefix(sizeof value);
        return true;
    }
    bool text(icu::UnicodeString& value)
    {
        uint32_t length = 0;
        if (!number(length) || m_bytes.size() / 2 < length || length > INT32_MAX)
            return false;
        char16_t* units = value.getBuffer(static_cast<int32_t>(length));
        if (!units)
            return false;
        std::memcpy(units, m_bytes.data(), std::size_t { length } * 2);
        value.releaseBuffer(static_cast<int32_t>(length));
        m_bytes.remove_prefix(std::size_t { length } * 2);
        return true;
    }
    bool bytes(std::size_t count, std::string_view& value)
    {
        if (m_bytes.size() < count)
            return false;
        value = m_bytes.substr(0, count);
        m_bytes.remove_prefix(count);
        return true;
    }
    bool atEnd() const noexcept { return m_bytes.empty(); }

private:
    std::string_view m_bytes;
};

/// The bytes of the file when it is a regular file of at most `largestSize` bytes; none
/// otherwise. Never waits: a FIFO, a device or a socket put where the file goes (or a link to
/// one) is opened without blocking and refused unread, as is a file too large to be one this
/// program wrote for the list (a huge or sparse file would otherwise be read whole, or fail the
/// run for want of memory).
std::optional<std::string> readFile(const std::filesystem::path& path, std::size_t largestSize)
{
    auto read = readRegularFile(path, largestSize);
    if (!read.ok())
        return std::nullopt;
    return std::move(read.bytes);
}

/// The size of the largest file that can hold prefilters for the expanders whose inputs these
/// are. Each kept literal is a run of its pattern's own text, so no longer than the pattern,
/// which the inputs hold already (store keeps no file that breaks this): the file is at most
/// its framing, the inputs, and the inputs again with a count and a flag per expander.
std::size_t largestFileSize(std::string_view inputs, std::size_t expanderCount)
{
    return fileMagic.size() + 2 * sizeof(uint32_t) + 2 * inputs.size() + expanderCount * 2 * sizeof(uint32_t)
        + sizeof(uint64_t);
}

} // namespace

PrefilterCache::PrefilterCache(std::filesystem::path folder)
    : m_folder(std::move(folder))
{
}

std::optional<std::string> PrefilterCache::listInputs(const ExpanderController& controller)
{
    static const std::string buildId = programBuildId();
    if (buildId.empty())
        return std::nullopt;
    std::string inputs(fileMagic);
    appendNumber(inputs, static_cast<uint32_t>(buildId.size()));
    inputs.append(buildId);
    // ICU may be a shared library that an update changes under the same program.
    UVersionInfo icuVersion {};
    u_getVersion(icuVersion);
    inputs.append(reinterpret_cast<const char*>(icuVersion), sizeof icuVersion);
    appendNumber(inputs, static_cast<uint32_t>(controller.expanders().size()));
    // A library expander's expression depends on its pattern and, through the expanders it
    // embeds, on the identifiers, languages and patterns of the list: all of them go in.
    for (const auto& expander : controller.expanders()) {
        const auto* custom = dynamic_cast<const CustomExpander*>(expander.get());
        if (!custom)
            return std::nullopt;
        appendText(inputs, custom->pattern());
        appendText(inputs, custom->identifier());
        const auto languages = custom->supportedLanguages();
        appendNumber(inputs, static_cast<uint32_t>(languages.size()));
        for (const auto& language : languages)
            appendText(inputs, language ? language->id() : icu::UnicodeString());
    }
    return inputs;
}

std::filesystem::path PrefilterCache::fileFor(const std::string& listName) const
{
    // The name may hold anything a user typed as an extension.
    char name[32];
    std::snprintf(name, sizeof name, "prefilters-%016llx", static_cast<unsigned long long>(checksum(listName)));
    return m_folder / name;
}

bool PrefilterCache::restore(const ExpanderController& controller, const std::string& listName)
{
    if (m_restored.contains(listName))
        return true;
    const auto inputs = listInputs(controller);
    if (!inputs)
        return false;
    const auto bytes = readFile(fileFor(listName), largestFileSize(*inputs, controller.expanders().size()));
    if (!bytes || bytes->size() < fileMagic.size() + sizeof(uint64_t))
        return false;
    const std::string_view content(bytes->data(), bytes->size() - sizeof(uint64_t));
    uint64_t kept = 0;
    std::memcpy(&kept, bytes->data() + content.size(), sizeof kept);
    if (kept != checksum(content) || !content.starts_with(fileMagic))
        return false;

    Reader reader(content.substr(fileMagic.size()));
    uint32_t inputsLength = 0;
    std::string_view keptInputs;
    if (!reader.number(inputsLength) || !reader.bytes(inputsLength, keptInputs) || keptInputs != *inputs)
        return false;
    uint32_t count = 0;
    if (!reader.number(count) || count != controller.expanders().size())
        return false;
    std::vector<ExpanderController::Prefilter> prefilters(count);
    for (auto& prefilter : prefilters) {
        uint32_t isKnown = 0;
        if (!reader.number(isKnown) || isKnown > 1 || !reader.text(prefilter.requiredLiteral))
            return false;
        prefilter.isKnown = isKnown == 1;
    }
    if (!reader.atEnd() || !controller.adoptPrefilters(std::move(prefilters)))
        return false;
    m_restored.insert(listName);
    return true;
}

void PrefilterCache::store(const ExpanderController& controller, const std::string& listName)
{
    if (m_restored.contains(listName))
        return;
    const auto prefilters = controller.madePrefilters();
    if (!prefilters)
        return;
    const auto inputs = listInputs(controller);
    if (!inputs)
        return;
    std::string content(fileMagic);
    appendNumber(content, static_cast<uint32_t>(inputs->size()));
    content += *inputs;
    appendNumber(content, static_cast<uint32_t>(prefilters->size()));
    for (const auto& prefilter : *prefilters) {
        appendNumber(content, prefilter.isKnown ? 1 : 0);
        appendText(content, prefilter.requiredLiteral);
    }
    const uint64_t sum = checksum(content);
    content.append(reinterpret_cast<const char*>(&sum), sizeof sum);
    m_restored.insert(listName);
    // A file that restore would refuse unread is not worth writing.
    if (content.size() > largestFileSize(*inputs, prefilters->size()))
        return;

    // Written beside the file and renamed over it: a reader sees the old file or the new one.
    // Whatever stands in the file's place is replaced: a FIFO, a link or a damaged file, and an
    // empty folder (a folder with files in it is left alone, and the list is parsed at every run
    // until it is gone). Not flushed to disk: the file is made again whenever it is missing or
    // does not check out (a crash that leaves it short or zeroed fails its checksum), and a
    // flush at every first run after an edit would cost more than the parse it saves on a
    // small library.
    try {
        writeFileAtomically(fileFor(listName), content, AtomicWrite::remadeFile);
    } catch (const std::exception&) {
        // Best effort: the next run parses the patterns again.
    }
}

} // namespace quillet
