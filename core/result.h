#pragma once

#include <string>
#include <utility>
#include <variant>

namespace pelantra {

// Why something did not work: a short Indonesian line the user reads, and
// apart from it the technical text (a server message, a tool's last lines).
struct Failure {
    std::string reason;
    std::string detail;
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
