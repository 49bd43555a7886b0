#pragma once

#include <unicode/unistr.h>

namespace quillet {

/// The titles and sentences of the library's file errors (the library file, bundle files),
/// each looked up by its one key and comment here.
struct StoreErrorTexts {
    /// "File could not be read"
    static icu::UnicodeString fileCouldNotBeRead();
    /// "JSON reading error"
    static icu::UnicodeString jsonReadingError();
    /// "Parsing file has an invalid format."
    static icu::UnicodeString invalidFormat();
    /// "File could not be written"
    static icu::UnicodeString fileCouldNotBeWritten();
    /// "File could not be saved": what the user is told of a save of the library or an export.
    static icu::UnicodeString fileCouldNotBeSaved();
    /// Why a bundle file larger than BundleStore::largestBundleFileSize is not imported.
    static icu::UnicodeString bundleFileTooLarge();
    /// Why a library file larger than the largest one read is not loaded.
    static icu::UnicodeString libraryFileTooLarge();
    /// Why a library larger than the largest file read back is not written.
    static icu::UnicodeString libraryWouldBeTooLarge();
};

} // namespace quillet
