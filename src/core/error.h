#pragma once

#include <stdexcept>
#include <string>
#include <system_error>

namespace quillmer {

// Base of every error the system reports; what() is the exact user-facing text.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A family of failures with one enumeration of cases. Each family derives its own
// type from this so callers can catch the family and switch on the case.
template <typename Case>
class FamilyError : public Error {
public:
    FamilyError(Case kind, const std::string& text) : Error(text), kind_(kind) {}
    Case kind() const noexcept { return kind_; }

private:
    Case kind_;
};

// A file or folder could not be created, read, written, moved or removed.
class FileSystemError : public Error {
public:
    FileSystemError(const std::string& text, std::error_code code = {}) : Error(text), code_(code) {}
    std::error_code code() const noexcept { return code_; }

private:
    std::error_code code_;
};

// Stored or received data did not have the expected shape.
class DecodingError : public Error {
public:
    using Error::Error;
};

// Data could not be encoded (for example a number that JSON cannot hold).
class EncodingError : public Error {
public:
    using Error::Error;
};

// The work was cancelled; stages report it silently.
class CancellationError : public Error {
public:
    CancellationError() : Error("The operation was cancelled.") {}
};

// An operation whose work this build does not include yet.
class NotAvailableError : public Error {
public:
    NotAvailableError() : Error("This version of Quillmer cannot do that yet.") {}
};

}  // namespace quillmer
