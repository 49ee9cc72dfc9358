#pragma once
// Results that say why. A link operation, a parser or a tool action returns a
// Result: the value, or the failure of its own layer with the facts a message
// or a test needs (kind, address, counts, file and line). Callers branch on
// the kind, never on a message or trace text.
#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace corvel {

// Wraps a failure so a Result can be built from it unambiguously.
template <typename E>
struct Failed {
  E error;
};
template <typename E>
Failed<std::decay_t<E>> Fail(E&& error) {
  return {std::forward<E>(error)};
}

template <typename T, typename E>
class [[nodiscard]] Result {
 public:
  Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
  template <typename F>
  Result(Failed<F> failure) : m_state(std::in_place_index<1>, E(std::move(failure.error))) {}

  bool ok() const { return m_state.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<0>(m_state); }
  const T& value() const { return std::get<0>(m_state); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T value_or(T fallback) const { return ok() ? value() : std::move(fallback); }
  const E& error() const { return std::get<1>(m_state); }

 private:
  std::variant<T, E> m_state;
};

template <typename E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  template <typename F>
  Result(Failed<F> failure) : m_failed(true), m_error(std::move(failure.error)) {}

  bool ok() const { return !m_failed; }
  explicit operator bool() const { return ok(); }
  const E& error() const { return m_error; }

 private:
  bool m_failed = false;
  E m_error{};
};

// Why an exchange with a device failed. One kind set serves every link layer
// (boot loaders, device packets, DSP and kernel loaders).
enum class LinkErrorKind {
  PortFailure,   // the port would not open, configure, write or purge
  Timeout,       // nothing came back
  ShortReply,    // some bytes came, fewer than the reply's length
  BadChecksum,   // the reply's checksum does not hold
  WrongType,     // a reply of another type, address or step
  Refused,       // the device answered that it would not do it
  WrongEcho,     // a speed change echoed something else
  NoDevice,      // the master reports no such device behind it
  Cancelled,     // the person cancelled between exchanges
};

const char* LinkErrorKindName(LinkErrorKind kind);

struct LinkError {
  LinkErrorKind kind = LinkErrorKind::Timeout;
  uint32_t address = 0;   // the memory address or packet type concerned, if any
  uint32_t expected = 0;  // bytes (or the value) expected
  uint32_t received = 0;  // bytes (or the value) received
};

template <typename T>
using LinkResult = Result<T, LinkError>;
using LinkStatus = Result<void, LinkError>;

inline Failed<LinkError> LinkFail(LinkErrorKind kind, uint32_t address = 0, uint32_t expected = 0,
                                  uint32_t received = 0) {
  return {LinkError{kind, address, expected, received}};
}

// What a parser reports: the kind, and where (file and 1-based line; line 0
// when the failure is not tied to a line).
template <typename Kind>
struct ParseError {
  Kind kind{};
  std::string file;
  uint32_t line = 0;
  std::string text;  // the message a person is shown, composed once
};

// What a tool's action came to. The console's exit status is derived from
// this and nothing else.
enum class ToolOutcome {
  Done,         // everything asked for was done (connected, programmed, saved, verified equal)
  Failed,       // it was tried and did not succeed (or verified different)
  Cancelled,    // the person stopped it
  NothingDone,  // there was nothing to do, or a precondition refused it
};

inline int ExitStatus(ToolOutcome outcome) { return outcome == ToolOutcome::Done ? 0 : 1; }

}  // namespace corvel
