#pragma once
// The exceptions that archive operations raise. Each carries the complete message that the
// user sees; the window's default handler only appends a full stop.

#include "base/Text.h"

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace vellocar {

// The message of a file that cannot be read as the kind it is taken for, with the fault:
// "Cannot open KEY "x.key": the file is too short for a KEY header (...)".
inline std::string CannotOpenAs(std::string_view kind, std::string_view path, std::string_view fault) {
    std::string message = "Cannot open ";
    message.append(kind).append(" ").append(Quoted(path)).append(": ").append(fault);
    return message;
}

// message with context appended. Context starts with ". ", whose point is dropped when the
// message already ends in one (Windows' own error texts do).
inline std::string WithContext(const std::string& message, const std::string& context) {
    if (!message.empty() && message.back() == '.' && !context.empty() && context.front() == '.')
        return message + context.substr(1);
    return message + context;
}

// Base of every error the program raises on purpose. Context is added as the error climbs
// (catch by reference, AddContext, rethrow with "throw;"), so that it keeps its type.
class EVellocarError : public std::exception {
public:
    explicit EVellocarError(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    void AddContext(const std::string& context) { message_ = WithContext(message_, context); }

private:
    std::string message_;
};

// "Cannot open file "%s". %s"
class EFOpenError : public EVellocarError {
public:
    using EVellocarError::EVellocarError;
};

// "Cannot create file "%s". %s"
class EFCreateError : public EVellocarError {
public:
    using EVellocarError::EVellocarError;
};

// "Stream read error": a read came short of what the file was expected to hold.
class EReadError : public EVellocarError {
public:
    using EVellocarError::EVellocarError;
};

// "Stream write error": a write did not take all bytes (full disk, quota, I/O fault).
class EWriteError : public EVellocarError {
public:
    using EVellocarError::EVellocarError;
};

// A failed rename or delete: "File not found", "File access denied", "I/O error %d", ...
// ErrorCode is the system's own code for it (errno, or GetLastError() on Windows).
class EInOutError : public EVellocarError {
public:
    EInOutError(const std::string& message, int code) : EVellocarError(message), ErrorCode(code) {}
    int ErrorCode;
};

// A KEY or BIF whose counts, offsets or tables do not fit the file. The message names the
// file and the fault.
class EFormatError : public EVellocarError {
public:
    using EVellocarError::EVellocarError;
};

// A resource whose bytes do not read as what its type says (a texture, a 2DA table): the message
// says what the bytes hold and why they do not decode. Nothing is shown or written for it.
class EDecodeError : public EVellocarError {
public:
    using EVellocarError::EVellocarError;
};

// A 2DA that is not well-formed. Line is the faulty line's number (from 1), so that a viewer can
// show the text with that line marked.
class ETwoDaError : public EDecodeError {
public:
    ETwoDaError(const std::string& message, std::size_t line) : EDecodeError(message), Line(line) {}
    std::size_t Line;
};

// A GFF (a blueprint, dialogue, area, module, character) whose bytes do not hold a GFF V3.2 tree,
// or a GFF model that the format cannot hold. A GFF is a resource like a 2DA, so whoever shows or
// converts resources catches it with the other faults of decoding. The message names the fault.
class EGffError : public EDecodeError {
public:
    using EDecodeError::EDecodeError;
};

// A build's journal that cannot be trusted (damaged, of another version, or naming files that no
// longer match it): never acted on. The message names the journal and says what to do.
class EJournalError : public EVellocarError {
public:
    using EVellocarError::EVellocarError;
};

// Something at one of the names this program keeps its own files under beside a KEY or BIF (a
// lock, a journal, a temporary) that it did not make: a link, a folder, a FIFO. It is never
// opened through, written through or removed; the message names it and says what to do.
class EUntrustedFile : public EVellocarError {
public:
    using EVellocarError::EVellocarError;
};

// A build refused before anything was touched (too many files, a name too long, ...).
class EBuildRefused : public EVellocarError {
public:
    using EVellocarError::EVellocarError;
};

} // namespace vellocar
