#pragma once

#include <string>
#include <utility>
#include <variant>

namespace pelantra {

// What kind of failure it is, for the code that acts on it; the texts are
// only ever shown.
enum class FailureKind {
    Other,
    ArchiveFault, // the archive itself: damaged, forged, not ours, not restorable
    ArchiveMissing, // no file where the archive was named
    ServerUnreachable, // no connection to the database server
    AnotherBackup, // another session holds the backup lock
    Stopped, // a stop was asked for
};

// Why something did not work: a short Indonesian line the user reads, and
// apart from it the technical text (a server message, a tool's last lines).
struct Failure {
    Failure() = default;
    Failure(std::string reason, std::string detail, FailureKind kind = FailureKind::Other)
        : reason(std::move(reason)), detail(std::move(detail)), kind(kind)
    {
    }

    std::string reason;
    std::string detail;
    FailureKind kind = FailureKind::Other;
};

// A value, or the failure that stands in its place.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) { }
    Result(Failure failure) : state_(std::move(failure)) { }

    bool ok() const { return state_.index() == 0; }
    const T& value() const { return std::get<0>(state_); }
    T& value() { return std::get<0>(state_); }
    const Failure& failure() const { return std::get<1>(state_); }

private:
    std::variant<T, Failure> state_;
};

// Done, or the failure.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)), ok_(false) { }

    bool ok() const { return ok_; }
    const Failure& failure() const { return failure_; }

private:
    Failure failure_;
    bool ok_ = true;
};

using Status = Result<void>;

} // namespace pelantra
