// SPDX-License-Identifier: Apache-2.0
// One way to say that something failed, for every host-side library (the
// HDR10+ codec, the HEVC and container readers, the clip model, the
// analysis) and the tool above them.
//
// A failure has a kind a caller can branch on, a location (where in the
// input: a bit or byte offset, a frame, a key or syntax element) that a
// caller can point at without parsing text, and the sentence the library
// that raised it composed, which message() returns unchanged. Success
// carries nothing. Both types are [[nodiscard]]: a result that is dropped is
// a failure that is ignored.
//
// A failure passed on from a system library (libav's demuxer, the C library)
// may also carry that library's own error number, code(): the negative
// AVERROR value or the errno its text was made from, kept so that a caller
// can branch on it (AVERROR_INVALIDDATA, ENOENT) without matching the text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace kestrel {

enum class ErrorKind {
    None,         // success
    Io,           // a file cannot be opened, read or written
    Format,       // not an input of any format we read, or not valid in it (JSON syntax)
    Truncated,    // the input ends inside an element
    OutOfRange,   // a value its bits can hold but the rules forbid
    Unsupported,  // a well-formed input we do not read (another codec, a later version)
    Damaged,      // a unit of a stream that cannot be parsed
    Invalid,      // any other wrong input or argument
};

// Where a failure sits. Every member is optional: a library fills what it
// knows.
struct Location {
    std::optional<uint64_t> bitOffset;   // from the start of the caller's buffer
    std::optional<uint64_t> byteOffset;  // from the start of the input
    std::optional<unsigned> frame;       // display order, or position in a document
    std::string key;                     // JSON key path or syntax element
};

class [[nodiscard]] Status {
public:
    Status() = default;  // success

    static Status failure(ErrorKind kind, std::string message, Location where = {}) {
        Status s;
        s.mKind = kind == ErrorKind::None ? ErrorKind::Invalid : kind;
        s.mMessage = std::move(message);
        s.mWhere = std::move(where);
        return s;
    }

    bool ok() const { return mKind == ErrorKind::None; }
    explicit operator bool() const { return ok(); }

    ErrorKind kind() const { return mKind; }
    const Location& where() const { return mWhere; }
    // The sentence as the raising library composed it ("byte 7 (bit 3):
    // num_windows is 0; ..."); empty on success.
    const std::string& message() const { return mMessage; }

    // The system library's error number the sentence was made from, if any.
    const std::optional<int>& code() const { return mCode; }
    // The same failure carrying `code` as code(); success stays success.
    Status withCode(int code) const {
        Status s = *this;
        if (!s.ok()) s.mCode = code;
        return s;
    }

    // The same failure with `prefix` before its sentence ("clip.hevc: ").
    Status prefixed(const std::string& prefix) const {
        Status s = *this;
        if (!s.ok()) s.mMessage = prefix + s.mMessage;
        return s;
    }

private:
    ErrorKind mKind = ErrorKind::None;
    Location mWhere;
    std::string mMessage;
    std::optional<int> mCode;
};

// A value or the failure that prevented it.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : mValue(std::move(value)) {}  // NOLINT: a value converts implicitly
    Result(Status failure) : mStatus(std::move(failure)) {
        if (mStatus.ok()) mStatus = Status::failure(ErrorKind::Invalid, "no value");
    }

    bool ok() const { return mValue.has_value(); }
    explicit operator bool() const { return ok(); }

    const Status& status() const { return mStatus; }
    T& value() & { return *mValue; }
    const T& value() const& { return *mValue; }
    T&& value() && { return std::move(*mValue); }
    T* operator->() { return &*mValue; }
    const T* operator->() const { return &*mValue; }
    T& operator*() & { return *mValue; }
    const T& operator*() const& { return *mValue; }

private:
    std::optional<T> mValue;
    Status mStatus;
};

}  // namespace kestrel
