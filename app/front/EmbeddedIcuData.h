#pragma once

namespace quillet {

/// What became of ICU's data at start.
enum class EmbeddedIcuData {
    /// The program was linked with ICU's data in its image (or with ICU as a shared library).
    linked,
    /// The data was found in the program file and mapped.
    mapped,
    /// There was no address space for it.
    noMemory,
    /// The program file holds no data, or it could not be read.
    unreadable,
};

/// Hands ICU its data from the program's own file.
///
/// ICU's data are most of the program (some 30 MB): linked in, they would be mapped with the
/// rest of it by the system, which under a limit on address space refuses to start the program
/// at all, with no word of why. So the command line keeps them in a section of its file that is
/// not loaded (the build adds it), maps them here, before ICU is used, and can say that memory
/// ran out. Call before any other ICU call but u_setMemoryFunctions.
EmbeddedIcuData mapEmbeddedIcuData();

} // namespace quillet
