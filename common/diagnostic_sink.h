// SPDX-License-Identifier: Apache-2.0
// Where the library's lines go. Internal: in-process callers (the tool,
// tests, bindings) use it; nothing of it leaves the plug-in's shared
// library, and hosts keep today's behaviour.
//
// Without a scope on the calling thread, the library writes as it always
// has: standard-output lines to stdout in one fwrite per batch, log lines to
// the Android log (on a host build, the stand-in liblog's "P/tag: message"
// lines on stderr). With a DiagnosticScope alive on the calling thread, every
// line of every library call made on that thread goes to the scope's
// receiver instead, as one Record per line, and nothing reaches the
// process's descriptors or the log.
//
// The scope is per thread, not per call and not per process: the plug-in's
// entry points are fixed by the host interface and carry no context a sink
// could travel in, while every library call runs to its end on the thread
// that made it. A thread's scope therefore sees exactly the lines of the
// calls that thread makes, and two threads with their own scopes never see
// each other's lines. Scopes nest: the innermost receives, and the one
// outside it receives again once the inner scope ends.
//
// Use:
//
//     std::vector<std::string> errors;
//     {
//         kestrel::diag::DiagnosticScope scope([&](const kestrel::diag::Record& r) {
//             if (r.kind == kestrel::diag::RecordKind::kLogLine &&
//                 r.priority == kestrel::diag::Priority::kError) {
//                 errors.emplace_back(r.text);
//             }
//         });
//         store.load(path);  // its lines reach the lambda, not stdout/stderr
//     }
//
// The receiver runs inside the library call, on its thread, once per line.
// It must not throw: an exception it throws is dropped where the record is
// delivered (the library's callers are not all exception-safe), and so is
// the line. It must not make library calls that write lines either; they
// would reach the receiver again.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace kestrel::diag {

enum class RecordKind : uint8_t {
    kStdoutLine,  // one of the trace lines the library prints on standard output
    kLogLine,     // one message of the Android log
};

// Priorities as the Android log numbers them, so a log line keeps its own.
// Standard-output lines carry kInfo.
enum class Priority : uint8_t { kDebug = 3, kInfo = 4, kWarn = 5, kError = 6 };

struct Record {
    RecordKind kind;
    Priority priority;
    // The line without its newline (standard output) or the log message
    // without tag and priority letter, exactly as the default sink would
    // show it. Valid only during the receiver's call.
    std::string_view text;
    // A standard-output line starts with the function and source line that
    // wrote it, "name(line)": this many characters of `text` (0 for log
    // lines), so a receiver can show the message without them.
    size_t originLength = 0;
};

// Sends every line of the calling thread's library calls to `receive` for as
// long as it lives. Construct and destroy it on the same thread; it can be
// neither copied nor moved, since the thread refers to it.
class DiagnosticScope {
public:
    using Receiver = std::function<void(const Record&)>;

    explicit DiagnosticScope(Receiver receive);
    ~DiagnosticScope();
    DiagnosticScope(const DiagnosticScope&) = delete;
    DiagnosticScope& operator=(const DiagnosticScope&) = delete;

    // The innermost scope of the calling thread, or null (the default sink).
    static const DiagnosticScope* current();

    // Hands one record to the receiver; what it throws is dropped.
    void deliver(const Record& record) const noexcept;

private:
    Receiver mReceive;
    const DiagnosticScope* mOuter;
};

}  // namespace kestrel::diag
