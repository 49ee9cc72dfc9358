#pragma once
// What a long transfer reports to and asks of its caller between exchanges:
// the protocols take this, the tools hand them a progress window behind it.
namespace corvel {

class TransferMonitor {
 public:
  virtual ~TransferMonitor() = default;
  // True when the person asked to stop.
  virtual bool CancelRequested() = 0;
  virtual void SetPos(int percent) = 0;
};

}  // namespace corvel
