#include "front/EmbeddedIcuData.h"

#include <unicode/udata.h>

#include <elf.h>
#include <fcntl.h>
#include <sys/auxv.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace quillet {
#if defined(QUILLET_EMBEDDED_ICU_DATA)
namespace {

/// The section of the program file that holds ICU's data (see app/front/CMakeLists.txt).
constexpr std::string_view sectionName = ".quillet.icudata";

bool readAt(int fd, void* buffer, std::size_t size, uint64_t offset)
{
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t count = ::pread(fd, bytes, size, static_cast<off_t>(offset));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        bytes += count;
        size -= static_cast<std::size_t>(count);
        offset += static_cast<uint64_t>(count);
    }
    return true;
}

/// The place of the section in the program file; size 0 when there is none. Reads the headers
/// one by one: nothing is allocated.
Elf64_Shdr findSection(int fd)
{
    Elf64_Ehdr file {};
    if (!readAt(fd, &file, sizeof file, 0) || std::memcmp(file.e_ident, ELFMAG, SELFMAG) != 0
        || file.e_ident[EI_CLASS] != ELFCLASS64 || file.e_shentsize != sizeof(Elf64_Shdr)
        || file.e_shstrndx >= file.e_shnum)
        return {};
    Elf64_Shdr names {};
    if (!readAt(fd, &names, sizeof names, file.e_shoff + uint64_t { file.e_shstrndx } * sizeof names))
        return {};
    for (uint16_t i = 0; i < file.e_shnum; ++i) {
        Elf64_Shdr section {};
        char name[sectionName.size() + 1] = {};
        if (!readAt(fd, &section, sizeof section, file.e_shoff + uint64_t { i } * sizeof section))
            return {};
        if (section.sh_name + sizeof name > names.sh_size
            || !readAt(fd, name, sizeof name, names.sh_offset + section.sh_name))
            continue;
        if (std::string_view(name, sectionName.size()) == sectionName && name[sectionName.size()] == '\0')
            return section;
    }
    return {};
}

} // namespace
#endif

EmbeddedIcuData mapEmbeddedIcuData()
{
#if !defined(QUILLET_EMBEDDED_ICU_DATA)
    // Linked with ICU's data, or with ICU as a shared library whose data the system maps.
    return EmbeddedIcuData::linked;
#else
    // The program file as the system knows it, or, without /proc, by the name it was started by
    // (the working folder has not changed yet).
    int fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno != ENOMEM) {
        if (const auto* name = reinterpret_cast<const char*>(::getauxval(AT_EXECFN)))
            fd = ::open(name, O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0)
        return errno == ENOMEM ? EmbeddedIcuData::noMemory : EmbeddedIcuData::unreadable;
    const Elf64_Shdr section = findSection(fd);
    if (section.sh_size == 0) {
        ::close(fd);
        return EmbeddedIcuData::unreadable;
    }
    // ICU reads its tables in place, and some must be aligned: the build puts them at a multiple
    // of 16 in the file, and they are mapped from the page that holds their start. A tool that
    // rewrote the file (strip) may have moved them off it: then they are read into memory.
    const void* data = nullptr;
    int failure = 0;
    if (section.sh_offset % 16 == 0) {
        const uint64_t page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
        const uint64_t start = section.sh_offset / page * page;
        void* mapped = ::mmap(nullptr, static_cast<std::size_t>(section.sh_offset - start + section.sh_size), PROT_READ,
            MAP_PRIVATE, fd, static_cast<off_t>(start));
        if (mapped != MAP_FAILED)
            data = static_cast<const char*>(mapped) + (section.sh_offset - start);
        failure = errno;
    } else {
        void* copy = ::mmap(nullptr, section.sh_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        failure = errno;
        if (copy != MAP_FAILED && readAt(fd, copy, section.sh_size, section.sh_offset))
            data = copy;
        else if (copy != MAP_FAILED)
            failure = EIO;
    }
    ::close(fd);
    // Never unmapped: ICU uses them until the process ends.
    if (!data)
        return failure == ENOMEM ? EmbeddedIcuData::noMemory : EmbeddedIcuData::unreadable;
    UErrorCode status = U_ZERO_ERROR;
    udata_setCommonData(data, &status);
    if (status == U_MEMORY_ALLOCATION_ERROR)
        return EmbeddedIcuData::noMemory;
    return U_FAILURE(status) ? EmbeddedIcuData::unreadable : EmbeddedIcuData::mapped;
#endif
}

} // namespace quillet
