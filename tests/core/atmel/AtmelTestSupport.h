#pragma once
// A virtual AVR on a pseudo-terminal with the boot loader command layer
// pointed at it.
#include <functional>
#include <memory>

#include "core/protocol/atmel/AtmelBootLoader.h"
#include "sim/VirtualAvr.h"
#include "support/TestSupport.h"

namespace corvel::test {

class AvrTest : public SimTest {
 protected:
  using Mode = sim::VirtualAvr::Mode;

  void StartAvr(Mode mode = Mode::BootLoader, const std::function<void(sim::VirtualAvr&)>& setup = {}) {
    auto model = std::make_unique<sim::VirtualAvr>(mode);
    if (setup) setup(*model);
    StartDevice(std::move(model));
    ASSERT_TRUE(OpenPort());
  }

  template <typename F>
  auto Avr(F&& f) {
    return WithModel<sim::VirtualAvr>(std::forward<F>(f));
  }

  uint32_t AvrSpeed() {
    return Avr([](sim::VirtualAvr& m) { return m.speed; });
  }

  AtmelBootLoader loader{port};
};

}  // namespace corvel::test
