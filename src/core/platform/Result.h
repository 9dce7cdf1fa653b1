#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace cantorel {

// Why an operation failed: the message for the user, and a code for callers that must
// tell one kind of failure from another (0 when the operation names none).
struct Failure {
    std::string message;
    int code = 0;
};

inline Failure fail(std::string message, int code = 0) { return Failure{std::move(message), code}; }

// The outcome of an operation of the core that can fail with a message: its value, or
// the failure. Result<> carries no value.
template <typename T = void>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Failure failure) : state_(std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const Failure& failure() const { return std::get<1>(state_); }
    const std::string& error() const { return failure().message; }

private:
    std::variant<T, Failure> state_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) {}

    bool ok() const { return !failure_; }
    explicit operator bool() const { return ok(); }
    const Failure& failure() const { return *failure_; }
    const std::string& error() const { return failure_->message; }

private:
    std::optional<Failure> failure_;
};

} // namespace cantorel
